#include "cli/lab/png_text.h"

#include <png.h>

#include <csetjmp>
#include <string>

#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

// libpng leaves by longjmp after calling its error function: nothing between the setjmp and the
// calls that may fail holds a destructor.
bool write_rows(png_structp png, png_infop info, const std::uint8_t* pixels, std::int32_t width,
                std::int32_t height, const char* legend) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;  // NOLINT(cert-err52-cpp): libpng's way
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>("Description");  // libpng only reads it
    text.text = const_cast<char*>(legend);
    png_set_text(png, info, &text, 1);
    png_write_info(png, info);
    // A PNG file holds the top row first.
    for (std::int32_t row = height - 1; row >= 0; --row) {
        png_write_row(png, pixels + pixel_offset(width, row, 0));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool write_map_png(output_file& out, const std::uint8_t* pixels, std::int32_t width,
                   std::int32_t height, const char* legend) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (info != nullptr) {
        png_init_io(png, out.stream());
        written = write_rows(png, info, pixels, width, height, legend);
    }
    png_destroy_write_struct(&png, &info);
    if (!written) {
        complain(out.path(), "cannot write the PNG picture");
        return false;
    }
    return out.commit();
}

}  // namespace kvrn::cli
