// Every netpbm form that carries a picture, plain and raw: PBM (P1, P4), PGM (P2, P5), PPM (P3,
// P6) and PAM (P7) of black and white, grey or RGB, with or without alpha, maxval 1 to 65535.
// Samples are scaled to 8 bits as netpbm scales them; grey becomes R = G = B; alpha is composed
// onto white (cli/formats/samples.h). Written: binary PPM (P6, maxval 255), the whole picture or
// the bands of a decoder each at its place in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "cli/formats/picture_format.h"
#include "cli/formats/samples.h"
#include "cli/image.h"
#include "cli/output_file.h"
#include "codec/band_decoder.h"
#include "codec/kvrn_format.h"

namespace kvrn::cli {

extern const picture_format netpbm_format;

struct netpbm_header {
    char form = 0;  // the digit after the 'P': '1' .. '7'
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxval = 0;  // 1 for bitmaps
    std::uint32_t depth = 0;   // samples per pixel, alpha included
    bool alpha = false;        // the last sample of a pixel is its opacity
    bool plain = false;        // samples written as decimal numbers (P1, P2, P3)
    bool bitmap = false;       // PBM: one bit per pixel, 1 is black
    // Where the raster starts in the stream the header came from, or -1 when it cannot tell
    // (a pipe).
    std::int64_t data_start = -1;
    // How the rows of a form other than PBM become 8-bit RGB.
    sample_rows samples;
};

// Whether `start` (the first bytes of a file) begins with a netpbm magic number, P1 to P7.
bool is_netpbm(std::span<const std::uint8_t> start);

// Reads a whole netpbm picture.
read_status read_netpbm(std::FILE* in, const read_request& request, image& picture);

// What follows reads a picture in parts, so that a large raw file can be read band by band at
// its offsets (cli/picture_bands.h).

// Reads the header, the magic number included, and checks it: sides of 1 to max_side and no
// more than `max_pixels` pixels, refused before anything is allocated for them. `name` is the
// file's name for the messages.
bool read_netpbm_header(std::FILE* in, std::string_view name, std::uint64_t max_pixels,
                        netpbm_header& header);

// The bytes of one row of the raster of a raw form, as stored: rows follow each other with
// nothing between them, the top row first.
std::size_t netpbm_row_bytes(const netpbm_header& header);

// One row of a raw form, `netpbm_row_bytes` long, as width RGB pixels of 8 bits. Returns the
// number of samples above the maxval, which count as the maxval.
std::size_t convert_netpbm_row(const netpbm_header& header, const std::uint8_t* raw,
                               std::uint8_t* rgb);

// Says that `count` raw samples above the header's maxval were clamped.
void warn_clamped(std::string_view name, const netpbm_header& header, std::uint64_t count);

// Reads the raster after the header into `picture`, which has the header's sides. Raw samples
// above the maxval are clamped, with a warning: damaged.
read_status read_netpbm_rows(std::FILE* in, std::string_view name, const netpbm_header& header,
                             image& picture);

// Writes the header of a `width` x `height` binary PPM picture; the rows follow it, top first.
void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height);

// Writes `picture` as a binary PPM picture. Stops at the first failed write, whose error stays in
// the stream for whoever closes it to report: true all the same.
bool write_ppm(const image& picture, std::FILE* out, std::string_view path);

// Writes each band a decoder hands over straight to its place in a PPM file whose header is
// written and whose rows start at byte `rows_start`: the stream holds the bottom rows first, the
// file the top rows. Each band has its own place, so that no band waits for the one before it.
class ppm_band_writer final : public band_sink {
  public:
    ppm_band_writer(output_file& out, const kvrn_header& header, std::uint64_t rows_start)
        : out_(out), header_(header), rows_start_(rows_start) {}
    std::uint8_t* destination(std::int32_t /*r0*/) override { return nullptr; }
    bool any_order() const override { return true; }
    bool decoded(std::int32_t r0, const std::uint8_t* pixels) override;

  private:
    output_file& out_;
    const kvrn_header& header_;
    std::uint64_t rows_start_;
};

}  // namespace kvrn::cli
