// The quantisation lab's commands as kvrn runs them (kvrn-lab, which kvrn hands them to): sweep
// held to the encoders, zstd, cjpeg and the reference figures, and kvrn without kvrn-lab.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

namespace fs = std::filesystem;

// Each row of the table against the programs that make the same files (kvrn encode, zstd,
// cjpeg) and against scripts/lab-reference.py run once on what kvrn decode and djpeg give back.
TEST(kvrn_tool, sweep_agrees_with_the_encoders_zstd_cjpeg_and_the_reference_figures) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    if (std::system("command -v cjpeg >/dev/null && command -v zstd >/dev/null") != 0)
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) or zstd is not installed";
    struct expected {
        std::string codec;
        int setting;
        double psnr_rgb, psnr_y, ssim_y;
    };
    // scripts/lab-reference.py in.ppm decoded.ppm, on a picture with partial blocks and MCUs at
    // both edges: the metrics and the JPEG codec at other sizes are lab_test.cpp's.
    const int width = 37, height = 23;
    const std::vector<expected> rows = {
        {"kvrn", 1, 26.501, 30.073, 0.97439},     {"kvrn", 7, 33.142, 37.381, 0.97937},
        {"kvrn", 24, 23.945, 28.684, 0.89877},    {"jpeg444", 25, 18.685, 23.781, 0.83484},
        {"jpeg444", 90, 30.496, 37.157, 0.97626}, {"jpeg420", 25, 16.956, 23.625, 0.83333},
        {"jpeg420", 90, 19.315, 36.381, 0.97551},
    };
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", pattern_ppm(width, height));
    const std::string tool = std::string(KVRN_TOOL) + " ";
    const child_result sweep =
        run_shell(tool + "sweep --steps 1,7,24 --qualities 25,90 " + in + " 2>/dev/null");
    ASSERT_EQ(sweep.exit_status, 0);
    std::istringstream table(sweep.output);
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line, "codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y");
    std::size_t seen = 0;
    for (; std::getline(table, line); ++seen) {
        SCOPED_TRACE(line);
        std::istringstream fields(line);
        std::string codec;
        std::array<std::string, 6> f;
        std::getline(fields, codec, ',');
        for (std::string& field : f) std::getline(fields, field, ',');
        const int setting = std::stoi(f[0]);
        const std::string s = std::to_string(setting);
        std::string file_size;
        if (codec.starts_with("kvrn")) {
            const std::string kvrn = dir.path.string() + "/" + s + ".kvrn";
            ASSERT_EQ(
                run_shell(tool + "encode --step " + s + " " + in + " " + kvrn + " 2>/dev/null")
                    .exit_status,
                0);
            file_size = run_shell((codec == "kvrn" ? "cat " : "zstd -q -19 --no-check -c ") + kvrn +
                                  " | wc -c")
                            .output;
        } else {
            file_size = run_shell("cjpeg -baseline -dct int -quality " + s + " -sample " +
                                  (codec == "jpeg444" ? "1x1 " : "2x2 ") + in + " | wc -c")
                            .output;
        }
        EXPECT_EQ(std::stoul(f[1]), std::stoul(file_size));
        EXPECT_NEAR(std::stod(f[2]), std::stod(f[1]) * 8 / (width * height), 5e-5);
        const std::string base = codec == "kvrn+zstd" ? "kvrn" : codec;
        const auto want = std::find_if(rows.begin(), rows.end(), [&](const expected& e) {
            return e.codec == base && e.setting == setting;
        });
        ASSERT_NE(want, rows.end());
        EXPECT_NEAR(std::stod(f[3]), want->psnr_rgb, 0.002);
        EXPECT_NEAR(std::stod(f[4]), want->psnr_y, 0.002);
        EXPECT_NEAR(std::stod(f[5]), want->ssim_y, 2e-5);
    }
    EXPECT_EQ(seen, 10U);  // three steps twice, two qualities twice
}

// The rows by JPEG's tables come last, one per quality; at quality 100 every entry is 1, and the
// row is KVRN's at step 1 to the byte and the digit.
TEST(kvrn_tool, sweep_tables_at_quality_100_are_kvrn_at_step_1) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", pattern_ppm(61, 45));
    const child_result sweep =
        run_shell(std::string(KVRN_TOOL) + " sweep --tables --steps 1 --qualities 100,50 " + in +
                  " 2>/dev/null");
    ASSERT_EQ(sweep.exit_status, 0);
    std::istringstream table(sweep.output);
    std::vector<std::string> lines;
    for (std::string line; std::getline(table, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 9U);  // the header, kvrn, kvrn+zstd, 2 x jpeg444, 2 x jpeg420, 2 more
    const auto after_setting = [](const std::string& line) {
        return line.substr(line.find(',', line.find(',') + 1));
    };
    EXPECT_TRUE(lines[1].starts_with("kvrn,1,"));
    EXPECT_TRUE(lines[7].starts_with("kvrn-tables,100,"));
    EXPECT_EQ(after_setting(lines[7]), after_setting(lines[1]));
    EXPECT_TRUE(lines[8].starts_with("kvrn-tables,50,"));
    const auto bytes = [](const std::string& line) {
        const std::size_t from = line.find(',', line.find(',') + 1) + 1;
        return std::stoul(line.substr(from, line.find(',', from) - from));
    };
    EXPECT_LT(bytes(lines[8]), bytes(lines[7]));
}

// The yardsticks' rows against their own tools: each row's bytes are those of the file the
// encoder tool writes with the settings the header's '#' lines name, and its figures those kvrn
// diff gives for what the decoder tool makes of that file: a picture flipped, turned to BGR or
// coded at a neighbouring setting on its way through the sweep would not give them.
TEST(kvrn_tool, sweep_yardsticks_agree_with_their_tools_and_diff) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string tool = std::string(KVRN_TOOL) + " ";
    const std::string in = dir.file("in.ppm", pattern_ppm(45, 29));
    ASSERT_EQ(run_shell("cd " + dir.path.string() +
                        " && convert in.ppm -define png:exclude-chunk=all in.png")
                  .exit_status,
              0);
    const child_result sweep =
        run_shell(tool +
                  "sweep --codecs webp,avif444,avif420,jxl --webp-qualities 30,90 "
                  "--avif-quantizers 10,40 --jxl-distances 0.7,3 --steps 8 --qualities 50 " +
                  in + " 2>/dev/null");
    ASSERT_EQ(sweep.exit_status, 0);
    std::istringstream table(sweep.output);
    std::string line;
    std::vector<std::string> comments;
    while (std::getline(table, line) && line.starts_with("# ")) comments.push_back(line);
    EXPECT_EQ(line, "codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y");
    ASSERT_EQ(comments.size(), 4U);
    EXPECT_TRUE(comments[0].starts_with("# webp: libwebp ")) << comments[0];
    EXPECT_TRUE(comments[0].ends_with(", as cwebp -q Q")) << comments[0];
    EXPECT_NE(comments[2].find("aom"), std::string::npos) << comments[2];
    const std::map<std::string, std::pair<std::string, std::string>> tools = {
        {"webp", {"cwebp -quiet -q {} in.ppm -o out", "dwebp -quiet out -ppm -o back.ppm"}},
        {"avif444",
         {"avifenc -j 1 -s 6 -y 444 --min {} --max {} in.png out.avif && mv out.avif out",
          "mv out out.avif && avifdec out.avif back.png"}},
        {"avif420",
         {"avifenc -j 1 -s 6 -y 420 --min {} --max {} in.png out.avif && mv out.avif out",
          "mv out out.avif && avifdec out.avif back.png"}},
        {"jxl", {"cjxl -d {} -e 7 in.png out", "djxl out back.png"}},
    };
    std::size_t seen = 0;
    for (; std::getline(table, line); ++seen) {
        SCOPED_TRACE(line);
        std::istringstream fields(line);
        std::array<std::string, 7> f;
        for (std::string& field : f) std::getline(fields, field, ',');
        ASSERT_TRUE(tools.contains(f[0]));
        const auto [encode, decode] = tools.at(f[0]);
        std::string command = encode;
        for (std::size_t at; (at = command.find("{}")) != std::string::npos;)
            command.replace(at, 2, f[1]);
        const std::string cd = "cd " + dir.path.string() + " && ";
        ASSERT_EQ(run_shell(cd + command + " >/dev/null 2>&1").exit_status, 0) << command;
        EXPECT_EQ(f[2] + "\n", run_shell(cd + "wc -c < out").output);
        ASSERT_EQ(run_shell(cd + decode + " >/dev/null 2>&1").exit_status, 0) << decode;
        const std::string back =
            decode.find("back.ppm") != std::string::npos ? "back.ppm" : "back.png";
        const child_result diff = run_shell(cd + tool + "diff in.ppm " + back);
        EXPECT_EQ(diff.output.substr(0, diff.output.find("  max_error")),
                  "psnr_rgb " + f[4] + "  psnr_y " + f[5] + "  ssim_y " + f[6]);
    }
    EXPECT_EQ(seen, 8U);
}

// A format that cannot hold the picture's size leaves its rows empty with a warning, and the
// sweep is whole without them; every other codec's rows are there.
TEST(kvrn_tool, sweep_leaves_out_with_a_warning_what_a_format_cannot_hold) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", ppm(16384, 1, std::string(3 * 16384, '\x50')));
    const child_result sweep = run_shell(std::string(KVRN_TOOL) +
                                         " sweep --codecs webp,jxl --webp-qualities 50 "
                                         "--jxl-distances 1 --metrics psnr_y " +
                                         in + " 2>&1");
    EXPECT_EQ(sweep.exit_status, 0);
    EXPECT_NE(sweep.output.find("warning: webp at 50: its pictures are at most 16383 pixels on a "
                                "side; its figures are nan\n"),
              std::string::npos)
        << sweep.output;
    EXPECT_NE(sweep.output.find("\nwebp,50,,,nan\n"), std::string::npos) << sweep.output;
    EXPECT_NE(sweep.output.find("\njxl,1,"), std::string::npos) << sweep.output;
}

// --json says the same as the table, and what made it.
TEST(kvrn_tool, sweep_json_holds_the_tables_figures_and_the_codecs_libraries) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", pattern_ppm(21, 13));
    const std::string sweep =
        std::string(KVRN_TOOL) + " sweep --codecs kvrn,jxl --steps 2 --jxl-distances 2.5 " + in;
    const child_result table = run_shell(sweep + " 2>/dev/null");
    const child_result json = run_shell(sweep + " --json - 2>/dev/null");
    ASSERT_EQ(table.exit_status, 0);
    ASSERT_EQ(json.exit_status, 0);
    EXPECT_NE(json.output.find(R"("name":"jxl","library":"libjxl )"), std::string::npos);
    EXPECT_NE(json.output.find(R"("made_as":"cjxl -d D -e 7","setting":"JPEG XL distance",)"
                               R"("settings":[2.5]})"),
              std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find(R"("metrics":["psnr_rgb","psnr_y","ssim_y"])"), std::string::npos);
    // Each row of the table, field by field, in the object.
    std::istringstream lines(table.output);
    std::string line;
    while (std::getline(lines, line) && !line.starts_with("codec,")) {
    }
    std::size_t rows = 0;
    for (; std::getline(lines, line); ++rows) {
        std::istringstream fields(line);
        std::array<std::string, 7> f;
        for (std::string& field : f) std::getline(fields, field, ',');
        const std::string row = R"({"codec":")" + f[0] + R"(","setting":)" + f[1] + R"(,"bytes":)" +
                                f[2] + R"(,"bits_per_pixel":)" + f[3] + R"(,"psnr_rgb":)" + f[4] +
                                R"(,"psnr_y":)" + f[5] + R"(,"ssim_y":)" + f[6] +
                                R"(,"clipped":false})";
        EXPECT_NE(json.output.find(row), std::string::npos) << row << "\n" << json.output;
    }
    EXPECT_EQ(rows, 2U);
}

// The plot of another metric says so on its axis, Butteraugli's that lower is better, and has a
// curve for each codec.
TEST(kvrn_tool, sweep_plots_the_metric_asked_for) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", pattern_ppm(40, 24));
    const std::string sweep = std::string(KVRN_TOOL) +
                              " sweep --codecs jpeg420,webp --qualities 50 --webp-qualities 50 " +
                              in + " --csv " + dir.path.string() + "/out.csv --plot " +
                              dir.path.string();
    for (const auto& [metric, axis] : std::vector<std::pair<std::string, std::string>>{
             {"", "PSNR (RGB), dB"},
             {"ssim_y", "SSIM (luma)"},
             {"butteraugli", "Butteraugli distance, max norm (lower is better)"}}) {
        SCOPED_TRACE(metric);
        const std::string option = metric.empty() ? "" : " --plot-metric " + metric;
        ASSERT_EQ(run_shell(sweep + "/plot.svg" + option + " 2>/dev/null").exit_status, 0);
        const std::string svg = dir.read("plot.svg");
        EXPECT_NE(svg.find(">" + axis + "<"), std::string::npos);
        EXPECT_NE(svg.find(">jpeg420<"), std::string::npos);
        EXPECT_NE(svg.find(">webp<"), std::string::npos);
        // The table keeps its columns: the plot's metric is measured for the plot only.
        EXPECT_TRUE(dir.read("out.csv").find("codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,"
                                             "ssim_y\n") != std::string::npos);
    }
}

// kvrn hands the lab's commands to kvrn-lab; a kvrn without it says so for them and runs the rest.
TEST(kvrn_tool, without_kvrn_lab_says_so_for_the_labs_commands_only) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    fs::copy_file(KVRN_TOOL, dir.path / "kvrn");
    dir.file("in.ppm", std::string("P6\n1 1\n255\nabc"));
    const std::string here = "cd " + dir.path.string() + " && exec 2>&1 && ./kvrn ";
    const child_result sweep = run_shell(here + "sweep in.ppm");
    EXPECT_EQ(sweep.exit_status, 1);
    EXPECT_EQ(sweep.output, "kvrn: sweep: needs kvrn-lab, which is neither beside " +
                                (dir.path / "kvrn").string() +
                                " nor in ../libexec/kvrn/kvrn-lab\n");
    EXPECT_EQ(run_shell(here + "encode in.ppm out.kvrn").exit_status, 0);
    // What kvrn --help lists, it knows without kvrn-lab: the same as kvrn-lab's own list.
    const std::string listed = run_shell(here + "--help").output;
    EXPECT_NE(listed.find("  blocks FILE MAP "), std::string::npos);
    EXPECT_EQ(
        listed,
        run_shell((fs::path(KVRN_TOOL).parent_path() / "kvrn-lab").string() + " --help").output);
}

// The maps as written: the size with and without the bar, and the key in the PNG's text.
TEST(kvrn_tool, maps_have_a_colour_bar_below_unless_asked_not_to) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    const std::string in = dir.file("in.ppm", pattern_ppm(37, 23));
    const std::string kvrn = dir.path.string() + "/in.kvrn";
    const std::string tool = std::string(KVRN_TOOL) + " ";
    ASSERT_EQ(run_shell(tool + "encode -q --step 16 " + in + " " + kvrn).exit_status, 0);
    struct expected {
        std::string arguments;
        unsigned width, height;
        std::string description;
        std::string bar;  // the "Colour bar" text's figures and caption, or "" for none
    };
    const std::string scale =
        "each 8 x 8 block coloured by the coded bytes of its Y, Cr and Cb blocks: ";
    for (const expected& e : std::vector<expected>{
             {"diff " + in + " " + kvrn, 360, 87,
              "black where the pictures agree; otherwise the largest difference of R, G and B "
              "times 8, from violet (small) through red and amber to pale yellow (32 levels or "
              "more)",
              "0 16 32: largest difference of R, G and B, in levels; pale yellow: 32 or more"},
             {"diff --no-legend --gain 2 " + in + " " + kvrn, 37, 23, "(128 levels or more)", ""},
             {"blocks " + kvrn, 360, 87,
              scale + "9 black, through violet, red and amber, to 195 pale yellow",
              "9 102 195: coded bytes of each 8x8 block, Y + Cr + Cb"},
             {"blocks --no-legend " + kvrn, 37, 23, scale + "9 black", ""},
             {"blocks --channel cr " + kvrn, 360, 87,
              "its Cr block: 3 black, through violet, red and amber, to 65 pale yellow",
              "3 34 65: coded bytes of each 8x8 Cr block"},
             {"blocks --scale auto --channel y " + kvrn, 360, 87, "(the range of this file)",
              ": coded bytes of each 8x8 Y block, this file's range"},
         }) {
        SCOPED_TRACE(e.arguments);
        const std::string map = dir.path.string() + "/map.png";
        ASSERT_EQ(run_shell(tool + e.arguments + " " + map + " >/dev/null").exit_status, 0);
        const std::string png = dir.read("map.png");
        ASSERT_GT(png.size(), 24U);
        EXPECT_EQ(png.substr(16, 8), big_endian(e.width, 4) + big_endian(e.height, 4));
        EXPECT_NE(png.find("Description"), std::string::npos);
        EXPECT_NE(png.find(e.description), std::string::npos);
        const std::size_t bar = png.find(std::string("tEXtColour bar") + '\0');
        if (e.bar.empty()) {
            EXPECT_EQ(bar, std::string::npos);
        } else {
            ASSERT_NE(bar, std::string::npos);
            EXPECT_NE(png.find(e.bar, bar), std::string::npos);
        }
    }
}

}  // namespace

std::vector<tool_row> lab_cases() {
    if (!KVRN_LAB) return {};
    const std::string bomb = kvrn_file({kvrn_magic, 65535, 65535, 1, 1, 1});
    const std::string limit =
        "65535 x 65535 is 4294836225 pixels, more than the limit of 268435456 (--max-pixels)";
    const std::string quick = "kvrn sweep --steps 8 --qualities 50 in.ppm ";
    const std::string quick_kvrn = "kvrn sweep --steps 8 --qualities 50 ";
    const std::string steps = "whole numbers from 1 to 65535, separated by commas";
    const std::string metrics =
        "metric names separated by commas, or all: psnr_rgb, psnr_y, ssim_y, ms_ssim_y, "
        "butteraugli, butteraugli_3norm";
    const std::string qualities = "whole numbers from 1 to 100, separated by commas";
    const std::string codecs =
        "codec names separated by commas, or all: kvrn, kvrn+zstd, jpeg444, jpeg420, kvrn-tables, "
        "webp, avif444, avif420, jxl";
    const std::string distances = "numbers from 0.1 to 25, separated by commas";
    return {
        {"kvrn sweep --steps 0 in.ppm", small_ppm, 64, bad_value("sweep", "--steps", "0", steps)},
        {"kvrn sweep --steps 70000 in.ppm", small_ppm, 64,
         bad_value("sweep", "--steps", "70000", steps)},
        {"kvrn sweep --steps= in.ppm", small_ppm, 64, bad_value("sweep", "--steps", "", steps)},
        {"kvrn sweep --steps 1,,2 in.ppm", small_ppm, 64,
         bad_value("sweep", "--steps", "1,,2", steps)},
        {"kvrn sweep --steps 1,2, in.ppm", small_ppm, 64,
         bad_value("sweep", "--steps", "1,2,", steps)},
        {"kvrn sweep --qualities 0 in.ppm", small_ppm, 64,
         bad_value("sweep", "--qualities", "0", qualities)},
        {"kvrn sweep --qualities 50,101 in.ppm", small_ppm, 64,
         bad_value("sweep", "--qualities", "50,101", qualities)},
        {"kvrn sweep --codecs png in.ppm", small_ppm, 64,
         bad_value("sweep", "--codecs", "png", codecs)},
        {"kvrn sweep --codecs kvrn,,webp in.ppm", small_ppm, 64,
         bad_value("sweep", "--codecs", "kvrn,,webp", codecs)},
        {"kvrn sweep --metrics psnr in.ppm", small_ppm, 64,
         bad_value("sweep", "--metrics", "psnr", metrics)},
        {"kvrn sweep --plot-metric all in.ppm", small_ppm, 64,
         bad_value(
             "sweep", "--plot-metric", "all",
             "one of psnr_rgb, psnr_y, ssim_y, ms_ssim_y, butteraugli and butteraugli_3norm")},
        {"kvrn sweep --webp-qualities 101 in.ppm", small_ppm, 64,
         bad_value("sweep", "--webp-qualities", "101",
                   "whole numbers from 0 to 100, separated by commas")},
        {"kvrn sweep --avif-quantizers 0,64 in.ppm", small_ppm, 64,
         bad_value("sweep", "--avif-quantizers", "0,64",
                   "whole numbers from 0 to 63, separated by commas")},
        {"kvrn sweep --jxl-distances 0.09 in.ppm", small_ppm, 64,
         bad_value("sweep", "--jxl-distances", "0.09", distances)},
        {"kvrn sweep --jxl-distances 1e1 in.ppm", small_ppm, 64,
         bad_value("sweep", "--jxl-distances", "1e1", distances)},
        {"kvrn sweep --jxl-distances 25.001 in.ppm", small_ppm, 64,
         bad_value("sweep", "--jxl-distances", "25.001", distances)},
        {"kvrn sweep --plot out.jpg in.ppm", small_ppm, 64,
         usage_error("out.jpg: unknown plot type: name it .png or .svg", "sweep")},
        {"kvrn sweep in.ppm in.ppm", small_ppm, 64,
         usage_error("sweep: takes 1 file name (PICTURE), not 2", "sweep")},
        {quick + "--csv out.csv", small_ppm, 0, "", true},
        {quick + "--plot out.svg", small_ppm, 0, "jpeg420,50,", true},
        {quick + "--plot out.png", small_ppm, 0, "kvrn+zstd,8,"},
        {quick + "--csv ro/out.csv", small_ppm, 1, "ro/out.csv: cannot create: Permission denied"},
        {quick + "--plot ro/out.png", small_ppm, 1, "ro/out.png: cannot create: Permission denied"},
        {quick + "--max-pixels 3", small_ppm, 1,
         "in.ppm: 2 x 2 is 4 pixels, more than the limit of 3 (--max-pixels)"},
        {"kvrn sweep in.kvrn", bomb, 1, "in.kvrn: " + limit, true},
        {"kvrn sweep --steps 8 in.kvrn", cut_in_ac, 2, "in the Y block of position 0"},
        {"kvrn sweep --max-pixels 3 in.png", png, 1,
         "in.png: 2 x 2 is 4 pixels, more than the limit of 3 (--max-pixels)"},
        {"kvrn sweep in.txt", small_ppm, 0, "kvrn,1,"},  // pictures are known by content
        {quick_kvrn + "in.kvrn --csv out.csv",
         kvrn_file({kvrn_magic, 8, 8, 8, 8, 8}, {{5}, {-3}, {7}}), 0,
         "kvrn: in.kvrn: warning: its picture was quantised already, at step 8 in Y, Cr and Cb, "
         "as its header says: every step measured here quantises it a second time, and steps at, "
         "below or between those scales show mostly the first quantisation; sweep the original "
         "picture to measure a single quantisation (-q silences this warning)\n",
         false, true},
        {quick_kvrn + "in.kvrn", kvrn_file({kvrn_magic, 8, 8, 8, 12, 300}, {{5}, {-3}, {7}}), 0,
         "kvrn: in.kvrn: warning: its picture was quantised already, at steps 8 (Y), 12 (Cr) and "
         "300 (Cb), as its header says: every step"},
        {quick_kvrn + "-q in.kvrn --csv out.csv", trailing, 0, "", false, true},
        {"kvrn sweep in.txt", "hello", 1, "in.txt: unknown picture type"},
        {"kvrn diff in.ppm in.ppm", small_ppm, 0,
         "psnr_rgb inf  psnr_y inf  ssim_y nan  max_error 0", true},
        {"kvrn diff --gain 255 in.ppm in.ppm out.png", small_ppm, 0, "max_error 0", true},
        // Each metric asked for in the table's order whatever the list's, a name asked twice
        // once, and too small a picture for a metric: 'nan', not a failure.
        {"kvrn diff --metrics all in.ppm in.ppm", small_ppm, 0,
         "psnr_rgb inf  psnr_y inf  ssim_y nan  ms_ssim_y nan  butteraugli nan  "
         "butteraugli_3norm nan  max_error 0\n",
         false, true},
        {"kvrn diff --metrics=butteraugli_3norm,psnr_rgb,butteraugli_3norm in.ppm in.ppm",
         small_ppm, 0, "psnr_rgb inf  butteraugli_3norm nan  max_error 0\n", false, true},
        {"kvrn diff --metrics butteraugli,ms_ssim_y in.ppm in.ppm", ramps_and_noise(), 0,
         "ms_ssim_y nan  butteraugli 0.0000  max_error 0\n", false, true},
        {"kvrn diff --metrics psnr_rgb,psnr_y,ssim_y in.ppm in.ppm", small_ppm, 0,
         "psnr_rgb inf  psnr_y inf  ssim_y nan  max_error 0\n", false, true},
        {"kvrn diff --metrics ms-ssim in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--metrics", "ms-ssim", metrics)},
        {"kvrn diff --metrics all,psnr_y in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--metrics", "all,psnr_y", metrics)},
        {"kvrn diff --metrics psnr_y, in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--metrics", "psnr_y,", metrics)},
        {"kvrn diff --metrics= in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--metrics", "", metrics)},
        {"kvrn diff --gain 0 in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--gain", "0", "a whole number from 1 to 255")},
        {"kvrn diff --gain 256 in.ppm in.ppm", small_ppm, 64,
         bad_value("diff", "--gain", "256", "a whole number from 1 to 255")},
        {"kvrn diff in.ppm in.ppm out.jpg", small_ppm, 64,
         usage_error("out.jpg: an error map is a PNG picture: name it .png", "diff")},
        {"kvrn diff in.ppm", small_ppm, 64,
         usage_error("diff: takes 2 to 3 file names (A B [MAP]), not 1", "diff")},
        {"printf 'P6 1 1 255 abc' | kvrn diff in.ppm - out.png", small_ppm, 1,
         "kvrn: diff: in.ppm is 2 x 2 pixels and - 1 x 1: only pictures of one size "
         "compare"},
        {"kvrn diff in.ppm missing.ppm out.png", small_ppm, 1,
         "missing.ppm: cannot open: No such file or directory"},
        {"kvrn diff in.kvrn in.kvrn ro/out.png", trailing, 1, "ro/out.png: cannot create"},
        {"kvrn diff in.kvrn in.kvrn", bomb, 1, limit},
        {"kvrn diff --max-pixels 63 in.kvrn in.kvrn", trailing, 1, "8 x 8 is 64 pixels"},
        {"kvrn blocks in.kvrn out.png", trailing, 0,
         "Y bytes:      3\nCr bytes:     3\nCb bytes:     3\n", true},
        {"kvrn blocks in.kvrn out.png", extreme(1, 1, 1, 0, 1), 0, "Y bytes:      260\n"},
        {"kvrn blocks in.kvrn out.png", cut_before_eob, 2,
         "Cb bytes:     3\nkvrn: in.kvrn: warning: the block stream ends early, in the Cb "
         "block"},
        {"kvrn blocks --channel cb --scale auto --no-legend in.kvrn out.png", trailing, 0,
         "Y bytes:      3\nCr bytes:     3\nCb bytes:     3\n", false, true},
        {"kvrn blocks --channel u in.kvrn out.png", trailing, 64,
         bad_value("blocks", "--channel", "u", "y, cr or cb")},
        {"kvrn blocks --scale wide in.kvrn out.png", trailing, 64,
         bad_value("blocks", "--scale", "wide", "fixed or auto")},
        {"kvrn blocks in.kvrn out.ppm", trailing, 64,
         usage_error("out.ppm: a block map is a PNG picture: name it .png", "blocks")},
        {"kvrn blocks in.kvrn out.png", bomb, 1, limit},
        {"kvrn blocks in.kvrn out.png", kvrn_file({0x04030201, 8, 8, 1, 1, 1}), 1,
         "not a KVRN file: magic number 0x04030201"},
        {"kvrn blocks in.kvrn out.png", kvrn_file({kvrn_magic, 0, 8, 1, 1, 1}), 1,
         "is 0 x 8: it has no pixels"},
        {no_space + "kvrn encode --step 64 in.ppm - 2>/dev/null | kvrn decode - - | "
                    "kvrn diff in.ppm - out.png",
         pattern_ppm(61, 45), 1, "out.png: cannot write the PNG picture"},
    };
}

}  // namespace kvrn::testing
