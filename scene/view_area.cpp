#include "scene/view_area.h"

namespace kvrn {

view_area visible_area;

index_span visible_span(std::int32_t count, float offset, std::int32_t extent) {
    // The float sums grow with k (rounding keeps order), so the visible indices are one run.
    const auto at = [offset](std::int32_t k) { return static_cast<float>(k) + offset; };
    index_span span{0, count};
    while (span.first < count && at(span.first) < 0.0F) ++span.first;
    span.last = span.first;
    while (span.last < count && at(span.last) < static_cast<float>(extent)) ++span.last;
    return span;
}

}  // namespace kvrn
