#include "codec/fdct.h"

#include <cstddef>

#include "codec/fdct_pass.h"
#include "codec/kernel_versions.h"
#include "codec/kernels.h"

namespace kvrn {
namespace {

// One row or column of `block`, `stride` apart, through the 1-D pass.
template <fdct::pass which>
void fdct_line(std::int32_t* data, std::ptrdiff_t stride) {
    wrap32 p[8];
    for (std::ptrdiff_t k = 0; k < 8; ++k) p[k] = wrap(data[k * stride]);
    fdct::fdct_1d<which>(p);
    for (std::ptrdiff_t k = 0; k < 8; ++k) data[k * stride] = unwrap(p[k]);
}

}  // namespace

void fdct_2d(coef_block& block) {
    active_kernels().fdct_2d(block);
}

void plain::fdct_2d(coef_block& block) {
    for (std::ptrdiff_t r = 0; r < 8; ++r) fdct_line<fdct::pass::rows>(block.data() + 8 * r, 1);
    for (std::ptrdiff_t c = 0; c < 8; ++c) fdct_line<fdct::pass::columns>(block.data() + c, 8);
}

}  // namespace kvrn
