// Where the commands' output goes and how it gets there: standard output and terminals, write
// errors, a command killed midway, and the same bytes for any number of threads. Files that are
// there already, the input among them, are readonly_test.cpp's.
#include <signal.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

namespace fs = std::filesystem;

// Every command that spreads block rows over threads writes the same bytes and says the same
// things for any number of threads: on a picture with partial edge blocks and more block rows than
// threads, and on its stream cut inside a block row, between rows and inside the header's
// neighbourhood.
TEST_F(cli_test, the_number_of_threads_changes_nothing_written) {
    const int width = 61, height = 203;  // 26 block rows, the last 3 pixels high; 8 columns
    dir.file("p.ppm", noise_ppm(width, height));
    ASSERT_EQ(kvrn("encode --step 3 --threads 1 p.ppm s.kvrn").exit_status, 0);
    const std::string stream = dir.read("s.kvrn");
    for (const std::size_t kept :
         {stream.size(), stream.size() - 1, stream.size() / 2, std::size_t{15}}) {
        SCOPED_TRACE(kept);
        dir.file("cut.kvrn", stream.substr(0, kept));
        std::optional<std::string> first;
        for (const char* threads : {"1", "2", "3", "7"}) {
            const std::string t = std::string(" --threads ") + threads + " ";
            std::string all;
            for (const std::string& command :
                 {"encode" + t + "p.ppm e.kvrn", "decode" + t + "cut.kvrn d.ppm",
                  "decode" + t + "cut.kvrn d.png", "decode" + t + "cut.kvrn -",
                  "preview --step 5" + t + "cut.kvrn v.ppm"}) {
                const child_result run = kvrn(command + " 2>&1");
                all += std::to_string(run.exit_status) + run.output;
            }
            for (const char* file : {"e.kvrn", "d.ppm", "d.png", "v.ppm"}) all += dir.read(file);
            if (!first) first = all;
            EXPECT_TRUE(all == *first) << "--threads " << threads;
        }
    }
}

// A decode killed while it writes leaves nothing in the folder: the output has no name until it
// is complete. The picture, 65535 x 65535 pixels without a coded block, takes 12 GB as PPM, so the
// kill always comes in the middle.
TEST(kvrn_tool, a_decode_killed_midway_leaves_no_file) {
    const scratch_dir dir;
    const std::string in = dir.file("in.kvrn", kvrn_file({kvrn_magic, 65535, 65535, 1, 1, 1}));
    process decode(std::vector<std::string>{KVRN_TOOL, "decode", "--max-pixels", "4294836225", in,
                                            (dir.path / "out.ppm").string()});
    // Writing, once the process holds a file in the folder other than its input.
    const auto writing = [&] {
        std::error_code error;
        for (const auto& fd :
             fs::directory_iterator("/proc/" + std::to_string(decode.pid) + "/fd", error)) {
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (target.starts_with(dir.path.string()) && target != in) return true;
        }
        return false;
    };
    ASSERT_TRUE(poll_until(60, writing));
    ASSERT_EQ(kill(decode.pid, SIGKILL), 0);
    EXPECT_EQ(decode.wait(10), -1);
    EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dir.path), {}), std::set<fs::path>{in});
}

}  // namespace

std::vector<tool_row> output_cases() {
    const std::string ppm_in = "kvrn encode in.ppm out.kvrn";
    // What `command` says on a terminal, whose lines end in carriage returns too.
    const auto refused = [](const std::string& command) {
        return "kvrn: " + command + ": will not write to a terminal: name an output file, or " +
               "redirect standard output\r\nTry 'kvrn " + command + " --help'.\r\n";
    };
    return {
        // Standard output a terminal: no picture or KVRN stream is written to it.
        {"script -qec 'kvrn decode in.kvrn' /dev/null", trailing, 64, refused("decode")},
        {"script -qec 'kvrn preview in.kvrn -' /dev/null", trailing, 64, refused("preview")},
        {"script -qec 'kvrn encode in.ppm -' /dev/null", small_ppm, 64, refused("encode")},
        // Left out, OUT is standard output.
        {"kvrn decode in.kvrn | head -c 11", trailing, 0, "P6\n8 8\n255\n"},
        {"kvrn preview in.kvrn | head -c 11", trailing, 0, "P6\n8 8\n255\n"},
        {"kvrn decode in.kvrn missing/out.ppm", trailing, 1,
         "kvrn: missing/out.ppm: cannot create: No such file or directory"},
        {"kvrn preview in.kvrn ro/out.png", trailing, 1, "Permission denied", true},
        {"kvrn decode in.kvrn - >/dev/full", trailing, 1, "-: write error on standard output"},
        {no_space + "kvrn decode in.kvrn out.ppm", wide, 1, "out.ppm: write error: File too large"},
        {"kvrn encode in.ppm ro/out.kvrn", small_ppm, 1,
         "kvrn: ro/out.kvrn: cannot create: Permission denied"},
        {"kvrn encode in.ppm dir.ppm", small_ppm, 1, "kvrn: dir.ppm: is a directory"},
        {"kvrn encode in.ppm in.ppm", small_ppm, 1, "kvrn: in.ppm: is also the input", true},
        {no_space + ppm_in, "P6\n512 64\n255\n" + std::string(98304, 'A'), 1,
         "out.kvrn: write error: File too large"},
    };
}

}  // namespace kvrn::testing
