// The quantisation lab's commands. Their libraries (cairo with its font and X libraries, zstd)
// take longer to load than a photograph takes to decode, so the commands are built into kvrn-lab,
// the same program with the lab in, and kvrn lists them from the table below and hands them over
// to it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "cli/commands.h"

namespace kvrn::cli {

// What kvrn --help says of a command.
struct command_head {
    std::string_view name;
    std::string_view operand_names;
    std::string_view summary;
};

// The lab's commands, in the order kvrn --help lists them after kvrn's own. A new one is a file in
// this folder making its entry from its row (lab_entry, lab_command), its row here, and its entry
// in lab_entries (commands.cpp); kvrn --help lists it, and from that list the manual page and the
// bash completion.
inline constexpr std::array<command_head, 4> lab_commands = {{
    {"sweep", "PICTURE", "bytes and distortion of KVRN, JPEG, WebP, AVIF, JPEG XL"},
    {"diff", "A B [MAP]", "compare two pictures in figures, and as an error map"},
    {"blocks", "FILE MAP", "map the coded bytes of each block of the KVRN file FILE"},
    {"inspect", "FILE COLUMN ROW", "show one block's way through the encoder and back"},
}};

// The row of the lab command `name`: a name without one does not compile.
consteval const command_head& lab_command(std::string_view name) {
    for (const command_head& head : lab_commands) {
        if (head.name == name) return head;
    }
    throw "not in lab_commands";
}

// The entry of a lab command in kvrn-lab, made from its row.
constexpr command_entry lab_entry(const command_head& head, const char* usage,
                                  std::size_t min_operands, std::size_t max_operands,
                                  std::span<const option_entry> options,
                                  std::unique_ptr<command> (*start)()) {
    return {head.name,    head.operand_names, head.summary, usage,
            min_operands, max_operands,       options,      start};
}

// The entries of kvrn-lab's commands (sweep.cpp, diff.cpp, blocks.cpp, inspect.cpp), and kvrn-lab's
// list of them, one for each row of lab_commands and in its order (commands.cpp).
extern const command_entry sweep_entry;
extern const command_entry diff_entry;
extern const command_entry blocks_entry;
extern const command_entry inspect_entry;
extern const std::array<const command_entry*, lab_commands.size()> lab_entries;

// The rows as kvrn lists them: entries without a start function, which kvrn hands to kvrn-lab.
inline constexpr std::array<command_entry, lab_commands.size()> lab_listings = [] {
    std::array<command_entry, lab_commands.size()> listings{};
    for (std::size_t i = 0; i < lab_commands.size(); ++i) {
        const command_head& head = lab_commands[i];
        listings[i] = {head.name, head.operand_names, head.summary, nullptr, 0, 0, {}, nullptr};
    }
    return listings;
}();

// Replaces this process with kvrn-lab, found beside this program (the build tree) or where it is
// installed, given the same arguments. Returns only when it cannot be started, after saying so
// for `command`: the exit status then.
int run_in_lab(std::string_view command, char** argv);

}  // namespace kvrn::cli
