// A deterministic picture with detail for the benchmarks: gradients, texture and seeded noise,
// so that blocks carry AC energy the way photographs do.
#pragma once

#include <cstdint>
#include <vector>

namespace kvrn::bench {

// width * height RGB pixels, row after row.
std::vector<std::uint8_t> test_picture(std::int32_t width, std::int32_t height);

}  // namespace kvrn::bench
