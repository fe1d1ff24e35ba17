// The block decoder and writer, sixteen or thirty-two coefficients at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "codec/block_coding.h"
#include "codec/block_decode_lanes.h"
#include "codec/kernel_versions.h"
#include "codec/x86/avx2.h"

namespace kvrn {

// The whole-block fast path of read_block, compiled for AVX2 (codec/block_decode_lanes.h).
kvrn_avx2 std::size_t avx2::decode_block(const std::uint8_t* bytes, coef_block& block) {
    return lanes::decode_block(bytes, block);
}

namespace {

// The narrowed block as put_block holds it: two packs turn rows 0..3 into one register
// whose low half holds columns 0..3 and whose high half columns 4..7, each half four rows of four
// bytes, and rows 4..7 likewise. So quadrant q (rows 4 * (q / 2) on, columns 4 * (q % 2) on)
// is one 16-byte half, entry (row, column) at byte 4 * (row % 4) + column % 4.
constexpr std::size_t quadrant_of(std::int32_t index) {
    return 2 * static_cast<std::size_t>(index / 32) + static_cast<std::size_t>(index % 8 / 4);
}
constexpr std::uint8_t byte_in_quadrant(std::int32_t index) {
    return static_cast<std::uint8_t>(4 * (index / 8 % 4) + index % 4);
}

// Byte shuffles that gather coded positions 32 * h .. 32 * h + 31 from quadrant q: entry
// [h][q][p] is the byte of the quadrant at coded position 32 * h + p, or 0x80 (a zero) when that
// position lies in another quadrant. OR-ing the four shuffles of a half gives it whole.
constexpr auto gather_from_quadrants = [] {
    std::array<std::array<std::array<std::uint8_t, 32>, 4>, 2> table{};
    for (std::size_t n = 0; n < 64; ++n) {
        const std::int32_t index = zigzag_order[n];
        for (std::size_t q = 0; q < 4; ++q) {
            table[n / 32][q][n % 32] = quadrant_of(index) == q ? byte_in_quadrant(index) : 0x80;
        }
    }
    return table;
}();

}  // namespace

// code_block eight values at a time, without branches: clamp and count, narrow to bytes with
// saturating packs (exact once clamped), gather the bytes in coded order with byte shuffles and
// find the last non-zero one from a mask of the non-zero bytes. The coded bytes go behind the
// first DC byte, which the DC's own two bytes then overwrite. No vector crosses a call.
kvrn_avx2 std::size_t avx2::put_block(const coef_block& block, std::uint8_t* out,
                                      std::int64_t& clipped) {
    const __m256i low = _mm256_set1_epi32(-127);
    const __m256i high = _mm256_set1_epi32(126);
    __m256i rows[8];
    __m256i clamped_count = _mm256_setzero_si256();
    for (std::size_t r = 0; r < 8; ++r) {
        const __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&block[8 * r]));
        // Comparisons give -1 where true.
        clamped_count = _mm256_add_epi32(clamped_count, _mm256_cmpgt_epi32(values, high));
        clamped_count = _mm256_add_epi32(clamped_count, _mm256_cmpgt_epi32(low, values));
        rows[r] = _mm256_min_epi32(_mm256_max_epi32(values, low), high);
    }
    const __m256i top = _mm256_packs_epi16(_mm256_packs_epi32(rows[0], rows[1]),
                                           _mm256_packs_epi32(rows[2], rows[3]));
    const __m256i bottom = _mm256_packs_epi16(_mm256_packs_epi32(rows[4], rows[5]),
                                              _mm256_packs_epi32(rows[6], rows[7]));
    // Each quadrant in both halves of a register, as the in-half byte shuffles need it.
    const __m256i quadrants[4] = {
        _mm256_permute4x64_epi64(top, 0x44), _mm256_permute4x64_epi64(top, 0xEE),
        _mm256_permute4x64_epi64(bottom, 0x44), _mm256_permute4x64_epi64(bottom, 0xEE)};
    std::uint64_t nonzero = 0;
    for (std::size_t h = 0; h < 2; ++h) {
        __m256i coded = _mm256_setzero_si256();
        for (std::size_t q = 0; q < 4; ++q) {
            const __m256i gather = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(gather_from_quadrants[h][q].data()));
            coded = _mm256_or_si256(coded, _mm256_shuffle_epi8(quadrants[q], gather));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 1 + 32 * h), coded);
        const auto zero = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(coded, _mm256_setzero_si256())));
        nonzero |= static_cast<std::uint64_t>(~zero) << (32 * h);
    }
    nonzero &= ~std::uint64_t{1};  // the DC is no AC value
    const int last_ac = nonzero == 0 ? 0 : 63 - std::countl_zero(nonzero);

    // The sum of the eight counts; the DC's own clamp does not count.
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(clamped_count),
                                _mm256_extracti128_si256(clamped_count, 1));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    const bool dc_clamped = block[0] < -127 || block[0] > 126;
    clipped -= _mm_cvtsi128_si32(sum) + (dc_clamped ? 1 : 0);

    const auto dc = static_cast<std::uint32_t>(block[0]);
    out[0] = static_cast<std::uint8_t>(dc & 0xFFU);
    out[1] = static_cast<std::uint8_t>((dc >> 8) & 0xFFU);
    const auto length = static_cast<std::size_t>(last_ac) + 2;
    out[length] = end_of_block;  // past the count when the block is full
    return length + (length < max_coded_block_bytes ? 1 : 0);
}

}  // namespace kvrn

#endif
