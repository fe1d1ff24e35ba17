// kvrn decode: a KVRN file decoded as the viewer loads it, written as a picture.
#include <array>
#include <cstdio>
#include <cstring>
#include <span>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/formats/ppm.h"
#include "cli/kvrn_input.h"
#include "cli/output_file.h"
#include "codec/byte_reader.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

constexpr const char* decode_usage = R"(Usage: kvrn decode FILE OUT
Decodes the KVRN file FILE exactly as the viewer loads it and writes the picture
to OUT (.ppm, .png, or - for PPM on standard output). A truncated block stream
is decoded from what it holds, with a warning and exit status 2.

  --max-pixels N     refuse pictures of more than N pixels (default 268435456)
)";

class decode_request final : public command {
  public:
    bool check_operands(std::span<const char* const> operands) override {
        return names_picture(operands[1]);
    }
    int run(std::span<const char* const> operands) override {
        return decode_command(operands[0], operands[1], max_pixels);
    }
};

// Decodes into a PPM file one block row at a time, each written straight to its place: the
// stream holds the bottom rows first, the file the top rows. Only a band of eight rows is ever
// in memory, however large the picture.
// `out` is a file (not standard output) and the picture has pixels.
int decode_to_ppm_file(kvrn_input& in, output_file& out) {
    const kvrn_header& header = in.header;
    image band;
    if (!allocate(band, header.width, 8, in.path)) return exit_failed;
    write_ppm_header(out.stream(), band.width, header.height);
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

}  // namespace

const command_entry decode_entry = {"decode", decode_usage, 2, {}, start_command<decode_request>};

int decode_command(const char* path, const char* out_path, std::uint64_t max_pixels) {
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    if (std::strcmp(out_path, "-") != 0 && format_of(out_path) == picture_format::ppm) {
        output_file out;
        if (!has_pixels(in) || !out.open(out_path)) return exit_failed;
        return decode_to_ppm_file(in, out);
    }
    image picture;
    const int status = decode_file(in, picture);
    if (status == exit_failed) return status;
    return write_picture(picture, out_path) ? status : exit_failed;
}

}  // namespace kvrn::cli
