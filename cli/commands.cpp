#include "cli/commands.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "cli/picture_io.h"
#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/reencode.h"

namespace kvrn::cli {
namespace {

constexpr std::array<const char*, 3> channel_names = {"Y", "Cr", "Cb"};

// A KVRN file opened for reading, its header read and checked.
class kvrn_input {
  public:
    kvrn_input() = default;
    ~kvrn_input() {
        if (file != nullptr && file != stdin) (void)std::fclose(file);
    }
    kvrn_input(const kvrn_input&) = delete;
    kvrn_input& operator=(const kvrn_input&) = delete;

    bool open(const char* name) {
        path = name;
        file = std::strcmp(name, "-") == 0 ? stdin : std::fopen(name, "rb");
        if (file == nullptr) {
            complain(path, "cannot open: %s", std::strerror(errno));
            return false;
        }
        const header_reading reading = read_header(file);
        header = reading.header;
        switch (reading.status) {
            case header_status::ok:
                return true;
            case header_status::unreadable:
                complain(path, "cannot read: %s", std::strerror(errno));
                return false;
            case header_status::too_short:
                complain(path, "too short for a KVRN header: %zu of %zu bytes", reading.got,
                         header_bytes);
                return false;
            case header_status::wrong_magic:
                complain(path, "not a KVRN file: magic number 0x%08x, expected 0x%08x",
                         header.magic, kvrn_magic);
                return false;
        }
        return false;
    }

    bool read_failed() const {
        if (std::ferror(file) == 0) return false;
        complain(path, "read error");
        return true;
    }

    const char* path = "";
    std::FILE* file = nullptr;
    kvrn_header header;
};

// Where a coded block lies in the stream, for the messages about truncated streams.
struct block_place {
    std::int64_t position = 0;
    channel which = channel::y;
    std::int32_t column = 0;
    std::int32_t row = 0;
};

// "the Cr block of position 7 (block column 3, row 1)"
std::string describe(const block_place& place) {
    std::array<char, 128> text{};
    (void)std::snprintf(text.data(), text.size(),
                        "the %s block of position %lld (block column %d, row %d)",
                        channel_names[static_cast<std::size_t>(place.which)],
                        static_cast<long long>(place.position), place.column, place.row);
    return text.data();
}

class first_missing_block final : public missing_block_listener {
  public:
    void missing_block(channel which, std::int32_t counter, std::int32_t column,
                       std::int32_t row) override {
        if (seen) return;
        seen = true;
        place = {counter, which, column, row};
    }
    bool seen = false;
    block_place place;
};

// Refuses a picture without pixels, which no output format can hold.
bool has_pixels(const kvrn_input& in) {
    if (in.header.width != 0 && in.header.height != 0) return true;
    complain(in.path, "the picture is %u x %u: it has no pixels to decode",
             static_cast<unsigned>(in.header.width), static_cast<unsigned>(in.header.height));
    return false;
}

// The status of a finished decode: the warning for a stream that ended early, and exit_damaged.
int decode_status(const kvrn_input& in, std::int64_t missing, const first_missing_block& listener) {
    if (missing == 0) return exit_ok;
    complain(in.path,
             "the block stream ends early, in %s; %lld coded block%s missing or cut short and "
             "decoded from what %s, the rest of the coefficients zero",
             describe(listener.place).c_str(), static_cast<long long>(missing),
             missing == 1 ? " is" : "s are", missing == 1 ? "it holds" : "they hold");
    return exit_damaged;
}

// Decodes the block stream of `in` with every channel on, as the viewer loads a file.
int decode_file(kvrn_input& in, image& picture) {
    const kvrn_header& header = in.header;
    if (!has_pixels(in) || !allocate(picture, header.width, header.height, in.path)) {
        return exit_failed;
    }
    byte_reader reader(in.file);
    first_missing_block listener;
    const std::int64_t missing =
        decode_blocks(reader, header, channel_enables{}, picture.pixels.get(), &listener);
    if (in.read_failed()) return exit_failed;
    return decode_status(in, missing, listener);
}

// Decodes into a PPM file one block row at a time, each written straight to its place: the
// stream holds the bottom rows first, the file the top rows. Only a band of eight rows is ever
// in memory, however large the picture.
// `out` is a file (not standard output) and the picture has pixels.
int decode_to_ppm_file(kvrn_input& in, output_file& out) {
    const kvrn_header& header = in.header;
    image band;
    if (!allocate(band, header.width, 8, in.path)) return exit_failed;
    (void)std::fprintf(out.stream(), "P6\n%d %d\n255\n", band.width, header.height);
    // The rows go around the stream, after the header it holds.
    const long start = std::fflush(out.stream()) == 0 ? std::ftell(out.stream()) : -1;
    if (start < 0) {
        (void)out.commit();  // reports the failed write
        return exit_failed;
    }
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(header.width);
    byte_reader reader(in.file);
    first_missing_block listener;
    std::int64_t missing = 0;
    for (std::int32_t r0 = 0; r0 < header.height; r0 += 8) {
        missing +=
            decode_block_row(reader, header, channel_enables{}, r0, band.pixels.get(), &listener);
        const std::int32_t rows = band_rows(header, r0);
        std::array<std::span<const std::uint8_t>, 8> top_first;
        for (std::int32_t k = 0; k < rows; ++k) {
            top_first[static_cast<std::size_t>(k)] = {
                band.pixels.get() + pixel_offset(header.width, rows - 1 - k, 0), row_bytes};
        }
        // File row 0 is picture row height - 1, so this band begins at file row height - r0 - rows.
        const std::uint64_t offset =
            static_cast<std::uint64_t>(start) +
            static_cast<std::uint64_t>(header.height - r0 - rows) * row_bytes;
        if (!out.write_at(offset, std::span(top_first).first(static_cast<std::size_t>(rows))))
            break;
    }
    if (in.read_failed() || !out.commit()) return exit_failed;
    return decode_status(in, missing, listener);
}

bool write_output(const image& picture, const char* out_path) {
    output_file out;
    return out.open(out_path) && write_picture(picture, *format_of(out_path), out) && out.commit();
}

// Puts the coded blocks of the positions it is handed one after another into a buffer.
struct coding_sink {
    std::uint8_t* end;
    std::int64_t& clipped;
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        end += put_block(coefficients.y, end, clipped);
        end += put_block(coefficients.cr, end, clipped);
        end += put_block(coefficients.cb, end, clipped);
    }
};

// Clamps each block the preview draws into the picture, as OpenGL clamps the colours of the
// points it draws.
struct storing_sink {
    image& picture;
    void shown(const rgb_blocks& rgb, std::int32_t r0, std::int32_t c0) const {
        store_block(rgb, picture.pixels.get(), picture.width, picture.height, r0, c0);
    }
};

// Every block position of the stream, the partial ones on the right edge and in the last rows of
// the buffer (the top of the picture) included: quantise_block repeats the picture's last column
// and row for the pixels beyond it (the last band ends with the picture's last row). A block row
// is coded into `coded` and written at once, which spares stdio a locked copy per block. Returns
// the number of AC coefficients the writer clipped; nothing after a read error.
std::optional<std::int64_t> write_blocks(picture_bands& picture, const channel_steps& scales,
                                         std::FILE* out) {
    const std::int32_t width = picture.width();
    const auto columns = static_cast<std::size_t>(blocks_covering(width));
    std::vector<std::uint8_t> coded(3 * columns * put_block_room);
    std::int64_t clipped = 0;
    for (std::int32_t r0 = 0; r0 < picture.height(); r0 += 8) {
        const std::int32_t count = std::min(8, picture.height() - r0);
        const std::uint8_t* rows = picture.rows(r0, count);
        if (rows == nullptr) return std::nullopt;
        const picture_view band{rows, width, count};
        coding_sink sink{coded.data(), clipped};
        reencode_blocks(band, {scales, {}, block_coverage::every_position}, sink);
        (void)std::fwrite(coded.data(), 1, static_cast<std::size_t>(sink.end - coded.data()), out);
    }
    return clipped;
}

// The PSNR over the whole 8x8 blocks, the part of the picture the preview draws.
void report_psnr(const image& shown, const image& decoded, const char* name, std::int32_t step) {
    const std::int32_t width = decoded.width - decoded.width % 8;
    const std::int32_t height = decoded.height - decoded.height % 8;
    if (width == 0 || height == 0) {
        complain(name, "the picture holds no whole 8 x 8 block: the preview shows nothing of it");
        return;
    }
    std::uint64_t squares = 0;
    for (std::int32_t row = 0; row < height; ++row) {
        const std::size_t start = pixel_offset(decoded.width, row, 0);
        for (std::size_t i = start; i < start + 3 * static_cast<std::size_t>(width); ++i) {
            const int difference = shown.pixels[i] - decoded.pixels[i];
            squares += static_cast<std::uint64_t>(difference * difference);
        }
    }
    const double samples = 3.0 * width * height;
    if (squares == 0) {
        complain(name, "preview at step %d: identical to the decoded picture over %d x %d pixels",
                 step, width, height);
        return;
    }
    const double psnr = 10.0 * std::log10(255.0 * 255.0 * samples / static_cast<double>(squares));
    complain(name,
             "preview at step %d: PSNR %.2f dB against the decoded picture over %d x %d pixels",
             step, psnr, width, height);
}

}  // namespace

int info_command(const char* path) {
    kvrn_input in;
    if (!in.open(path)) return exit_failed;
    const kvrn_header& header = in.header;
    const std::int32_t columns = blocks_covering(header.width);
    const std::int64_t positions = block_positions(header);
    const std::int64_t blocks = 3 * positions;
    byte_reader reader(in.file);
    coef_block block;
    std::int64_t done = 0;
    std::uint64_t block_start = 0;
    for (; done < blocks; ++done) {
        block_start = reader.consumed();
        if (read_block(block, reader) != block_complete) break;
    }
    const std::uint64_t held = reader.consumed();
    std::uint64_t trailing = 0;
    if (done == blocks) {
        while (reader.next() >= 0) ++trailing;
    }
    if (in.read_failed()) return exit_failed;

    std::printf("file:         %s\nmagic:        0x%08x\nwidth:        %u\nheight:       %u\n",
                path, header.magic, static_cast<unsigned>(header.width),
                static_cast<unsigned>(header.height));
    std::printf("scales:       Y %u, Cr %u, Cb %u\n", static_cast<unsigned>(header.y_scale),
                static_cast<unsigned>(header.cr_scale), static_cast<unsigned>(header.cb_scale));
    std::printf("positions:    %lld (%d x %d blocks of 8 x 8)\n", static_cast<long long>(positions),
                columns, blocks_covering(header.height));
    if (done == blocks) {
        std::printf("stream bytes: %llu needed, %llu held\ncomplete:     yes\n",
                    static_cast<unsigned long long>(held), static_cast<unsigned long long>(held));
        std::printf("trailing:     %llu bytes\n", static_cast<unsigned long long>(trailing));
        return exit_ok;
    }
    // The shortest completion: the cut block ends with its DC and an end-of-block byte (one
    // byte when the DC is there), every later block is 3 bytes.
    const std::uint64_t cut = held - block_start;
    const std::uint64_t needed =
        held + (cut < 2 ? 3 - cut : 1) + 3 * static_cast<std::uint64_t>(blocks - done - 1);
    const std::int64_t position = done / 3;
    const block_place place{position, static_cast<channel>(done % 3),
                            static_cast<std::int32_t>(position % columns),
                            static_cast<std::int32_t>(position / columns)};
    std::printf("stream bytes: at least %llu needed, %llu held\n",
                static_cast<unsigned long long>(needed), static_cast<unsigned long long>(held));
    std::printf("complete:     no, the stream ends in %s\ntrailing:     0 bytes\n",
                describe(place).c_str());
    complain(path, "the block stream is incomplete");
    return exit_damaged;
}

int decode_command(const char* path, const char* out_path) {
    kvrn_input in;
    if (!in.open(path)) return exit_failed;
    if (std::strcmp(out_path, "-") != 0 && format_of(out_path) == picture_format::ppm) {
        output_file out;
        if (!has_pixels(in) || !out.open(out_path)) return exit_failed;
        return decode_to_ppm_file(in, out);
    }
    image picture;
    const int status = decode_file(in, picture);
    if (status == exit_failed) return status;
    return write_output(picture, out_path) ? status : exit_failed;
}

int encode_command(const char* in_path, const char* out_path, const channel_steps& scales) {
    picture_bands picture;
    if (!picture.open(in_path)) return exit_failed;
    output_file out;
    if (!out.open(out_path)) return exit_failed;
    kvrn_header header;
    header.width = static_cast<std::uint16_t>(picture.width());
    header.height = static_cast<std::uint16_t>(picture.height());
    header.y_scale = static_cast<std::uint16_t>(scales.y);
    header.cr_scale = static_cast<std::uint16_t>(scales.cr);
    header.cb_scale = static_cast<std::uint16_t>(scales.cb);
    const std::array<std::uint8_t, header_bytes> bytes = format_header(header);
    (void)std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
    const std::optional<std::int64_t> clipped = write_blocks(picture, scales, out.stream());
    if (!clipped || !out.commit()) return exit_failed;
    if (*clipped > 0) {
        complain(out_path,
                 "%lld AC coefficients did not fit in -127..126 and were clipped; larger steps "
                 "avoid that",
                 static_cast<long long>(*clipped));
    }
    return exit_ok;
}

int preview_command(const char* path, const char* out_path, std::int32_t step,
                    const channel_enables& channels) {
    kvrn_input in;
    if (!in.open(path)) return exit_failed;
    image decoded;
    const int status = decode_file(in, decoded);
    if (status == exit_failed) return status;
    image shown;
    if (!allocate(shown, decoded.width, decoded.height, out_path)) return exit_failed;
    // The window's clear colour shows where the preview draws nothing.
    std::memset(shown.pixels.get(), 255, *picture_bytes(shown.width, shown.height));
    reencode_blocks({decoded.pixels.get(), decoded.width, decoded.height},
                    {uniform_steps(step), channels, block_coverage::whole_blocks},
                    storing_sink{shown});
    if (!write_output(shown, out_path)) return exit_failed;
    report_psnr(shown, decoded, path, step);
    return status;
}

}  // namespace kvrn::cli
