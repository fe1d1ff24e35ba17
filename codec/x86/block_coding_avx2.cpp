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
#include "codec/kernel_versions.h"
#include "codec/x86/avx2.h"

namespace kvrn {

namespace {

// The zig-zag position of each row-major index: the inverse of zigzag_order.
constexpr std::array<std::uint8_t, 64> coded_position = [] {
    std::array<std::uint8_t, 64> position{};
    for (std::size_t n = 0; n < 64; ++n) {
        position[static_cast<std::size_t>(zigzag_order[n])] = static_cast<std::uint8_t>(n);
    }
    return position;
}();

using byte_lanes = std::uint8_t __attribute__((vector_size(16)));
using four_coefficients = std::int32_t __attribute__((vector_size(16)));

// The vector whose lane n holds first + n.
template <std::size_t... n>
[[gnu::always_inline]] inline byte_lanes counting_from(std::uint8_t first,
                                                       std::index_sequence<n...> /*unused*/) {
    return byte_lanes{static_cast<std::uint8_t>(first + n)...};
}

// Sixteen bytes of `coded` (64 bytes) picked by `coded_position`, from row-major index 16 * k:
// two-source shuffles of the low and the high half, merged. Each shuffle takes its indices as
// constants, hence the index pack.
template <std::size_t k, std::size_t... i>
[[gnu::always_inline]] inline byte_lanes dezigzag(const byte_lanes (&coded)[4],
                                                  std::index_sequence<i...> /*unused*/) {
    constexpr auto source = [](std::size_t n) { return coded_position[16 * k + n]; };
    const byte_lanes low = __builtin_shufflevector(coded[0], coded[1], (source(i) % 32)...);
    const byte_lanes high = __builtin_shufflevector(coded[2], coded[3], (source(i) % 32)...);
    const byte_lanes from_low = {(source(i) < 32 ? std::uint8_t{0xFF} : std::uint8_t{0})...};
    return (from_low & low) | (~from_low & high);
}

// Sign-extends the bytes of natural[k] into block[16 * k] onwards, four at a time: each byte is
// moved to the top of a 32-bit lane, zeros below it, and shifted back down arithmetically.
template <std::size_t k>
[[gnu::always_inline]] inline void widen(const byte_lanes (&natural)[4], coef_block& block) {
    const byte_lanes zero{};
    const byte_lanes source = natural[k];
    const byte_lanes tops[4] = {__builtin_shufflevector(source, zero, 16, 16, 16, 0, 16, 16, 16, 1,
                                                        16, 16, 16, 2, 16, 16, 16, 3),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 4, 16, 16, 16, 5,
                                                        16, 16, 16, 6, 16, 16, 16, 7),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 8, 16, 16, 16, 9,
                                                        16, 16, 16, 10, 16, 16, 16, 11),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 12, 16, 16, 16,
                                                        13, 16, 16, 16, 14, 16, 16, 16, 15)};
    for (std::size_t q = 0; q < 4; ++q) {
        const four_coefficients values = __builtin_bit_cast(four_coefficients, tops[q]) >> 24;
        std::memcpy(&block[16 * k + 4 * q], &values, sizeof values);
    }
}

}  // namespace

// The whole-block fast path of read_block, sixteen coefficients at a time: the AC bytes, zeroed
// from the end-of-block byte on, are put in row-major order by byte shuffles, then widened with
// their signs. Returns the bytes used.
kvrn_avx2 std::size_t avx2::decode_block(const std::uint8_t* bytes, coef_block& block) {
    // Entry n of `coded` is the n-th coefficient in coded order (entry 0, the DC's high byte, is
    // replaced below); the end-of-block byte, if any, is entry `given`.
    const void* end = std::memchr(bytes + 2, end_of_block, max_coded_block_bytes - 2);
    const std::size_t given =
        end == nullptr
            ? 64
            : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes) - 1;
    const auto count = static_cast<std::uint8_t>(given);
    byte_lanes coded[4];
    std::memcpy(coded, bytes + 1, sizeof coded);
    for (std::size_t k = 0; k < 4; ++k) {
        // Lane n of `coded[k]` holds coded-order entry 16 * k + n.
        const byte_lanes index =
            counting_from(static_cast<std::uint8_t>(16 * k), std::make_index_sequence<16>{});
        coded[k] &= __builtin_bit_cast(byte_lanes, index < count);
    }
    const byte_lanes natural[4] = {dezigzag<0>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<1>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<2>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<3>(coded, std::make_index_sequence<16>{})};
    widen<0>(natural, block);
    widen<1>(natural, block);
    widen<2>(natural, block);
    widen<3>(natural, block);
    block[0] = dc_value(bytes[0], bytes[1]);
    return end == nullptr ? max_coded_block_bytes : given + 2;
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

    // The sum of the eight counts, each -1 for a clamped value.
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(clamped_count),
                                _mm256_extracti128_si256(clamped_count, 1));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return close_put_block(block[0], last_ac, -std::int64_t{_mm_cvtsi128_si32(sum)}, out, clipped);
}

}  // namespace kvrn

#endif
