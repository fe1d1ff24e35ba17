#include "cli/report.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace kvrn::cli {
namespace {

verbosity level_said = verbosity::normal;
thread_local std::string* kept_here = nullptr;

void say(std::string_view name, const char* kind, const char* format, va_list arguments) {
    if (kept_here != nullptr) {
        va_list measuring;
        va_copy(measuring, arguments);
        const int length = std::vsnprintf(nullptr, 0, format, measuring);
        va_end(measuring);
        std::string message(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
        (void)std::vsnprintf(message.data(), message.size(), format, arguments);
        message.pop_back();
        *kept_here += std::string(name) + ": " + kind + message + "\n";
        return;
    }
    (void)std::fprintf(stderr, "kvrn: %.*s: %s", static_cast<int>(name.size()), name.data(), kind);
    (void)std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    (void)std::fputc('\n', stderr);
}

}  // namespace

kept_messages::kept_messages(std::string& kept) : before_(kept_here) {
    kept_here = &kept;
}

kept_messages::~kept_messages() {
    kept_here = before_;
}

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
