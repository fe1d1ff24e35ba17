// PNG pictures, read and written through libpng's full API: every form is read, 16-bit samples
// and alpha reaching the tool as stored; 8-bit RGB is written, top row first.
#pragma once

#include <cstdio>
#include <string_view>

#include "cli/formats/picture_format.h"
#include "codec/picture.h"

namespace kvrn::cli {

extern const picture_format png_format;

// Reads a PNG picture: palette and grey become RGB, 16-bit samples are scaled as netpbm scales
// them, and alpha is composed onto white in the sample values, as browsers show it, at the file's
// own depth (cli/formats/samples.h). Sides a KVRN picture cannot have, or more pixels than the
// request allows, are refused from the header.
read_status read_png(std::FILE* in, const read_request& request, image& picture);

// What a PNG file written carries besides its pixels.
struct png_notes {
    // An sRGB chunk, the colour space of the tool's pictures.
    bool srgb = true;
    // Text for a tEXt chunk of keyword "Description", or nothing.
    const char* description = nullptr;
    // Text for a tEXt chunk of keyword "Colour bar" (a map's bar's figures), or nothing.
    const char* colour_bar = nullptr;
    // Who says why writing failed: the writer ("cannot write the PNG picture: ..."), or libpng in
    // its own words ("libpng error: ..."), the caller then saying which file failed.
    bool libpng_says_errors = false;
};

// Writes `picture` (row 0 the bottom row) as an 8-bit RGB PNG file, top row first. `path` names
// it in the messages.
bool write_png(const picture_view& picture, std::FILE* out, std::string_view path,
               const png_notes& notes);

}  // namespace kvrn::cli
