#include "cli/report.h"

#include <cstdarg>
#include <cstdio>

namespace kvrn::cli {

void complain(std::string_view name, const char* format, ...) {
    (void)std::fprintf(stderr, "kvrn: %.*s: ", static_cast<int>(name.size()), name.data());
    va_list arguments;
    va_start(arguments, format);
    (void)std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    (void)std::fputc('\n', stderr);
}

void complain_short(const char* path, std::int32_t rows_read, std::int32_t height) {
    complain(path, "the picture data ends after %d of %d rows", rows_read, height);
}

}  // namespace kvrn::cli
