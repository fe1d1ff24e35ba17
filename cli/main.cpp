// kvrn: inspects, decodes, encodes and previews KVRN pictures from the command line.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/picture_io.h"

namespace kvrn::cli {
namespace {

constexpr const char* tool_usage = R"(Usage: kvrn COMMAND [OPTIONS] FILE...
Inspects, decodes, encodes and previews KVRN pictures.

Commands:
  info FILE           show the header of FILE and check its block stream
  decode FILE OUT     decode the KVRN file FILE into the picture OUT
  encode IN OUT       encode the picture IN as the KVRN file OUT
  preview FILE OUT    write what the viewer's window shows for FILE

Options:
  --help              show this text; after a command, the command's text
  --version           show the version

Pictures are binary PPM (P6, maxval 255) or PNG, chosen by the extension of the
name. '-' is standard input or output: PPM for pictures, KVRN for KVRN files.
Pictures are written top row first and look exactly like the viewer's window.

Exit status: 0 success; 1 failure, leaving no output file; 2 output written from
a truncated KVRN file, or info found the block stream incomplete; 64 bad command
line.
)";

constexpr const char* info_usage = R"(Usage: kvrn info FILE
Shows the header of the KVRN file FILE, its grid of 8x8 block positions, how
many bytes the block stream needs against how many FILE holds, whether the
stream is complete, and how many bytes trail it. Exit status 2 when the stream
is incomplete.
)";

constexpr const char* decode_usage = R"(Usage: kvrn decode FILE OUT
Decodes the KVRN file FILE exactly as the viewer loads it and writes the picture
to OUT (.ppm, .png, or - for PPM on standard output). A truncated block stream
is decoded from what it holds, with a warning and exit status 2.
)";

constexpr const char* encode_usage = R"(Usage: kvrn encode [--step N | --scales Y,CR,CB] IN OUT
Encodes the picture IN (.ppm, .png, or - for PPM on standard input) as the KVRN
file OUT (- for standard output), quantising 8x8 blocks the way the viewer's
preview does. Each side of IN must be 1 to 65535 pixels. Blocks start from the
bottom-left corner; partial blocks on the right and top edges repeat the
rightmost column and the top row.

  --step N           quantise all three channels by N (1..65535, default 8)
  --scales Y,CR,CB   quantise the Y, Cr and Cb channels by these (1..65535)

AC coefficients that do not fit in -127..126 are clipped; how many is reported
on standard error.
)";

constexpr const char* preview_usage = R"(Usage: kvrn preview [--step N] [--channels yrb] FILE OUT
Writes to OUT (.ppm, .png, or - for PPM on standard output) the picture the
viewer's window shows for the KVRN file FILE: every whole 8x8 block quantised by
N and reconstructed from the chosen channels, the strips beyond the last whole
blocks white. Reports the PSNR against the decoded picture on standard error.

  --step N           the quantisation step (1..2147483647, default 1)
  --channels yrb     the channels shown: any of y (Y), r (Cr), b (Cb); default yrb
)";

enum class verb { info, decode, encode, preview };

struct command_entry {
    std::string_view name;
    verb which;
    const char* usage;
    std::size_t operands;
    std::vector<std::string_view> options;
};

const std::vector<command_entry>& commands() {
    static const std::vector<command_entry> all = {
        {"info", verb::info, info_usage, 1, {}},
        {"decode", verb::decode, decode_usage, 2, {}},
        {"encode", verb::encode, encode_usage, 2, {"--step", "--scales"}},
        {"preview", verb::preview, preview_usage, 2, {"--step", "--channels"}},
    };
    return all;
}

struct command_line {
    std::vector<const char*> operands;
    bool help = false;
    std::optional<std::int32_t> step;
    std::optional<channel_steps> scales;
    std::optional<channel_enables> channels;
};

std::optional<std::int32_t> parse_number(std::string_view text, std::int32_t low,
                                         std::int32_t high) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<channel_steps> parse_scales(std::string_view text) {
    std::array<std::int32_t, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t comma = i + 1 < values.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const std::optional<std::int32_t> value = parse_number(text.substr(0, comma), 1, 65535);
        if (!value) return std::nullopt;
        values[i] = *value;
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return channel_steps{values[0], values[1], values[2]};
}

std::optional<channel_enables> parse_channels(std::string_view text) {
    channel_enables enables{0, 0, 0};
    for (const char letter : text) {
        switch (letter) {
            case 'y':
                enables.use_y = 1;
                break;
            case 'r':
                enables.use_cr = 1;
                break;
            case 'b':
                enables.use_cb = 1;
                break;
            default:
                return std::nullopt;
        }
    }
    return enables;
}

// Takes one option and its value into `line`; false after complaining.
bool take_option(std::string_view name, std::string_view value, command_line& line) {
    bool good = false;
    if (name == "--step") good = (line.step = parse_number(value, 1, 2147483647)).has_value();
    if (name == "--scales") good = (line.scales = parse_scales(value)).has_value();
    if (name == "--channels") good = (line.channels = parse_channels(value)).has_value();
    if (good) return true;
    complain(name, "bad value '%.*s'", static_cast<int>(value.size()), value.data());
    return false;
}

// Reads the options and operands after the command name; false after complaining.
bool parse(const command_entry& command, int argc, char** argv, command_line& line) {
    bool operands_only = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (operands_only || argument == "-" || !argument.starts_with('-')) {
            line.operands.push_back(argv[i]);
        } else if (argument == "--") {
            operands_only = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else {
            const std::size_t equals = argument.find('=');
            const std::string_view name = argument.substr(0, equals);
            if (std::find(command.options.begin(), command.options.end(), name) ==
                command.options.end()) {
                complain(command.name, "unknown option %s", argv[i]);
                return false;
            }
            if (equals == std::string_view::npos && i + 1 == argc) {
                complain(command.name, "option %s needs a value", argv[i]);
                return false;
            }
            const std::string_view value =
                equals != std::string_view::npos ? argument.substr(equals + 1) : argv[++i];
            if (!take_option(name, value, line)) return false;
        }
    }
    if (line.help) return true;
    // A header carries 16-bit scales.
    if (command.which == verb::encode && line.step && *line.step > 65535) {
        complain("--step", "bad value '%d': a KVRN scale is 1..65535", *line.step);
        return false;
    }
    if (line.step && line.scales) {
        complain(command.name, "give --step or --scales, not both");
        return false;
    }
    if (line.operands.size() != command.operands) {
        complain(command.name, "takes %zu file name%s, not %zu", command.operands,
                 command.operands == 1 ? "" : "s", line.operands.size());
        return false;
    }
    // The picture side of the command must name a format the tool knows.
    const char* picture = command.which == verb::encode ? line.operands[0] : line.operands.back();
    if (command.which != verb::info && !format_of(picture)) {
        complain(picture, "unknown picture type: the name must end in .ppm or .png, or be -");
        return false;
    }
    return true;
}

int run(const command_entry& command, const command_line& line) {
    const std::vector<const char*>& files = line.operands;
    switch (command.which) {
        case verb::info:
            return info_command(files[0]);
        case verb::decode:
            return decode_command(files[0], files[1]);
        case verb::encode: {
            const std::int32_t step = line.step.value_or(8);
            return encode_command(files[0], files[1],
                                  line.scales.value_or(channel_steps{step, step, step}));
        }
        case verb::preview:
            return preview_command(files[0], files[1], line.step.value_or(1),
                                   line.channels.value_or(channel_enables{}));
    }
    return exit_failed;
}

int main_program(int argc, char** argv) {
    if (argc < 2) {
        (void)std::fputs(tool_usage, stderr);
        return exit_usage;
    }
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
        (void)std::fputs(tool_usage, stdout);
        return exit_ok;
    }
    if (first == "--version") {
        std::printf("kvrn %s\n", KVRN_VERSION);
        return exit_ok;
    }
    for (const command_entry& command : commands()) {
        if (command.name != first) continue;
        command_line line;
        if (!parse(command, argc, argv, line)) {
            (void)std::fputs(command.usage, stderr);
            return exit_usage;
        }
        if (line.help) {
            (void)std::fputs(command.usage, stdout);
            return exit_ok;
        }
        return run(command, line);
    }
    complain(first, "unknown command");
    (void)std::fputs(tool_usage, stderr);
    return exit_usage;
}

}  // namespace
}  // namespace kvrn::cli

int main(int argc, char** argv) {
    return kvrn::cli::main_program(argc, argv);
}
