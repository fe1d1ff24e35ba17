// The C interface against the real kvrn tool: the bytes it encodes, the pictures it decodes and
// previews and the block it inspects are those of the command line, for every stride, row order,
// alpha and thread count a caller may hand it; and nothing a stream holds makes it misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/include/kvrn.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// Runs the real kvrn with `arguments` in `dir`; its exit status.
int kvrn_tool(const scratch_dir& dir, const std::string& arguments) {
    return run_shell("cd '" + dir.path.string() + "' && '" KVRN_TOOL "' " + arguments +
                     " 2>/dev/null")
        .exit_status;
}

// An RGB picture, rows top first, packed.
struct rgb_picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::string ppm_file() const {
        return ppm(static_cast<int>(width), static_cast<int>(height),
                   {pixels.begin(), pixels.end()});
    }
};

// Smooth gradients with noise: coefficients of every size, some clipped at small steps.
rgb_picture test_picture(std::uint32_t width, std::uint32_t height, unsigned seed) {
    rgb_picture picture{width, height, std::vector<std::uint8_t>(3 * std::size_t{width} * height)};
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const std::size_t x = i / 3 % width;
        const std::size_t y = i / 3 / width;
        const auto ramp = static_cast<std::uint32_t>((x * 255 / width + y * 97 / height) % 256);
        picture.pixels[i] = static_cast<std::uint8_t>((ramp + random() % 64) % 256);
    }
    return picture;
}

// The same picture laid out as a caller might hold it: rows `padding` bytes longer than the
// pixels, top row first or (with a negative stride) bottom row first, with or without an alpha
// byte (opaque).
struct laid_out {
    std::vector<std::uint8_t> bytes;
    kvrn_image image{};
};

laid_out lay_out(const rgb_picture& picture, unsigned components, std::size_t padding,
                 bool bottom_first) {
    laid_out out;
    const std::size_t row = components * std::size_t{picture.width} + padding;
    out.bytes.assign(row * picture.height, 0xA5);
    for (std::size_t y = 0; y < picture.height; ++y) {
        const std::size_t stored = bottom_first ? picture.height - 1 - y : y;
        for (std::size_t x = 0; x < picture.width; ++x) {
            for (std::size_t c = 0; c < 3; ++c) {
                out.bytes[stored * row + components * x + c] =
                    picture.pixels[3 * (y * picture.width + x) + c];
            }
            if (components == 4) out.bytes[stored * row + 4 * x + 3] = 255;
        }
    }
    const auto stride = static_cast<ptrdiff_t>(row);
    out.image = {bottom_first ? out.bytes.data() + row * (picture.height - 1) : out.bytes.data(),
                 picture.width, picture.height, bottom_first ? -stride : stride, components};
    return out;
}

std::string encode_in_memory(const kvrn_image& image, kvrn_scales scales, unsigned threads,
                             std::uint64_t* clipped = nullptr) {
    std::size_t most = 0;
    EXPECT_EQ(kvrn_encoded_bytes_max(image.width, image.height, &most), KVRN_OK);
    std::string file(most, '\0');
    std::size_t size = 0;
    EXPECT_EQ(
        kvrn_encode_to_memory(&image, scales, threads, reinterpret_cast<std::uint8_t*>(file.data()),
                              file.size(), &size, clipped),
        KVRN_OK);
    file.resize(size);
    return file;
}

TEST(c_interface, encodes_the_bytes_kvrn_encode_writes_for_every_layout_and_thread_count) {
    const scratch_dir dir;
    struct {
        std::uint32_t width, height;
        kvrn_scales scales;
        const char* option;
    } cases[] = {
        {37, 23, {3, 20, 60}, "--scales 3,20,60"},  // partial blocks on both edges
        {64, 16, {8, 8, 8}, "--step 8"},            // whole blocks only
        {1, 1, {1, 1, 1}, "--step 1"},              // one pixel, clipped coefficients
        {9, 70, {65535, 2, 7}, "--scales 65535,2,7"},
    };
    for (const auto& each : cases) {
        const rgb_picture picture = test_picture(each.width, each.height, each.width);
        dir.file("in.ppm", picture.ppm_file());
        ASSERT_EQ(kvrn_tool(dir, "encode " + std::string(each.option) + " in.ppm out.kvrn"), 0);
        const std::string expected = dir.read("out.kvrn");
        for (const unsigned components : {3U, 4U}) {
            for (const std::size_t padding : {std::size_t{0}, std::size_t{5}}) {
                for (const bool bottom_first : {false, true}) {
                    for (const unsigned threads : {1U, 2U, 3U}) {
                        const laid_out layout = lay_out(picture, components, padding, bottom_first);
                        EXPECT_EQ(encode_in_memory(layout.image, each.scales, threads), expected)
                            << each.width << " x " << each.height << ", " << components
                            << " components, padding " << padding << (bottom_first ? ", up" : "")
                            << ", " << threads << " threads";
                    }
                }
            }
        }
    }
}

TEST(c_interface, composes_alpha_onto_white_in_the_sample_values) {
    // Half-transparent red and a fully transparent pixel: 255,127,127 and white, the values
    // kvrn encode gives a PNG or PAM with the same samples.
    const std::array<std::uint8_t, 8> rgba = {255, 0, 0, 128, 12, 34, 56, 0};
    const kvrn_image image{rgba.data(), 2, 1, 8, 4};
    const std::array<std::uint8_t, 6> rgb = {255, 127, 127, 255, 255, 255};
    const kvrn_image opaque{rgb.data(), 2, 1, 6, 3};
    EXPECT_EQ(encode_in_memory(image, {1, 1, 1}, 1), encode_in_memory(opaque, {1, 1, 1}, 1));
}

// Collects the bytes a callback is handed, and fails on the call numbered `fail_at`.
struct collected {
    std::string bytes;
    int calls = 0;
    int fail_at = -1;
};

int collect(void* context, const void* data, size_t size) {
    auto& out = *static_cast<collected*>(context);
    if (out.calls++ == out.fail_at) return 1;
    out.bytes.append(static_cast<const char*>(data), size);
    return 0;
}

TEST(c_interface, the_write_callback_gets_the_file_in_order_and_can_stop_it) {
    const rgb_picture picture = test_picture(50, 41, 7);
    const laid_out layout = lay_out(picture, 3, 0, false);
    collected all;
    std::uint64_t clipped = 0;
    ASSERT_EQ(kvrn_encode(&layout.image, {2, 2, 2}, 2, collect, &all, &clipped), KVRN_OK);
    std::uint64_t clipped_in_memory = 0;
    EXPECT_EQ(all.bytes, encode_in_memory(layout.image, {2, 2, 2}, 1, &clipped_in_memory));
    EXPECT_EQ(clipped, clipped_in_memory);
    EXPECT_GT(all.calls, 1);
    for (const int fail_at : {0, 1, 3}) {
        collected stopped{"", 0, fail_at};
        EXPECT_EQ(kvrn_encode(&layout.image, {2, 2, 2}, 2, collect, &stopped, nullptr),
                  KVRN_WRITE_FAILED);
        EXPECT_EQ(all.bytes.compare(0, stopped.bytes.size(), stopped.bytes), 0);
    }
    // Memory too small for the file: refused, never written past.
    std::string small(100, '\0');
    small.push_back('!');
    std::size_t size = 1;
    EXPECT_EQ(
        kvrn_encode_to_memory(&layout.image, {2, 2, 2}, 1,
                              reinterpret_cast<std::uint8_t*>(small.data()), 100, &size, nullptr),
        KVRN_TOO_LARGE);
    EXPECT_EQ(small.back(), '!');
    EXPECT_EQ(size, 0U);
}

// The sample files and a cut one, decoded through the interface and by kvrn decode.
TEST(c_interface, decodes_the_pixels_kvrn_decode_writes_and_counts_the_missing_blocks) {
    const scratch_dir dir;
    dir.file("in.ppm", test_picture(37, 23, 3).ppm_file());
    ASSERT_EQ(kvrn_tool(dir, "encode --step 4 in.ppm whole.kvrn"), 0);
    const std::string whole = dir.read("whole.kvrn");
    struct {
        std::size_t keep;
        std::uint64_t missing;
    } cuts[] = {{whole.size(), 0}, {whole.size() - 1, 1}, {14, 3 * 5 * 3}, {200, 0}};
    for (auto& cut : cuts) {
        const std::string file = whole.substr(0, cut.keep);
        dir.file("cut.kvrn", file);
        ASSERT_EQ(kvrn_tool(dir, "decode cut.kvrn out.ppm"), cut.keep == whole.size() ? 0 : 2);
        const std::string expected = raster_of(dir.read("out.ppm"), 37, 23);
        kvrn_stream_info info;
        ASSERT_EQ(kvrn_check_stream(file.data(), file.size(), &info), KVRN_OK);
        EXPECT_EQ(info.blocks_needed, 3U * 5 * 3);
        EXPECT_EQ(info.complete != 0, cut.keep == whole.size());
        for (const unsigned threads : {1U, 2U, 5U}) {
            for (const bool bottom_first : {false, true}) {
                std::vector<std::uint8_t> rgb(3 * 37 * 23 + 7, 0x5A);
                const ptrdiff_t row = 3 * 37;
                std::uint64_t missing = 99;
                ASSERT_EQ(kvrn_decode(file.data(), file.size(), KVRN_CHANNELS_ALL, 0, threads,
                                      bottom_first ? rgb.data() + row * 22 : rgb.data(),
                                      bottom_first ? -row : row, &missing),
                          KVRN_OK);
                EXPECT_EQ(missing, info.blocks_needed - info.blocks_held);
                if (cut.keep == whole.size() || cut.keep == whole.size() - 1) {
                    EXPECT_EQ(missing, cut.missing);
                }
                std::string got(rgb.begin(), rgb.end() - 7);
                if (bottom_first) got = upside_down(got, 37);
                EXPECT_EQ(got, expected) << cut.keep << " bytes, " << threads << " threads";
                EXPECT_EQ(rgb.back(), 0x5A);  // nothing written past the picture
            }
        }
    }
}

// What kvrn preview writes for a KVRN file is the interface's preview of its decoded picture.
TEST(c_interface, previews_what_kvrn_preview_writes) {
    const scratch_dir dir;
    dir.file("in.ppm", test_picture(45, 27, 11).ppm_file());
    ASSERT_EQ(kvrn_tool(dir, "encode --step 2 in.ppm in.kvrn"), 0);
    ASSERT_EQ(kvrn_tool(dir, "decode in.kvrn decoded.ppm"), 0);
    const std::string decoded = raster_of(dir.read("decoded.ppm"), 45, 27);
    const rgb_picture shown{45, 27, {decoded.begin(), decoded.end()}};
    struct {
        std::int32_t step;
        const char* letters;
        unsigned channels;
    } cases[] = {{1, "yrb", KVRN_CHANNELS_ALL},
                 {41, "yb", KVRN_CHANNEL_Y | KVRN_CHANNEL_CB},
                 {300000, "r", KVRN_CHANNEL_CR}};
    for (const auto& each : cases) {
        ASSERT_EQ(kvrn_tool(dir, "preview --step " + std::to_string(each.step) + " --channels " +
                                     each.letters + " in.kvrn p.ppm"),
                  0);
        const std::string expected = raster_of(dir.read("p.ppm"), 45, 27);
        for (const unsigned threads : {1U, 3U}) {
            const laid_out layout = lay_out(shown, 3, 2, false);
            std::vector<std::uint8_t> rgb(3 * 45 * 27);
            ASSERT_EQ(
                kvrn_preview(&layout.image, each.step, each.channels, threads, rgb.data(), 3 * 45),
                KVRN_OK);
            EXPECT_EQ(std::string(rgb.begin(), rgb.end()), expected)
                << "step " << each.step << ", " << each.letters;
        }
    }
}

// The coded bytes of block position `position` in a KVRN file whose blocks it walks.
std::array<std::string, 3> coded_blocks_at(const std::string& file, std::uint64_t position) {
    std::size_t at = KVRN_HEADER_BYTES;
    std::array<std::string, 3> blocks;
    for (std::uint64_t block = 0; block <= 3 * position + 2; ++block) {
        std::size_t length = 2;
        while (length < 65 && file[at + length] != 0x7F) ++length;
        if (length < 65) ++length;
        if (block >= 3 * position) blocks[block - 3 * position] = file.substr(at, length);
        at += length;
    }
    return blocks;
}

TEST(c_interface, inspects_the_stored_values_and_reconstruction_of_the_file_kvrn_writes) {
    const scratch_dir dir;
    const rgb_picture picture = test_picture(21, 13, 5);  // 3 x 2 positions, the top row cut
    dir.file("in.ppm", picture.ppm_file());
    ASSERT_EQ(kvrn_tool(dir, "encode --scales 2,9,30 in.ppm in.kvrn"), 0);
    ASSERT_EQ(kvrn_tool(dir, "decode in.kvrn out.ppm"), 0);
    const std::string file = dir.read("in.kvrn");
    const std::string decoded = raster_of(dir.read("out.ppm"), 21, 13);
    const laid_out layout = lay_out(picture, 3, 0, false);
    for (std::uint32_t row = 0; row < 2; ++row) {
        for (std::uint32_t column = 0; column < 3; ++column) {
            kvrn_block_report report;
            ASSERT_EQ(kvrn_inspect(&layout.image, {2, 9, 30}, column, row, &report), KVRN_OK);
            EXPECT_EQ(report.pixel_columns, column == 2 ? 5U : 8U);
            EXPECT_EQ(report.pixel_rows, row == 0 ? 5U : 8U);
            EXPECT_EQ(report.first_pixel_row, row == 0 ? 0U : 5U);
            // Stream positions count block rows from the bottom.
            const std::array<std::string, 3> coded = coded_blocks_at(file, (1 - row) * 3 + column);
            for (std::size_t c = 0; c < 3; ++c) {
                EXPECT_EQ(report.coded_bytes[c], coded[c].size());
                const auto dc =
                    static_cast<std::int16_t>(static_cast<std::uint8_t>(coded[c][0]) |
                                              (static_cast<std::uint8_t>(coded[c][1]) << 8));
                EXPECT_EQ(report.stored[c][0], dc);
                for (std::uint32_t n = 1; n < report.stored_count[c]; ++n) {
                    EXPECT_EQ(report.stored[c][n], static_cast<std::int8_t>(coded[c][n + 1]));
                }
                for (std::uint32_t n = report.stored_count[c]; n < 64; ++n) {
                    EXPECT_EQ(report.stored[c][n], 0);
                }
            }
            // Every pixel of the block inside the picture as kvrn decode gives it; row 0 of the
            // tables is the block's lowest row.
            for (std::uint32_t y = 0; y < report.pixel_rows; ++y) {
                const std::uint32_t from_top = report.first_pixel_row + report.pixel_rows - 1 - y;
                for (std::uint32_t x = 0; x < report.pixel_columns; ++x) {
                    for (std::size_t c = 0; c < 3; ++c) {
                        const std::size_t at = 3 * (from_top * 21 + column * 8 + x) + c;
                        EXPECT_EQ(report.decoded_rgb[c][y * 8 + x],
                                  static_cast<std::uint8_t>(decoded[at]));
                        EXPECT_EQ(report.rgb[c][y * 8 + x], picture.pixels[at]);
                    }
                }
            }
        }
    }
}

TEST(c_interface, refuses_what_it_cannot_work_on_with_a_status_that_names_it) {
    const std::array<std::uint8_t, 3> pixel = {1, 2, 3};
    const kvrn_image fine{pixel.data(), 1, 1, 3, 3};
    std::array<std::uint8_t, 64> out{};
    const std::array<std::uint8_t, 14> header = {'N', 'R', 'V', 'K', 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    std::array<std::uint8_t, 14> big = header;
    big[4] = 200;  // 200 x 1
    const kvrn_image wide{pixel.data(), 65536, 1, 3 * 65536, 3};
    kvrn_block_report report;
    // The preview of `image` into rows of two pixels.
    const auto preview = [&out](kvrn_image image) {
        return kvrn_preview(&image, 1, 7, 1, out.data(), 6);
    };
    struct {
        const char* what;
        kvrn_status got;
        kvrn_status expected;
    } cases[] = {
        {"no pixels",
         kvrn_encode_to_memory(nullptr, {1, 1, 1}, 1, out.data(), 64, nullptr, nullptr),
         KVRN_BAD_ARGUMENT},
        {"scale 0", kvrn_encode(&fine, {1, 0, 1}, 1, collect, nullptr, nullptr), KVRN_BAD_ARGUMENT},
        {"zero width", preview({pixel.data(), 0, 1, 3, 3}), KVRN_NO_PIXELS},
        {"65536 wide", kvrn_unclipped_scales(&wide, 1, nullptr), KVRN_TOO_LARGE},
        {"stride short of a row", preview({pixel.data(), 2, 1, 5, 3}), KVRN_BAD_ARGUMENT},
        {"two components", preview({pixel.data(), 1, 1, 3, 2}), KVRN_BAD_ARGUMENT},
        {"step 0", kvrn_preview(&fine, 0, 7, 1, out.data(), 3), KVRN_BAD_ARGUMENT},
        {"block outside", kvrn_inspect(&fine, {1, 1, 1}, 1, 0, &report), KVRN_BAD_ARGUMENT},
        {"13 bytes", kvrn_decode(header.data(), 13, 7, 0, 1, out.data(), 3, nullptr),
         KVRN_TOO_SHORT},
        {"a cut stream", kvrn_decode(header.data(), 14, 7, 0, 1, out.data(), 3, nullptr), KVRN_OK},
        {"over the pixel limit", kvrn_decode(big.data(), 14, 7, 199, 1, out.data(), 600, nullptr),
         KVRN_TOO_LARGE},
        {"wrong magic", kvrn_read_header("NRVJ0123456789", 14, nullptr), KVRN_BAD_ARGUMENT},
        {"output stride", kvrn_decode(header.data(), 14, 7, 0, 1, out.data(), 2, nullptr),
         KVRN_BAD_ARGUMENT},
    };
    for (const auto& each : cases) EXPECT_EQ(each.got, each.expected) << each.what;
    ::kvrn_header read;
    EXPECT_EQ(kvrn_read_header("NRVJ0123456789", 14, &read), KVRN_WRONG_MAGIC);
    // Every status has words of its own.
    std::vector<std::string> words;
    for (int status = KVRN_OK; status <= KVRN_WRITE_FAILED; ++status) {
        words.emplace_back(kvrn_status_text(static_cast<kvrn_status>(status)));
        EXPECT_EQ(std::count(words.begin(), words.end(), words.back()), 1) << words.back();
    }
    EXPECT_STREQ(kvrn_status_text(static_cast<kvrn_status>(99)), "unknown status");
}

// Every prefix of a small file, and every byte of it flipped: a picture or a status, never a
// crash or a read outside the bytes given (the sanitizer builds watch the latter).
TEST(c_interface, takes_every_cut_and_every_flipped_byte_of_a_file) {
    const rgb_picture picture = test_picture(17, 9, 2);
    const std::string whole = encode_in_memory(lay_out(picture, 3, 0, false).image, {2, 3, 4}, 1);
    std::vector<std::uint8_t> rgb(3 * 17 * 9);
    const auto try_file = [&](const std::string& file) {
        kvrn_stream_info info;
        const kvrn_status checked = kvrn_check_stream(file.data(), file.size(), &info);
        // A copy on the heap of exactly the file's size, so that a read past it is caught.
        const std::vector<char> exact(file.begin(), file.end());
        std::uint64_t missing = 0;
        const kvrn_status status =
            kvrn_decode(exact.data(), exact.size(), 7, 17 * 9, 2, rgb.data(), 3 * 17, &missing);
        if (checked != KVRN_OK) {
            EXPECT_EQ(status, checked);  // both read the same header
        } else if (status == KVRN_OK) {
            EXPECT_EQ(missing, info.blocks_needed - info.blocks_held);
        } else {
            // Another size read from a flipped header byte: too many pixels for the limit, none,
            // or rows longer than the buffer's.
            EXPECT_TRUE(status == KVRN_TOO_LARGE || status == KVRN_NO_PIXELS ||
                        status == KVRN_BAD_ARGUMENT)
                << kvrn_status_text(status);
        }
    };
    for (std::size_t keep = 0; keep <= whole.size(); ++keep) try_file(whole.substr(0, keep));
    for (std::size_t at = 0; at < whole.size(); ++at) {
        std::string flipped = whole;
        flipped[at] = static_cast<char>(~flipped[at]);
        try_file(flipped);
    }
}

}  // namespace
}  // namespace kvrn::testing
