#include "codec/kernels.h"

#include <cstdlib>
#include <string_view>

#include "codec/kernel_versions.h"

namespace kvrn {
namespace {

constexpr kernels plain_table = {
    plain::idct_2d,          plain::fdct_2d,      plain::ycc_to_rgb,
    plain::rgb_to_ycc_block, plain::decode_block, plain::put_block,
    plain::store_block,      plain::quantise,     plain::dequantise,
};

#if defined(__x86_64__)
constexpr kernels avx2_table = {
    avx2::idct_2d,          avx2::fdct_2d,      avx2::ycc_to_rgb,
    avx2::rgb_to_ycc_block, avx2::decode_block, avx2::put_block,
    avx2::store_block,      avx2::quantise,     avx2::dequantise,
};
#endif

#if defined(__wasm_simd128__)
constexpr kernels simd128_table = {
    simd128::idct_2d,          simd128::fdct_2d,    plain::ycc_to_rgb,
    simd128::rgb_to_ycc_block, plain::decode_block, simd128::put_block,
    simd128::store_block,      simd128::quantise,   plain::dequantise,
};
#endif

}  // namespace

const kernels& plain_kernels() {
    return plain_table;
}

const kernels* vector_kernels() {
#if defined(__x86_64__)
    // The x86-64 baseline (SSE2) would emulate every 32-bit multiplication of the transforms
    // with several instructions and has no byte shuffle, so the vector versions need AVX2.
    // __builtin_cpu_init makes the answer right even before the program's constructors ran.
    static const bool has_avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has_avx2 ? &avx2_table : nullptr;
#elif defined(__wasm_simd128__)
    // A WebAssembly module built with SIMD instructions loads only where they run.
    return &simd128_table;
#else
    return nullptr;
#endif
}

const kernels& active_kernels() {
    // Read once: a program never mixes the tables. Any other value, a misspelt one too, leaves
    // the choice to the processor.
    static const kernels& chosen = []() -> const kernels& {
        const char* setting = std::getenv("KVRN_KERNELS");
        if (setting != nullptr && std::string_view(setting) == "plain") return plain_table;
        return vector_kernels() != nullptr ? *vector_kernels() : plain_table;
    }();
    return chosen;
}

}  // namespace kvrn
