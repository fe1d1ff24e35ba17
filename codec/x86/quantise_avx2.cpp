// The quantisation and the dequantisation of a coefficient block, eight values at a time
// (codec/quantise_lanes.h), compiled for AVX2.
#if defined(__x86_64__)

#include <cstdint>

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

// Built for the baseline (SSE2), the plain loop emulates each 32-bit multiply of four lanes with
// several shuffles.
kvrn_avx2 void avx2::dequantise(coef_block& block, std::int32_t step) {
    lanes::dequantise(block, step);
}

}  // namespace kvrn

#endif
