// The shape every picture format the tool reads has: a file of its own defines one
// picture_format, and format.cpp's table lists it. The table is all that encode, the lab's
// commands, the choice of output format and the help texts know of formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// Enough of the start of a file to tell every format read: the PNG signature is the longest.
inline constexpr std::size_t recognised_bytes = 8;

// What a reader is told besides its stream.
struct read_request {
    std::string_view name;  // the file, for the messages
    // Pictures of more pixels are refused from their headers, before anything large is allocated.
    std::uint64_t max_pixels = default_max_pixels;
};

struct picture_format {
    // What messages and the help call it, and the same with the forms it covers: "netpbm",
    // "netpbm (PBM, PGM, PPM, PAM)".
    std::string_view name;
    std::string_view name_and_forms;
    // The tool's help, in a sentence listing what is read: "every netpbm form (PBM, PGM, PPM,
    // PAM)".
    std::string_view in_a_list;
    // encode's help: what of it is read, one paragraph that the help wraps.
    std::string_view details;
    // Whether `start`, the first recognised_bytes of a file (fewer if it is shorter), begins a
    // picture of this format.
    bool (*recognise)(std::span<const std::uint8_t> start);
    // Reads the whole picture from the stream's current position as 8-bit RGB, turned upright and
    // composed onto white where the format says how; says what went wrong on standard error.
    read_status (*read)(std::FILE* in, const read_request& request, image& picture);

    // For the formats the tool also writes: the extension of an output name that asks for it
    // (any case), what the help calls what is written, and the writer. It writes the picture top
    // row first, complains naming `path` when it fails, and leaves a failed write of the stream
    // to whoever closes it.
    std::string_view extension = {};
    std::string_view written_as = {};
    bool (*write)(const image& picture, std::FILE* out, std::string_view path) = nullptr;
};

}  // namespace kvrn::cli
