// How the kvrn tool reports: errors, warnings and notes on standard error, and the process exit
// statuses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvrn::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;
// The output was made from a truncated block stream, info found the stream incomplete, or a
// codec of a sweep failed on the picture: the output is there, without what failed.
inline constexpr int exit_damaged = 2;
// EX_USAGE of sysexits.h.
inline constexpr int exit_usage = 64;

// How much the tool says besides its errors, which it always says: -q, the default, -v.
enum class verbosity { quiet, normal, verbose };

// Set once by the command line before a command runs.
void set_verbosity(verbosity level);
verbosity current_verbosity();

// While one lives, what this thread would say on standard error is kept in `kept` instead, one
// line each: a program that reads pictures with the tool's readers (the Python package) gives the
// tool's words as its own error, not as output on a console it does not own.
class kept_messages {
  public:
    explicit kept_messages(std::string& kept);
    ~kept_messages();
    kept_messages(const kept_messages&) = delete;
    kept_messages& operator=(const kept_messages&) = delete;

  private:
    std::string* before_;
};

// Writes "kvrn: <name>: <message>\n" to standard error: something failed.
void complain(std::string_view name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes "kvrn: <name>: warning: <message>\n" unless quiet: the output was made, but differs from
// what the user may expect (clipped coefficients, data that ends early, an orientation applied).
void warn(std::string_view name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes "kvrn: <name>: <message>\n" only when verbose: figures about a run that went well.
void note(std::string_view name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reports picture data at `path` that ends after `rows_read` of its `height` rows.
void complain_short(const char* path, std::int32_t rows_read, std::int32_t height);

// `text` as a JSON string, quotes included.
std::string json_string(std::string_view text);

}  // namespace kvrn::cli
