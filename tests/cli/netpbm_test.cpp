// The netpbm reader on real files written here byte by byte: every form against the raw 8-bit
// pixels it was written from, scaling and composition onto white against values worked by hand.
// Bad input, each with its exact message, is in encode_test.cpp's cases of the catalogue.
#include "cli/formats/netpbm.h"

#include <gtest/gtest.h>

#include <random>

#include "cli/formats/samples.h"
#include "codec/picture.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

using namespace std::string_literals;

constexpr std::uint64_t default_limit = std::uint64_t{1} << 28;

// The pixels of the file at `path`, bottom row first; nothing if it could not be read.
std::string read_file(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    require(in != nullptr, "cannot open the test file");
    cli::image picture;
    const bool ok =
        cli::read_netpbm(in, {"pic", default_limit}, picture) != cli::read_status::failed;
    (void)std::fclose(in);
    const auto* start = reinterpret_cast<const char*>(picture.pixels.get());
    return ok ? std::string(start, *picture_bytes(picture.width, picture.height)) : "";
}

// A picture of 8-bit RGB samples, top row first, as a P6 file holds it.
struct reference {
    int width;
    int height;
    std::vector<std::uint8_t> rgb;
    std::string bottom_up() const { return upside_down({rgb.begin(), rgb.end()}, width); }
};

// Random pixels in colour, grey (R = G = B) or black and white.
reference random_picture(int width, int height, int colours, unsigned maxval, unsigned seed) {
    std::mt19937 random(seed);
    reference p{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        const auto grey = static_cast<std::uint8_t>(maxval == 1 ? 255 * (random() & 1) : random());
        for (int c = 0; c < 3; ++c)
            p.rgb.push_back(colours == 1 ? grey : static_cast<std::uint8_t>(random()));
    }
    return p;
}

struct form {
    char magic;
    int colours;           // 1: grey or black and white, 3: RGB
    unsigned maxval;       // 1, 255 or 65535
    const char* tupltype;  // PAM only; _ALPHA forms are written opaque
};

// `p` in `f`, written independently of the reader: samples v * maxval / 255 (an exact v * 257 at
// 16 bits), comments between the header's fields and inside plain data.
std::string netpbm_file(const form& f, const reference& p) {
    const bool alpha = f.tupltype != nullptr && std::string_view(f.tupltype).ends_with("_ALPHA");
    const bool pbm = f.magic == '1' || f.magic == '4';
    std::string file{'P', f.magic};
    if (f.magic == '7') {
        file += "\nWIDTH " + std::to_string(p.width) + "\n# c\nHEIGHT " + std::to_string(p.height) +
                "\nDEPTH " + std::to_string(f.colours + alpha) + "\nMAXVAL " +
                std::to_string(f.maxval) + "\nTUPLTYPE " + f.tupltype + "\nENDHDR\n";
    } else {
        file += "# c\n" + std::to_string(p.width) + "\n#c\n" + std::to_string(p.height);
        // One white space character ends the header; the raster follows it at once.
        file += pbm ? "\n" : " #c\n" + std::to_string(f.maxval) + "\n";
    }
    std::vector<unsigned> samples;
    for (std::size_t i = 0; i < p.rgb.size(); i += 3) {
        for (std::size_t c = 0; c < static_cast<std::size_t>(f.colours); ++c)
            samples.push_back(pbm ? p.rgb[i] == 0 : p.rgb[i + c] * f.maxval / 255);
        if (alpha) samples.push_back(f.maxval);
    }
    const std::size_t row = samples.size() / static_cast<std::size_t>(p.height);
    std::string packed(static_cast<std::size_t>(p.height * ((p.width + 7) / 8)), '\0');
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (f.magic == '1') {
            file += std::to_string(samples[i]) + (i % 7 == 6 ? "\n#c 1\n" : "");
        } else if (f.magic == '2' || f.magic == '3') {
            file += std::to_string(samples[i]) + (i % 7 == 6 ? " #c 1\n" : " ");
        } else if (pbm) {
            const std::size_t x = i % row;
            packed[i / row * ((row + 7) / 8) + x / 8] |=
                static_cast<char>(samples[i] << (7 - x % 8));
        } else {
            if (f.maxval > 255) file += static_cast<char>(samples[i] >> 8);
            file += static_cast<char>(samples[i]);
        }
    }
    return f.magic == '4' ? file + packed : file;
}

constexpr form forms[] = {
    {'1', 1, 1, nullptr},         {'4', 1, 1, nullptr},
    {'2', 1, 255, nullptr},       {'5', 1, 255, nullptr},
    {'2', 1, 65535, nullptr},     {'5', 1, 65535, nullptr},
    {'3', 3, 255, nullptr},       {'6', 3, 255, nullptr},
    {'3', 3, 65535, nullptr},     {'6', 3, 65535, nullptr},
    {'7', 1, 1, "BLACKANDWHITE"}, {'7', 1, 1, "BLACKANDWHITE_ALPHA"},
    {'7', 1, 255, "GRAYSCALE"},   {'7', 1, 65535, "GRAYSCALE_ALPHA"},
    {'7', 3, 255, "RGB"},         {'7', 3, 65535, "RGB"},
    {'7', 3, 255, "RGB_ALPHA"},   {'7', 3, 65535, "RGB_ALPHA"},
};

TEST(netpbm, every_form_gives_the_pixels_it_was_written_from) {
    const scratch_dir dir;
    for (const form& f : forms) {
        SCOPED_TRACE(std::string("P") + f.magic + " maxval " + std::to_string(f.maxval) + " " +
                     (f.tupltype != nullptr ? f.tupltype : ""));
        const reference p = random_picture(13, 5, f.colours, f.maxval, f.magic);
        const std::string path = dir.file("form", netpbm_file(f, p));
        EXPECT_EQ(read_file(path), p.bottom_up());
        if (f.magic < '4') continue;
        // Raw forms also read row by row at their offset in the file, as large files are read.
        std::FILE* in = std::fopen(path.c_str(), "rb");
        cli::netpbm_header header;
        ASSERT_TRUE(cli::read_netpbm_header(in, "pic", default_limit, header));
        const std::size_t row_bytes = cli::netpbm_row_bytes(header);
        std::vector<std::uint8_t> raw(row_bytes);
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(3 * p.width));
        for (int r = 0; r < p.height; ++r) {
            const auto offset =
                static_cast<off_t>(header.data_start) + r * static_cast<off_t>(row_bytes);
            ASSERT_EQ(pread(fileno(in), raw.data(), row_bytes, offset), std::ssize(raw));
            cli::convert_netpbm_row(header, raw.data(), rgb.data());
            EXPECT_TRUE(
                std::ranges::equal(rgb, std::span(p.rgb).subspan(rgb.size() * r, rgb.size())))
                << "row " << r;
        }
        (void)std::fclose(in);
    }
}

TEST(netpbm, every_size_up_to_17_in_packed_plain_and_wide_forms) {
    const scratch_dir dir;
    for (const form& f :
         {form{'4', 1, 1, nullptr}, form{'1', 1, 1, nullptr}, form{'3', 3, 65535, nullptr}}) {
        for (int w = 1; w <= 17; ++w) {
            for (int h = 1; h <= 17; ++h) {
                const reference p = random_picture(w, h, f.colours, f.maxval, 17 * w + h);
                ASSERT_EQ(read_file(dir.file(
                              std::string(1, f.magic) + std::to_string(w) + "x" + std::to_string(h),
                              netpbm_file(f, p))),
                          p.bottom_up())
                    << "P" << f.magic << " " << w << " x " << h;
            }
        }
    }
}

// round-half-up(v * 255 / maxval), worked by hand: 50 / 100 is 127.5, 512 / 1023 is 127.62,
// 129 / 65535 is 0.502, 32768 / 65535 is 127.50.
TEST(netpbm, samples_scale_to_8_bits_as_netpbm_scales_them) {
    const struct {
        unsigned maxval;
        std::vector<unsigned> values;
        std::string expected;
    } cases[] = {
        {1, {0, 1}, {0, '\xFF'}},
        {3, {0, 1, 2, 3}, {0, 85, '\xAA', '\xFF'}},
        {100, {1, 50, 99, 100}, {3, '\x80', '\xFC', '\xFF'}},
        {1023, {2, 3, 512, 1022}, {0, 1, '\x80', '\xFF'}},
        {65535, {128, 129, 32768, 65535}, {0, 1, '\x80', '\xFF'}},
    };
    const scratch_dir dir;
    for (const auto& c : cases) {
        const std::string head =
            std::to_string(c.values.size()) + " 1\n" + std::to_string(c.maxval) + "\n";
        std::string plain = "P2\n" + head;
        std::string raw = "P5\n" + head;
        std::string expected;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            plain += std::to_string(c.values[i]) + " ";
            if (c.maxval > 255) raw += static_cast<char>(c.values[i] >> 8);
            raw += static_cast<char>(c.values[i]);
            expected += std::string(3, c.expected[i]);
        }
        EXPECT_EQ(read_file(dir.file("plain", plain)), expected) << c.maxval;
        EXPECT_EQ(read_file(dir.file("raw", raw)), expected) << c.maxval;
    }
}

// round-half-up((v * a + maxval * (maxval - a)) / maxval), worked by hand:
// 255 * 127 / 255 = 127, (100 * 100 + 255 * 155) / 255 = 194.2, 65535 * 32767 / 65535 = 32767,
// (1000 * 40000 + 65535 * 25535) / 65535 = 26145.4, 255 - 200 + 200 / 255 = 55.78,
// 65535 - 50000 + 50000 / 65535 = 15535.76, and 16 bits to 8: 32767 -> 127, 26145 -> 102.
TEST(netpbm, alpha_composes_onto_white_in_sample_values) {
    for (const auto& [value, alpha, maxval, want] :
         std::vector<std::array<std::uint32_t, 4>>{{0, 128, 255, 127},
                                                   {255, 128, 255, 255},
                                                   {100, 100, 255, 194},
                                                   {0, 0, 255, 255},
                                                   {37, 255, 255, 37},
                                                   {1, 200, 255, 56},
                                                   {0, 32768, 65535, 32767},
                                                   {1000, 40000, 65535, 26145},
                                                   {1000, 65535, 65535, 1000},
                                                   {1, 50000, 65535, 15536}})
        EXPECT_EQ(cli::over_white(value, alpha, maxval), want) << value << " " << alpha;
    const scratch_dir dir;
    const std::string rgba =
        "P7\nWIDTH 4\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    EXPECT_EQ(read_file(dir.file("rgba", rgba + "\xFF\0\0\x80"
                                                "d\0\xFF"
                                                "d"
                                                "\x0A\x14\x1E\0\1\1\1\xC8"s)),
              "\xFF\x7F\x7F\xC2\x9B\xFF\xFF\xFF\xFF\x38\x38\x38"s);
    const std::string grey =
        "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
    EXPECT_EQ(read_file(dir.file("grey", grey + "\0\0\x80\0\x03\xE8\x9C\x40"s)),
              "\x7F\x7F\x7F\x66\x66\x66"s);
    const std::string bw =
        "P7\nWIDTH 3\nHEIGHT 1\nDEPTH 2\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE_ALPHA\nENDHDR\n";
    EXPECT_EQ(read_file(dir.file("bw", bw + "\0\1\0\0\1\1"s)), "\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF"s);
}

}  // namespace
}  // namespace kvrn::testing
