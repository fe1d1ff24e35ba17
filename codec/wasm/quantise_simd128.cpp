// The quantisation of a coefficient block, eight values at a time (codec/quantise_lanes.h), in
// WebAssembly's 128-bit vectors.
#if defined(__wasm_simd128__)

#include <cstdint>

#include "codec/kernel_versions.h"
#include "codec/quantise_lanes.h"

namespace kvrn {

void simd128::quantise(coef_block& block, std::int32_t step) {
    if (step < (1 << 24)) {
        lanes::quantise_in_single_precision(block, step);
    } else {
        plain::quantise(block, step);
    }
}

}  // namespace kvrn

#endif
