// kvrn-chart: writes a 640 x 480 test chart as a binary PPM on standard output. Every region
// shows a different weakness of 8x8 block quantisation: colour bars with edges on and off the
// block grid, ramps for banding, fine lines and checkerboards near the highest frequency, a zone
// plate sweeping every frequency, and fine colour detail for the chroma channels. The labels and
// the small text are added afterwards by scripts/make-samples.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;

struct rgb {
    std::uint8_t r, g, b;
};

constexpr rgb white{255, 255, 255};
constexpr rgb black{0, 0, 0};

std::vector<rgb> chart(static_cast<std::size_t>(width) * height, white);

void put(int x, int y, rgb colour) {
    chart[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] = colour;
}

template <class Shade>
void fill(int x0, int y0, int x1, int y1, Shade shade) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) put(x, y, shade(x - x0, y - y0));
    }
}

std::uint8_t level(double value) {
    return static_cast<std::uint8_t>(std::lround(std::fmin(std::fmax(value, 0.0), 255.0)));
}

// Full-strength bars on 80-pixel boundaries, on the block grid; below them 75% bars seven to the
// width, whose edges fall inside blocks.
void colour_bars() {
    constexpr std::array<rgb, 8> bars = {{{255, 255, 255},
                                          {255, 255, 0},
                                          {0, 255, 255},
                                          {0, 255, 0},
                                          {255, 0, 255},
                                          {255, 0, 0},
                                          {0, 0, 255},
                                          {0, 0, 0}}};
    fill(0, 0, width, 64, [&](int x, int) { return bars[static_cast<std::size_t>(x / 80)]; });
    fill(0, 64, width, 96, [&](int x, int) {
        const rgb bar = bars[static_cast<std::size_t>(x * 7 / width)];
        return rgb{level(bar.r * 0.75), level(bar.g * 0.75), level(bar.b * 0.75)};
    });
}

// Grey, red, green and blue ramps from 0 to 255 across the width, for banding.
void ramps() {
    for (int band = 0; band < 4; ++band) {
        fill(0, 96 + 24 * band, width, 120 + 24 * band, [band](int x, int) {
            const std::uint8_t v = level(x * 255.0 / (width - 1));
            const std::uint8_t grey = band == 0 ? v : 0;
            return rgb{band == 1 ? v : grey, band == 2 ? v : grey, band == 3 ? v : grey};
        });
    }
}

// cos(k r^2) around the centre: the local frequency k r / pi cycles per pixel grows with the
// radius and reaches 0.5, the highest a pixel grid holds, at r = 140 when k = pi / 280.
void zone_plate() {
    constexpr double radius = 140.0;
    constexpr double k = 3.14159265358979323846 / (2.0 * radius);
    fill(0, 192, 288, 480, [&](int x, int y) {
        const double dx = x - 143.5;
        const double dy = y - 143.5;
        const double r2 = dx * dx + dy * dy;
        if (r2 > radius * radius) return rgb{128, 128, 128};
        const std::uint8_t v = level(127.5 + 127.5 * std::cos(k * r2));
        return rgb{v, v, v};
    });
}

rgb pick(bool first, rgb a, rgb b) {
    return first ? a : b;
}

// Black and white lines with periods of 2, 3, 4, 6 and 8 pixels, vertical then horizontal,
// then diagonals and checkerboards of 1 and 2 pixels.
void fine_lines() {
    constexpr std::array<int, 5> periods = {2, 3, 4, 6, 8};
    for (std::size_t i = 0; i < periods.size(); ++i) {
        const int period = periods[i];
        const int x0 = 296 + static_cast<int>(i) * 68;
        fill(x0, 200, x0 + 64, 256,
             [=](int x, int) { return pick(x % period < period / 2, black, white); });
        fill(x0, 264, x0 + 64, 320,
             [=](int, int y) { return pick(y % period < period / 2, black, white); });
    }
    fill(296, 328, 360, 384, [](int x, int y) { return pick((x + y) % 4 < 2, black, white); });
    fill(364, 328, 428, 384, [](int x, int y) { return pick((x - y + 64) % 6 < 3, black, white); });
    fill(432, 328, 496, 384, [](int x, int y) { return pick((x + y) % 2 == 0, black, white); });
    fill(500, 328, 564, 384,
         [](int x, int y) { return pick((x / 2 + y / 2) % 2 == 0, black, white); });
}

// Detail carried by colour alone: stripes of equal luma where only Cr or Cb changes.
void colour_detail() {
    constexpr rgb red{255, 0, 0};
    constexpr rgb cyan{0, 255, 255};
    constexpr rgb blue{0, 0, 255};
    constexpr rgb yellow{255, 255, 0};
    constexpr rgb magenta{200, 0, 200};
    constexpr rgb green{0, 140, 0};
    fill(568, 328, 632, 352, [=](int x, int) { return pick(x % 2 == 0, red, cyan); });
    fill(568, 352, 632, 368, [=](int x, int y) { return pick((x + y) % 2 == 0, blue, yellow); });
    fill(568, 368, 632, 384, [=](int x, int) { return pick(x % 4 < 2, magenta, green); });
}

}  // namespace

int main() {
    colour_bars();
    ramps();
    zone_plate();
    fine_lines();
    colour_detail();
    std::printf("P6\n%d %d\n255\n", width, height);
    for (const rgb& pixel : chart) {
        const std::array<std::uint8_t, 3> bytes = {pixel.r, pixel.g, pixel.b};
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
