// Every netpbm form that carries a picture, plain and raw: PBM (P1, P4), PGM (P2, P5), PPM (P3,
// P6) and PAM (P7) of black and white, grey or RGB, with or without alpha, maxval 1 to 65535.
// Samples are scaled to 8 bits as netpbm scales them; grey becomes R = G = B; alpha is composed
// onto white (cli/formats/alpha.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "cli/image.h"

namespace kvrn::cli {

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
    // Every sample value 0 .. maxval as 8 bits; values above maxval in raw data count as maxval
    // (clamped: the picture is read a band at a time, so they are found too late to refuse it).
    std::vector<std::uint8_t> to_8_bits;
};

// Whether `start` (the first bytes of a file) begins with a netpbm magic number, P1 to P7.
bool is_netpbm(std::span<const std::uint8_t> start);

// Reads the header, the magic number included, and checks it: sides of 1 to max_side and no
// more than `max_pixels` pixels, refused before anything is allocated for them. `name` is the
// file's name for the messages.
bool read_netpbm_header(std::FILE* in, std::string_view name, std::uint64_t max_pixels,
                        netpbm_header& header);

// Fills `to_8_bits` for the header's maxval. PNG rows, laid out as PAM's RGB or RGB_ALPHA
// rows, are converted through a header made up and filled this way.
void fill_scale(netpbm_header& header);

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

// Reads a whole netpbm picture.
read_status read_netpbm(std::FILE* in, std::string_view name, image& picture,
                        std::uint64_t max_pixels);

}  // namespace kvrn::cli
