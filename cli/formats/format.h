// The choice of picture format, made here for every picture the tool reads or writes: pictures
// read are recognised from their first bytes, on files and standard input alike; pictures
// written take the format of their name's extension, "-" being PPM on standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// What the tool writes.
enum class picture_format { ppm, png };

// The format an output path asks for: ".ppm" or ".png" in any case; "-" is PPM on standard
// output. Nothing for other names.
std::optional<picture_format> format_of(std::string_view path);

// Whether the output `path`, given on the command line, names a picture format; complains when
// it does not.
bool names_picture(const char* path);

// What the tool reads, known by the first bytes: FF D8 FF, the PNG signature, P1 to P7.
enum class input_format { jpeg, png, netpbm };

// Opens the picture at `path` for reading ("-": standard input) and sets `format` from its first
// bytes, which the stream still gives: a file is rewound, a pipe is read through a stream that
// hands them back first. Nothing, after complaining, when the picture cannot be opened or is of
// no format the tool reads.
std::FILE* open_picture(const char* path, input_format& format);
// Closes what open_picture opened.
void close_picture(std::FILE* in);

// Reads a whole picture in `format` from `in`, refusing one of more than `max_pixels` pixels from
// its header; `path` names it in the messages.
read_status read_picture(std::FILE* in, input_format format, const char* path,
                         std::uint64_t max_pixels, image& picture);

// Writes `picture` top row first to `path` ("-": standard output) in the format its name gives.
// A file appears under its name only once it is complete.
bool write_picture(const image& picture, const char* path);

}  // namespace kvrn::cli
