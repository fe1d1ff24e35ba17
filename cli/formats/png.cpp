#include "cli/formats/png.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/formats/row_order.h"
#include "cli/formats/samples.h"
#include "cli/report.h"

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
    std::string_view path;
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
                std::uint64_t max_pixels, image& picture, sample_rows& samples,
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
    const png_byte channels = png_get_channels(png, info);
    samples = sample_rows(width, channels, channels == 4,
                          png_get_bit_depth(png, info) == 16 ? 65535 : 255);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    if (!allocate(picture, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                  session.path)) {
        return false;
    }
    raw.resize(passes > 1 ? row_bytes * height : row_bytes);
    const auto converted = [&](png_uint_32 y, const std::uint8_t* row) {
        (void)samples.convert(row, file_row(picture.pixels.get(), picture.width, picture.height,
                                            static_cast<std::int32_t>(y)));
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

// What the writer's error function keeps: libpng's message, copied, since it may live on a stack
// the longjmp leaves. Trivially destructible, as for reading.
struct png_writing {
    std::array<char, 200> message{};
};

[[noreturn]] void png_write_failed(png_structp png, png_const_charp message) {
    auto& kept = static_cast<png_writing*>(png_get_error_ptr(png))->message;
    (void)std::snprintf(kept.data(), kept.size(), "%s", message);
    png_longjmp(png, 1);
}

bool encode_png(png_structp png, png_infop info, const picture_view& picture, std::FILE* out,
                const png_notes& notes) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;  // NOLINT(cert-err52-cpp): libpng's way
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (notes.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    // libpng only reads the keys and texts it is given.
    for (const auto& [key, value] :
         {std::pair{"Description", notes.description}, std::pair{"Colour bar", notes.colour_bar}}) {
        if (value == nullptr) continue;
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(key);
        text.text = const_cast<char*>(value);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        png_write_row(png, file_row(picture, y));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

read_status read_png(std::FILE* in, const read_request& request, image& picture) {
    png_session session;
    session.path = request.name;
    session.in = in;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, png_failed, png_ignored);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        complain(request.name, "cannot allocate memory for the PNG reader");
        return read_status::failed;
    }
    image decoded;
    sample_rows samples;
    std::vector<std::uint8_t> raw;
    const bool ok = decode_png(png, info, session, in, request.max_pixels, decoded, samples, raw);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return read_status::failed;
    picture = std::move(decoded);
    return read_status::ok;
}

bool write_png(const picture_view& picture, std::FILE* out, std::string_view path,
               const png_notes& notes) {
    png_writing writing;
    png_structp png =
        notes.libpng_says_errors
            ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)
            : png_create_write_struct(PNG_LIBPNG_VER_STRING, &writing, png_write_failed,
                                      png_ignored);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && encode_png(png, info, picture, out, notes);
    png_destroy_write_struct(&png, &info);
    if (!written && !notes.libpng_says_errors) {
        complain(path, "cannot write the PNG picture: %s",
                 writing.message[0] != 0 ? writing.message.data() : "out of memory");
    }
    return written;
}

namespace {

bool is_png(std::span<const std::uint8_t> start) {
    constexpr std::array<std::uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return std::ranges::equal(start, signature);
}

bool write_png_picture(const image& picture, std::FILE* out, std::string_view path) {
    return write_png({picture.pixels.get(), picture.width, picture.height}, out, path, {});
}

}  // namespace

constexpr picture_format png_format = {
    .name = "PNG",
    .name_and_forms = "PNG",
    .in_a_list = "PNG",
    .details = "any form: palette, grey, colour, 8 or 16 bits",
    .recognise = is_png,
    .read = read_png,
    .extension = "png",
    .written_as = "PNG",
    .write = write_png_picture,
};

}  // namespace kvrn::cli
