// The inverse DCT with each pass over all eight rows or columns at once.
#if defined(__x86_64__)

// The vector operations before the pass templates, which find them where they are defined
// (codec/idct_passes.h).
// clang-format off
#include "codec/x86/wide_lanes.h"
#include "codec/idct_passes.h"
// clang-format on
#include "codec/kernel_versions.h"

namespace kvrn {

kvrn_avx2 void avx2::idct_2d(coef_block& coefficients, coef_block& samples) {
    wide_lanes v[8];
    load_rows(coefficients, v);
    transpose(v);  // lane r holds row r
    idct::row_pass(v);
    transpose(v);  // lane c holds column c
    store_rows(v, coefficients);
    idct::column_pass(v);
    store_rows(v, samples);
}

}  // namespace kvrn

#endif
