// What the tool says and does is the same on 1, 2 and 4 threads: the counts it gathers from its
// workers (clipped coefficients, clamped samples, missing blocks), its other words, its status
// and its files, on pictures of 20 block rows, so that each of 4 workers has rows of its own and
// a count taken from one worker's share falls short. Each count is also held to one made without
// threads: the picture's samples above the maxval, the blocks of a cut stream.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/include/kvrn.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

constexpr int width = 40;
constexpr int height = 157;  // 20 block rows, the top one cut

// A 40 x 157 raw PGM with maxval 100 whose samples run to 255: `above` of them over the maxval.
std::string clamping_pgm(std::size_t& above) {
    std::mt19937 random(7);
    std::string file = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n100\n";
    above = 0;
    for (int i = 0; i < width * height; ++i) {
        const auto v = static_cast<unsigned>(random() % 256);
        above += v > 100 ? 1 : 0;
        file += static_cast<char>(v);
    }
    return file;
}

struct threaded_run {
    const char* what;
    std::string command;  // " --threads N" goes after its first word
    int status;
    std::string words;   // what the single-threaded run must say too; "" for nothing
    const char* output;  // the file it writes, compared across thread counts
};

TEST(threads, give_the_same_counts_words_status_and_files) {
    const scratch_dir dir;
    dir.file("noise.ppm", noise_ppm(width, height));
    std::size_t above = 0;
    dir.file("clamping.pgm", clamping_pgm(above));
    const auto kvrn = [&dir](const std::string& arguments) {
        return run_shell("cd '" + dir.path.string() + "' && '" KVRN_TOOL "' " + arguments +
                         " 2>&1");
    };
    ASSERT_EQ(kvrn("encode --scales 1,2,3 --threads 1 noise.ppm noise.kvrn").exit_status, 0);
    const std::string whole = dir.read("noise.kvrn");
    // Cut in the first block row: the blocks of the 19 above it are missing, whichever worker has
    // them.
    dir.file("cut.kvrn", whole.substr(0, whole.size() / 20));
    kvrn_stream_info info{};
    ASSERT_EQ(kvrn_check_stream(whole.data(), whole.size() / 20, &info), KVRN_OK);
    const std::uint64_t missing = info.blocks_needed - info.blocks_held;
    ASSERT_GT(missing, 3U * 5 * 18);

    const std::string clamped = "kvrn: clamping.pgm: warning: " + std::to_string(above) +
                                " samples above the maxval 100 were clamped\n";
    const std::vector<threaded_run> runs = {
        {"clipped coefficients", "encode --scales 1,2,3 noise.ppm out.kvrn", 0, "were clipped",
         "out.kvrn"},
        {"the scales that clip none", "encode --step auto noise.ppm out.kvrn", 0, "", "out.kvrn"},
        {"clamped samples", "encode clamping.pgm out.kvrn", 2, clamped, "out.kvrn"},
        {"clamped samples, read twice", "encode --step auto clamping.pgm out.kvrn", 2, clamped,
         "out.kvrn"},
        {"missing blocks", "decode cut.kvrn out.ppm", 2,
         "; " + std::to_string(missing) + " coded blocks are missing", "out.ppm"},
        {"a cut file's preview", "preview --step 3 cut.kvrn out.ppm", 2, "", "out.ppm"},
    };
    for (const threaded_run& run : runs) {
        SCOPED_TRACE(run.what);
        std::string first_words;
        std::string first_file;
        for (const int threads : {1, 2, 4}) {
            const std::string command = run.command;
            const std::size_t space = command.find(' ');
            const child_result got = kvrn(command.substr(0, space) + " --threads " +
                                          std::to_string(threads) + command.substr(space));
            EXPECT_EQ(got.exit_status, run.status) << threads << " threads: " << got.output;
            if (threads == 1) {
                first_words = got.output;
                first_file = dir.read(run.output);
                EXPECT_NE(got.output.find(run.words), std::string::npos) << got.output;
            }
            EXPECT_EQ(got.output, first_words) << threads << " threads";
            EXPECT_EQ(dir.read(run.output), first_file) << threads << " threads";
        }
        if (std::string(run.what) == "clamped samples") {
            EXPECT_EQ(first_words, clamped);
        }
    }
    if (!KVRN_LAB) return;
    // The lab's figures, gathered over rows too.
    std::string first;
    for (const int threads : {1, 2, 4}) {
        const child_result diff =
            kvrn("diff --threads " + std::to_string(threads) + " noise.ppm noise.kvrn");
        EXPECT_EQ(diff.exit_status, 0) << diff.output;
        if (threads == 1) first = diff.output;
        EXPECT_EQ(diff.output, first) << threads << " threads";
    }
}

}  // namespace
}  // namespace kvrn::testing
