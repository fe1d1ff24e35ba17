// The picture formats the tool knows, one row each in a table, and the choice among them for
// every picture read or written: pictures read are recognised from their first bytes, on files
// and standard input alike; pictures written take the format of their name's extension, "-" being
// the first written format (binary PPM) on standard output.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "cli/formats/picture_format.h"
#include "cli/image.h"

namespace kvrn::cli {

// Every format, in the order the help and the messages list them.
std::span<const picture_format* const> picture_formats();

// The formats written, the one of standard output first.
std::vector<const picture_format*> formats_written();

// The format an output path asks for by its extension, in any case; "-" is the format of
// standard output. Nothing for other names.
const picture_format* format_written_to(std::string_view path);

// Whether the output `path`, given on the command line, names a picture format written;
// complains when it does not.
bool names_picture(const char* path);

// Opens the picture at `path` for reading ("-": standard input) and finds its format from its
// first bytes, which the stream still gives: a file is rewound, a pipe is read through a stream
// that hands them back first. Nothing, after complaining, when the picture cannot be opened or is
// of no format the tool reads.
std::FILE* open_picture(const char* path, const picture_format*& format);
// Closes what open_picture opened.
void close_picture(std::FILE* in);

// Writes `picture` top row first to `path` ("-": standard output) in the format its name gives.
// A file appears under its name only once it is complete.
bool write_picture(const image& picture, const char* path);

}  // namespace kvrn::cli
