// The KVRN files kvrn info, decode and preview read, whole, cut, damaged and hostile: what each
// command makes of each.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {

std::vector<tool_row> kvrn_input_cases() {
    std::vector<tool_row> all;
    const std::string bomb =
        "20000 x 20000 is 400000000 pixels, more than the limit of 268435456 "
        "(--max-pixels)";
    // kvrn info's status and message, then those of decode and preview.
    const auto each_command = [&all](const std::optional<std::string>& input, int info_status,
                                     const std::string& info_message, int status,
                                     const std::string& message, bool valgrind = false,
                                     const std::string& file = "in.kvrn") {
        all.push_back({"kvrn info " + file, input, info_status, info_message, valgrind});
        all.push_back({"kvrn decode " + file + " out.ppm", input, status, message, valgrind});
        all.push_back({"kvrn preview " + file + " out.png", input, status, message, valgrind});
    };
    const auto refused = [&each_command](const std::optional<std::string>& input,
                                         const std::string& why, bool valgrind = false,
                                         const std::string& file = "in.kvrn") {
        each_command(input, 1, file + ": " + why, 1, file + ": " + why, valgrind, file);
    };
    refused(std::nullopt, "cannot open: No such file or directory");
    refused(std::nullopt, "cannot read: Is a directory", false, "ro");
    for (std::size_t n = 0; n < 14; ++n)
        refused(kvrn_file(h8).substr(0, n), "too short for a KVRN header: " + std::to_string(n));
    refused(kvrn_file({0x4e52564b, 8, 8, 1, 1, 1}), "not a KVRN file: magic number 0x4e52564b",
            true);
    refused(kvrn_file({0x04030201, 8, 8, 1, 1, 1}), "not a KVRN file: magic number 0x04030201");
    refused(kvrn_file({kvrn_magic, 20000, 20000, 1, 1, 1}), bomb);
    for (const std::string command : {"info", "decode", "preview"}) {
        const std::string out = command == "info" ? "" : " out.ppm";
        all.push_back({"kvrn " + command + " --max-pixels 63 in.kvrn" + out, trailing, 1,
                       "in.kvrn: 8 x 8 is 64 pixels, more than the limit of 63 (--max-pixels)"});
        all.push_back({"kvrn " + command + " --max-pixels 64 in.kvrn" + out, trailing, 0, ""});
    }
    each_command(kvrn_file({kvrn_magic, 0, 8, 1, 1, 1}), 0, "positions:    0 (0 x 1 blocks", 1,
                 "is 0 x 8: it has no pixels");
    each_command(kvrn_file({kvrn_magic, 8, 0, 1, 1, 1}), 0, "positions:    0 (1 x 0 blocks", 1,
                 "is 8 x 0: it has no pixels");
    each_command(wide, 2, "at least 73728 needed, 0 held", 2, "24576 coded blocks are missing");
    each_command(kvrn_file({kvrn_magic, 1, 65535, 1, 1, 1}), 2,
                 "complete:     no, the stream ends in the Y block of position 0", 2, "24576");
    each_command(
        cut_in_dc, 2,
        "at least 18 needed, 10 held\ncomplete:     no, the stream ends in the Y block of "
        "position 1 (block column 1, row 0)",
        2, "kvrn: in.kvrn: warning: the block stream ends early, in the Y block of position 1");
    each_command(cut_in_ac, 2, "at least 11 needed, 4 held", 2, "in the Y block of position 0");
    each_command(cut_before_eob, 2, "at least 10 needed, 9 held", 2,
                 "in the Cb block of position 0");
    each_command(trailing, 0, "stream bytes: 9 needed, 9 held\ncomplete:     yes\ntrailing:     7",
                 0, "", true);
    each_command(extreme(65535, 65535, 65535, -32768, -128), 0, "complete:     yes", 0, "");
    each_command(extreme(65535, 0, 65535, 32767, 126), 0, "complete:     yes", 0, "");
    return all;
}

}  // namespace kvrn::testing
