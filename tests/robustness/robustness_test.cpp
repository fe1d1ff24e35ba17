// Hostile input through the real programs: kvrn-view on a virtual X server and the kvrn tool,
// each bad input with the exact message, exit status and files it must leave.
#include <linux/capability.h>
#include <sys/prctl.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "harness.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

namespace fs = std::filesystem;

std::string le16(int value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}
std::string header(int width, int height, int ys = 1, int cs = 1, int bs = 1,
                   const std::string& magic = "NRVK") {
    return magic + le16(width) + le16(height) + le16(ys) + le16(cs) + le16(bs);
}
// A coded block: the DC, `count` AC bytes of value `ac`, and the end-of-block byte if count < 63.
std::string block(int dc, int ac = 0, int count = 0) {
    return le16(dc) + std::string(count, static_cast<char>(ac)) + (count < 63 ? "\x7F" : "");
}
// 16 x 9 (2 x 2 positions) of full-length blocks, the DC alternating between dc and -1 - dc.
std::string extreme(int ys, int cs, int bs, int dc, int ac) {
    std::string file = header(16, 9, ys, cs, bs);
    for (int n = 0; n < 12; ++n) file += block(n % 2 == 0 ? dc : -1 - dc, ac, 63);
    return file;
}

const std::string trailing = header(8, 8) + block(5) + block(-3) + block(7) + "garbage";
const std::string cut_in_dc = header(8, 8) + "\x05";
const std::string cut_in_ac = header(8, 8) + le16(5) + "\x01\x02";
const std::string cut_before_eob = header(8, 8) + block(5) + block(-3) + le16(7) + "\x01";
const std::string wide = header(65535, 1);
const std::string tall = header(1, 65535);
const std::string ppm = "P6\n2 2\n255\n" + std::string(12, '\x40');
// 2 x 2 RGB: the IHDR checksum at 29..32, the IDAT data at 41..58, IEND from 63.
const std::string png(
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0\xfd\xd4\x9a\x73\0\0\0\x12"
    "IDAT\x78\xda\x63\x38\xc1\xc5\xc5\x75\x82\x8b\x01\x42\x01\x00\x19\x9a\x03\x71\xd9\xd7\x36\x86"
    "\0\0\0\0IEND\xae\x42\x60\x82",
    75);
const std::string bad_checksum = png.substr(0, 30) + '\0' + png.substr(31);

// A fresh directory for one run, with a read-only directory ro/ and a directory dir.ppm/.
struct scratch_dir {
    scratch_dir() {
        std::string name = (fs::temp_directory_path() / "kvrn-hostile-XXXXXX").string();
        EXPECT_NE(mkdtemp(name.data()), nullptr);
        path = name;
        fs::create_directories(path / "dir.ppm");
        fs::create_directory(path / "ro");
        fs::permissions(path / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    }
    ~scratch_dir() { fs::remove_all(path); }
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.insert(entry.path().filename());
        return names;
    }
    fs::path path;
};

// A shell command run in the scratch directory with kvrn on the PATH. The word "in.*" in it
// names the file that gets `input` (none when nullopt). Standard output and error together must
// hold `message`. Exit 0 or 2 must add the command's last word to the directory, anything else
// nothing at all, no temporary either.
struct tool_row {
    std::string command;
    std::optional<std::string> input;
    int status;
    std::string message;
    bool valgrind = false;  // also one of the runs under valgrind
};

void check_tool(const tool_row& row, const std::string& wrapper = "") {
    SCOPED_TRACE(row.command + " on " + row.input.value_or("nothing").substr(0, 40));
    const scratch_dir dir;
    const std::size_t in = row.command.find(" in.");
    const std::string file = row.command.substr(in + 1, row.command.find(' ', in + 1) - in - 1);
    if (row.input) std::ofstream(dir.path / file, std::ios::binary) << *row.input;
    std::set<std::string> want = dir.entries();
    if (row.status == 0 || row.status == 2)
        want.insert(row.command.substr(row.command.rfind(' ') + 1));
    const std::string command = "cd " + dir.path.string() +
                                " && PATH=" + fs::path(KVRN_TOOL).parent_path().string() +
                                ":$PATH && " + wrapper + row.command;
    const child_result got = run_in_child(
        [&] {
            // Without this capability root meets directory permissions like anyone else.
            (void)prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            (void)dup2(STDOUT_FILENO, STDERR_FILENO);
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        },
        "");
    EXPECT_EQ(got.exit_status, row.status) << got.output;
    EXPECT_NE(got.output.find(row.message), std::string::npos) << got.output;
    EXPECT_EQ(dir.entries(), want);
}

// A viewer run: the text after "Error opening file <name>" for a refused file; for a loaded
// one, how many coded blocks the stream holds in full (-1: all). `file` is the name typed.
struct viewer_row {
    std::optional<std::string> input;
    std::optional<std::string> error;
    std::int64_t whole_blocks = -1;
    std::string file = "in.kvrn";
};

struct catalogue {
    std::vector<tool_row> tool;
    std::vector<viewer_row> viewer;
};

// Every bad input with what each program must make of it. A KVRN file goes to the viewer and
// to kvrn info, decode and preview; pictures and unwritable outputs to kvrn alone.
catalogue hostile_inputs() {
    const std::string no_space = "trap '' XFSZ; ulimit -f 1; ";  // writes fail with EFBIG
    const std::string ppm_in = "kvrn encode in.ppm out.kvrn";
    const std::string png_in = "kvrn encode in.png out.kvrn";
    catalogue all;
    all.tool = {
        {"kvrn preview --step 2147483647 in.kvrn out.png", extreme(0, 65535, 0, -32768, 126), 0,
         "preview at step 2147483647: PSNR"},
        {"kvrn decode in.kvrn missing/out.ppm", trailing, 1,
         "missing/out.ppm: cannot create a file next to it: No such file or directory"},
        {"kvrn preview in.kvrn ro/out.png", trailing, 1, "Permission denied", true},
        {"kvrn decode in.kvrn - >/dev/full", trailing, 1, "-: write error on standard output"},
        {no_space + "kvrn decode in.kvrn out.ppm", wide, 1, "out.ppm: write error: File too large"},
        {ppm_in, "P5\n1 1\n255\nabc", 1, "in.ppm: not a binary PPM picture (no P6 at the start)"},
        {ppm_in, "P6\n1 1\n", 1, "in.ppm: malformed PPM header"},
        {ppm_in, "P6\n99999999999 1\n255\n", 1, "in.ppm: malformed PPM header"},
        {ppm_in, "P6\n1 1\n65535\nabcdef", 1, "PPM maxval 65535 is not supported; only 255 is"},
        {ppm_in, ppm.substr(0, 20), 1, "in.ppm: the picture data ends after 1 of 2 rows"},
        {ppm_in, "P6\n70000 1\n255\n", 1, "is 70000 x 1; a KVRN picture is 1 to 65535 pixels"},
        {ppm_in, ppm, 0, "", true},
        {png_in, png, 0, "", true},
        {png_in, png.substr(0, 20), 1, "in.png: not a readable PNG picture: Read Error"},
        {png_in, png.substr(0, 50), 1, "in.png: cannot decode the PNG picture: Read Error", true},
        {png_in, bad_checksum, 1, "in.png: not a readable PNG picture: IHDR: CRC error"},
        {"kvrn encode in.ppm ro/out.kvrn", ppm, 1, "ro/out.kvrn: cannot create a file next to it"},
        {"kvrn encode in.ppm dir.ppm", ppm, 1, "dir.ppm: cannot rename the finished file"},
        {no_space + ppm_in, "P6\n512 64\n255\n" + std::string(98304, 'A'), 1,
         "out.kvrn: write error: File too large"},
        {"kvrn frobnicate in.kvrn", std::nullopt, 64, "frobnicate: unknown command", true},
    };
    // kvrn info's status and message, then those of decode and preview; the viewer's answer.
    const auto kvrn_file = [&all](const std::optional<std::string>& input, int info_status,
                                  const std::string& info_message, int status,
                                  const std::string& message, const viewer_row& viewer,
                                  bool valgrind = false) {
        const std::string& file = viewer.file;
        all.tool.push_back({"kvrn info " + file, input, info_status, info_message, valgrind});
        all.tool.push_back({"kvrn decode " + file + " out.ppm", input, status, message, valgrind});
        all.tool.push_back({"kvrn preview " + file + " out.png", input, status, message, valgrind});
        all.viewer.push_back(viewer);
    };
    const auto refused = [&kvrn_file](const std::optional<std::string>& input,
                                      const std::string& why, const std::string& viewer_error,
                                      bool valgrind = false, const std::string& file = "in.kvrn") {
        kvrn_file(input, 1, file + ": " + why, 1, file + ": " + why,
                  {input, viewer_error, -1, file}, valgrind);
    };
    const auto loads = [&kvrn_file](const std::string& input, std::int64_t whole_blocks,
                                    int info_status, const std::string& info_message, int status,
                                    const std::string& message, bool valgrind = false) {
        kvrn_file(input, info_status, info_message, status, message,
                  {input, std::nullopt, whole_blocks}, valgrind);
    };
    refused(std::nullopt, "cannot open: No such file or directory", "");
    refused(std::nullopt, "cannot read: Is a directory", "", false, "ro");
    for (std::size_t n = 0; n < 14; ++n) {
        const std::string got = std::to_string(n);
        refused(header(8, 8).substr(0, n), "too short for a KVRN header: " + got,
                ": file too short for a KVRN header (" + got + " of 14 bytes)");
    }
    refused(header(8, 8, 1, 1, 1, "KVRN"), "not a KVRN file: magic number 0x4e52564b",
            ": magic number != 0x4b56524e, found 0x4e52564b", true);
    refused(header(8, 8, 1, 1, 1, "\x01\x02\x03\x04"), "not a KVRN file: magic number 0x04030201",
            ": magic number != 0x4b56524e, found 0x4030201");
    loads(header(0, 8), -1, 0, "positions:    0 (0 x 1 blocks", 1, "is 0 x 8: it has no pixels");
    loads(header(8, 0), -1, 0, "positions:    0 (1 x 0 blocks", 1, "is 8 x 0: it has no pixels");
    loads(wide, 0, 2, "at least 73728 needed, 0 held", 2, "24576 coded blocks are missing");
    loads(tall, 0, 2, "complete:     no, the stream ends in the Y block of position 0", 2, "24576");
    loads(cut_in_dc, 0, 2, "at least 9 needed, 1 held", 2, "in the Y block of position 0");
    loads(cut_in_ac, 0, 2, "at least 11 needed, 4 held", 2, "in the Y block of position 0");
    loads(cut_before_eob, 2, 2, "at least 10 needed, 9 held", 2, "in the Cb block of position 0");
    loads(trailing, -1, 0, "complete:     yes\ntrailing:     7 bytes", 0, "", true);
    loads(extreme(65535, 65535, 65535, -32768, -128), -1, 0, "complete:     yes", 0, "");
    loads(extreme(65535, 0, 65535, 32767, 126), -1, 0, "complete:     yes", 0, "");
    return all;
}

TEST(kvrn_tool, refuses_hostile_input_with_its_message_status_and_no_stray_file) {
    for (const tool_row& row : hostile_inputs().tool) check_tool(row);
}

// Definite and possible leaks count as errors too, so any of them turns the status into 9.
TEST(kvrn_tool, every_command_runs_clean_under_valgrind) {
    if (KVRN_SANITIZED) GTEST_SKIP() << "valgrind cannot run a sanitized program";
    if (std::system("command -v valgrind >/dev/null") != 0) GTEST_SKIP() << "no valgrind";
    const std::string wrapper = "kvrn() { valgrind -q --leak-check=full --error-exitcode=9 " +
                                std::string(KVRN_TOOL) + " \"$@\"; } && ";
    for (const tool_row& row : hostile_inputs().tool) {
        if (row.valgrind) check_tool(row, wrapper);
    }
}

// What follows the prompt for a file that loads: the header, a line for every block the stream
// does not hold in full, and the start of the frame loop.
std::string loaded(const std::string& file, std::int64_t whole_blocks) {
    const auto field = [&file](std::size_t at) {
        return static_cast<std::uint8_t>(file[at]) | static_cast<std::uint8_t>(file[at + 1]) << 8;
    };
    std::ostringstream text;
    text << "Reader header:\n\tWidth: " << field(4) << "\n\tHeight: " << field(6)
         << "\n\tY-scale: " << field(8) << "\n\tCr-scale: " << field(10)
         << "\n\tCb-scale: " << field(12) << "\n";
    const std::int64_t columns = (field(4) + 7) / 8;
    const std::int64_t blocks = 3 * columns * ((field(6) + 7) / 8);
    const char* names[] = {"Y", "Crf", "Cbf"};
    for (std::int64_t n = whole_blocks < 0 ? blocks : whole_blocks; n < blocks; ++n) {
        text << "Unexpected end of file found decoding " << names[n % 3] << " block nr " << n / 3
             << " at (" << n / 3 % columns << "," << n / 3 / columns << ")\n";
    }
    return text.str() + "File loaded!\nstarting Glut Loop...\n";
}

TEST(viewer_console, answers_hostile_files_with_the_exact_transcript_and_status) {
    process xvfb(xvfb_command("1280x1024"));
    ASSERT_TRUE(use_display(xvfb)) << "Xvfb did not start";
    for (const viewer_row& row : hostile_inputs().viewer) {
        const scratch_dir dir;
        const std::string name = (dir.path / row.file).string();
        SCOPED_TRACE(name + " holding " + row.input.value_or("nothing").substr(0, 40));
        if (row.input) std::ofstream(name, std::ios::binary) << *row.input;
        process viewer{{"env", "GALLIUM_DRIVER=llvmpipe", "LIBGL_ALWAYS_SOFTWARE=1",
                        std::string("LD_PRELOAD=") + KVRN_DRI_PRELOAD,
                        std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") +
                            KVRN_LSAN_SUPPRESSIONS,
                        KVRN_VIEW}};
        // A refused file takes the line end after the name and one more before it exits.
        viewer.write(name + (row.error ? "\n\n" : "\n"));
        const double timeout = 120;  // a sanitizer build starts and draws far slower
        if (!row.error) {
            ASSERT_TRUE(viewer.read_until("starting Glut Loop...\n", timeout)) << viewer.output();
            shell(
                "timeout 60 xdotool search --sync --onlyvisible --name '^Vorlank: Skeleton$' "
                "windowfocus --sync key q");
        }
        EXPECT_EQ(viewer.wait(timeout), row.error ? 255 : 0);
        viewer.read_until("", timeout);
        EXPECT_TRUE(viewer.output() ==
                    "This is a basic reader for the KVRN format described in the assignment.\n"
                    "Enter KVRN filename, including extension: " +
                        (row.error ? "Error opening file " + name + *row.error
                                   : loaded(*row.input, row.whole_blocks)))
            << viewer.output().substr(0, 2000);
    }
}

}  // namespace
}  // namespace kvrn::testing
