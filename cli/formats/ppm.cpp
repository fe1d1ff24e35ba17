#include "cli/formats/ppm.h"

#include "codec/picture.h"

namespace kvrn::cli {

void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height) {
    (void)std::fprintf(out, "P6\n%d %d\n255\n", width, height);
}

void write_ppm(const image& picture, std::FILE* out) {
    write_ppm_header(out, picture.width, picture.height);
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(picture.width);
    for (std::int32_t row = picture.height - 1; row >= 0; --row) {
        const std::uint8_t* source = picture.pixels.get() + pixel_offset(picture.width, row, 0);
        if (std::fwrite(source, 1, row_bytes, out) != row_bytes) return;
    }
}

}  // namespace kvrn::cli
