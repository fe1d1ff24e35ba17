// The pixel store of a block, a row of eight pixels at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/kernel_versions.h"
#include "codec/x86/avx2.h"

namespace kvrn {
namespace {

// A whole block, a row of eight pixels at a time. Two saturating packs clamp exactly to 0..255
// (to -32768..32767, then to 0..255) and leave each 128-bit half holding the red, green and blue
// bytes of four pixels; a byte shuffle interleaves them into 12 bytes of RGB per half. The first
// half is stored as 16 bytes whose last 4 the second half's 12 then overwrite, so that nothing
// is written past the row's 24 bytes.
kvrn_avx2 void store_whole_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                                 std::int32_t r0, std::int32_t c0) {
    const __m256i interleave =
        _mm256_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 0, 0, 0, 0,  //
                         0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 0, 0, 0, 0);
    for (std::size_t dy = 0; dy < 8; ++dy) {
        const auto row = [dy](const coef_block& block) {
            return reinterpret_cast<const __m256i*>(&block[8 * dy]);
        };
        const __m256i reds = _mm256_loadu_si256(row(rgb.red));
        const __m256i greens = _mm256_loadu_si256(row(rgb.green));
        const __m256i blues = _mm256_loadu_si256(row(rgb.blue));
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packs_epi32(reds, greens), _mm256_packs_epi32(blues, blues));
        const __m256i interleaved = _mm256_shuffle_epi8(bytes, interleave);
        std::uint8_t* out = pixels + pixel_offset(width, r0 + static_cast<std::int32_t>(dy), c0);
        const __m128i high = _mm256_extracti128_si256(interleaved, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(interleaved));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
        const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(high, 2));
        std::memcpy(out + 20, &last, sizeof last);
    }
}

}  // namespace

// Blocks the picture's edge cuts are stored in part, by the plain version.
kvrn_avx2 void avx2::store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                                 std::int32_t height, std::int32_t r0, std::int32_t c0) {
    if (height - r0 >= 8 && width - c0 >= 8) {
        store_whole_block(rgb, pixels, width, r0, c0);
    } else {
        plain::store_block(rgb, pixels, width, height, r0, c0);
    }
}

}  // namespace kvrn

#endif
