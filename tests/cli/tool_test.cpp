// The catalogue of cases of every command, gathered from the command's test files: hostile input
// and every other way to fail, each case with the exact message, exit status and files it must
// leave, and every command outside the lab once under valgrind. The viewer's answers to hostile
// files are the loader tests' and the window tests' business.
#include <cstdlib>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// Every case with what kvrn must make of it.
std::vector<tool_row> hostile_inputs() {
    std::vector<tool_row> all;
    for (std::vector<tool_row> (*group)() :
         {usage_cases, info_cases, kvrn_input_cases, encode_cases, preview_cases, output_cases,
          lab_cases}) {
        std::vector<tool_row> rows = group();
        all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
}

TEST(kvrn_tool, answers_every_case_with_its_message_status_and_no_stray_file) {
    for (const tool_row& row : hostile_inputs()) check_tool(row);
}

// Definite and possible leaks count as errors too, so any of them turns the status into 9.
TEST(kvrn_tool, every_command_runs_clean_under_valgrind) {
    if (KVRN_SANITIZED) GTEST_SKIP() << "valgrind cannot run a sanitized program";
    if (KVRN_EMULATED) GTEST_SKIP() << "valgrind cannot run a program for another processor";
    if (std::system("command -v valgrind >/dev/null") != 0) GTEST_SKIP() << "no valgrind";
    // --trace-children: the lab's commands run in kvrn-lab, which kvrn starts in its place.
    const std::string wrapper =
        "kvrn() { valgrind -q --trace-children=yes --leak-check=full --error-exitcode=9 " +
        std::string(KVRN_VALGRIND_TOOL) + " \"$@\"; } && ";
    // The lab's commands load libjxl, whose vector library (libhwy) times the processor's clock
    // at start-up with an instruction valgrind cannot run (it stops on SIGILL); they run under
    // AddressSanitizer and LeakSanitizer in the sanitizer builds instead.
    const auto in_lab = [](const tool_row& row) {
        for (const char* command : {"kvrn sweep", "kvrn diff", "kvrn blocks", "kvrn inspect"}) {
            if (row.command.starts_with(command)) return true;
        }
        return false;
    };
    for (const tool_row& row : hostile_inputs()) {
        if (row.valgrind && !in_lab(row)) check_tool(row, wrapper);
    }
}

}  // namespace

}  // namespace kvrn::testing
