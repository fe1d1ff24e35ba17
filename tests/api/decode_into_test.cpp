// The decode into a described output at the edges of what it takes: every layout gives the
// pixels of kvrn_decode laid out as asked and touches no other byte; every layout that cannot
// hold the picture, and every stream cut short, gets its status; and the stream's measure agrees
// with kvrn info and with a stream completed by the bytes it says are missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/include/kvrn.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

constexpr std::uint8_t untouched = 0xA5;

// A real KVRN file of a picture with gradients and noise, made by the encoder.
std::string encoded(std::uint32_t width, std::uint32_t height, kvrn_scales scales) {
    std::vector<std::uint8_t> rgb(3 * std::size_t{width} * height);
    std::mt19937 random(width * 131 + height);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<std::uint8_t>((i / 3 % width * 255 / width + random() % 48) % 256);
    }
    const kvrn_image image{rgb.data(), width, height, 3 * static_cast<ptrdiff_t>(width), 3};
    std::size_t most = 0;
    EXPECT_EQ(kvrn_encoded_bytes_max(width, height, &most), KVRN_OK);
    std::string file(most, '\0');
    std::size_t size = 0;
    EXPECT_EQ(kvrn_encode_to_memory(&image, scales, 1, reinterpret_cast<std::uint8_t*>(file.data()),
                                    file.size(), &size, nullptr),
              KVRN_OK);
    file.resize(size);
    return file;
}

// What kvrn_decode gives: packed RGB, top row first.
std::vector<std::uint8_t> decoded_rgb(const std::string& file, std::uint32_t width,
                                      std::uint32_t height, unsigned channels,
                                      std::uint64_t* missing) {
    std::vector<std::uint8_t> rgb(3 * std::size_t{width} * height);
    EXPECT_EQ(kvrn_decode(file.data(), file.size(), channels, 0, 1, rgb.data(),
                          3 * static_cast<ptrdiff_t>(width), missing),
              KVRN_OK);
    return rgb;
}

// `rgb` (packed, top row first) re-laid by hand as `out` describes it, in a buffer of `size`
// bytes whose other bytes are untouched.
std::vector<std::uint8_t> relaid(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                                 std::uint32_t height, const kvrn_output& out, std::size_t size) {
    std::vector<std::uint8_t> bytes(size, untouched);
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t stored = out.row_order == KVRN_ROWS_TOP_FIRST ? y : height - 1 - y;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint8_t* pixel =
                bytes.data() + stored * static_cast<std::size_t>(out.stride) + out.components * x;
            for (std::size_t c = 0; c < 3; ++c) pixel[c] = rgb[3 * (y * width + x) + c];
            if (out.components == 4) pixel[3] = 255;
        }
    }
    return bytes;
}

TEST(decode_into, gives_kvrn_decodes_pixels_in_every_layout_and_touches_no_other_byte) {
    struct {
        std::uint32_t width, height;
        kvrn_scales scales;
        std::size_t cut;  // bytes taken off the end
    } files[] = {
        {37, 23, {3, 20, 60}, 0},  // partial blocks on both edges
        {64, 16, {8, 8, 8}, 0},    // whole blocks only
        {1, 1, {1, 1, 1}, 0},      // one pixel
        {9, 70, {2, 7, 9}, 0},     // a column of blocks, most bands on their own thread
        {37, 23, {3, 20, 60}, 400},
    };
    struct {
        unsigned components;
        unsigned row_order;
        std::size_t padding;  // bytes a row beyond its pixels
    } layouts[] = {
        {3, KVRN_ROWS_TOP_FIRST, 0}, {3, KVRN_ROWS_BOTTOM_FIRST, 0},
        {4, KVRN_ROWS_TOP_FIRST, 0}, {4, KVRN_ROWS_BOTTOM_FIRST, 0},
        {3, KVRN_ROWS_TOP_FIRST, 1}, {3, KVRN_ROWS_BOTTOM_FIRST, 7},
        {4, KVRN_ROWS_TOP_FIRST, 5}, {4, KVRN_ROWS_BOTTOM_FIRST, 3},
    };
    for (const auto& each : files) {
        std::string file = encoded(each.width, each.height, each.scales);
        file.resize(file.size() - each.cut);
        for (const unsigned channels : {KVRN_CHANNELS_ALL, KVRN_CHANNEL_Y | KVRN_CHANNEL_CB}) {
            std::uint64_t expected_missing = 0;
            const std::vector<std::uint8_t> rgb =
                decoded_rgb(file, each.width, each.height, channels, &expected_missing);
            EXPECT_EQ(expected_missing > 0, each.cut > 0);
            for (const auto& layout : layouts) {
                kvrn_output out{
                    nullptr, 0,
                    static_cast<ptrdiff_t>(layout.components * each.width + layout.padding),
                    layout.components, layout.row_order};
                std::size_t size = 0;
                ASSERT_EQ(kvrn_output_bytes(&out, each.width, each.height, &size), KVRN_OK);
                EXPECT_EQ(size, static_cast<std::size_t>(out.stride) * (each.height - 1) +
                                    layout.components * each.width);
                const std::vector<std::uint8_t> expected =
                    relaid(rgb, each.width, each.height, out, size);
                for (const unsigned threads : {1U, 2U, 3U}) {
                    SCOPED_TRACE(::testing::Message()
                                 << each.width << " x " << each.height << " cut " << each.cut
                                 << ", channels " << channels << ", " << layout.components
                                 << " components, row order " << layout.row_order << ", padding "
                                 << layout.padding << ", " << threads << " threads");
                    // Exactly the bytes the layout takes, on the heap, where a write past them
                    // is caught by the sanitizers.
                    std::vector<std::uint8_t> pixels(size, untouched);
                    out.pixels = pixels.data();
                    out.size = pixels.size();
                    std::uint64_t missing = 99;
                    ASSERT_EQ(kvrn_decode_into(file.data(), file.size(), &out, channels, 0, threads,
                                               &missing),
                              KVRN_OK);
                    EXPECT_EQ(missing, expected_missing);
                    EXPECT_EQ(pixels, expected);
                }
            }
        }
    }
}

TEST(decode_into, refuses_a_layout_that_cannot_hold_the_picture_and_writes_nothing) {
    const std::uint32_t width = 5;
    const std::uint32_t height = 3;
    const std::string file = encoded(width, height, {4, 4, 4});
    const std::size_t rgba_bytes = 2 * 4 * 5 + 4 * 5;  // two strides of 20 and the last row
    std::vector<std::uint8_t> pixels(rgba_bytes + 64, untouched);
    const kvrn_output rgba{pixels.data(), rgba_bytes, 20, 4, KVRN_ROWS_TOP_FIRST};
    // `rgba` with one thing changed.
    const auto with = [&rgba](auto change) {
        kvrn_output out = rgba;
        change(out);
        return out;
    };
    std::string no_pixels = file;
    no_pixels[4] = 0;  // 0 wide
    std::string wrong_magic = file;
    wrong_magic[0] = 'M';
    struct {
        const char* what;
        std::string file;
        kvrn_output out;
        std::uint64_t max_pixels;
        kvrn_status expected;
    } cases[] = {
        {"a buffer of exactly the right size", file, rgba, 0, KVRN_OK},
        {"bottom row first", file, with([](kvrn_output& o) { o.row_order = 1; }), 0, KVRN_OK},
        {"packed RGB", file, with([](kvrn_output& o) {
             o.stride = 15;
             o.components = 3;
         }),
         0, KVRN_OK},
        {"exactly max_pixels", file, rgba, width * height, KVRN_OK},
        {"one pixel over max_pixels", file, rgba, width * height - 1, KVRN_TOO_LARGE},
        {"a byte short of the buffer", file, with([](kvrn_output& o) { --o.size; }), 0,
         KVRN_TOO_LARGE},
        {"a stride one byte short of an RGBA row", file,
         with([](kvrn_output& o) { o.stride = 19; }), 0, KVRN_BAD_ARGUMENT},
        {"a stride one byte short of an RGB row", file, with([](kvrn_output& o) {
             o.stride = 14;
             o.components = 3;
         }),
         0, KVRN_BAD_ARGUMENT},
        {"stride 0", file, with([](kvrn_output& o) { o.stride = 0; }), 0, KVRN_BAD_ARGUMENT},
        {"a negative stride", file, with([](kvrn_output& o) { o.stride = -20; }), 0,
         KVRN_BAD_ARGUMENT},
        {"the most negative stride", file, with([](kvrn_output& o) { o.stride = PTRDIFF_MIN; }), 0,
         KVRN_BAD_ARGUMENT},
        {"a stride past any memory", file, with([](kvrn_output& o) { o.stride = PTRDIFF_MAX; }), 0,
         KVRN_TOO_LARGE},
        {"two components", file, with([](kvrn_output& o) { o.components = 2; }), 0,
         KVRN_BAD_ARGUMENT},
        {"five components", file, with([](kvrn_output& o) { o.components = 5; }), 0,
         KVRN_BAD_ARGUMENT},
        {"an unknown row order", file, with([](kvrn_output& o) { o.row_order = 2; }), 0,
         KVRN_BAD_ARGUMENT},
        {"no memory", file, with([](kvrn_output& o) { o.pixels = nullptr; }), 0, KVRN_BAD_ARGUMENT},
        {"13 bytes", file.substr(0, 13), rgba, 0, KVRN_TOO_SHORT},
        {"wrong magic", wrong_magic, rgba, 0, KVRN_WRONG_MAGIC},
        {"no pixels", no_pixels, rgba, 0, KVRN_NO_PIXELS},
    };
    for (const auto& each : cases) {
        std::fill(pixels.begin(), pixels.end(), untouched);
        std::uint64_t missing = 99;
        EXPECT_EQ(kvrn_decode_into(each.file.data(), each.file.size(), &each.out, KVRN_CHANNELS_ALL,
                                   each.max_pixels, 2, &missing),
                  each.expected)
            << each.what;
        EXPECT_EQ(missing, 0U) << each.what;
        if (each.expected != KVRN_OK) {
            EXPECT_EQ(std::count(pixels.begin(), pixels.end(), untouched),
                      static_cast<std::ptrdiff_t>(pixels.size()))
                << each.what << ": written to";
        } else {
            EXPECT_EQ(std::count(pixels.begin() + rgba_bytes, pixels.end(), untouched), 64)
                << each.what << ": written past the picture";
        }
    }
    EXPECT_EQ(kvrn_decode_into(file.data(), file.size(), nullptr, 7, 0, 1, nullptr),
              KVRN_BAD_ARGUMENT);
    // kvrn_decode at the same edges: its rows run either way.
    struct {
        const char* what;
        ptrdiff_t stride;
        std::uint64_t max_pixels;
        kvrn_status expected;
    } old_cases[] = {
        {"a row's bytes", 15, 0, KVRN_OK},
        {"exactly max_pixels", 15, width * height, KVRN_OK},
        {"one pixel over max_pixels", 15, width * height - 1, KVRN_TOO_LARGE},
        {"one byte short", 14, 0, KVRN_BAD_ARGUMENT},
        {"one byte short, upwards", -14, 0, KVRN_BAD_ARGUMENT},
        {"stride 0", 0, 0, KVRN_BAD_ARGUMENT},
        {"rows past any memory, upwards", PTRDIFF_MIN, 0, KVRN_TOO_LARGE},
        {"rows past any memory", PTRDIFF_MAX, 0, KVRN_TOO_LARGE},
    };
    for (const auto& each : old_cases) {
        EXPECT_EQ(kvrn_decode(file.data(), file.size(), KVRN_CHANNELS_ALL, each.max_pixels, 1,
                              pixels.data(), each.stride, nullptr),
                  each.expected)
            << each.what;
    }
}

TEST(decode_into, measures_a_layout_up_to_the_largest_object) {
    const auto layout = [](ptrdiff_t stride, unsigned components) {
        return kvrn_output{nullptr, 0, stride, components, KVRN_ROWS_TOP_FIRST};
    };
    struct {
        const char* what;
        kvrn_output out;
        std::uint32_t width, height;
        kvrn_status expected;
        std::size_t bytes;
    } cases[] = {
        {"one pixel", layout(3, 3), 1, 1, KVRN_OK, 3},
        {"one row: the stride is not used", layout(PTRDIFF_MAX, 4), 7, 1, KVRN_OK, 28},
        {"padded RGBA", layout(30, 4), 7, 3, KVRN_OK, 2 * 30 + 28},
        {"the largest picture", layout(4 * 65535, 4), 65535, 65535, KVRN_OK,
         std::size_t{4} * 65535 * 65535},
        {"every byte a ptrdiff_t reaches", layout(PTRDIFF_MAX - 3, 3), 1, 2, KVRN_OK,
         std::size_t{PTRDIFF_MAX}},
        {"one byte more", layout(PTRDIFF_MAX - 2, 3), 1, 2, KVRN_TOO_LARGE, 0},
        {"the largest stride", layout(PTRDIFF_MAX, 3), 1, 2, KVRN_TOO_LARGE, 0},
        {"65536 wide", layout(PTRDIFF_MAX, 3), 65536, 1, KVRN_TOO_LARGE, 0},
        {"65536 high", layout(3, 3), 1, 65536, KVRN_TOO_LARGE, 0},
        {"0 wide", layout(3, 3), 0, 1, KVRN_NO_PIXELS, 0},
        {"a stride one byte short", layout(20, 3), 7, 2, KVRN_BAD_ARGUMENT, 0},
        {"a negative stride", layout(-21, 3), 7, 2, KVRN_BAD_ARGUMENT, 0},
        {"one component", layout(21, 1), 7, 2, KVRN_BAD_ARGUMENT, 0},
    };
    for (const auto& each : cases) {
        std::size_t bytes = 0;
        EXPECT_EQ(kvrn_output_bytes(&each.out, each.width, each.height, &bytes), each.expected)
            << each.what;
        EXPECT_EQ(bytes, each.bytes) << each.what;
    }
    const kvrn_output fine = layout(3, 3);
    std::size_t bytes = 0;
    EXPECT_EQ(kvrn_output_bytes(nullptr, 1, 1, &bytes), KVRN_BAD_ARGUMENT);
    EXPECT_EQ(kvrn_output_bytes(&fine, 1, 1, nullptr), KVRN_BAD_ARGUMENT);
}

// The bytes that complete `file`, cut inside or between its blocks, in the fewest bytes: the cut
// block's DC (zeros) and its end, then a DC of 0 and an end for every later block.
std::string completion(std::size_t cut_block_bytes, std::uint64_t later_blocks) {
    std::string bytes = cut_block_bytes < 2 ? std::string(2 - cut_block_bytes, '\0') : "";
    bytes += '\x7F';
    for (std::uint64_t i = 0; i < later_blocks; ++i) bytes += std::string("\0\0\x7F", 3);
    return bytes;
}

// Whether `text` holds `before`, `number` and `after` in a row.
bool holds(const std::string& text, const char* before, std::uint64_t number, const char* after) {
    std::string part = before;
    part += std::to_string(number);
    part += after;
    return text.find(part) != std::string::npos;
}

// Every cut of a small real file, at every byte: the status, the missing blocks the decode counts
// and the bytes the measure says are missing, against kvrn info and against the stream completed.
TEST(decode_into, takes_every_cut_of_a_file_with_the_right_status_and_missing_bytes) {
    const scratch_dir dir;
    const std::string whole = encoded(19, 10, {2, 5, 9});  // 3 x 2 positions, cut edges
    std::vector<std::uint8_t> pixels(4 * 19 * 10);
    const kvrn_output out{pixels.data(), pixels.size(), 4 * 19, 4, KVRN_ROWS_BOTTOM_FIRST};
    // What kvrn info says of every cut with a header, a line each, from one run of it.
    std::string names;
    for (std::size_t keep = KVRN_HEADER_BYTES; keep <= whole.size(); ++keep) {
        names += " '" + dir.file(std::to_string(keep) + ".kvrn", whole.substr(0, keep)) + "'";
    }
    const std::string said =
        run_shell("'" KVRN_TOOL "' info --json" + names + " 2>/dev/null").output;
    std::size_t line = 0;
    for (std::size_t keep = 0; keep <= whole.size(); ++keep) {
        SCOPED_TRACE(keep);
        const std::string file = whole.substr(0, keep);
        // A copy on the heap of exactly the file's size, so that a read past it is caught.
        const std::vector<char> exact(file.begin(), file.end());
        kvrn_stream_info info;
        const kvrn_status checked = kvrn_check_stream(exact.data(), exact.size(), &info);
        std::uint64_t missing = 99;
        const kvrn_status status =
            kvrn_decode_into(exact.data(), exact.size(), &out, KVRN_CHANNELS_ALL, 0, 2, &missing);
        if (keep < KVRN_HEADER_BYTES) {
            EXPECT_EQ(checked, KVRN_TOO_SHORT);
            EXPECT_EQ(status, KVRN_TOO_SHORT);
            continue;
        }
        ASSERT_EQ(checked, KVRN_OK);
        ASSERT_EQ(status, KVRN_OK);
        EXPECT_EQ(info.blocks_needed, 3U * 3 * 2);
        EXPECT_EQ(missing, info.blocks_needed - info.blocks_held);
        EXPECT_EQ(info.bytes_held, keep - KVRN_HEADER_BYTES);
        EXPECT_EQ(info.complete != 0, keep == whole.size());
        // kvrn info says the same of the file.
        const std::size_t end = said.find('\n', line);
        const std::string json = said.substr(line, end - line);
        line = end + 1;
        EXPECT_TRUE(holds(json, "/", keep, ".kvrn\"")) << json;
        EXPECT_TRUE(holds(json, "\"bytes_needed\": ", info.bytes_needed, ",")) << json;
        EXPECT_TRUE(holds(json, "\"bytes_held\": ", info.bytes_held, ",")) << json;
        if (info.complete != 0) {
            EXPECT_EQ(info.bytes_needed, info.bytes_held);
            continue;
        }
        // The missing bytes complete the stream, and one fewer does not.
        const std::uint64_t later = info.blocks_needed - info.blocks_held - 1;
        std::size_t start = KVRN_HEADER_BYTES;  // of the cut block
        for (std::uint64_t block = 0; block < info.blocks_held; ++block) {
            std::size_t length = 2;
            while (length < 65 && whole[start + length] != '\x7F') ++length;
            start += length < 65 ? length + 1 : length;
        }
        const std::string completed = file + completion(keep - start, later);
        EXPECT_EQ(completed.size() - keep, info.bytes_needed - info.bytes_held);
        kvrn_stream_info after;
        ASSERT_EQ(kvrn_check_stream(completed.data(), completed.size(), &after), KVRN_OK);
        EXPECT_EQ(after.complete, 1);
        ASSERT_EQ(kvrn_check_stream(completed.data(), completed.size() - 1, &after), KVRN_OK);
        EXPECT_EQ(after.complete, 0);
    }
}

}  // namespace
}  // namespace kvrn::testing
