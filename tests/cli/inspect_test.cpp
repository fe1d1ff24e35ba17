// kvrn inspect: the block it shows is the block of the picture and of the file kvrn encode
// writes, in the picture's orientation, with the scales the user means.
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "lab/jpeg_tables.h"
#include "lab/table_quantiser.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// The whole numbers of the JSON value after "`key`": (the first such key after `from`), in order:
// a table's rows one after another.
std::vector<int> numbers_of(const std::string& json, const std::string& key, std::size_t from = 0) {
    std::size_t at = json.find("\"" + key + "\": ", from);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos) return {};
    at += key.size() + 4;
    std::vector<int> numbers;
    int depth = 0;
    do {
        const char c = json[at];
        if (c == '[' || c == '{') ++depth;
        if (c == ']' || c == '}') --depth;
        if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t used = 0;
            numbers.push_back(std::stoi(json.substr(at), &used));
            at += used;
            continue;
        }
        ++at;
    } while (depth > 0 && at < json.size());
    return numbers;
}

TEST_F(cli_test, inspect_shows_the_block_of_the_picture_and_of_the_file_top_row_first) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    // 21 x 13: 3 x 2 blocks, the right column and the top row cut (blocks start at the bottom).
    dir.file("in.ppm", pattern_ppm(21, 13));
    ASSERT_EQ(kvrn("encode --scales 2,9,30 in.ppm out.kvrn").exit_status, 0);
    ASSERT_EQ(kvrn("decode out.kvrn out.ppm").exit_status, 0);
    const std::string picture = raster_of(dir.read("in.ppm"), 21, 13);
    const std::string decoded = raster_of(dir.read("out.ppm"), 21, 13);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            SCOPED_TRACE("block " + std::to_string(column) + ", " + std::to_string(row));
            const child_result shown = kvrn("inspect --json --scales 2,9,30 in.ppm " +
                                            std::to_string(column) + " " + std::to_string(row));
            ASSERT_EQ(shown.exit_status, 0);
            const std::string& json = shown.output;
            const int top = numbers_of(json, "first_pixel_row")[0];
            const int rows = numbers_of(json, "pixel_rows")[0];
            const int columns = numbers_of(json, "pixel_columns")[0];
            EXPECT_EQ(top, row == 0 ? 0 : 5);
            EXPECT_EQ(rows, row == 0 ? 5 : 8);
            EXPECT_EQ(columns, column == 2 ? 5 : 8);
            const std::size_t rgb = json.find("\"rgb\": ");
            const std::size_t decoded_rgb = json.find("\"decoded_rgb\": ");
            const char* colours[] = {"red", "green", "blue"};
            for (int c = 0; c < 3; ++c) {
                const std::vector<int> original = numbers_of(json, colours[c], rgb);
                const std::vector<int> back = numbers_of(json, colours[c], decoded_rgb);
                ASSERT_EQ(original.size(), 64U);
                ASSERT_EQ(back.size(), 64U);
                // Table rows run top first; a cut block's rows above the picture come first.
                for (int y = 0; y < rows; ++y) {
                    for (int x = 0; x < columns; ++x) {
                        const auto at =
                            static_cast<std::size_t>(3 * ((top + y) * 21 + column * 8 + x) + c);
                        const auto entry = static_cast<std::size_t>((8 - rows + y) * 8 + x);
                        EXPECT_EQ(original[entry], static_cast<unsigned char>(picture[at]));
                        EXPECT_EQ(back[entry], static_cast<unsigned char>(decoded[at]));
                    }
                }
            }
        }
    }
}

// The quotient is truncated toward zero, not rounded: a flat block's DC of 8 (v - 128) loses its
// fraction whichever side of a half it lies, so the block comes back nearer 128 (the figures the
// README and the manual page give for step 60).
TEST_F(cli_test, inspect_shows_a_flat_block_truncated_toward_128) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    struct flat_case {
        int grey;
        int dc;             // 8 (grey - 128)
        int quantised;      // dc / 60, truncated toward zero
        int reconstructed;  // 128 + quantised * 60 / 8
    };
    const flat_case cases[] = {
        {176, 384, 6, 173},  // 6.4: rounding would agree
        {177, 392, 6, 173},  // 6.53: rounding would give 7 and 180
        {80, -384, -6, 83},  // below 128 the block comes back lighter
        {79, -392, -6, 83},  // -6.53: rounding would give -7 and 76
        {128, 0, 0, 128},
    };
    for (const flat_case& c : cases) {
        SCOPED_TRACE("grey " + std::to_string(c.grey));
        dir.file("flat.ppm", "P6\n8 8\n255\n" + std::string(192, static_cast<char>(c.grey)));
        const child_result shown = kvrn("inspect --json --step 60 flat.ppm 0 0");
        ASSERT_EQ(shown.exit_status, 0);
        const std::size_t y = shown.output.find("\"y\": ");
        EXPECT_EQ(numbers_of(shown.output, "coefficients", y)[0], c.dc);
        EXPECT_EQ(numbers_of(shown.output, "quantised", y)[0], c.quantised);
        EXPECT_EQ(numbers_of(shown.output, "stored", y)[0], c.quantised);
        const std::vector<int> back = numbers_of(shown.output, "reconstruction", y);
        ASSERT_EQ(back.size(), 64U);
        for (const int sample : back) EXPECT_EQ(sample, c.reconstructed);
    }
}

TEST_F(cli_test, inspect_takes_a_kvrn_files_own_scales_and_refuses_what_is_no_block) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    dir.file("in.ppm", pattern_ppm(21, 13));
    ASSERT_EQ(kvrn("encode --scales 2,9,30 in.ppm out.kvrn").exit_status, 0);
    struct {
        std::string arguments;
        std::vector<int> scales;
    } defaults[] = {
        {"out.kvrn 0 0", {2, 9, 30}},
        {"in.ppm 0 0", {8, 8, 8}},
        {"--step 5 out.kvrn 1 1", {5, 5, 5}},
        {"--scales 1,2,3 in.ppm 2 1", {1, 2, 3}},
    };
    for (const auto& each : defaults) {
        const child_result shown = kvrn("inspect --json " + each.arguments);
        ASSERT_EQ(shown.exit_status, 0) << each.arguments;
        EXPECT_EQ(numbers_of(shown.output, "scales"), each.scales) << each.arguments;
    }
    const std::string picture = pattern_ppm(21, 13);
    for (const tool_row& row : std::vector<tool_row>{
             {"kvrn inspect in.ppm 3 0", picture, 1,
              "kvrn: in.ppm: has 3 x 2 blocks: there is no block at column 3, row 0"},
             {"kvrn inspect in.ppm 0 2", picture, 1,
              "kvrn: in.ppm: has 3 x 2 blocks: there is no block at column 0, row 2"},
             {"kvrn inspect in.ppm x 0", picture, 64,
              usage_error("inspect: x is no block column: give a whole number from 0 to 8191",
                          "inspect")},
             // A dash starts an option.
             {"kvrn inspect in.ppm 0 -1", picture, 64,
              usage_error("inspect: unknown option -1", "inspect")},
             {"kvrn inspect --step 2 --scales 1,2,3 in.ppm 0 0", picture, 64,
              usage_error("inspect: give one of --step, --scales and --table", "inspect")},
             {"kvrn inspect --step 0 in.ppm 0 0", picture, 64,
              bad_value("inspect", "--step", "0", "a whole number from 1 to 65535")},
             {"kvrn inspect none.ppm 0 0", std::nullopt, 1,
              "kvrn: none.ppm: cannot open: No such file or directory"},
         }) {
        check_tool(row);
    }
}

// kvrn inspect --table shows a block as the lab's table quantiser makes it: the same pixels back
// and the same bytes for the block position, whether the tables are JPEG's at a quality or a
// file's (64 entries for every channel, or Y's then Cr's and Cb's); and a table of one entry
// throughout shows what that scale shows.
TEST_F(cli_test, inspect_by_tables_shows_the_block_the_lab_quantises_by_them) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    // 37 x 21: 5 x 3 blocks, the right column and the top row cut.
    const int width = 37;
    const int height = 21;
    const std::string picture_file = ramps_and_noise();
    dir.file("in.ppm", picture_file);
    std::string own;  // Y's entries 1..64, then chroma's 64..1
    lab::quantisation_tables own_tables{};
    for (int i = 0; i < 128; ++i)
        own += std::to_string(i < 64 ? i + 1 : 128 - i) + (i % 8 == 7 ? "\n" : ", ");
    for (std::size_t i = 0; i < 64; ++i) {
        own_tables[0][i] = static_cast<std::int32_t>(i + 1);
        own_tables[1][i] = own_tables[2][i] = static_cast<std::int32_t>(64 - i);
    }
    dir.file("own.txt", own);
    std::string nines;
    for (int i = 0; i < 64; ++i) nines += "9 ";
    dir.file("nines.txt", nines);
    lab::quantisation_tables nine_tables{};
    for (auto& table : nine_tables) table.fill(9);

    // The picture bottom row first, as the lab takes it.
    std::string rows = upside_down(raster_of(picture_file, width, height), width);
    const struct {
        std::string choice;
        lab::quantisation_tables tables;
    } cases[] = {
        {"jpeg:50", lab::jpeg_tables(50)},
        {"jpeg:5", lab::jpeg_tables(5)},
        {"own.txt", own_tables},
        {"nines.txt", nine_tables},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.choice);
        std::string decoded(rows.size(), '\0');
        const lab::table_coding coding = lab::quantise_with_tables(
            {reinterpret_cast<const std::uint8_t*>(rows.data()), width, height}, each.tables,
            KVRN_CHANNELS_ALL, reinterpret_cast<std::uint8_t*>(decoded.data()), nullptr);
        decoded = upside_down(decoded, width);  // top row first, as the report's tables
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 5; ++column) {
                SCOPED_TRACE("block " + std::to_string(column) + ", " + std::to_string(row));
                const child_result shown =
                    kvrn("inspect --json --table " + each.choice + " in.ppm " +
                         std::to_string(column) + " " + std::to_string(row));
                ASSERT_EQ(shown.exit_status, 0);
                const std::string& json = shown.output;
                EXPECT_EQ(json.find("\"scales\""), std::string::npos);
                const std::vector<int> divisors = numbers_of(json, "divisors");
                EXPECT_EQ(divisors, std::vector<int>(each.tables[0].begin(), each.tables[0].end()));
                // The stream lays block rows from the bottom: the top row is the last.
                const auto position = static_cast<std::size_t>((2 - row) * 5 + column);
                int bytes = 0;
                for (const char* key : {"\"y\": ", "\"cr\": ", "\"cb\": "}) {
                    bytes += numbers_of(json, "coded_bytes", json.find(key))[0];
                }
                EXPECT_EQ(bytes, coding.position_bytes[position]);
                const int top = numbers_of(json, "first_pixel_row")[0];
                const int pixel_rows = numbers_of(json, "pixel_rows")[0];
                const int pixel_columns = numbers_of(json, "pixel_columns")[0];
                const std::size_t decoded_rgb = json.find("\"decoded_rgb\": ");
                const char* colours[] = {"red", "green", "blue"};
                for (int c = 0; c < 3; ++c) {
                    const std::vector<int> back = numbers_of(json, colours[c], decoded_rgb);
                    ASSERT_EQ(back.size(), 64U);
                    for (int y = 0; y < pixel_rows; ++y) {
                        for (int x = 0; x < pixel_columns; ++x) {
                            const auto at = static_cast<std::size_t>(
                                3 * ((top + y) * width + column * 8 + x) + c);
                            const auto entry =
                                static_cast<std::size_t>((8 - pixel_rows + y) * 8 + x);
                            EXPECT_EQ(back[entry], static_cast<unsigned char>(decoded[at]));
                        }
                    }
                }
            }
        }
    }
    // Nines throughout are scale 9: the same report, but for how the divisors are named.
    const child_result by_table = kvrn("inspect --json --table nines.txt in.ppm 4 0");
    const child_result by_scales = kvrn("inspect --json --step 9 in.ppm 4 0");
    ASSERT_EQ(by_table.exit_status, 0);
    ASSERT_EQ(by_scales.exit_status, 0);
    std::string renamed = std::regex_replace(
        by_table.output, std::regex(R"("divisors": \[[-0-9, \[\]]*?\]\], )"), "");
    renamed = std::regex_replace(renamed, std::regex(R"("table": "nines.txt")"),
                                 R"("scales": {"y": 9, "cr": 9, "cb": 9})");
    EXPECT_EQ(renamed, by_scales.output);
}

TEST_F(cli_test, inspect_refuses_a_table_beside_a_scale_and_a_table_it_cannot_read) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const std::string picture = pattern_ppm(21, 13);
    for (const tool_row& row : std::vector<tool_row>{
             {"kvrn inspect --step 2 --table jpeg:50 in.ppm 0 0", picture, 64,
              usage_error("inspect: give one of --step, --scales and --table", "inspect")},
             {"kvrn inspect --table jpeg:50 --scales 1,2,3 in.ppm 0 0", picture, 64,
              usage_error("inspect: give one of --step, --scales and --table", "inspect")},
             {"kvrn inspect --table jpeg:101 in.ppm 0 0", picture, 1,
              "kvrn: --table: bad value 'jpeg:101': jpeg:QUALITY takes a quality from 1 to 100"},
             {"kvrn inspect --table in.txt none.ppm 0 0", "1 2 3", 1,
              "kvrn: in.txt: 3 entries: a table has 64 (every channel) or 128 (Y, then Cr and Cb)"},
             {"kvrn inspect --table none.txt in.ppm 0 0", picture, 1,
              "kvrn: none.txt: cannot open the table: No such file or directory"},
         }) {
        check_tool(row);
    }
}

// A picture named by the path of a pipe (a FIFO here, `<(command)` in bash) can be read once
// only: the lab must not look at its first bytes before reading it.
TEST_F(cli_test, lab_commands_read_a_picture_through_a_named_pipe_whole) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    dir.file("in.ppm", pattern_ppm(21, 13));
    const child_result same = kvrn(
        "diff in.ppm in.ppm && mkfifo pipe.ppm && { cat in.ppm > pipe.ppm & } && timeout 60 "
        "'" KVRN_TOOL "' diff pipe.ppm in.ppm");  // a second open of the pipe would wait for ever
    EXPECT_EQ(same.exit_status, 0);
    EXPECT_NE(
        same.output.find("max_error 0\npsnr_rgb inf  psnr_y inf  ssim_y 1.00000  max_error 0"),
        std::string::npos)
        << same.output;
}

}  // namespace
}  // namespace kvrn::testing
