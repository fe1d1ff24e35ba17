#include "cli/report.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace kvrn::cli {
namespace {

verbosity level_said = verbosity::normal;

void say(std::string_view name, const char* kind, const char* format, va_list arguments) {
    (void)std::fprintf(stderr, "kvrn: %.*s: %s", static_cast<int>(name.size()), name.data(), kind);
    (void)std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    (void)std::fputc('\n', stderr);
}

}  // namespace

void set_verbosity(verbosity level) {
    level_said = level;
}

verbosity current_verbosity() {
    return level_said;
}

void complain(std::string_view name, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(name, "", format, arguments);
    va_end(arguments);
}

void warn(std::string_view name, const char* format, ...) {
    if (level_said == verbosity::quiet) return;
    va_list arguments;
    va_start(arguments, format);
    say(name, "warning: ", format, arguments);
    va_end(arguments);
}

void note(std::string_view name, const char* format, ...) {
    if (level_said != verbosity::verbose) return;
    va_list arguments;
    va_start(arguments, format);
    say(name, "", format, arguments);
    va_end(arguments);
}

void complain_short(const char* path, std::int32_t rows_read, std::int32_t height) {
    complain(path, "the picture data ends after %d of %d rows", rows_read, height);
}

// `text` as a JSON string, quotes included.
std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> escape{};
            (void)std::snprintf(escape.data(), escape.size(), "\\u%04x", c);
            quoted += escape.data();
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

}  // namespace kvrn::cli
