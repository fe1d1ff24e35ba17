// How the kvrn tool reports trouble: messages on standard error and the process exit statuses.
#pragma once

#include <cstdint>
#include <string_view>

namespace kvrn::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;
// The output was made from a truncated block stream, or info found the stream incomplete.
inline constexpr int exit_damaged = 2;
// EX_USAGE of sysexits.h.
inline constexpr int exit_usage = 64;

// Writes "kvrn: <name>: <message>\n" to standard error.
void complain(std::string_view name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reports picture data at `path` that ends after `rows_read` of its `height` rows.
void complain_short(const char* path, std::int32_t rows_read, std::int32_t height);

}  // namespace kvrn::cli
