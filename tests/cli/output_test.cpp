// Where the commands' output goes and how it gets there: standard output and terminals, write
// errors, files that are already there, the same file as the input, a command killed midway, and
// the same bytes for any number of threads.
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

// Replacing files that are already there. Each row runs in a scratch directory holding in.ppm
// and in.kvrn, with kvrn on the PATH and without root's licence to ignore permissions: `setup`,
// then `command` (its status and message checked), then `check`, shell tests that must hold;
// fresh.kvrn is what encode writes under a new name, to compare a replaced file with.
struct replace_row {
    std::string setup;
    std::string command;
    int status;
    std::string message;
    std::string check;
};

TEST(kvrn_tool, replaces_a_file_through_its_links_with_its_mode_owner_and_folder_left_alone) {
    const std::string is_fresh = "kvrn encode in.ppm fresh.kvrn && cmp fresh.kvrn ";
    const std::string untouched = "cmp in.ppm saved.ppm && cmp in.kvrn saved.kvrn";
    // Ownership can be given away only by root; anyone else checks the mode alone.
    const std::string give_away = "{ [ $(id -u) -ne 0 ] || chown 65534:65534 out.kvrn; }";
    const std::vector<replace_row> rows = {
        // A relative link is read from its own folder; the link stays, its target is replaced.
        {"mkdir d && echo old > t.kvrn && ln -s ../t.kvrn d/link.kvrn",
         "kvrn encode in.ppm d/link.kvrn", 0, "",
         is_fresh + "t.kvrn && test -L d/link.kvrn && test \"$(ls -A d)\" = link.kvrn"},
        {"echo old > out.kvrn && chmod 640 out.kvrn && " + give_away +
             " && stat -c %a:%u:%g out.kvrn > before",
         "kvrn encode --force in.ppm out.kvrn", 0, "",  // given away, it is not ours to write
         is_fresh + "out.kvrn && test \"$(stat -c %a:%u:%g out.kvrn)\" = \"$(cat before)\""},
        // Other hard links show the new picture too: the file is rewritten, not replaced.
        {"echo old > out.kvrn && ln out.kvrn other.kvrn", "kvrn encode in.ppm out.kvrn", 0, "",
         is_fresh + "other.kvrn && test $(stat -c %h out.kvrn) = 2"},
        // A folder that takes no new file: a writable file in it is rewritten, another is not.
        {"mkdir ro && echo old > ro/out.kvrn && chmod 555 ro", "kvrn encode in.ppm ro/out.kvrn", 0,
         "",
         is_fresh + "ro/out.kvrn && test \"$(ls -A ro)\" = out.kvrn; s=$?; chmod 755 ro; exit $s"},
        {"mkdir ro && echo old > ro/out.kvrn && chmod 444 ro/out.kvrn && chmod 555 ro",
         "kvrn encode in.ppm ro/out.kvrn", 1,
         "kvrn: ro/out.kvrn: is read-only; not replaced (--force replaces it)",
         "test \"$(cat ro/out.kvrn)\" = old; s=$?; chmod 755 ro; exit $s"},
        // The same file as the input, by its name, through a symbolic link and a hard link.
        {"ln -s in.ppm link.kvrn", "kvrn encode in.ppm link.kvrn", 1,
         "kvrn: link.kvrn: is also the input", untouched + " && test -L link.kvrn"},
        {"ln -s in.kvrn same.ppm", "kvrn decode in.kvrn same.ppm", 1,
         "kvrn: same.ppm: is also the input", untouched},
        {"ln in.kvrn same.png", "kvrn preview in.kvrn same.png", 1,
         "kvrn: same.png: is also the input", untouched},
    };
    for (const replace_row& row : rows) {
        SCOPED_TRACE(row.setup + "; " + row.command);
        const scratch_dir dir;
        dir.file("in.ppm", ppm(2, 2, std::string(12, '\x40')));
        dir.file("in.kvrn", kvrn_file(h8, {{5}, {-3}, {7}}));
        const child_result got = run_shell(
            "cd " + dir.path.string() + " && PATH=" + fs::path(KVRN_TOOL).parent_path().string() +
            ":$PATH && cp in.ppm saved.ppm && cp in.kvrn saved.kvrn && " + row.setup + " && " +
            row.command + " 2>&1; echo \"status $?\"; { " + row.check +
            "; } || echo 'check failed'");
        EXPECT_NE(got.output.find(row.message + (row.message.empty() ? "" : "\n") + "status " +
                                  std::to_string(row.status) + "\n"),
                  std::string::npos)
            << got.output;
        EXPECT_EQ(got.output.find("check failed"), std::string::npos) << got.output;
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
    return {
        // Standard output a terminal: no picture or KVRN stream is written to it.
        {"script -qec 'kvrn decode in.kvrn' /dev/null", trailing, 64,
         "kvrn: decode: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn decode --help'.\r\n"},
        {"script -qec 'kvrn preview in.kvrn -' /dev/null", trailing, 64,
         "kvrn: preview: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn preview --help'.\r\n"},
        {"script -qec 'kvrn encode in.ppm -' /dev/null", small_ppm, 64,
         "kvrn: encode: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn encode --help'.\r\n"},
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
