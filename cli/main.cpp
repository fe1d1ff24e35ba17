// kvrn: inspects, decodes, encodes and previews KVRN pictures from the command line.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/formats/format_help.h"
#include "cli/lab/commands.h"
#include "cli/output_file.h"
#include "cli/report.h"

namespace kvrn::cli {

namespace {

constexpr const char* tool_head = R"(Usage: kvrn COMMAND [OPTIONS] FILE...
Inspects, decodes, encodes and previews KVRN pictures, and measures what
quantisation costs.

Commands:
)";

// The options every command takes, after the command or before it.
constexpr const char* common_options = R"(Common options:
  -q, --quiet        say nothing but errors: no warnings
  -v, --verbose      also say the figures: sizes, bits per pixel, steps, PSNR,
                     threads, time
  -f, --force        replace output files that are read-only too; without it
                     they are refused and left as they are
  --max-pixels N     refuse pictures of more than N pixels, from their headers
                     (N at least 1; default 268435456, 16384 x 16384)
  -h, --help         show the help (of the command, after one)
  -V, --version      show the version
Short options combine: -qs 8 is -q -s 8, as is -qs8.
)";

constexpr const char* tool_options_end = R"(
'kvrn help COMMAND' or 'kvrn COMMAND --help' shows a command's options.

)";

// Follows what formats are read and written, in one paragraph.
constexpr std::string_view standard_streams =
    "'-' is standard input or output: any picture read, PPM written, KVRN for KVRN files. "
    "Pictures and KVRN streams are never written to a terminal.";

constexpr const char* tool_tail = R"(
Messages go to standard error as 'kvrn: NAME: what is wrong'. Warnings
('kvrn: NAME: warning: ...') say that an output was made but differs from what
was asked for: clipped coefficients, input that ends early or is damaged, an
EXIF orientation applied; -q silences them.

Exit status: 0 success; 1 failure, leaving no output file; 2 output written from
a truncated KVRN or JPEG file or a raw netpbm file with samples above its maxval
(clamped), or info found the block stream incomplete; 64 bad command line.
)";

// The commands, in the order of the help and of the "unknown command" check: kvrn's own, then
// the quantisation lab's (cli/lab/commands.h).
const std::vector<const command_entry*> all_commands = [] {
    std::vector<const command_entry*> all = {&info_entry, &decode_entry, &encode_entry,
                                             &preview_entry};
#if defined(KVRN_LAB_COMMANDS)
    // This is kvrn-lab: the lab's commands run here.
    all.insert(all.end(), lab_entries.begin(), lab_entries.end());
#elif defined(KVRN_LAB)
    // Listed here, run by kvrn-lab.
    for (const command_entry& listing : lab_listings) all.push_back(&listing);
#endif
    return all;
}();

const command_entry* find_command(std::string_view name) {
    for (const command_entry* entry : all_commands) {
        if (entry->name == name) return entry;
    }
    return nullptr;
}

void print_tool_help(std::FILE* out) {
    (void)std::fputs(tool_head, out);
    // The summaries line up two spaces after the longest command and its operands.
    std::size_t widest = 0;
    for (const command_entry* entry : all_commands) {
        widest = std::max(widest, entry->name.size() + 1 + entry->operand_names.size());
    }
    for (const command_entry* entry : all_commands) {
        const std::string head = std::string(entry->name) + " " + std::string(entry->operand_names);
        (void)std::fprintf(out, "  %-*s  %.*s\n", static_cast<int>(widest), head.c_str(),
                           static_cast<int>(entry->summary.size()), entry->summary.data());
    }
    (void)std::fputc('\n', out);
    (void)std::fputs(common_options, out);
    (void)std::fputs(tool_options_end, out);
    const std::string paragraph = formats_in_words() + " " + std::string(standard_streams);
    (void)std::fputs(wrapped(paragraph, help_width, "", "").c_str(), out);
    (void)std::fputs(tool_tail, out);
}

void print_command_help(const command_entry& entry) {
    (void)std::fputs(entry.usage, stdout);
    (void)std::fputc('\n', stdout);
    (void)std::fputs(common_options, stdout);
}

int print_version() {
    std::printf("kvrn %s\n", KVRN_VERSION);
    return exit_ok;
}

// Ends a usage mistake, said on the line before, with where the help is; the status for it.
int usage_mistake(const command_entry* entry) {
    if (entry == nullptr) {
        (void)std::fputs("Try 'kvrn --help'.\n", stderr);
    } else {
        (void)std::fprintf(stderr, "Try 'kvrn %.*s --help'.\n",
                           static_cast<int>(entry->name.size()), entry->name.data());
    }
    return exit_usage;
}

struct command_line {
    std::vector<const char*> operands;
    bool help = false;
    bool force = false;
    bool version = false;  // -V: said at once, ending the program
    verbosity level = verbosity::normal;
};

// The options every command takes that take no value, by their long name or their letter: true
// when `argument` was one of them.
bool take_common_flag(std::string_view argument, command_line& line) {
    if (argument == "--help" || argument == "h") {
        line.help = true;
    } else if (argument == "--quiet" || argument == "q") {
        line.level = verbosity::quiet;
    } else if (argument == "--verbose" || argument == "v") {
        line.level = verbosity::verbose;
    } else if (argument == "--force" || argument == "f") {
        line.force = true;
    } else if (argument == "--version" || argument == "V") {
        line.version = true;
    } else {
        return false;
    }
    return true;
}

// Whether `argument` is nothing but common flags, "--quiet" or "-qv", taking them.
bool take_common_flags(std::string_view argument, command_line& line) {
    if (argument.starts_with("--")) return take_common_flag(argument, line);
    if (argument.size() < 2 || argument[0] != '-') return false;
    command_line taken = line;
    for (std::size_t i = 1; i < argument.size(); ++i) {
        if (!take_common_flag(argument.substr(i, 1), taken)) return false;
    }
    line = taken;
    return true;
}

constexpr option_entry max_pixels_option = {"--max-pixels", 0, "a whole number of at least 1"};

// The option a long argument ("--step", "--step=4") names; `attached` is set to the value given
// in the same argument.
const option_entry* find_long_option(const command_entry& entry, std::string_view argument,
                                     std::optional<std::string_view>& attached) {
    const std::size_t equals = argument.find('=');
    const auto matches = [&](const option_entry& option) {
        return argument.substr(0, equals) == option.name;
    };
    const option_entry* found = nullptr;
    if (matches(max_pixels_option)) {
        found = &max_pixels_option;
    } else {
        const auto option = std::ranges::find_if(entry.options, matches);
        if (option != entry.options.end()) found = &*option;
    }
    if (found != nullptr && equals != std::string_view::npos)
        attached = argument.substr(equals + 1);
    return found;
}

// The command's option with the letter `letter`, if any.
const option_entry* find_short_option(const command_entry& entry, char letter) {
    const auto option = std::ranges::find(entry.options, letter, &option_entry::short_name);
    return letter == 0 || option == entry.options.end() ? nullptr : &*option;
}

// Reads the options and operands after the command name, handing the options to `started` as
// they come, and has it check them and the operands; false after complaining in one line.
bool parse(const command_entry& entry, command& started, int first, int argc, char** argv,
           command_line& line) {
    // Hands an option its value, from the argument itself or the next one; false after
    // complaining.
    const auto give = [&](const option_entry& option, std::optional<std::string_view> value,
                          int& i) {
        const std::string_view name = option.name;
        if (option.accepts.empty()) {
            if (value) {
                complain(name, "takes no value");
                return false;
            }
            value = std::string_view{};
        } else if (!value) {
            if (i + 1 == argc) {
                complain(name, "needs a value: %.*s", static_cast<int>(option.accepts.size()),
                         option.accepts.data());
                return false;
            }
            value = argv[++i];
        }
        bool taken = false;
        if (&option == &max_pixels_option) {
            const std::optional<std::uint64_t> limit = parse_max_pixels(*value);
            if (limit) started.max_pixels = *limit;
            taken = limit.has_value();
        } else {
            taken = started.take_option(name, *value);
        }
        if (!taken) {
            complain(name, "bad value '%.*s': %.*s", static_cast<int>(value->size()), value->data(),
                     static_cast<int>(option.accepts.size()), option.accepts.data());
        }
        return taken;
    };
    bool operands_only = false;
    for (int i = first; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (operands_only || argument == "-" || !argument.starts_with('-')) {
            line.operands.push_back(argv[i]);
            continue;
        }
        if (argument == "--") {
            operands_only = true;
            continue;
        }
        if (argument.starts_with("--")) {
            if (take_common_flag(argument, line)) {
                if (line.version) return true;
                continue;
            }
            std::optional<std::string_view> value;
            const option_entry* option = find_long_option(entry, argument, value);
            if (option == nullptr) {
                complain(entry.name, "unknown option %s", argv[i]);
                return false;
            }
            if (!give(*option, value, i)) return false;
            continue;
        }
        // Letters, as getopt reads them: flags one after another, and an option that takes a value
        // last, its value the rest of the argument or the next one.
        for (std::size_t k = 1; k < argument.size(); ++k) {
            if (take_common_flag(argument.substr(k, 1), line)) {
                if (line.version) return true;
                continue;
            }
            const option_entry* option = find_short_option(entry, argument[k]);
            if (option == nullptr) {
                // A word after one dash is named whole, as given.
                if (k == 1) {
                    complain(entry.name, "unknown option %s", argv[i]);
                } else {
                    complain(entry.name, "unknown option -%c", argument[k]);
                }
                return false;
            }
            std::optional<std::string_view> value;
            if (!option->accepts.empty() && k + 1 < argument.size()) value = argument.substr(k + 1);
            if (!give(*option, value, i)) return false;
            if (!option->accepts.empty()) break;
        }
    }
    if (line.help) return true;
    if (!started.check_options()) return false;
    const std::size_t count = line.operands.size();
    if (count < entry.min_operands || count > entry.max_operands) {
        const char* plural = entry.max_operands == 1 ? "" : "s";
        if (entry.max_operands == any_number) {
            complain(entry.name, "takes at least %zu file name%s (%.*s), not %zu",
                     entry.min_operands, entry.min_operands == 1 ? "" : "s",
                     static_cast<int>(entry.operand_names.size()), entry.operand_names.data(),
                     count);
        } else if (entry.min_operands == entry.max_operands) {
            complain(entry.name, "takes %zu file name%s (%.*s), not %zu", entry.max_operands,
                     plural, static_cast<int>(entry.operand_names.size()),
                     entry.operand_names.data(), count);
        } else {
            complain(entry.name, "takes %zu to %zu file names (%.*s), not %zu", entry.min_operands,
                     entry.max_operands, static_cast<int>(entry.operand_names.size()),
                     entry.operand_names.data(), count);
        }
        return false;
    }
    return started.check_operands(line.operands);
}

int main_program(int argc, char** argv) {
    // Common options may come before the command too: kvrn -v encode ..., kvrn --help encode.
    command_line line;
    int first = 1;
    for (; first < argc && take_common_flags(argv[first], line); ++first) {
        if (line.version) return print_version();
    }
    if (first == argc) {
        if (line.help) {
            print_tool_help(stdout);
            return exit_ok;
        }
        (void)std::fputs("kvrn: no command given\n", stderr);
        return usage_mistake(nullptr);
    }
    std::string_view name = argv[first];
    if (name == "help") {
        if (first + 1 == argc) {
            print_tool_help(stdout);
            return exit_ok;
        }
        line.help = true;
        name = argv[++first];
    }
    const command_entry* entry = find_command(name);
    if (entry == nullptr) {
        if (name.starts_with('-')) {
            complain(name, "unknown option; a command comes first");
        } else {
            complain(name, "unknown command");
        }
        return usage_mistake(nullptr);
    }
#if defined(KVRN_LAB) && !defined(KVRN_LAB_COMMANDS)
    if (entry->start == nullptr) return run_in_lab(entry->name, argv);
#endif
    const std::unique_ptr<command> started = entry->start();
    if (!parse(*entry, *started, first + 1, argc, argv, line)) return usage_mistake(entry);
    if (line.version) return print_version();
    if (line.help) {
        print_command_help(*entry);
        return exit_ok;
    }
    set_verbosity(line.level);
    set_force(line.force);
    return started->run(line.operands);
}

}  // namespace
}  // namespace kvrn::cli

int main(int argc, char** argv) {
    return kvrn::cli::main_program(argc, argv);
}
