// The functions the tables of codec/kernels.cpp are made of. Only that file and the vector
// versions (which hand the plain ones what they do not cover) use these names; everybody else
// goes through the public functions or, in the tests, through the tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/coef_block.h"
#include "codec/picture.h"

namespace kvrn {

// One value or one pixel at a time, in codec/*.cpp beside the public functions: the reference.
namespace plain {
void idct_2d(coef_block& coefficients, coef_block& samples);
void fdct_2d(coef_block& block);
void ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb);
void rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                      ycc_blocks& samples);
std::size_t decode_block(const std::uint8_t* bytes, coef_block& block);
std::size_t put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped);
void store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                 std::int32_t height, std::int32_t r0, std::int32_t c0);
void quantise(coef_block& block, std::int32_t step);
void dequantise(coef_block& block, std::int32_t step);
}  // namespace plain

// For processors with AVX2, in codec/x86/; they exist only in x86-64 builds.
#if defined(__x86_64__)
namespace avx2 {
void idct_2d(coef_block& coefficients, coef_block& samples);
void fdct_2d(coef_block& block);
void ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb);
void rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                      ycc_blocks& samples);
std::size_t decode_block(const std::uint8_t* bytes, coef_block& block);
std::size_t put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped);
void store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                 std::int32_t height, std::int32_t r0, std::int32_t c0);
void quantise(coef_block& block, std::int32_t step);
void dequantise(coef_block& block, std::int32_t step);
}  // namespace avx2
#endif

}  // namespace kvrn
