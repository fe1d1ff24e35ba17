#include "cli/report.h"

#include <cstdarg>
#include <cstdio>

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

}  // namespace kvrn::cli
