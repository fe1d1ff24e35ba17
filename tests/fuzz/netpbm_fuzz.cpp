// Arbitrary bytes as a netpbm picture: the reader gives a picture or a refusal, never a fault,
// and a raw form read row by row at its offset in the file, as large pictures are, gives the
// same pixels as the whole read.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/formats/netpbm.h"
#include "codec/picture.h"

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = "/tmp/kvrn-netpbm-fuzz-" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr) std::abort();
    std::fwrite(data, 1, size, file);
    std::rewind(file);
    // A low limit keeps every run fast; sizes and offsets are exercised all the same.
    constexpr std::uint64_t max_pixels = 1 << 20;
    kvrn::cli::image picture;
    if (kvrn::cli::read_netpbm(file, "fuzz", picture, max_pixels)) {
        if (picture.width < 1 || picture.height < 1 || !picture.pixels) std::abort();
        std::rewind(file);
        kvrn::cli::netpbm_header header;
        if (!kvrn::cli::read_netpbm_header(file, "fuzz", max_pixels, header)) std::abort();
        if (!header.plain) {
            const std::size_t row_bytes = kvrn::cli::netpbm_row_bytes(header);
            std::vector<std::uint8_t> raw(row_bytes);
            std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(picture.width));
            for (std::int32_t r = 0; r < picture.height; ++r) {
                const auto offset =
                    static_cast<off_t>(header.data_start) + static_cast<off_t>(row_bytes) * r;
                if (pread(fileno(file), raw.data(), row_bytes, offset) !=
                    static_cast<ssize_t>(row_bytes)) {
                    std::abort();
                }
                kvrn::cli::convert_netpbm_row(header, raw.data(), rgb.data());
                const std::uint8_t* whole =
                    picture.pixels.get() +
                    kvrn::pixel_offset(picture.width, picture.height - 1 - r, 0);
                if (std::memcmp(rgb.data(), whole, rgb.size()) != 0) std::abort();
            }
        }
    }
    std::fclose(file);
    std::remove(path.c_str());
    return 0;
}
