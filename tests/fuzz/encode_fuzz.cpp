// Arbitrary bytes as a picture to encode, recognised by content as the tool recognises it (JPEG,
// PNG, every netpbm form): the result is a KVRN file or a refusal, never a fault; a refusal
// leaves no file behind; and the same bytes through a pipe (read whole) and from a file (raw
// netpbm read band by band at offsets) give the same status and the same KVRN file.
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/commands.h"
#include "cli/report.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Encodes `in` ("-": standard input) and gives the KVRN file, or nothing but the status on a
// refusal, which must leave no file.
int encode(const char* in, const std::string& out, std::int32_t step, std::string& written) {
    // A low limit keeps every run fast; sizes and offsets are exercised all the same.
    constexpr std::uint64_t max_pixels = 1 << 20;
    const int status = kvrn::cli::encode_command(in, out.c_str(), {step, step, step}, max_pixels, 1);
    written = contents(out);
    const bool exists = std::remove(out.c_str()) == 0;
    if ((status != kvrn::cli::exit_failed) != exists) std::abort();
    return status;
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte picks the step; the rest is the picture file.
    const std::int32_t step = 1 + (data[0] >> 1);
    const std::string scratch = "/tmp/kvrn-encode-fuzz-" + std::to_string(getpid());
    const std::string in = scratch + ".in";
    const std::string out = scratch + ".kvrn";
    std::FILE* file = std::fopen(in.c_str(), "wb");
    if (file == nullptr) std::abort();
    (void)std::fwrite(data + 1, 1, size - 1, file);
    (void)std::fclose(file);
    std::string from_file;
    const int file_status = encode(in.c_str(), out, step, from_file);

    // A pipe holds 64 KiB without a reader; the seeds are far smaller.
    int ends[2];
    if (size - 1 <= 65536 && pipe(ends) == 0) {
        (void)write(ends[1], data + 1, size - 1);
        (void)close(ends[1]);
        const int saved = dup(STDIN_FILENO);
        (void)dup2(ends[0], STDIN_FILENO);
        (void)close(ends[0]);
        __fpurge(stdin);
        std::clearerr(stdin);
        std::string from_pipe;
        const int pipe_status = encode("-", out, step, from_pipe);
        (void)dup2(saved, STDIN_FILENO);
        (void)close(saved);
        __fpurge(stdin);
        std::clearerr(stdin);
        if (pipe_status != file_status || from_pipe != from_file) std::abort();
    }
    std::remove(in.c_str());
    return 0;
}
