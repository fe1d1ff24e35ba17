// The forward and inverse DCT with each pass over all eight rows or columns at once: the passes'
// own templates run on eight lanes, which WebAssembly holds in two 128-bit registers.
#if defined(__wasm_simd128__)

// The vector operations before the pass templates, which find them where they are defined
// (codec/idct_passes.h, codec/fdct_pass.h).
// clang-format off
#include "codec/wide_lanes.h"
#include "codec/fdct_pass.h"
#include "codec/idct_passes.h"
// clang-format on
#include "codec/kernel_versions.h"
#include "codec/wasm/block_rows.h"

namespace kvrn {

void simd128::idct_2d(coef_block& coefficients, coef_block& samples) {
    wide_lanes v[8];
    load_rows(coefficients, v);
    transpose(v);  // lane r holds row r
    idct::row_pass(v);
    transpose(v);  // lane c holds column c
    store_rows(v, coefficients);
    idct::column_pass(v);
    store_rows(v, samples);
}

void simd128::fdct_2d(coef_block& block) {
    wide_lanes v[8];
    load_rows(block, v);
    transpose(v);  // lane r holds row r
    fdct::fdct_1d<fdct::pass::rows>(v);
    transpose(v);  // lane c holds column c
    fdct::fdct_1d<fdct::pass::columns>(v);
    store_rows(v, block);
}

}  // namespace kvrn

#endif
