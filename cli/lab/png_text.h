// The lab's maps as PNG files that carry their own key: what the colours mean, in a text chunk.
#pragma once

#include <cstdint>
#include <string>

#include "cli/output_file.h"

namespace kvrn::cli {

// Writes the RGB `pixels` (`width` x `height`, row 0 the bottom row) as an 8-bit RGB PNG file to
// `out`, with `legend` in a tEXt chunk of keyword "Description" and, unless empty, `bar` (the
// colour bar's figures) in one of keyword "Colour bar", and commits it. False after complaining;
// nothing is then left under the name.
bool write_map_png(output_file& out, const std::uint8_t* pixels, std::int32_t width,
                   std::int32_t height, const std::string& legend, const std::string& bar);

}  // namespace kvrn::cli
