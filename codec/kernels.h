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

// The type of each entry, declared here alone: the table's fields and the functions of every
// version (codec/kernel_versions.h) are declared with these.
namespace kernel_type {
// See codec/idct.h, codec/fdct.h, codec/colour.h, codec/block_coding.h and codec/block_path.h.
using idct_2d = void(coef_block& coefficients, coef_block& samples);
using fdct_2d = void(coef_block& block);
using ycc_to_rgb = void(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb);
using rgb_to_ycc_block = void(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                              ycc_blocks& samples);
using decode_block = std::size_t(const std::uint8_t* bytes, coef_block& block);
using put_block = std::size_t(const coef_block& block, std::uint8_t* out, std::int64_t& clipped);
using store_block = void(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                         std::int32_t height, std::int32_t r0, std::int32_t c0);
// Brings fdct_2d's output to idct_2d's scale (an arithmetic shift right by 3) and divides it by a
// non-zero `step`, truncating toward zero: the step inside quantise_block. The versions agree on
// what fdct_2d makes of samples (-128..127), the only blocks it is given.
using quantise = void(coef_block& block, std::int32_t step);
// Multiplies every value of the block by `step` (the dequantisation inside reconstruct_block).
using dequantise = void(coef_block& block, std::int32_t step);
}  // namespace kernel_type

struct kernels {
    kernel_type::idct_2d* idct_2d;
    kernel_type::fdct_2d* fdct_2d;
    kernel_type::ycc_to_rgb* ycc_to_rgb;
    kernel_type::rgb_to_ycc_block* rgb_to_ycc_block;
    kernel_type::decode_block* decode_block;
    kernel_type::put_block* put_block;
    kernel_type::store_block* store_block;
    kernel_type::quantise* quantise;
    kernel_type::dequantise* dequantise;
};

// The reference versions, one value or one pixel at a time, on every processor.
const kernels& plain_kernels();

// The vector versions this processor runs (AVX2 on x86-64), or nullptr where it has none.
const kernels* vector_kernels();

// The table the public functions run, chosen at the first call: the plain versions when the
// environment variable KVRN_KERNELS is "plain" (so that any program, and the whole test suite, can
// run on the reference on a processor with vector versions), else the vector versions where there
// are some, else the plain ones.
const kernels& active_kernels();

}  // namespace kvrn
