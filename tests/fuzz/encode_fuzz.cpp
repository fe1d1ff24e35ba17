// Arbitrary bytes as a PPM or PNG picture to encode: the result is a KVRN file or a refusal,
// never a fault, and a refusal leaves no file behind.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/commands.h"
#include "cli/report.h"

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte picks the format and the step; the rest is the picture file.
    const std::int32_t step = 1 + (data[0] >> 1);
    const std::string scratch = "/tmp/kvrn-encode-fuzz-" + std::to_string(getpid());
    const std::string in = scratch + ((data[0] & 1) != 0 ? ".png" : ".ppm");
    const std::string out = scratch + ".kvrn";
    std::FILE* file = std::fopen(in.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    const int status = kvrn::cli::encode_command(in.c_str(), out.c_str(), {step, step, step}, 1);
    const bool written = std::remove(out.c_str()) == 0;
    if ((status == kvrn::cli::exit_ok) != written) std::abort();
    std::remove(in.c_str());
    return 0;
}
