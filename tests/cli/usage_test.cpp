// kvrn's command line: the help at both levels, a usage mistake said in one line with where the
// help is and status 64, and what the commands say at each verbosity.
#include <optional>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {

std::vector<tool_row> usage_cases() {
    const std::string jpeg = made_from_ppm("cjpeg -outfile out.jpg in.ppm");
    const std::size_t sos = jpeg.find("\xFF\xDA");
    const std::string cut_jpeg = jpeg.substr(0, (sos + jpeg.size()) / 2);
    const std::string encode = "kvrn encode ";
    const std::string step = "a whole number from 1 to 65535, or auto";
    const std::string scales = "three of 1 to 65535 or auto, separated by commas";
    const std::string preview_step = "a whole number from 1 to 2147483647";
    const std::string channels = "one or more of the letters y, r and b";
    return {
        {"kvrn --help", std::nullopt, 0, "Usage: kvrn COMMAND"},
        {"kvrn encode --help", std::nullopt, 0, "Usage: kvrn encode"},
        {"kvrn --help encode", std::nullopt, 0, "Usage: kvrn encode"},
        {"kvrn help preview", std::nullopt, 0, "Usage: kvrn preview"},
        {"kvrn info -h", std::nullopt, 0, "--json"},
        {"kvrn --help", std::nullopt, 0, "-q, --quiet"},
        {"kvrn decode --help", std::nullopt, 0, "--max-pixels N"},  // the common options too
        // A usage mistake: one line saying what is wrong, where the help is, status 64, nothing
        // else. Each command checks its own options and operands; the order of the checks stays: a
        // value as it comes, then the options together, the count of operands, the names.
        {"kvrn", std::nullopt, 64, usage_error("no command given")},
        {"kvrn frobnicate in.kvrn", std::nullopt, 64, usage_error("frobnicate: unknown command"),
         true},
        {"kvrn --bogus", std::nullopt, 64,
         usage_error("--bogus: unknown option; a command comes first")},
        {encode + "--step 0 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--step", "0", step)},
        {encode + "-s 70000 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--step", "70000", step)},
        {encode + "-sx in.ppm out.kvrn", small_ppm, 64, bad_value("encode", "--step", "x", step)},
        {encode + "in.ppm out.kvrn --step", small_ppm, 64,
         usage_error("--step: needs a value: " + step, "encode")},
        {encode + "--scales 1,2 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--scales", "1,2", scales)},
        {encode + "--scales 1,2,3,4 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--scales", "1,2,3,4", scales)},
        {encode + "--scales 1,0,3 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--scales", "1,0,3", scales)},
        {encode + "--step 2 --scales 1,2,3 in.ppm out.kvrn", small_ppm, 64,
         usage_error("encode: give --step or --scales, not both", "encode")},
        {encode + "--step 0 --bogus in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--step", "0", step)},
        {encode + "--bogus in.ppm out.kvrn", small_ppm, 64,
         usage_error("encode: unknown option --bogus", "encode")},
        {encode + "in.ppm", small_ppm, 64,
         usage_error("encode: takes 2 file names (IN OUT), not 1", "encode")},
        {encode + "--threads 0 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--threads", "0", "a whole number from 1 to 1024")},
        {encode + "--threads=1025 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--threads", "1025", "a whole number from 1 to 1024")},
        {encode + "--max-pixels 0 in.ppm out.kvrn", small_ppm, 64,
         bad_value("encode", "--max-pixels", "0", "a whole number of at least 1")},
        {"kvrn info --max-pixels=12x in.kvrn", trailing, 64,
         bad_value("info", "--max-pixels", "12x", "a whole number of at least 1")},
        {"kvrn info --json=1 in.kvrn", trailing, 64, usage_error("--json: takes no value", "info")},
        {"kvrn info", std::nullopt, 64,
         usage_error("info: takes at least 1 file name (FILE...), not 0", "info")},
        {"kvrn info --step 2 in.kvrn", trailing, 64,
         usage_error("info: unknown option --step", "info")},
        {"kvrn preview --channels '' in.kvrn out.ppm", trailing, 64,
         bad_value("preview", "--channels", "", channels)},
        {"kvrn preview --channels yx in.kvrn out.ppm", trailing, 64,
         bad_value("preview", "--channels", "yx", channels)},
        {"kvrn preview -s 0 in.kvrn out.ppm", trailing, 64,
         bad_value("preview", "--step", "0", preview_step)},
        {"kvrn preview --step 2147483648 in.kvrn out.ppm", trailing, 64,
         bad_value("preview", "--step", "2147483648", preview_step)},
        {"kvrn decode in.kvrn out.jpg", trailing, 64,
         usage_error("out.jpg: unknown picture type: the name must end in .ppm or .png, or be -",
                     "decode")},
        {"kvrn decode in.kvrn a.ppm b.ppm", trailing, 64,
         usage_error("decode: takes 1 to 2 file names (FILE [OUT]), not 3", "decode")},
        {"kvrn decode --step 2 in.kvrn out.ppm", trailing, 64,
         usage_error("decode: unknown option --step", "decode")},
        // Errors always, warnings unless -q, notes only with -v.
        {"kvrn encode -q --step 1 in.ppm out.kvrn", checker_ppm(), 0, "", false, true},
        {"kvrn -q encode --step 1 in.ppm out.kvrn", checker_ppm(), 0, "", false, true},
        {"kvrn -q decode in.kvrn out.ppm", std::nullopt, 1,
         "kvrn: in.kvrn: cannot open: No such file or directory\n", false, true},
        {"kvrn decode -q in.kvrn out.ppm", cut_in_dc, 2, "", false, true},
        {"kvrn info --quiet in.kvrn >/dev/null", cut_in_dc, 2, "", false, true},
        {"kvrn encode --quiet in.jpg out.kvrn", cut_jpeg, 2, "", false, true},
        {"kvrn encode -q in.jpg out.kvrn", with_exif(jpeg, 6), 0, "", false, true},
        {"kvrn preview --step 12 in.kvrn out.ppm", trailing, 0, "", false, true},
        {"kvrn encode -v --threads 1 --step 4 in.ppm out.kvrn", small_ppm, 0,
         // One position of three blocks, each its DC and an end-of-block byte: 14 + 9 bytes, 184
         // bits over 4 pixels.
         "kvrn: out.kvrn: 2 x 2 pixels, scales Y 4, Cr 4, Cb 4\nkvrn: out.kvrn: 23 bytes, 46.000 "
         "bits per pixel; 1 thread, "},
        {"kvrn encode -v --scales auto,5,auto in.ppm out.kvrn", small_ppm, 0,
         "kvrn: out.kvrn: 2 x 2 pixels, scales Y 1, Cr 5, Cb 1 (auto: the smallest that clip no AC "
         "coefficient)\n"},
        {"kvrn decode --verbose --threads 2 in.kvrn out.ppm", trailing, 0,
         "kvrn: out.ppm: 8 x 8 pixels; 2 threads, "},
        {"kvrn preview -v --threads 1 in.kvrn out.ppm", trailing, 0,
         "kvrn: out.ppm: 8 x 8 pixels; 1 thread, "},
    };
}

}  // namespace kvrn::testing
