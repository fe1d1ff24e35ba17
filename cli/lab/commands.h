// The quantisation lab's commands as kvrn lists them. Their libraries (cairo with its font and X
// libraries, zstd) take longer to load than a photograph takes to decode, so the commands are
// built into kvrn-lab, the same program with the lab in, and kvrn hands them over to it.
#pragma once

#include <string_view>

#include "cli/commands.h"

namespace kvrn::cli {

// What kvrn --help says of a command.
struct command_head {
    std::string_view name;
    std::string_view operand_names;
    std::string_view summary;
};

inline constexpr command_head sweep_head = {"sweep", "PICTURE",
                                            "bytes, PSNR and SSIM of KVRN, KVRN+zstd and JPEG"};
inline constexpr command_head diff_head = {"diff", "A B [MAP]",
                                           "compare two pictures in figures, and as an error map"};
inline constexpr command_head blocks_head = {
    "blocks", "FILE MAP", "map the coded bytes of each block of the KVRN file FILE"};

// An entry that only lists a command run by kvrn-lab: it has no start function.
constexpr command_entry listed_entry(const command_head& head) {
    return {head.name, head.operand_names, head.summary, nullptr, 0, 0, {}, nullptr};
}

// The entries of kvrn-lab (sweep.cpp, diff.cpp, blocks.cpp beside this file).
extern const command_entry sweep_entry;
extern const command_entry diff_entry;
extern const command_entry blocks_entry;

// Replaces this process with kvrn-lab, found beside this program (the build tree) or where it is
// installed, given the same arguments. Returns only when it cannot be started, after saying so
// for `command`: the exit status then.
int run_in_lab(std::string_view command, char** argv);

}  // namespace kvrn::cli
