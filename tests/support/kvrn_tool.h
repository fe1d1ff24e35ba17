// The kvrn tool as its end-to-end tests run it: the real program on files in a scratch
// directory. Pictures and KVRN files to give it, the fixture and the table row that run it, and
// the catalogue of cases, each command's in its own file under tests/cli/. KVRN_TOOL, the path of
// the kvrn under test, comes from the test's build.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "codec/kvrn_format.h"
#include "support/files.h"

namespace kvrn::testing {

// A binary PPM file in the form the tool writes; `raster` is RGB, top row first.
inline std::string ppm(int width, int height, const std::string& raster) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + raster;
}

// The raster of a binary PPM file of `width` x `height` pixels the tool wrote, top row first.
inline std::string raster_of(const std::string& ppm_file, int width, int height) {
    return ppm_file.substr(ppm_file.size() - 3 * static_cast<std::size_t>(width * height));
}

// `raster`, RGB pixels `width` wide, with its rows in the other order: bottom row first for top row
// first, and back.
inline std::string upside_down(const std::string& raster, int width) {
    const std::size_t row = 3 * static_cast<std::size_t>(width);
    std::string rows;
    for (std::size_t r = raster.size() / row; r-- > 0;) rows += raster.substr(r * row, row);
    return rows;
}

// A PPM file with detail everywhere: sample i of the raster is i * i modulo 251.
inline std::string noise_ppm(int width, int height) {
    std::string raster(3 * static_cast<std::size_t>(width * height), '\0');
    for (std::size_t i = 0; i < raster.size(); ++i) raster[i] = static_cast<char>(i * i % 251);
    return ppm(width, height, raster);
}

// An 8 x 8 checkerboard, all in Y: at step 1 each AC coefficient is far beyond a byte.
inline std::string checker_ppm() {
    std::string raster;
    for (int i = 0; i < 64; ++i) raster.append(3, (i + i / 8) % 2 != 0 ? '\xFF' : '\0');
    return ppm(8, 8, raster);
}

// A 37 x 21 PPM file of ramps and noise.
inline std::string ramps_and_noise() {
    std::string raster;
    for (int i = 0; i < 37 * 21; ++i) {
        raster += {static_cast<char>(i % 37 * 7), static_cast<char>(i / 37 * 12),
                   static_cast<char>(i * i % 251)};
    }
    return ppm(37, 21, raster);
}

// A file made by `command` (cjpeg, say) from in.ppm, ramps_and_noise(), in a scratch directory;
// the command writes out.jpg.
inline std::string made_from_ppm(const std::string& command) {
    const scratch_dir dir;
    dir.file("in.ppm", ramps_and_noise());
    require(run_shell("cd '" + dir.path.string() + "' && " + command).exit_status == 0,
            "cannot make the JPEG file");
    return dir.read("out.jpg");
}

// `value` in `bytes` bytes, the most significant first unless `little`.
inline std::string big_endian(unsigned value, int bytes, bool little = false) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>(value >> (8 * i));
    return little ? std::string(text.rbegin(), text.rend()) : text;
}

// `jpeg` with an APP1 segment of EXIF data right after its SOI marker: TIFF data, big-endian
// unless `little`, whose first directory, at `directory`, holds the orientation `value`; only
// the first `kept` bytes.
inline std::string with_exif(const std::string& jpeg, unsigned value, unsigned directory = 8,
                             std::size_t kept = std::string::npos, bool little = false) {
    const auto n = [little](unsigned v, int bytes) { return big_endian(v, bytes, little); };
    const std::string exif = std::string("Exif\0\0", 6) + (little ? "II" : "MM") + n(42, 2) +
                             n(directory, 4) + n(1, 2) + n(0x0112, 2) + n(3, 2) + n(1, 4) +
                             n(value, 2) + n(0, 2) + n(0, 4);
    const std::string data = exif.substr(0, kept);
    return jpeg.substr(0, 2) + "\xFF\xE1" + big_endian(data.size() + 2, 2) + data + jpeg.substr(2);
}

inline const kvrn_header h8{kvrn_magic, 8, 8, 1, 1, 1};
// 16 x 9 (2 x 2 positions) of full-length blocks: every AC byte `ac`, the DC alternating between
// dc and -1 - dc.
inline std::string extreme(std::uint16_t ys, std::uint16_t cs, std::uint16_t bs, std::int32_t dc,
                           int ac) {
    std::string file = kvrn_file({kvrn_magic, 16, 9, ys, cs, bs});
    for (std::int32_t n = 0, d = dc; n < 12; ++n, d = -1 - d)
        file += std::string{static_cast<char>(d), static_cast<char>(d >> 8)} +
                std::string(63, static_cast<char>(ac));
    return file;
}

inline const std::string trailing = kvrn_file(h8, {{5}, {-3}, {7}}) + "garbage";
// Two positions: the first whole, the second cut one byte into its Y block's DC.
inline const std::string cut_in_dc = kvrn_file({kvrn_magic, 16, 8, 1, 1, 1}, {{}, {}, {}}) + '\0';
inline const std::string cut_in_ac = kvrn_file(h8) + std::string("\x05\0\x01\x02", 4);
inline const std::string cut_before_eob = kvrn_file(h8, {{5}, {-3}}) + std::string("\x07\0\x01", 3);
inline const std::string wide = kvrn_file({kvrn_magic, 65535, 1, 1, 1, 1});
inline const std::string small_ppm = ppm(2, 2, std::string(12, '\x40'));
// 2 x 2 RGB: the IHDR checksum at 29..32, the IDAT data at 41..58, IEND from 63.
inline const std::string png(
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0\xfd\xd4\x9a\x73\0\0\0\x12"
    "IDAT\x78\xda\x63\x38\xc1\xc5\xc5\x75\x82\x8b\x01\x42\x01\x00\x19\x9a\x03\x71\xd9\xd7\x36\x86"
    "\0\0\0\0IEND\xae\x42\x60\x82",
    75);
inline const std::string bad_checksum = png.substr(0, 30) + '\0' + png.substr(31);

// A busy pattern, for pictures with partial blocks at every edge; row 0 the top row.
inline std::string pattern_ppm(int width, int height) {
    std::string raster;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                raster += static_cast<char>(
                    ((x * x + 2 * y * y + x * y) / 8 + 40 * c + (5 * x + 3 * y + 7 * c) % 13 * 3) %
                    256);
    return ppm(width, height, raster);
}

// What kvrn says of a usage mistake: `what`, then where the help of `command` is (the tool's
// own when none).
inline std::string usage_error(const std::string& what, const std::string& command = "") {
    return "kvrn: " + what + "\nTry 'kvrn " + (command.empty() ? "" : command + " ") + "--help'.\n";
}
// ... when the mistake is a bad `value` of `option`, which takes `allowed`.
inline std::string bad_value(const std::string& command, const std::string& option,
                             const std::string& value, const std::string& allowed) {
    return usage_error(option + ": bad value '" + value + "': " + allowed, command);
}

inline const std::string no_space = "trap '' XFSZ; ulimit -f 1; ";  // writes fail with EFBIG

struct cli_test : ::testing::Test {
    // The tool's status and standard output, run in the scratch directory through the shell.
    child_result kvrn(const std::string& arguments) const {
        return run_shell("cd '" + dir.path.string() + "' && '" KVRN_TOOL "' " + arguments);
    }
    scratch_dir dir;
};

// A shell command run in a scratch directory holding a read-only directory ro/ and a directory
// dir.ppm/, with kvrn on the PATH. The word "in.*" in it names the file that gets `input` (none
// when nullopt). Standard output and error together must hold `message`. Exit 0 or 2 must add
// the command's last word to the directory when it starts with "out", anything else nothing at
// all, no temporary either.
struct tool_row {
    std::string command;
    std::optional<std::string> input;
    int status;
    std::string message;
    bool valgrind = false;  // also one of the runs under valgrind
    bool exact = false;     // the output is `message` and nothing else; always so for status 64
};

inline void check_tool(const tool_row& row, const std::string& wrapper = "") {
    SCOPED_TRACE(row.command + " on " + row.input.value_or("nothing").substr(0, 40));
    const scratch_dir dir;
    std::filesystem::create_directories(dir.path / "dir.ppm");
    std::filesystem::create_directory(dir.path / "ro");
    std::filesystem::permissions(
        dir.path / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::size_t in = row.command.find(" in.");
    dir.file(row.command.substr(in + 1, row.command.find(' ', in + 1) - in - 1), row.input);
    const auto entries = [&dir] {
        return std::set<std::filesystem::path>(std::filesystem::directory_iterator(dir.path), {});
    };
    std::set<std::filesystem::path> want = entries();
    const std::string last = row.command.substr(row.command.rfind(' ') + 1);
    if ((row.status == 0 || row.status == 2) && last.starts_with("out"))
        want.insert(dir.path / last);
    const child_result got = run_shell("cd " + dir.path.string() + " && exec 2>&1 && PATH=" +
                                       std::filesystem::path(KVRN_TOOL).parent_path().string() +
                                       ":$PATH && " + wrapper + row.command);
    EXPECT_EQ(got.exit_status, row.status) << got.output;
    if (row.exact || row.status == 64) {
        EXPECT_EQ(got.output, row.message);
    } else {
        EXPECT_NE(got.output.find(row.message), std::string::npos) << got.output;
    }
    EXPECT_EQ(entries(), want);
}

// The catalogue: every case with what kvrn must make of it, each group from the file that holds
// it; tool_test.cpp runs them all, and under valgrind those marked so.
std::vector<tool_row> usage_cases();       // usage_test.cpp: help, usage mistakes, verbosity
std::vector<tool_row> info_cases();        // info_test.cpp
std::vector<tool_row> kvrn_input_cases();  // kvrn_input_test.cpp: the KVRN files info, decode
                                           // and preview read
std::vector<tool_row> encode_cases();      // encode_test.cpp: every picture form encode reads
std::vector<tool_row> preview_cases();     // preview_test.cpp
std::vector<tool_row> output_cases();      // output_test.cpp: where output goes, write errors
std::vector<tool_row> lab_cases();         // lab_commands_test.cpp: sweep, diff and blocks

}  // namespace kvrn::testing
