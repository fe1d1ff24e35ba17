// The functions the tables of codec/kernels.cpp are made of, each declared with its type from
// codec/kernels.h. Only that file and the vector versions (which hand the plain ones what they do
// not cover) use these names; everybody else goes through the public functions or, in the tests,
// through the tables. Another processor's versions get a namespace of their own here, a folder
// of their own beside codec/x86/ and a table in codec/kernels.cpp.
#pragma once

#include "codec/kernels.h"

namespace kvrn {

// One value or one pixel at a time, in codec/*.cpp beside the public functions: the reference.
namespace plain {
kernel_type::idct_2d idct_2d;
kernel_type::fdct_2d fdct_2d;
kernel_type::ycc_to_rgb ycc_to_rgb;
kernel_type::rgb_to_ycc_block rgb_to_ycc_block;
kernel_type::decode_block decode_block;
kernel_type::put_block put_block;
kernel_type::store_block store_block;
kernel_type::quantise quantise;
kernel_type::dequantise dequantise;
}  // namespace plain

// For processors with AVX2, in codec/x86/; they exist only in x86-64 builds.
#if defined(__x86_64__)
namespace avx2 {
kernel_type::idct_2d idct_2d;
kernel_type::fdct_2d fdct_2d;
kernel_type::ycc_to_rgb ycc_to_rgb;
kernel_type::rgb_to_ycc_block rgb_to_ycc_block;
kernel_type::decode_block decode_block;
kernel_type::put_block put_block;
kernel_type::store_block store_block;
kernel_type::quantise quantise;
kernel_type::dequantise dequantise;
}  // namespace avx2
#endif

// For WebAssembly with its 128-bit vectors (built with -msimd128), in codec/wasm/. The compiler
// vectorises the plain inverse colour conversion and dequantisation as well as a hand-written
// version does, and the plain block decoder, which stops at the end of the block, beats the
// shuffles of the AVX2 one there (bench/kernel_tables.cpp): its table has the plain ones.
#if defined(__wasm_simd128__)
namespace simd128 {
kernel_type::idct_2d idct_2d;
kernel_type::fdct_2d fdct_2d;
kernel_type::rgb_to_ycc_block rgb_to_ycc_block;
kernel_type::put_block put_block;
kernel_type::store_block store_block;
kernel_type::quantise quantise;
}  // namespace simd128
#endif

}  // namespace kvrn
