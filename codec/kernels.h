// The codec's fast paths: one table of the block functions that have a vector version, chosen
// once, when first asked for, from what the processor offers. The public functions (idct_2d,
// fdct_2d, ycc_to_rgb, rgb_to_ycc_block, decode_block, put_block, store_block, the
// quantisation inside quantise_block and the dequantisation inside reconstruct_block) call through
// active_kernels(); nothing else tests the processor.
//
// Every entry of every table keeps the whole contract of its public function, for every input:
// a vector version hands the inputs it does not cover (blocks the picture's edge cuts, steps too
// large for single precision) to the plain one. So the tables are interchangeable bit for bit,
// and the tests hold each entry of vector_kernels() to the same entry of plain_kernels().
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/coef_block.h"
#include "codec/picture.h"

namespace kvrn {

struct kernels {
    // See codec/idct.h, codec/fdct.h, codec/colour.h, codec/block_coding.h and codec/block_path.h.
    void (*idct_2d)(coef_block& coefficients, coef_block& samples);
    void (*fdct_2d)(coef_block& block);
    void (*ycc_to_rgb)(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb);
    void (*rgb_to_ycc_block)(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                             ycc_blocks& samples);
    std::size_t (*decode_block)(const std::uint8_t* bytes, coef_block& block);
    std::size_t (*put_block)(const coef_block& block, std::uint8_t* out, std::int64_t& clipped);
    void (*store_block)(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                        std::int32_t height, std::int32_t r0, std::int32_t c0);
    // Brings fdct_2d's output to idct_2d's scale (an arithmetic shift right by 3) and divides it
    // by a non-zero `step`, truncating toward zero: the step inside quantise_block. The versions
    // agree on what fdct_2d makes of samples (-128..127), the only blocks it is given.
    void (*quantise)(coef_block& block, std::int32_t step);
    // Multiplies every value of the block by `step` (the dequantisation inside
    // reconstruct_block).
    void (*dequantise)(coef_block& block, std::int32_t step);
};

// The reference versions, one value or one pixel at a time, on every processor.
const kernels& plain_kernels();

// The vector versions this processor runs (AVX2 on x86-64), or nullptr where it has none.
const kernels* vector_kernels();

// The vector versions where there are some, else the plain ones.
const kernels& active_kernels();

}  // namespace kvrn
