// JPEG decoding through libjpeg-turbo's libjpeg API (libjpeg62-turbo) rather than its TurboJPEG
// API: only the former lets us replace the error handler that ends the process, hear warnings
// such as a file that ends early instead of having them printed, look at the frame header before
// anything large is allocated, cap the memory of progressive decoding and count its scans, and
// keep the APP1 marker that carries the EXIF orientation. Decoding a scanline at a time also
// lets the rows go straight into the picture's bottom-up buffer.
#include "cli/formats/jpeg.h"

#include <jerror.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "cli/formats/orientation.h"
#include "cli/formats/row_order.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {

namespace {

// A progressive (or any multi-scan) picture is held whole as DCT coefficients of 2 bytes, one per
// sample of each component: with up to four components (CMYK) at full resolution that is at most
// 8 bytes a pixel. The slack covers components rounded up to whole blocks and libjpeg's tables.
// Only a file of more components than any colour space has can ask for more; libjpeg, which
// keeps nothing on disk, then refuses it ("Backing store not supported").
constexpr std::uint64_t coefficient_bytes_per_pixel = 8;
constexpr std::uint64_t memory_slack = std::uint64_t{64} << 20;
// Encoders write a dozen scans or so. Each scan is a pass over the whole picture, so a file of
// thousands of tiny scans would keep the decoder busy for hours.
constexpr int max_scans = 500;

// Everything libjpeg's callbacks need. It must stay trivially destructible: decode leaves by
// longjmp, which runs no destructors.
struct session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf escape{};
    std::string_view name;
    int first_warning_code = 0;
    char first_warning[JMSG_LENGTH_MAX]{};
    int orientation = 1;
};

session& session_of(j_common_ptr info) {
    return *static_cast<session*>(info->client_data);
}

// Stands in for libjpeg's error handler, which prints and ends the process.
[[noreturn]] void fail(j_common_ptr info) {
    session& s = session_of(info);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    complain(s.name, "%s", message);
    std::longjmp(s.escape, 1);
}

// Keeps the first warning for the end of decoding rather than printing it; trace messages go.
void keep_warning(j_common_ptr info, int level) {
    if (level >= 0) return;
    session& s = session_of(info);
    if (info->err->num_warnings++ == 0) {
        s.first_warning_code = info->err->msg_code;
        (*info->err->format_message)(info, s.first_warning);
    }
}

void count_scans(j_common_ptr info) {
    session& s = session_of(info);
    if (s.info.input_scan_number <= max_scans) return;
    complain(s.name, "more than %d scans in the JPEG data", max_scans);
    std::longjmp(s.escape, 1);
}

// CMYK is converted rather than refused: such files come out of print work, and the plain
// conversion below is what viewers without colour management show for them. They are stored
// inverted, as Photoshop started it (255 is no ink), so the light that neither the cyan nor the
// black ink takes away is R = C * K / 255, rounded; green and blue likewise.
void cmyk_to_rgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = cmyk[3];
        for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::uint8_t>((cmyk[c] * k + 127) / 255);
    }
}

template <typename T, void (*release)(T*)>
struct exif_releaser {
    void operator()(T* object) const { release(object); }
};

// Whether the TIFF data of an EXIF marker has a first directory of no entries, as GIMP writes it:
// an empty directory libexif read is no damage. The byte order mark, 42, then the directory's
// offset; the directory starts with its count of entries.
bool empty_first_directory(const std::uint8_t* tiff, std::size_t size) {
    if (size < 8) return false;
    const bool big = tiff[0] == 'M';
    const auto number = [&](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t byte = tiff[at + static_cast<std::size_t>(big ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    };
    const std::uint32_t offset = number(4, 4);
    return offset <= size - 2 && number(offset, 2) == 0;
}

// The orientation the picture's EXIF data (the first APP1 marker that holds some) gives it, or 1:
// without such data, or with a value that is not one of the eight or data whose first directory
// cannot be read, said on standard error. libexif skips a directory that lies outside the data
// and entries that run past its end; the first directory is never empty in a camera's data.
int exif_orientation(const jpeg_decompress_struct& info, std::string_view name) {
    static constexpr char exif_header[] = "Exif\0";  // and the terminating zero: six bytes
    const jpeg_marker_struct* marker = info.marker_list;
    while (marker != nullptr &&
           (marker->marker != JPEG_APP0 + 1 || marker->data_length < sizeof exif_header ||
            std::memcmp(marker->data, exif_header, sizeof exif_header) != 0)) {
        marker = marker->next;
    }
    if (marker == nullptr) return 1;

    const std::unique_ptr<ExifData, exif_releaser<ExifData, exif_data_unref>> data(exif_data_new());
    if (!data) {
        warn(name, "cannot allocate memory for the EXIF data; no orientation applied");
        return 1;
    }
    // Values as the file has them, not "fixed" to what the EXIF standard would have.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), marker->data, marker->data_length);

    ExifContent* first = data->ifd[EXIF_IFD_0];
    if (first->count == 0 && !empty_first_directory(marker->data + sizeof exif_header,
                                                    marker->data_length - sizeof exif_header)) {
        warn(name, "the EXIF data has no readable first directory; no orientation applied");
        return 1;
    }
    const ExifEntry* entry = exif_content_get_entry(first, EXIF_TAG_ORIENTATION);
    if (entry == nullptr) return 1;
    if (entry->format != EXIF_FORMAT_SHORT || entry->components != 1 || entry->size < 2) {
        warn(name, "the EXIF orientation is not one short number; ignored");
        return 1;
    }
    const unsigned value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    if (value < 1 || value > 8) {
        warn(name, "EXIF orientation %u is not one of 1 to 8; ignored", value);
        return 1;
    }
    return static_cast<int>(value);
}

// Decodes into `picture` and finds its orientation. libjpeg's errors come back to the setjmp by
// longjmp, which skips destructors: nothing here has one, and what it fills belongs to the
// caller.
bool decode(session& s, std::FILE* in, std::uint64_t max_pixels, image& picture,
            byte_buffer& cmyk_row) {
    if (setjmp(s.escape) != 0) return false;
    jpeg_create_decompress(&s.info);
    jpeg_stdio_src(&s.info, in);
    jpeg_save_markers(&s.info, JPEG_APP0 + 1, 0xFFFF);
    const std::uint64_t most = std::numeric_limits<long>::max();
    s.info.mem->max_memory_to_use =
        static_cast<long>(max_pixels > (most - memory_slack) / coefficient_bytes_per_pixel
                              ? most
                              : max_pixels * coefficient_bytes_per_pixel + memory_slack);
    s.info.progress = &s.progress;
    (void)jpeg_read_header(&s.info, TRUE);

    // The frame header's sides are 16-bit and libjpeg refuses 0 and anything above 65500, so
    // every JPEG it reads fits a KVRN header; only the pixel count needs checking.
    if (!check_pixels(s.info.image_width, s.info.image_height, max_pixels, s.name)) return false;
    // The saved markers go with jpeg_finish_decompress.
    s.orientation = exif_orientation(s.info, s.name);
    // Grey comes out as R = G = B; YCCK comes out as CMYK.
    const bool cmyk = s.info.jpeg_color_space == JCS_CMYK || s.info.jpeg_color_space == JCS_YCCK;
    s.info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    const auto w = static_cast<std::int32_t>(s.info.image_width);
    const auto h = static_cast<std::int32_t>(s.info.image_height);
    if (!allocate(picture, w, h, s.name)) return false;
    if (cmyk) {
        cmyk_row.reset(static_cast<std::uint8_t*>(std::malloc(4 * static_cast<std::size_t>(w))));
        if (!cmyk_row) {
            complain(s.name, "cannot allocate memory for a %d x %d picture", w, h);
            return false;
        }
    }

    (void)jpeg_start_decompress(&s.info);
    while (s.info.output_scanline < s.info.output_height) {
        const auto y = static_cast<std::int32_t>(s.info.output_scanline);
        std::uint8_t* target = file_row(picture.pixels.get(), w, h, y);
        JSAMPROW samples = cmyk ? cmyk_row.get() : target;
        (void)jpeg_read_scanlines(&s.info, &samples, 1);
        if (cmyk) cmyk_to_rgb(cmyk_row.get(), target, w);
    }
    (void)jpeg_finish_decompress(&s.info);
    return true;
}

// FF D8 FF: the start of image marker and the first byte of the next.
bool is_jpeg(std::span<const std::uint8_t> start) {
    return start.size() >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

}  // namespace

read_status read_jpeg(std::FILE* in, const read_request& request, image& picture) {
    const std::string_view name = request.name;
    const std::uint64_t max_pixels = request.max_pixels;
    session s;
    s.name = name;
    s.info.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = fail;
    s.errors.emit_message = keep_warning;
    s.info.client_data = &s;
    s.progress.progress_monitor = count_scans;
    image decoded;
    byte_buffer cmyk_row;
    const bool decoded_ok = decode(s, in, max_pixels, decoded, cmyk_row);
    jpeg_destroy_decompress(&s.info);
    if (!decoded_ok) return read_status::failed;
    if (const int orientation = s.orientation; orientation != 1) {
        if (!apply_orientation(decoded, orientation, name)) return read_status::failed;
        const std::string_view change = orientation_change(orientation);
        warn(name, "EXIF orientation %d: %.*s", orientation, static_cast<int>(change.size()),
             change.data());
    }
    picture = std::move(decoded);
    if (s.errors.num_warnings == 0) return read_status::ok;
    if (s.first_warning_code == JWRN_JPEG_EOF)
        warn(name, "the JPEG data ends early (%s); decoded from what is there", s.first_warning);
    else
        warn(name, "the JPEG data is damaged (%s); decoded from what is there", s.first_warning);
    return read_status::damaged;
}

constexpr picture_format jpeg_format = {
    .name = "JPEG",
    .name_and_forms = "JPEG",
    .in_a_list = "JPEG (turned upright as its EXIF orientation says)",
    .details =
        "baseline or progressive, grey, colour or CMYK, decoded as djpeg decodes it and "
        "turned upright as its EXIF orientation says (a warning says so; -q silences it)",
    .recognise = is_jpeg,
    .read = read_jpeg,
};

}  // namespace kvrn::cli
