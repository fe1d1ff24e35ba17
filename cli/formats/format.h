// The choice of picture format, made here for every picture the tool reads or writes: by the
// extension of the name, "-" being PPM on a standard stream.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

enum class picture_format { ppm, png };

// The format a picture path asks for: ".ppm" or ".png" in any case; "-" is PPM on a standard
// stream. Nothing for other names.
std::optional<picture_format> format_of(std::string_view path);

// Whether `path`, given on the command line, names a picture format; complains when it does not.
bool names_picture(const char* path);

// Opens the picture at `path` for reading ("-": standard input) and sets `format` to its format.
// Nothing, after complaining, when the format is unknown or the file cannot be opened.
std::FILE* open_picture(const char* path, picture_format& format);
// Closes what open_picture opened.
void close_picture(std::FILE* in);

// Reads a whole picture in `format` from `in`; `path` names it in the messages.
bool read_picture(std::FILE* in, picture_format format, const char* path, image& picture);

// Writes `picture` top row first to `path` ("-": standard output) in the format its name gives.
// A file appears under its name only once it is complete.
bool write_picture(const image& picture, const char* path);

}  // namespace kvrn::cli
