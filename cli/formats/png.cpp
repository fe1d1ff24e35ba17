#include "cli/formats/png.h"

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/formats/netpbm.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {

namespace {

// Every ancillary chunk libpng knows but tRNS, as libpng lists them: names ending in a zero.
constexpr std::array<png_byte, std::size_t{5}* 16> skipped_chunks = {
    'b', 'K', 'G', 'D', 0, 'c', 'H', 'R', 'M', 0, 'e', 'X', 'I', 'f', 0, 'g', 'A', 'M', 'A', 0,
    'h', 'I', 'S', 'T', 0, 'i', 'C', 'C', 'P', 0, 'i', 'T', 'X', 't', 0, 'o', 'F', 'F', 's', 0,
    'p', 'C', 'A', 'L', 0, 'p', 'H', 'Y', 's', 0, 's', 'B', 'I', 'T', 0, 's', 'C', 'A', 'L', 0,
    's', 'P', 'L', 'T', 0, 's', 'R', 'G', 'B', 0, 't', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0,
};

// What libpng's callbacks need. It must stay trivially destructible: libpng leaves by longjmp,
// which runs no destructors.
struct png_session {
    const char* path = "";
    std::FILE* in = nullptr;
    // Until the header is read, an error means the file is no readable PNG picture.
    bool header_read = false;
};

// libpng's terse messages in words: "Read Error" is a short read of the file, "NAME: CRC error" a
// chunk whose checksum does not match its data, "IDAT: ..." zlib's complaint about the compressed
// rows. Others are said as libpng says them.
[[noreturn]] void png_failed(png_structp png, png_const_charp message) {
    const auto* session = static_cast<const png_session*>(png_get_error_ptr(png));
    const std::string_view text = message;
    constexpr std::string_view crc = ": CRC error";
    if (text == "Read Error" && session->in != nullptr && std::ferror(session->in) != 0) {
        complain(session->path, "read error");
    } else if (text == "Read Error") {
        complain(session->path, "the PNG data ends early");
    } else if (text.size() == 4 + crc.size() && text.ends_with(crc)) {
        complain(session->path, "bad CRC in chunk %.4s", message);
    } else if (text.starts_with("IDAT: ")) {  // what zlib says of the compressed rows
        complain(session->path, "the compressed PNG image data is damaged (%s)", message + 6);
    } else if (text == "Not enough image data") {
        complain(session->path, "the PNG image data (IDAT) ends before the last row");
    } else {
        complain(session->path,
                 session->header_read ? "cannot decode the PNG picture: %s"
                                      : "not a readable PNG picture: %s",
                 message);
    }
    png_longjmp(png, 1);
}

// Warnings (an unknown colour profile, say) change nothing the tool writes.
void png_ignored(png_structp /*png*/, png_const_charp /*message*/) {}

// Reads the picture into `picture` row by row (a whole raster first when it is interlaced).
// Anything allocated here is owned by the caller, since an error leaves by longjmp.
bool decode_png(png_structp png, png_infop info, png_session& session, std::FILE* in,
                std::uint64_t max_pixels, image& picture, netpbm_header& layout,
                std::vector<std::uint8_t>& raw) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_init_io(png, in);
    // Samples are taken as they are stored, so no ancillary chunk but tRNS matters; and libpng
    // allocates the length a text or profile chunk claims whole, however short the file: 400 MB
    // for a 138-byte file whose tEXt chunk claims that much. They are skipped unread.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, skipped_chunks.data(),
                                static_cast<int>(skipped_chunks.size() / 5));
    png_read_info(png, info);
    session.header_read = true;
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!check_sides(width, height, session.path) ||
        !check_pixels(width, height, max_pixels, session.path)) {
        return false;
    }
    // Every form becomes 8- or 16-bit RGB with or without alpha: PAM's RGB and RGB_ALPHA rows.
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout.width = width;
    layout.height = height;
    layout.depth = png_get_channels(png, info);
    layout.alpha = layout.depth == 4;
    layout.maxval = png_get_bit_depth(png, info) == 16 ? 65535 : 255;
    fill_scale(layout);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    if (!allocate(picture, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                  session.path)) {
        return false;
    }
    raw.resize(passes > 1 ? row_bytes * height : row_bytes);
    const auto converted = [&](png_uint_32 y, const std::uint8_t* row) {
        // The first row is the top of the picture, the last of the buffer.
        convert_netpbm_row(layout, row,
                           picture.pixels.get() + pixel_offset(picture.width, height - 1 - y, 0));
    };
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint8_t* row = raw.data() + (passes > 1 ? row_bytes * y : 0);
            png_read_row(png, row, nullptr);
            if (passes == 1) converted(y, row);
        }
    }
    if (passes > 1) {
        for (png_uint_32 y = 0; y < height; ++y) converted(y, raw.data() + row_bytes * y);
    }
    return true;
}

}  // namespace

bool read_png(std::FILE* in, const char* path, std::uint64_t max_pixels, image& picture) {
    png_session session;
    session.path = path;
    session.in = in;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, png_failed, png_ignored);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        complain(path, "cannot allocate memory for the PNG reader");
        return false;
    }
    image decoded;
    netpbm_header layout;
    std::vector<std::uint8_t> raw;
    const bool ok = decode_png(png, info, session, in, max_pixels, decoded, layout, raw);
    png_destroy_read_struct(&png, &info, nullptr);
    if (ok) picture = std::move(decoded);
    return ok;
}

bool write_png(const image& picture, std::FILE* out, const char* path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(picture.width);
    png.height = static_cast<png_uint_32>(picture.height);
    png.format = PNG_FORMAT_RGB;
    const png_int_32 stride = -3 * picture.width;
    if (png_image_write_to_stdio(&png, out, 0, picture.pixels.get(), stride, nullptr) == 0) {
        complain(path, "cannot write the PNG picture: %s", png.message);
        return false;
    }
    return true;
}

}  // namespace kvrn::cli
