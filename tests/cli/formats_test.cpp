// The table of picture formats: every format it lists recognised by its own first bytes and no
// other's, every format written read back as written, output names matched to formats, the PPM
// writer's two ways (whole, and band by band in any order) agreeing, and the wrapping of the
// help's lists.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "cli/formats/format.h"
#include "cli/formats/format_help.h"
#include "cli/formats/netpbm.h"
#include "cli/output_file.h"
#include "codec/picture.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

using cli::picture_format;
using namespace std::string_literals;

cli::image random_image(std::int32_t width, std::int32_t height, unsigned seed) {
    cli::image picture;
    require(cli::allocate(picture, width, height, "test"), "cannot allocate the test picture");
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < *picture_bytes(width, height); ++i) {
        picture.pixels[i] = static_cast<std::uint8_t>(random());
    }
    return picture;
}

std::string pixels_of(const cli::image& picture) {
    return {reinterpret_cast<const char*>(picture.pixels.get()),
            *picture_bytes(picture.width, picture.height)};
}

// The formats whose recognise() takes `start`.
std::vector<std::string_view> recognising(const std::string& start) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(start.data()),
                          std::min(start.size(), cli::recognised_bytes));
    std::vector<std::string_view> names;
    for (const picture_format* format : cli::picture_formats()) {
        if (format->recognise(bytes)) names.push_back(format->name);
    }
    return names;
}

TEST(cli_formats, each_written_format_reads_back_what_it_wrote_and_only_it_recognises_it) {
    const scratch_dir dir;
    unsigned seed = 1;
    for (const picture_format* format : cli::picture_formats()) {
        if (format->write == nullptr) continue;
        SCOPED_TRACE(format->name);
        // Sides that differ and are no multiple of 8, so that a row order or stride mix-up shows.
        const cli::image written = random_image(13, 7, seed++);
        const std::string path = dir.file("picture", std::nullopt);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_TRUE(format->write(written, out, path));
        ASSERT_EQ(std::fclose(out), 0);

        EXPECT_EQ(recognising(dir.read("picture")), std::vector{format->name});
        std::FILE* in = std::fopen(path.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        cli::image read;
        EXPECT_EQ(format->read(in, {"picture", cli::default_max_pixels}, read),
                  cli::read_status::ok);
        (void)std::fclose(in);
        ASSERT_EQ(read.width, written.width);
        ASSERT_EQ(read.height, written.height);
        EXPECT_EQ(pixels_of(read), pixels_of(written));
    }
}

TEST(cli_formats, first_bytes_name_at_most_one_format) {
    const std::string png = "\x89PNG\r\n\x1A\n";
    const struct {
        std::string start;
        std::vector<std::string_view> formats;
    } cases[] = {
        {"\xFF\xD8\xFF\xE0\0\x10JF"s, {"JPEG"}},
        {"\xFF\xD8\xFF", {"JPEG"}},
        {"\xFF\xD8", {}},
        {png, {"PNG"}},
        {png.substr(0, 7), {}},
        {"\x89PNG\r\n\x1A\r", {}},
        {"P1", {"netpbm"}},
        {"P7\nWIDTH", {"netpbm"}},
        {"P0", {}},
        {"P8", {}},
        {"p6", {}},
        {"P", {}},
        {"NRVK\x10\0\x10\0"s, {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recognising(c.start), c.formats) << c.start;
    }
}

TEST(cli_formats, output_names_pick_a_written_format_by_extension_in_any_case) {
    const struct {
        const char* path;
        const char* format;  // nullptr: no format
    } cases[] = {
        {"-", "netpbm"},     {"a.ppm", "netpbm"}, {"A.PPM", "netpbm"},     {"a.png", "PNG"},
        {"a.Png", "PNG"},    {".png", "PNG"},     {"a.png.ppm", "netpbm"}, {"a.ppm.png", "PNG"},
        {"a.jpg", nullptr},  {"a.pgm", nullptr},  {"png", nullptr},        {"a.png.", nullptr},
        {"a.pngx", nullptr}, {"--", nullptr},
    };
    for (const auto& c : cases) {
        const picture_format* format = cli::format_written_to(c.path);
        if (c.format == nullptr) {
            EXPECT_EQ(format, nullptr) << c.path;
        } else {
            ASSERT_NE(format, nullptr) << c.path;
            EXPECT_EQ(format->name, c.format) << c.path;
            EXPECT_NE(format->write, nullptr) << c.path;
        }
    }
    EXPECT_EQ(cli::formats_written().front(), cli::format_written_to("-"));
}

// decode writes a PPM file band by band, each at its place, in whatever order the threads finish:
// the file must be the one the whole picture is written as, for every height modulo 8.
TEST(cli_formats, ppm_bands_written_in_any_order_make_the_whole_picture_file) {
    const scratch_dir dir;
    for (const std::int32_t height : {1, 7, 8, 9, 16, 19}) {
        SCOPED_TRACE(height);
        const cli::image picture = random_image(5, height, static_cast<unsigned>(height));
        {
            cli::output_file whole;
            ASSERT_TRUE(whole.open(dir.file("whole.ppm", std::nullopt).c_str()));
            ASSERT_TRUE(cli::write_ppm(picture, whole.stream(), "whole.ppm"));
            ASSERT_TRUE(whole.commit());
        }
        kvrn_header header{kvrn_magic, 0, 0, 1, 1, 1};
        header.width = static_cast<std::uint16_t>(picture.width);
        header.height = static_cast<std::uint16_t>(height);
        cli::output_file banded;
        ASSERT_TRUE(banded.open(dir.file("banded.ppm", std::nullopt).c_str()));
        cli::write_ppm_header(banded.stream(), picture.width, height);
        ASSERT_EQ(std::fflush(banded.stream()), 0);
        const long start = std::ftell(banded.stream());
        cli::ppm_band_writer writer(banded, header, static_cast<std::uint64_t>(start));
        for (std::int32_t r0 = 8 * ((height - 1) / 8); r0 >= 0; r0 -= 8) {
            ASSERT_TRUE(writer.decoded(r0, picture.pixels.get() + pixel_offset(5, r0, 0)));
        }
        ASSERT_TRUE(banded.commit());
        EXPECT_EQ(dir.read("banded.ppm"), dir.read("whole.ppm"));
    }
}

TEST(cli_format_help, wrapping_breaks_at_the_last_space_that_fits) {
    const struct {
        std::string_view text;
        std::size_t width;
        std::string_view first;
        std::string_view indent;
        std::string_view lines;
    } cases[] = {
        {"aa bb cc", 5, "", "", "aa bb\ncc\n"}, {"aa bb cc", 4, "", "", "aa\nbb\ncc\n"},
        {"aa bb", 5, "", "", "aa bb\n"},        {"aa bb", 6, "> ", "  ", "> aa\n  bb\n"},
        {"aa bb", 7, "> ", "  ", "> aa bb\n"},  {"longword aa", 4, "", "", "longword\naa\n"},
        {"aa  bb", 80, "", "", "aa bb\n"},      {"", 10, "x", "", "x\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli::wrapped(c.text, c.width, c.first, c.indent), c.lines) << c.text;
    }
}

TEST(cli_format_help, lists_every_format_the_table_holds) {
    const std::string list = cli::formats_read_list();
    const std::string words = cli::formats_in_words();
    for (const picture_format* format : cli::picture_formats()) {
        EXPECT_NE(list.find("  " + std::string(format->name) + " "), std::string::npos);
        EXPECT_NE(words.find(format->in_a_list), std::string::npos);
        if (format->write != nullptr) {
            EXPECT_NE(words.find(format->written_as), std::string::npos);
        }
    }
    std::size_t start = 0;
    for (std::size_t end = list.find('\n'); end != std::string::npos;
         start = end + 1, end = list.find('\n', start)) {
        EXPECT_LE(end - start, cli::help_width) << list.substr(start, end - start);
    }
}

}  // namespace
}  // namespace kvrn::testing
