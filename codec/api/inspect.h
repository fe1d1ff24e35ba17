// One block position through the encoder and back with a divisor for every coefficient: what
// kvrn_inspect shows with one scale per channel, and what the lab shows for a quantisation table.
#pragma once

#include <array>
#include <cstdint>

#include "codec/include/kvrn.h"

namespace kvrn::api {

// Y's, Cr's and Cb's divisors, 1..65535, row-major by frequency as a coefficient block is laid
// out: row v, column u is the coefficient of vertical frequency v and horizontal frequency u.
using divisor_tables = std::array<std::array<std::int32_t, 64>, 3>;

// kvrn_inspect with each coefficient divided by its own entry of `divisors` (the quotient
// truncated toward zero) and multiplied back by it; the stored values are those KVRN's block
// coding keeps. With all 64 entries of each table equal, kvrn_inspect at those scales.
kvrn_status inspect_with_divisors(const kvrn_image* image, const divisor_tables& divisors,
                                  std::uint32_t column, std::uint32_t row,
                                  kvrn_block_report* report);

}  // namespace kvrn::api
