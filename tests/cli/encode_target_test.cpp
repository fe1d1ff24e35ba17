// `kvrn encode --max-bytes N` and `--max-bpp B`: the step found by bisection held to an
// exhaustive search of every step from 1 to 65535 (the sizes counted by the codec in-process),
// and the file written the one `--step` writes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/include/kvrn.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// The size of the KVRN file of the 8-bit RGB `raster` (top row first, as a PPM holds it) at every
// step: sizes[s] for s in 1..65535.
std::vector<std::size_t> sizes_at_every_step(const std::string& raster, int width, int height) {
    const kvrn_image image{reinterpret_cast<const std::uint8_t*>(raster.data()),
                           static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                           3 * static_cast<std::ptrdiff_t>(width), 3};
    std::size_t capacity = 0;
    require(kvrn_encoded_bytes_max(image.width, image.height, &capacity) == KVRN_OK, "capacity");
    std::vector<std::uint8_t> out(capacity);
    std::vector<std::size_t> sizes(65536, 0);
    for (std::int32_t s = 1; s <= 65535; ++s) {
        const auto step = static_cast<std::uint16_t>(s);
        require(kvrn_encode_to_memory(&image, {step, step, step}, 1, out.data(), capacity,
                                      &sizes[static_cast<std::size_t>(s)], nullptr) == KVRN_OK,
                "encode");
    }
    return sizes;
}

// The smallest step whose file is at most `limit` bytes, or 0 for none: the search the tool's
// bisection must agree with.
std::int32_t smallest_fitting(const std::vector<std::size_t>& sizes, std::uint64_t limit) {
    for (std::int32_t s = 1; s <= 65535; ++s) {
        if (sizes[static_cast<std::size_t>(s)] <= limit) return s;
    }
    return 0;
}

// The step `kvrn encode -v` says it found, from "step N: the smallest ...".
std::int32_t step_said(const std::string& errors) {
    const std::size_t at = errors.find("step ");
    return at == std::string::npos ? -1 : std::stoi(errors.substr(at + 5));
}

TEST_F(cli_test, the_step_for_a_size_is_the_smallest_an_exhaustive_search_finds) {
    struct picture {
        std::string name;
        int width;
        int height;
        std::string ppm_file;
    };
    const picture pictures[] = {
        {"ramps.ppm", 37, 21, ramps_and_noise()},
        {"noise.ppm", 29, 19, noise_ppm(29, 19)},
        {"pattern.ppm", 40, 16, pattern_ppm(40, 16)},
    };
    for (const picture& p : pictures) {
        dir.file(p.name, p.ppm_file);
        const std::vector<std::size_t> sizes =
            sizes_at_every_step(raster_of(p.ppm_file, p.width, p.height), p.width, p.height);
        const double pixels = static_cast<double>(p.width) * p.height;
        // Limits on both sides of the sizes at a few steps, the floor and the size at step 1
        // among them.
        std::vector<std::uint64_t> limits;
        for (const std::size_t s : {1, 2, 3, 5, 8, 13, 40, 100, 1000, 65535}) {
            limits.push_back(sizes[s]);
            limits.push_back(sizes[s] - 1);
            limits.push_back(sizes[s] + 1);
        }
        for (const std::uint64_t limit : limits) {
            SCOPED_TRACE(p.name + " at most " + std::to_string(limit) + " bytes");
            const std::int32_t expected = smallest_fitting(sizes, limit);
            const std::string options[] = {
                "--max-bytes " + std::to_string(limit),
                // The same limit as bits per pixel: floor(B * pixels / 8) bytes.
                "--max-bpp " + std::to_string((static_cast<double>(limit) + 0.5) * 8 / pixels),
            };
            for (const std::string& option : options) {
                SCOPED_TRACE(option);
                const child_result run =
                    kvrn("encode -v " + option + " " + p.name + " t.kvrn 2>&1");
                if (expected == 0) {
                    EXPECT_EQ(run.exit_status, 1);
                    EXPECT_NE(run.output.find("cannot be reached"), std::string::npos)
                        << run.output;
                    EXPECT_NE(run.output.find("1.125 bits per pixel"), std::string::npos);
                    EXPECT_FALSE(std::filesystem::exists(dir.path / "t.kvrn"));
                    continue;
                }
                ASSERT_EQ(run.exit_status, 0) << run.output;
                EXPECT_EQ(step_said(run.output), expected) << run.output;
                const std::string step = std::to_string(expected);
                ASSERT_EQ(kvrn("encode --step " + step + " " + p.name + " s.kvrn").exit_status, 0);
                EXPECT_EQ(dir.read("t.kvrn"), dir.read("s.kvrn"));
                EXPECT_LE(dir.read("t.kvrn").size(), limit);
                std::filesystem::remove(dir.path / "t.kvrn");
            }
        }
    }
}

TEST_F(cli_test, a_size_target_goes_alone_and_is_a_positive_number) {
    dir.file("in.ppm", ramps_and_noise());
    for (const std::string options :
         {"--max-bytes 0", "--max-bytes -3", "--max-bytes 2k", "--max-bpp 0", "--max-bpp -1",
          "--max-bpp nan", "--max-bpp inf", "--max-bpp x", "--max-bytes 900 --step 4",
          "--max-bpp 2 --scales 1,2,3", "--max-bytes 900 --max-bpp 2"}) {
        SCOPED_TRACE(options);
        const child_result run = kvrn("encode " + options + " in.ppm out.kvrn 2>&1");
        EXPECT_EQ(run.exit_status, 64) << run.output;  // a usage error
        EXPECT_FALSE(std::filesystem::exists(dir.path / "out.kvrn"));
    }
}

}  // namespace
}  // namespace kvrn::testing
