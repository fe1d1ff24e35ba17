#include "codec/block_path.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "codec/kernel_versions.h"
#include "codec/kernels.h"
#include "codec/to_rgb.h"
#include "codec/wrapping.h"

namespace kvrn {

// fdct_2d leaves coefficients at 8 times the scale idct_2d works on; the shift is floor division.
// The division is done in double precision: for |x| < 2^31 and a non-zero step, x / step in
// double lies more than an ulp away from the next integer unless it is one, so its truncation is
// exactly the integer quotient.
void plain::quantise(coef_block& block, std::int32_t step) {
    const auto divisor = static_cast<double>(step);
    for (std::int32_t& value : block) {
        value = static_cast<std::int32_t>(static_cast<double>(value >> 3) / divisor);
    }
}

void plain::dequantise(coef_block& block, std::int32_t step) {
    for (std::int32_t& value : block) value *= step;
}

void quantise_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                    const channel_steps& steps, ycc_blocks& coefficients) {
    const kernels& k = active_kernels();
    k.rgb_to_ycc_block(picture, r0, c0, coefficients);
    k.fdct_2d(coefficients.y);
    k.quantise(coefficients.y, steps.y);
    k.fdct_2d(coefficients.cr);
    k.quantise(coefficients.cr, steps.cr);
    k.fdct_2d(coefficients.cb);
    k.quantise(coefficients.cb, steps.cb);
}

void reconstruct_block(ycc_blocks& coefficients, const channel_steps& steps,
                       const channel_enables& enables, rgb_blocks& rgb) {
    const kernels& k = active_kernels();
    k.dequantise(coefficients.y, steps.y);
    k.dequantise(coefficients.cr, steps.cr);
    k.dequantise(coefficients.cb, steps.cb);
    ycc_blocks samples;
    k.idct_2d(coefficients.y, samples.y);
    k.idct_2d(coefficients.cr, samples.cr);
    k.idct_2d(coefficients.cb, samples.cb);
    k.ycc_to_rgb(enables, samples, rgb);
}

namespace {

// The sample of every position of a DC-only block, dequantised as dequantise does (a 32-bit
// product, wrapping as it would).
std::int32_t dc_only_sample(const coef_block& block, std::int32_t step) {
    return idct_dc_only(unwrap(wrap(block[0]) * wrap(step)));
}

}  // namespace

void reconstruct_block(ycc_blocks& coefficients, const channel_steps& steps,
                       const channel_enables& enables, const dc_only_blocks& dc_only,
                       rgb_blocks& rgb) {
    const kernels& k = active_kernels();
    ycc_blocks samples;
    const auto inverse = [&k](coef_block& block, std::int32_t step, bool flat, coef_block& out) {
        if (flat) {
            out.fill(dc_only_sample(block, step));
            return;
        }
        k.dequantise(block, step);
        k.idct_2d(block, out);
    };
    inverse(coefficients.y, steps.y, dc_only.y, samples.y);
    inverse(coefficients.cr, steps.cr, dc_only.cr, samples.cr);
    inverse(coefficients.cb, steps.cb, dc_only.cb, samples.cb);
    k.ycc_to_rgb(enables, samples, rgb);
}

void store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                 std::int32_t height, std::int32_t r0, std::int32_t c0) {
    active_kernels().store_block(rgb, pixels, width, height, r0, c0);
}

namespace {

// Branch-free, so that the compiler can keep a row of pixels in vector registers.
std::uint8_t clamp_byte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// One row of a block, `columns` pixels.
void store_row(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue,
               std::uint8_t* out, std::int32_t columns) {
    for (std::int32_t dx = 0; dx < columns; ++dx) {
        out[0] = clamp_byte(red[dx]);
        out[1] = clamp_byte(green[dx]);
        out[2] = clamp_byte(blue[dx]);
        out += 3;
    }
}

}  // namespace

void store_dc_only_block(const ycc_blocks& coefficients, const channel_steps& steps,
                         const channel_enables& enables, std::uint8_t* pixels, std::int32_t width,
                         std::int32_t height, std::int32_t r0, std::int32_t c0) {
    wrap32 red = 0;
    wrap32 green = 0;
    wrap32 blue = 0;
    to_rgb(enables, wrap(dc_only_sample(coefficients.y, steps.y)),
           wrap(dc_only_sample(coefficients.cr, steps.cr)),
           wrap(dc_only_sample(coefficients.cb, steps.cb)), red, green, blue);
    const std::array<std::uint8_t, 3> colour = {clamp_byte(unwrap(red)), clamp_byte(unwrap(green)),
                                                clamp_byte(unwrap(blue))};
    std::array<std::uint8_t, 24> row;  // eight pixels
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = colour[i % 3];
    const std::int32_t rows = std::min(8, height - r0);
    const std::int32_t columns = std::min(8, width - c0);
    for (std::int32_t dy = 0; dy < rows; ++dy) {
        std::uint8_t* out = pixels + pixel_offset(width, r0 + dy, c0);
        if (columns == 8) {
            std::memcpy(out, row.data(), row.size());  // a fixed size: two stores
        } else {
            std::memcpy(out, row.data(), 3 * static_cast<std::size_t>(columns));
        }
    }
}

void plain::store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                        std::int32_t height, std::int32_t r0, std::int32_t c0) {
    const std::int32_t rows = std::min(8, height - r0);
    const std::int32_t columns = std::min(8, width - c0);
    for (std::int32_t dy = 0; dy < rows; ++dy) {
        const std::size_t n = static_cast<std::size_t>(dy) * 8;
        store_row(&rgb.red[n], &rgb.green[n], &rgb.blue[n],
                  pixels + pixel_offset(width, r0 + dy, c0), columns);
    }
}

}  // namespace kvrn
