// What the viewer's window shows for a picture at a quantisation step.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "codec/api/image_rows.h"
#include "codec/block_path.h"
#include "codec/channels.h"
#include "codec/include/kvrn.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "codec/reencode.h"

namespace {

// Clamps each block the preview draws into the band, as OpenGL clamps the colours of the points
// the viewer draws.
struct storing_sink {
    std::uint8_t* band;
    std::int32_t width;
    void shown(const kvrn::rgb_blocks& rgb, std::int32_t r0, std::int32_t c0) const {
        kvrn::store_block(rgb, band, width, 8, r0, c0);
    }
};

}  // namespace

extern "C" kvrn_status kvrn_preview(const kvrn_image* image, int32_t step, unsigned channels,
                                    unsigned threads, uint8_t* rgb, ptrdiff_t stride) {
    const kvrn_status status = kvrn::api::check_image(image);
    if (status != KVRN_OK) return status;
    if (step < 1 || rgb == nullptr || !kvrn::api::holds_row(stride, image->width)) {
        return KVRN_BAD_ARGUMENT;
    }
    const auto width = static_cast<std::int32_t>(image->width);
    const auto height = static_cast<std::int32_t>(image->height);
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(width);
    const std::size_t band_bytes = 8 * row_bytes;
    // The window's clear colour shows where the preview draws nothing: the top rows beyond the
    // last whole block row here, the columns beyond the last whole block column with each band.
    for (std::int32_t row = height - height % 8; row < height; ++row) {
        std::memset(kvrn::api::row_at(rgb, stride, static_cast<std::size_t>(height - 1 - row)), 255,
                    row_bytes);
    }
    const auto block_rows = static_cast<std::size_t>(height / 8);
    if (block_rows == 0) return KVRN_OK;
    const unsigned asked = threads == 0 ? kvrn::default_threads() : threads;
    const auto workers = static_cast<unsigned>(std::min<std::size_t>(block_rows, asked));
    // A band read and a band shown per thread.
    const std::unique_ptr<std::uint8_t[]> bands(new (std::nothrow)
                                                    std::uint8_t[2 * workers * band_bytes]);
    if (!bands) return KVRN_NO_MEMORY;
    const kvrn::reencode_settings settings{kvrn::uniform_steps(step), kvrn::enables_of(channels),
                                           kvrn::block_coverage::whole_blocks};
    std::atomic<std::size_t> next{0};
    kvrn::run_on_threads(workers, [&](unsigned w) {
        std::uint8_t* const in = bands.get() + 2 * w * band_bytes;
        std::uint8_t* const out = in + band_bytes;
        std::memset(out, 255, band_bytes);
        for (std::size_t row; (row = next.fetch_add(1, std::memory_order_relaxed)) < block_rows;) {
            const auto r0 = static_cast<std::int32_t>(8 * row);
            kvrn::api::copy_band(*image, r0, 8, in);
            kvrn::reencode_blocks(kvrn::picture_view{in, width, 8}, settings,
                                  storing_sink{out, width});
            kvrn::api::store_band(out, width, r0, 8, {rgb, stride, 3}, height);
        }
    });
    return KVRN_OK;
}
