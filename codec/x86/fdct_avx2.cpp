// The forward DCT over all eight rows, then all eight columns, at once.
#if defined(__x86_64__)

// The vector operations before the pass template, which finds them where it is defined
// (codec/fdct_pass.h).
// clang-format off
#include "codec/x86/wide_lanes.h"
#include "codec/fdct_pass.h"
// clang-format on
#include "codec/kernel_versions.h"

namespace kvrn {

kvrn_avx2 void avx2::fdct_2d(coef_block& block) {
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
