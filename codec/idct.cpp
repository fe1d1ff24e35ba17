#include "codec/idct.h"

#include "codec/idct_passes.h"
#include "codec/kernel_versions.h"
#include "codec/kernels.h"

namespace kvrn {

void idct_row(std::span<std::int32_t, 8> row) {
    wrap32 b[8];
    for (std::size_t k = 0; k < 8; ++k) b[k] = wrap(row[k]);
    idct::row_pass(b);
    for (std::size_t k = 0; k < 8; ++k) row[k] = unwrap(b[k]);
}

void idct_column(const coef_block& rows, coef_block& samples, int column) {
    const auto c = static_cast<std::size_t>(column);
    wrap32 a[8];
    for (std::size_t k = 0; k < 8; ++k) a[k] = wrap(rows[8 * k + c]);
    idct::column_pass(a);
    for (std::size_t k = 0; k < 8; ++k) samples[8 * k + c] = unwrap(a[k]);
}

void idct_2d(coef_block& coefficients, coef_block& samples) {
    active_kernels().idct_2d(coefficients, samples);
}

// Rows 1..7 are zero and take the row pass's shortcut to zeros; row 0 holds only b0 = dc and takes
// it to eight copies of 8 * dc. So every column is (8 * dc, 0, ..., 0), and the column pass's
// shortcut gives the same value in each of its rows: the two shortcuts are the whole transform.
std::int32_t idct_dc_only(std::int32_t dc) {
    wrap32 row[8] = {wrap(dc), 0, 0, 0, 0, 0, 0, 0};
    idct::row_pass(row);
    wrap32 column[8] = {row[0], 0, 0, 0, 0, 0, 0, 0};
    idct::column_pass(column);
    return unwrap(column[0]);
}

// One row or column at a time, where the shortcuts save the most.
void plain::idct_2d(coef_block& coefficients, coef_block& samples) {
    for (std::size_t r = 0; r < 8; ++r) {
        idct_row(std::span<std::int32_t, 8>(coefficients.data() + 8 * r, 8));
    }
    for (int c = 0; c < 8; ++c) idct_column(coefficients, samples, c);
}

}  // namespace kvrn
