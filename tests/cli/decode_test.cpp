// kvrn decode: a file written byte by byte against pixels worked out by hand.
#include <array>
#include <string>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

// A 10 x 9 file written out byte by byte, decoded to pixels worked by hand. Dequantised DC-only
// blocks are flat: sample (D + 4) >> 3 + 128. Then R = Y + (cr * 359 >> 8), G = Y - (cr * 183 >> 8)
// - (cb * 11 >> 5), B = Y + (cb * 227 >> 7) with cr = Cr - 128, cb = Cb - 128, clamped to 0..255.
//   position 0 (rows 0-7, columns 0-7): Y DC 5 * 16 and F(1, 0) = 9 * 16 at zig-zag 2, the
//     samples 163, 159, 152, 143, 133, 124, 117, 113 down rows 0 to 7 (the idct tests derive
//     them); Cr 20 * 2: 133, cr 5, +7 red, -3 green; Cb -6 * 4: 125, cb -3, +2 green, -6 blue.
//   position 1 (columns 8-9): Y 6 * 16: 140; Cr 0: 128; Cb 250 * 4: 253, cb 125, -42 green,
//     +221 blue: (140, 98, 361 -> 255).
//   position 2 (row 8): Y 0: 128; Cr -50 * 2: 116, cr -12, -17 red, +9 green: (111, 137, 128).
//   position 3 (row 8, columns 8-9): Y -30 * 16: 68; Cr -200 * 2: 78, cr -50, -71 red, +36
//     green; Cb -8 * 4: 124, cb -4, +2 green, -8 blue: (-3 -> 0, 106, 60).
// Row 0 is the bottom row: the PPM starts with row 8.
TEST_F(cli_test, decode_gives_the_pixels_worked_by_hand_bottom_row_last) {
    const std::string file(
        "NRVK\x0A\0\x09\0\x10\0\x02\0\x04\0"      // 10 x 9, scales 16, 2, 4
        "\x05\0\0\x09\x7F\x14\0\x7F\xFA\xFF\x7F"  // position 0: Y, Cr, Cb
        "\x06\0\x7F\0\0\x7F\xFA\0\x7F"            // position 1
        "\0\0\x7F\xCE\xFF\x7F\0\0\x7F"            // position 2
        "\xE2\xFF\x7F\x38\xFF\x7F\xF8\xFF\x7F",   // position 3
        14 + 11 + 9 + 9 + 9);
    dir.file("a.kvrn", file);
    using rgb = std::array<int, 3>;
    const rgb left[8] = {{170, 162, 157}, {166, 158, 153}, {159, 151, 146}, {150, 142, 137},
                         {140, 132, 127}, {131, 123, 118}, {124, 116, 111}, {120, 112, 107}};
    std::string raster;
    for (int row = 8; row >= 0; --row) {
        for (int column = 0; column < 10; ++column) {
            const rgb c = row == 8 ? (column < 8 ? rgb{111, 137, 128} : rgb{0, 106, 60})
                                   : (column < 8 ? left[row] : rgb{140, 98, 255});
            for (const int v : c) raster += static_cast<char>(v);
        }
    }
    ASSERT_EQ(kvrn("decode a.kvrn d.ppm").exit_status, 0);
    EXPECT_EQ(dir.read("d.ppm"), ppm(10, 9, raster));

    // With the Y channel alone, as the viewer's r and b keys leave: the chroma terms drop out and
    // every pixel is the grey of its Y sample.
    const int left_y[8] = {163, 159, 152, 143, 133, 124, 117, 113};
    std::string grey;
    for (int row = 8; row >= 0; --row) {
        for (int column = 0; column < 10; ++column) {
            const int y = row == 8 ? (column < 8 ? 128 : 68) : (column < 8 ? left_y[row] : 140);
            grey += std::string(3, static_cast<char>(y));
        }
    }
    ASSERT_EQ(kvrn("decode --channels y a.kvrn y.ppm").exit_status, 0);
    EXPECT_EQ(dir.read("y.ppm"), ppm(10, 9, grey));
    // Standard output, as a PNG file, gets the whole picture decoded in one piece.
    EXPECT_EQ(kvrn("decode --channels y a.kvrn -").output, ppm(10, 9, grey));
}

}  // namespace

}  // namespace kvrn::testing
