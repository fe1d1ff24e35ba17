#include "cli/lab/commands.h"

namespace kvrn::cli {

const std::array<const command_entry*, lab_commands.size()> lab_entries = {
    &sweep_entry,
    &diff_entry,
    &blocks_entry,
    &inspect_entry,
};

}  // namespace kvrn::cli
