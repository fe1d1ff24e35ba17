// A KVRN file in memory decoded into the caller's picture.
#include <cstdio>
#include <memory>
#include <new>

#include "codec/api/image_rows.h"
#include "codec/band_decoder.h"
#include "codec/byte_reader.h"
#include "codec/channels.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/parallel.h"
#include "codec/picture.h"

namespace {

// Each band as it is decoded goes to its place in the caller's picture, top row first.
class into_picture final : public kvrn::band_sink {
  public:
    into_picture(const kvrn::kvrn_header& header, std::uint8_t* rgb, ptrdiff_t stride)
        : header_(header), rgb_(rgb), stride_(stride) {}
    std::uint8_t* destination(std::int32_t /*r0*/) override { return nullptr; }
    bool decoded(std::int32_t r0, const std::uint8_t* pixels) override {
        kvrn::api::store_band(pixels, header_.width, r0, kvrn::band_rows(header_, r0), rgb_,
                              stride_, header_.height);
        return true;
    }
    bool any_order() const override { return true; }

  private:
    const kvrn::kvrn_header& header_;
    std::uint8_t* rgb_;
    ptrdiff_t stride_;
};

}  // namespace

extern "C" kvrn_status kvrn_decode(const void* data, size_t size, unsigned channels,
                                   uint64_t max_pixels, unsigned threads, uint8_t* rgb,
                                   ptrdiff_t stride, uint64_t* missing_blocks) {
    if (missing_blocks != nullptr) *missing_blocks = 0;
    kvrn_header c_header;
    const kvrn_status status = kvrn_read_header(data, size, &c_header);
    if (status != KVRN_OK) return status;
    if (c_header.width == 0 || c_header.height == 0) return KVRN_NO_PIXELS;
    const std::uint64_t pixels = std::uint64_t{c_header.width} * c_header.height;
    if ((max_pixels != 0 && pixels > max_pixels) || !kvrn::picture_bytes(c_header.width, 8)) {
        return KVRN_TOO_LARGE;
    }
    if (rgb == nullptr || !kvrn::api::holds_row(stride, c_header.width)) return KVRN_BAD_ARGUMENT;
    const kvrn::kvrn_header header{c_header.magic,   c_header.width,    c_header.height,
                                   c_header.y_scale, c_header.cr_scale, c_header.cb_scale};
    const auto* stream = static_cast<const std::uint8_t*>(data) + kvrn::header_bytes;
    const std::size_t stream_bytes = size - kvrn::header_bytes;
    const kvrn::channel_enables enables = kvrn::enables_of(channels);
    std::int64_t missing = 0;
    const unsigned used = threads == 0 ? kvrn::default_threads() : threads;
    std::FILE* file = used > 1 && stream_bytes > 0
                          ? fmemopen(const_cast<std::uint8_t*>(stream), stream_bytes, "rb")
                          : nullptr;
    if (file != nullptr) {
        // The rows side by side: the band decoder reads a stream through stdio.
        into_picture sink(header, rgb, stride);
        missing = kvrn::decode_bands(file, header, enables, used, sink, nullptr).missing;
        (void)std::fclose(file);
    } else {
        // One row at a time through a band of 8 rows.
        const std::unique_ptr<std::uint8_t[]> band(
            new (std::nothrow) std::uint8_t[*kvrn::picture_bytes(header.width, 8)]);
        if (!band) return KVRN_NO_MEMORY;
        kvrn::byte_reader in(stream, stream_bytes);
        for (std::int32_t r0 = 0; r0 < header.height; r0 += 8) {
            missing += kvrn::decode_block_row(in, header, enables, r0, band.get(), nullptr);
            kvrn::api::store_band(band.get(), header.width, r0, kvrn::band_rows(header, r0), rgb,
                                  stride, header.height);
        }
    }
    if (missing_blocks != nullptr) *missing_blocks = static_cast<std::uint64_t>(missing);
    return KVRN_OK;
}
