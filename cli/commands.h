// The commands of the kvrn tool, and how the command line starts them. Each command reports
// its own errors on standard error and returns the process exit status (cli/report.h).
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "cli/image.h"
#include "cli/report.h"
#include "codec/coef_block.h"

namespace kvrn::cli {

// Prints the header of the KVRN file `path`, its block grid and the state of its block stream, as
// lines of text or as one line of JSON.
int info_command(const char* path, std::uint64_t max_pixels, bool json);

// The commands that work block row by block row spread the rows over `threads` threads (0: every
// online core); what they write is the same for any number.

// Decodes the KVRN file `path` as the viewer's loader does, with the channels of the mask
// `channels` (KVRN_CHANNEL_* bits), and writes the picture to `out_path`.
int decode_command(const char* path, const char* out_path, unsigned channels,
                   std::uint64_t max_pixels, unsigned threads);

// Each refuses a picture of more than `max_pixels` pixels (--max-pixels) from its header.

// A size the encoded file is to keep within: at most `bytes`, or at most `bits_per_pixel`.
struct size_target {
    std::optional<std::uint64_t> bytes;
    std::optional<double> bits_per_pixel;
};

// Quantises the picture `in_path` block by block with `scales` and writes the KVRN file. A scale
// of 0 is chosen from the picture: the smallest that clips none of its AC coefficients. With a
// `target`, the scales are instead the smallest step, all three alike, whose file keeps within
// it.
int encode_command(const char* in_path, const char* out_path, const channel_steps& scales,
                   std::uint64_t max_pixels, unsigned threads, const size_target& target = {});

// Writes what the viewer's window shows for the KVRN file `path` at `step` with the channels of
// the mask `channels`.
int preview_command(const char* path, const char* out_path, std::int32_t step, unsigned channels,
                    std::uint64_t max_pixels, unsigned threads);

// One command as the command line starts it. The parser hands it each of its options with the
// value, in the order given; then, unless help was asked for, it checks the options together,
// the parser counts the operands, the command checks them, and it runs. The options every
// command takes (--max-pixels, -q, -v, -h) the parser keeps to itself.
class command {
  public:
    command() = default;
    virtual ~command() = default;
    command(const command&) = delete;
    command& operator=(const command&) = delete;

    // Takes one of the options the command's entry lists, by its long name, with its value (empty
    // for a flag); false for a value it refuses, which the parser reports with what the option
    // accepts. A command without options is never handed one.
    virtual bool take_option(std::string_view /*name*/, std::string_view /*value*/) {
        return false;
    }
    // Checks what the options say together; false after complaining.
    virtual bool check_options() { return true; }
    // Checks the operands, as many as the entry allows; false after complaining.
    virtual bool check_operands(std::span<const char* const> /*operands*/) { return true; }
    // Runs the command with those operands and returns the exit status.
    virtual int run(std::span<const char* const> operands) = 0;

    // --max-pixels, which every command takes.
    std::uint64_t max_pixels = default_max_pixels;
};

// One option of a command, as the parser reads it and a usage error describes it.
struct option_entry {
    std::string_view name;  // the long form, "--step"
    char short_name = 0;    // 's' for -s; 0 for none
    // The values the option takes, said after a bad one: "a whole number from 1 to 65535". Empty
    // for a flag, which takes no value.
    std::string_view accepts;
};

// Any number of operands.
inline constexpr std::size_t any_number = SIZE_MAX;

// What the command line knows of a command before it starts it. A new command is a file of its
// own defining an entry (name, operands, summary, help text, operand counts, options) and a
// `command` class, the entry declared below and listed in main.cpp's all_commands (a lab command:
// cli/lab/commands.h); the parser, the usage errors, both levels of help and, from the help, the
// manual page and the bash completion then cover it.
struct command_entry {
    std::string_view name;
    // Its operands and what it does, one line each in kvrn --help: "FILE OUT", "decode ...".
    std::string_view operand_names;
    std::string_view summary;
    // The command's help: printed for kvrn COMMAND --help and kvrn help COMMAND, followed by the
    // options every command takes.
    const char* usage;
    std::size_t min_operands;
    std::size_t max_operands;  // any_number for no limit
    std::span<const option_entry> options;
    std::unique_ptr<command> (*start)();
};

// The start function of an entry.
template <class request>
std::unique_ptr<command> start_command() {
    return std::make_unique<request>();
}

extern const command_entry info_entry;
extern const command_entry decode_entry;
extern const command_entry encode_entry;
extern const command_entry preview_entry;

// What --threads accepts, for the option tables.
inline constexpr std::string_view threads_accepted = "a whole number from 1 to 1024";

// Refuses to write a picture or a KVRN stream to standard output when it is a terminal, where
// it would only garble the screen; `command` names the command in the message. A command-line
// mistake: the caller reports it as one.
bool refuse_terminal_output(std::string_view command);

// Says, when verbose, the picture's size, the threads used (0: every online core) and the time
// since `started`.
void note_run(std::string_view name, std::int32_t width, std::int32_t height, unsigned threads,
              std::chrono::steady_clock::time_point started);

// `text` as a whole decimal number from `low` to `high`; nothing for anything else.
inline std::optional<std::int32_t> parse_number(std::string_view text, std::int32_t low,
                                                std::int32_t high) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// A KVRN scale, 1..65535, or, where `automatic` allows it, 0 for "auto".
inline std::optional<std::int32_t> parse_scale(std::string_view text, bool automatic) {
    if (automatic && text == "auto") return 0;
    return parse_number(text, 1, 65535);
}

// "Y,CR,CB", each a KVRN scale (or auto, where `automatic` allows it).
inline std::optional<channel_steps> parse_scales(std::string_view text, bool automatic) {
    std::array<std::int32_t, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t comma = i + 1 < values.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const std::optional<std::int32_t> value = parse_scale(text.substr(0, comma), automatic);
        if (!value) return std::nullopt;
        values[i] = *value;
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return channel_steps{values[0], values[1], values[2]};
}

// The value of --threads: 1 to 1024 threads.
inline std::optional<unsigned> parse_threads(std::string_view text) {
    const std::optional<std::int32_t> count = parse_number(text, 1, 1024);
    if (!count) return std::nullopt;
    return static_cast<unsigned>(*count);
}

// The value of --max-pixels: a whole decimal number of at least 1.
inline std::optional<std::uint64_t> parse_max_pixels(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 1) return std::nullopt;
    return value;
}

}  // namespace kvrn::cli
