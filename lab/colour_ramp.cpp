#include "lab/colour_ramp.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace kvrn::lab {
namespace {

struct stop {
    double t;
    double r, g, b;
};

// The luma of the stops rises 0, 43, 80, 117, 178, 246: the ramp never gets darker.
constexpr std::array<stop, 6> stops{{{0.00, 0, 0, 0},
                                     {0.15, 45, 25, 130},
                                     {0.35, 150, 35, 130},
                                     {0.55, 225, 75, 55},
                                     {0.78, 250, 170, 30},
                                     {1.00, 255, 250, 210}}};

std::uint8_t channel(double v) {
    return static_cast<std::uint8_t>(std::lround(v));
}

}  // namespace

rgb8 ramp_colour(double t) {
    if (!(t > 0)) return {};  // also NaN
    std::size_t i = 1;
    while (i + 1 < stops.size() && t > stops[i].t) ++i;
    if (t >= stops.back().t) {
        const stop& s = stops.back();
        return {channel(s.r), channel(s.g), channel(s.b)};
    }
    const stop& lo = stops[i - 1];
    const stop& hi = stops[i];
    const double f = (t - lo.t) / (hi.t - lo.t);
    return {channel(lo.r + f * (hi.r - lo.r)), channel(lo.g + f * (hi.g - lo.g)),
            channel(lo.b + f * (hi.b - lo.b))};
}

}  // namespace kvrn::lab
