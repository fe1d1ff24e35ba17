// A block as eight wide_lanes (codec/wide_lanes.h), row r in `rows[r]`. In WebAssembly a 32-byte
// vector is two 128-bit registers, and each row moves as two unaligned v128 loads or stores.
#pragma once

#include <cstddef>
#include <cstring>

#include "codec/coef_block.h"
#include "codec/wide_lanes.h"

namespace kvrn {

[[gnu::always_inline]] inline void load_rows(const coef_block& block, wide_lanes (&rows)[8]) {
    static_assert(sizeof rows == sizeof block);
    std::memcpy(&rows, block.data(), sizeof rows);
}

[[gnu::always_inline]] inline void store_rows(const wide_lanes (&rows)[8], coef_block& block) {
    std::memcpy(block.data(), &rows, sizeof rows);
}

}  // namespace kvrn
