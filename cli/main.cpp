// kvrn: inspects, decodes, encodes and previews KVRN pictures from the command line.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"

namespace kvrn::cli {
namespace {

constexpr const char* tool_usage = R"(Usage: kvrn COMMAND [OPTIONS] FILE...
Inspects, decodes, encodes and previews KVRN pictures, and measures what
quantisation costs.

Commands:
  info FILE           show the header of FILE and check its block stream
  decode FILE OUT     decode the KVRN file FILE into the picture OUT
  encode IN OUT       encode the picture IN as the KVRN file OUT
  preview FILE OUT    write what the viewer's window shows for FILE
)";

// The quantisation lab's commands, in a build that has them.
#ifdef KVRN_LAB
constexpr const char* lab_usage =
    R"(  sweep PICTURE       measure KVRN's steps and JPEG's qualities: bytes, PSNR, SSIM
  diff A B [MAP]      compare two pictures in figures, and as an error map
  blocks FILE MAP     map the coded bytes of each block of the KVRN file FILE
)";
#else
constexpr const char* lab_usage = "";
#endif

constexpr const char* options_usage = R"(
Options:
  --help              show this text; after a command, the command's text
  --version           show the version
  --max-pixels N      after any command: refuse pictures of more than N pixels,
                      from their headers (default 268435456, 16384 x 16384)

Pictures read are JPEG (turned upright as its EXIF orientation says), PNG and
every netpbm form (PBM, PGM, PPM, PAM), recognised by their first bytes; alpha
is composed onto white. Pictures written are binary PPM or PNG, chosen by the
extension of the name. '-' is standard input or output: any picture read, PPM
written, KVRN for KVRN files. Pictures are written top row first and look
exactly like the viewer's window.

Exit status: 0 success; 1 failure, leaving no output file; 2 output written from
a truncated KVRN or JPEG file, or info found the block stream incomplete; 64 bad
command line.
)";

// The commands, in the order of the usage text.
constexpr std::array all_commands = {
    &info_entry,  &decode_entry, &encode_entry, &preview_entry,
#ifdef KVRN_LAB
    &sweep_entry, &diff_entry,   &blocks_entry,
#endif
};

struct command_line {
    std::vector<const char*> operands;
    bool help = false;
};

// Reads the options and operands after the command name, handing the options to `started` as
// they come, and has it check them and the operands; false after complaining.
bool parse(const command_entry& entry, command& started, int argc, char** argv,
           command_line& line) {
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
            const bool limit = name == "--max-pixels";
            if (!limit && std::find(entry.options.begin(), entry.options.end(), name) ==
                              entry.options.end()) {
                complain(entry.name, "unknown option %s", argv[i]);
                return false;
            }
            if (equals == std::string_view::npos && i + 1 == argc) {
                complain(entry.name, "option %s needs a value", argv[i]);
                return false;
            }
            const std::string_view value =
                equals != std::string_view::npos ? argument.substr(equals + 1) : argv[++i];
            const std::optional<std::uint64_t> max_pixels =
                limit ? parse_max_pixels(value) : std::nullopt;
            if (max_pixels) started.max_pixels = *max_pixels;
            if (limit ? !max_pixels : !started.take_option(name, value)) {
                complain(name, "bad value '%.*s'", static_cast<int>(value.size()), value.data());
                return false;
            }
        }
    }
    if (line.help) return true;
    if (!started.check_options()) return false;
    const std::size_t most = entry.operands + entry.optional_operands;
    if (line.operands.size() < entry.operands || line.operands.size() > most) {
        if (most == entry.operands) {
            complain(entry.name, "takes %zu file name%s, not %zu", entry.operands,
                     entry.operands == 1 ? "" : "s", line.operands.size());
        } else {
            complain(entry.name, "takes %zu to %zu file names, not %zu", entry.operands, most,
                     line.operands.size());
        }
        return false;
    }
    return started.check_operands(line.operands);
}

void print_usage(std::FILE* out) {
    (void)std::fputs(tool_usage, out);
    (void)std::fputs(lab_usage, out);
    (void)std::fputs(options_usage, out);
}

int main_program(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return exit_usage;
    }
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
        print_usage(stdout);
        return exit_ok;
    }
    if (first == "--version") {
        std::printf("kvrn %s\n", KVRN_VERSION);
        return exit_ok;
    }
    for (const command_entry* entry : all_commands) {
        if (entry->name != first) continue;
        const std::unique_ptr<command> started = entry->start();
        command_line line;
        if (!parse(*entry, *started, argc, argv, line)) {
            (void)std::fputs(entry->usage, stderr);
            return exit_usage;
        }
        if (line.help) {
            (void)std::fputs(entry->usage, stdout);
            return exit_ok;
        }
        return started->run(line.operands);
    }
    complain(first, "unknown command");
    print_usage(stderr);
    return exit_usage;
}

}  // namespace
}  // namespace kvrn::cli

int main(int argc, char** argv) {
    return kvrn::cli::main_program(argc, argv);
}
