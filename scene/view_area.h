// The part of the plane the window shows, and which of a picture's points fall inside it.
#pragma once

#include <cstdint>

namespace kvrn {

// The window's size in pixels. The projection puts one unit on one pixel with the origin at the
// bottom-left corner, so a point at (px, py) lights the pixel (floor(px), floor(py)), and only
// those with 0 <= px < width and 0 <= py < height can be seen.
struct view_area {
    std::int32_t width = 1024;
    std::int32_t height = 768;
};

// The window's area as its reshape callback last gave it; the scene sends no point outside it.
extern view_area visible_area;

// Indices first .. last - 1.
struct index_span {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// The indices k in 0 .. count - 1 whose points, drawn at static_cast<float>(k) + offset, fall in
// 0 .. extent - 1 (computed with those same float sums, so that a point is skipped exactly when it
// would have been clipped).
index_span visible_span(std::int32_t count, float offset, std::int32_t extent);

}  // namespace kvrn
