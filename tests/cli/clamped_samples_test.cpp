// Raw netpbm samples above the maxval: counted as the maxval, with a warning saying how many and
// exit status 2, whether the picture is read by bands (a file, on several threads, in two passes
// for --step auto) or whole (a pipe), by encode or by the lab.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/files.h"

namespace kvrn::testing {
namespace {

// A raw netpbm picture written sample by sample, and the same with every sample clamped.
struct raw_picture {
    std::string header;  // up to the raster
    unsigned maxval;
    std::vector<unsigned> samples;
    std::string file(bool clamped) const {
        std::string bytes = header;
        for (unsigned v : samples) {
            if (clamped) v = std::min(v, maxval);
            if (maxval > 255) bytes += static_cast<char>(v >> 8);
            bytes += static_cast<char>(v);
        }
        return bytes;
    }
    std::size_t above() const {
        return static_cast<std::size_t>(
            std::ranges::count_if(samples, [this](unsigned v) { return v > maxval; }));
    }
};

raw_picture random_raw(const std::string& header, unsigned maxval, std::size_t count, unsigned top,
                       unsigned seed) {
    std::mt19937 random(seed);
    raw_picture p{header, maxval, {}};
    for (std::size_t i = 0; i < count; ++i) p.samples.push_back(random() % (top + 1));
    return p;
}

TEST(clamped_samples, are_counted_once_warned_and_give_status_2) {
    const std::vector<raw_picture> pictures = {
        {"P5\n2 1\n100\n", 100, {50, 200}},
        {"P5\n3 1\n100\n", 100, {0, 100, 99}},  // none above: no warning
        random_raw("P5\n37 29\n100\n", 100, 37 * 29, 255, 1),
        random_raw("P6\n5 17\n1000\n", 1000, 5 * 17 * 3, 1100, 2),
        random_raw(
            "P7\nWIDTH 9\nHEIGHT 20\nDEPTH 2\nMAXVAL 200\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n", 200,
            9 * 20 * 2, 255, 3),
    };
    for (const raw_picture& p : pictures) {
        SCOPED_TRACE(p.header);
        const scratch_dir dir;
        dir.file("in.pnm", p.file(false));
        dir.file("ref.pnm", p.file(true));
        const auto kvrn = [&dir](const std::string& arguments) {
            return run_shell("cd '" + dir.path.string() + "' && '" KVRN_TOOL "' " + arguments +
                             " 2>&1");
        };
        ASSERT_EQ(kvrn("encode ref.pnm ref.kvrn").exit_status, 0);
        ASSERT_EQ(kvrn("encode --step auto ref.pnm auto.kvrn").exit_status, 0);
        const std::size_t above = p.above();
        const int status = above == 0 ? 0 : 2;
        const auto warning = [&](const std::string& name) {
            if (above == 0) return std::string();
            return "kvrn: " + name + ": warning: " + std::to_string(above) +
                   " samples above the maxval " + std::to_string(p.maxval) + " were clamped\n";
        };
        for (const auto& [arguments, said, same_as] :
             {std::tuple<std::string, std::string, std::string>{"encode in.pnm out.kvrn",
                                                                warning("in.pnm"), "ref.kvrn"},
              {"encode --threads 3 --step auto in.pnm out.kvrn", warning("in.pnm"), "auto.kvrn"},
              {"encode - out.kvrn < in.pnm", warning("-"), "ref.kvrn"},
              {"encode -q in.pnm out.kvrn", "", "ref.kvrn"},
              {"encode -q - out.kvrn < in.pnm", "", "ref.kvrn"}}) {
            SCOPED_TRACE(arguments);
            const child_result got = kvrn(arguments);
            EXPECT_EQ(got.exit_status, status);
            EXPECT_EQ(got.output, said);
            EXPECT_EQ(dir.read("out.kvrn"), dir.read(same_as));
        }
        if (!KVRN_LAB) continue;
        // The lab reads all the rows in one go.
        const child_result diff = kvrn("diff --threads 2 in.pnm ref.pnm");
        EXPECT_EQ(diff.exit_status, status);
        EXPECT_TRUE(diff.output.starts_with(warning("in.pnm") + "psnr_rgb inf  psnr_y inf  "))
            << diff.output;
    }
}

}  // namespace
}  // namespace kvrn::testing
