// Which table of codec/kernels.h a program runs, as the environment variable KVRN_KERNELS
// chooses it: the choice is made once per process, so each case starts a program of its own.
#include <gtest/gtest.h>

#include <string>

#include "codec/kernels.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

// The table a program started with KVRN_KERNELS set to `setting` (removed when nullptr) runs, as
// it reports it.
std::string table_run_with(const char* setting) {
    const std::string command =
        (setting != nullptr ? "env KVRN_KERNELS='" + std::string(setting) + "' "
                            : std::string("env -u KVRN_KERNELS ")) +
        KVRN_EMULATOR + " '" + KVRN_KERNELS_PROBE + "'";
    const child_result probe = run_shell(command);
    EXPECT_EQ(probe.exit_status, 0) << command;
    return probe.output;
}

// "plain" alone takes the vector versions away; unset, empty, other spellings and names of
// other tables leave the processor's fastest. A program reads the setting once, when it first
// runs a block function, so each case is a program of its own.
TEST(kernel_choice, follows_the_environment_of_each_program) {
    const std::string fastest = vector_kernels() != nullptr ? "vector\n" : "plain\n";
    const struct {
        const char* setting;
        std::string table;
    } cases[] = {
        {nullptr, fastest},   {"plain", "plain\n"}, {"", fastest},
        {"PLAIN", fastest},   {"plain ", fastest},  {"plai", fastest},
        {"plainer", fastest}, {"vector", fastest},  {"avx2", fastest},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(table_run_with(c.setting), c.table)
            << (c.setting != nullptr ? c.setting : "unset");
    }
}

}  // namespace
}  // namespace kvrn::testing
