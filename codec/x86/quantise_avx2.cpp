// The quantisation (codec/quantise_lanes.h) and the dequantisation of a coefficient block, eight
// values at a time, compiled for AVX2.
#if defined(__x86_64__)

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/kernel_versions.h"
#include "codec/quantise_lanes.h"
#include "codec/x86/avx2.h"

namespace kvrn {

kvrn_avx2 void avx2::quantise(coef_block& block, std::int32_t step) {
    if (step < (1 << 24)) {
        lanes::quantise_in_single_precision(block, step);
    } else {
        plain::quantise(block, step);
    }
}

// The low 32 bits of each product, as the plain version's multiplication gives them: for a
// file's blocks (a 16-bit DC, AC values within -127..126) and 16-bit scales no product reaches
// 2^31. Built for the baseline (SSE2), the plain loop emulates each 32-bit multiply of four
// lanes with several shuffles.
kvrn_avx2 void avx2::dequantise(coef_block& block, std::int32_t step) {
    using uints8 = std::uint32_t __attribute__((vector_size(32)));
    const auto factor = static_cast<std::uint32_t>(step);
    for (std::size_t k = 0; k < 64; k += 8) {
        uints8 values;
        std::memcpy(&values, &block[k], sizeof values);
        values *= factor;
        std::memcpy(&block[k], &values, sizeof values);
    }
}

}  // namespace kvrn

#endif
