// kvrn preview, held to the viewer's own preview run in-process: what the window shows and what
// the encoder writes.
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/picture.h"
#include "codec/reencode.h"
#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// The raster of a PPM file in the viewer's order: the bottom row first.
std::string bottom_up(const std::string& ppm_file, int width, int height) {
    return upside_down(raster_of(ppm_file, width, height), width);
}

// The viewer's preview of a picture: what it draws, clamped as OpenGL clamps it, over white, and
// the coded blocks it writes to an attached stream.
struct preview_sink {
    void coded(const ycc_blocks& coefficients, int /*r0*/, int /*c0*/) {
        for (const coef_block* block : {&coefficients.y, &coefficients.cr, &coefficients.cb}) {
            std::array<std::uint8_t, put_block_room> bytes{};
            std::int64_t clipped = 0;
            written.append(bytes.begin(), bytes.begin() + put_block(*block, bytes.data(), clipped));
        }
    }
    void shown(const rgb_blocks& rgb, int r0, int c0) {
        store_block(rgb, reinterpret_cast<std::uint8_t*>(drawn.data()), width, height, r0, c0);
    }
    preview_sink(int w, int h)
        : width(w), height(h), drawn(3 * static_cast<std::size_t>(w * h), '\xFF') {}
    int width;
    int height;
    std::string drawn;
    std::string written;
};

// The source is a KVRN file, s.kvrn; s.ppm, its decoded picture, is the picture the viewer loads
// (that the viewer's decoder and kvrn decode agree is the C interface's tests'). Steps 4 and 5
// leave every AC coefficient of these pictures within a byte, so the encoder clips nothing.
TEST_F(cli_test, encode_writes_what_the_preview_writes_and_decode_shows_what_it_shows) {
    for (const auto& [width, height, step, channels] :
         std::vector<std::tuple<int, int, int, std::string>>{{32, 24, 5, "yrb"},
                                                             {21, 13, 4, "yb"}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " " + channels);
        dir.file("p.ppm", noise_ppm(width, height));
        const std::string n = std::to_string(step);
        for (const std::string& command : std::vector<std::string>{
                 "encode --step 1 p.ppm s.kvrn", "decode s.kvrn s.ppm",
                 "encode --step " + n + " s.ppm e.kvrn", "decode e.kvrn e.ppm",
                 "preview --step " + n + " --channels " + channels + " s.kvrn v.ppm"}) {
            ASSERT_EQ(kvrn(command).exit_status, 0) << command;
        }
        const std::string source = bottom_up(dir.read("s.ppm"), width, height);
        channel_enables enables;
        enables.use_cr = channels.find('r') != std::string::npos;  // y and b are in every case
        preview_sink preview(width, height);
        reencode_blocks({reinterpret_cast<const std::uint8_t*>(source.data()), width, height},
                        {uniform_steps(step), enables, block_coverage::whole_blocks}, preview);
        const std::string previewed = bottom_up(dir.read("v.ppm"), width, height);
        EXPECT_EQ(previewed, preview.drawn);
        if (width % 8 != 0 || height % 8 != 0) continue;
        EXPECT_EQ(dir.read("e.kvrn").substr(14), preview.written);
        EXPECT_EQ(bottom_up(dir.read("e.ppm"), width, height), previewed);
    }
}

// A table of one entry throughout is a step: kvrn preview --table gives kvrn preview --step's
// picture, from a file of 64 entries (every channel) or of 128 (Y's, then Cr's and Cb's, commas
// or blanks between them) and with any channels. Tables are labelled beyond the format; a table
// of another length, a quality out of range or a step beside a table are refused.
TEST_F(cli_test, preview_by_a_uniform_table_is_the_preview_at_that_step) {
    dir.file("p.ppm", noise_ppm(21, 13));
    ASSERT_EQ(kvrn("encode --step 1 p.ppm s.kvrn").exit_status, 0);
    std::string nines;
    std::string twos;
    for (int i = 0; i < 64; ++i) nines += "9 ";
    for (int i = 0; i < 128; ++i) twos += i % 8 == 7 ? "2\n" : "2,";
    dir.file("nines.txt", nines);
    dir.file("twos.txt", twos);
    for (const auto& [table, step, channels] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {"nines.txt", 9, "yrb"}, {"twos.txt", 2, "yrb"}, {"nines.txt", 9, "rb"}}) {
        SCOPED_TRACE(table + " " + channels);
        const child_result by_table =
            kvrn("preview --table " + table + " --channels " + channels + " s.kvrn t.ppm 2>&1");
        ASSERT_EQ(by_table.exit_status, 0);
        EXPECT_NE(by_table.output.find("beyond the KVRN format"), std::string::npos);
        ASSERT_EQ(kvrn("preview --step " + std::to_string(step) + " --channels " + channels +
                       " s.kvrn p.ppm")
                      .exit_status,
                  0);
        EXPECT_EQ(dir.read("t.ppm"), dir.read("p.ppm"));
    }
    EXPECT_EQ(kvrn("preview --table jpeg:75 s.kvrn j.ppm").exit_status, 0);
    EXPECT_NE(dir.read("j.ppm"), dir.read("p.ppm"));
    dir.file("short.txt", std::string("1 2 3"));
    for (const auto& [command, status] : std::vector<std::pair<std::string, int>>{
             {"preview --table short.txt s.kvrn x.ppm", 1},
             {"preview --table jpeg:101 s.kvrn x.ppm", 1},
             {"preview --table missing.txt s.kvrn x.ppm", 1},
             {"preview --step 3 --table jpeg:50 s.kvrn x.ppm", 64}}) {
        EXPECT_EQ(kvrn(command).exit_status, status) << command;
    }
}

}  // namespace

std::vector<tool_row> preview_cases() {
    return {
        {"kvrn preview -v --step 2147483647 in.kvrn out.png", extreme(0, 65535, 0, -32768, 126), 0,
         "kvrn: in.kvrn: preview at step 2147483647: PSNR"},
    };
}

}  // namespace kvrn::testing
