// A KVRN file in memory decoded into the caller's picture.
#include <cstdint>
#include <new>

#include "codec/api/image_rows.h"
#include "codec/band_decoder.h"
#include "codec/byte_reader.h"
#include "codec/channels.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

namespace {

using kvrn::api::picture_rows;

// Each band as it is decoded goes to its place in the caller's picture. Where the picture's rows
// are the band's own layout (packed RGB, bottom row first) the band is decoded in place.
class into_picture final : public kvrn::band_sink {
  public:
    into_picture(const kvrn_header& header, const picture_rows& out)
        : header_(header),
          out_(out),
          in_place_(out.components == 3 && out.down == -3 * static_cast<ptrdiff_t>(header.width)) {}
    std::uint8_t* destination(std::int32_t r0) override {
        return in_place_ ? out_.row(static_cast<std::size_t>(header_.height - 1 - r0)) : nullptr;
    }
    bool decoded(std::int32_t r0, const std::uint8_t* pixels) override {
        if (!in_place_) {
            kvrn::api::store_band(pixels, header_.width, r0, kvrn::band_rows(header_, r0), out_,
                                  header_.height);
        }
        return true;
    }
    bool any_order() const override { return true; }

  private:
    const kvrn_header& header_;
    picture_rows out_;
    bool in_place_;
};

// Whether rows of `row` bytes, `stride` bytes apart (whichever way), `height` of them, lie within
// an object: no object is larger than PTRDIFF_MAX bytes, and within one every row's address is an
// offset from the first that a ptrdiff_t holds.
bool addressable(std::uint64_t stride, std::uint64_t row, std::uint32_t height) {
    return height <= 1 || (PTRDIFF_MAX - row) / stride >= height - 1U;
}

// Reads the header of the file in `data` and checks that its picture can be decoded: it has
// pixels, no more than `max_pixels` (0: any number) and a band of 8 rows fits in memory.
kvrn_status decodable_header(const void* data, size_t size, uint64_t max_pixels,
                             kvrn_header& header) {
    const kvrn_status status = kvrn_read_header(data, size, &header);
    if (status != KVRN_OK) return status;
    if (header.width == 0 || header.height == 0) return KVRN_NO_PIXELS;
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    if ((max_pixels != 0 && pixels > max_pixels) || !kvrn::picture_bytes(header.width, 8)) {
        return KVRN_TOO_LARGE;
    }
    return KVRN_OK;
}

// Decodes the block stream that follows `header` in `data` into `out`.
kvrn_status decode_rows(const void* data, size_t size, const kvrn_header& header, unsigned channels,
                        unsigned threads, const picture_rows& out, uint64_t* missing_blocks) {
    kvrn::byte_reader stream(static_cast<const std::uint8_t*>(data) + kvrn::header_bytes,
                             size - kvrn::header_bytes);
    into_picture sink(header, out);
    try {
        const kvrn::band_decoding decoding =
            kvrn::decode_bands(stream, header, kvrn::enables_of(channels), threads, sink, nullptr);
        if (missing_blocks != nullptr) {
            *missing_blocks = static_cast<std::uint64_t>(decoding.missing);
        }
    } catch (const std::bad_alloc&) {
        return KVRN_NO_MEMORY;
    }
    return KVRN_OK;
}

}  // namespace

extern "C" kvrn_status kvrn_output_bytes(const kvrn_output* out, uint32_t width, uint32_t height,
                                         size_t* bytes) {
    if (out == nullptr || bytes == nullptr) return KVRN_BAD_ARGUMENT;
    if (out->components != 3 && out->components != 4) return KVRN_BAD_ARGUMENT;
    if (out->row_order != KVRN_ROWS_TOP_FIRST && out->row_order != KVRN_ROWS_BOTTOM_FIRST) {
        return KVRN_BAD_ARGUMENT;
    }
    if (width == 0 || height == 0) return KVRN_NO_PIXELS;
    if (width > 65535 || height > 65535) return KVRN_TOO_LARGE;
    const std::uint64_t row = std::uint64_t{width} * out->components;
    if (out->stride < 0 || static_cast<std::uint64_t>(out->stride) < row) {
        return KVRN_BAD_ARGUMENT;
    }
    const auto stride = static_cast<std::uint64_t>(out->stride);
    if (!addressable(stride, row, height)) return KVRN_TOO_LARGE;
    *bytes = static_cast<std::size_t>(stride * (height - 1U) + row);
    return KVRN_OK;
}

extern "C" kvrn_status kvrn_decode_into(const void* data, size_t size, const kvrn_output* out,
                                        unsigned channels, uint64_t max_pixels, unsigned threads,
                                        uint64_t* missing_blocks) {
    if (missing_blocks != nullptr) *missing_blocks = 0;
    kvrn_header header{};
    kvrn_status status = decodable_header(data, size, max_pixels, header);
    if (status != KVRN_OK) return status;
    if (out == nullptr || out->pixels == nullptr) return KVRN_BAD_ARGUMENT;
    std::size_t needed = 0;
    status = kvrn_output_bytes(out, header.width, header.height, &needed);
    if (status != KVRN_OK) return status;
    if (needed > out->size) return KVRN_TOO_LARGE;
    const bool top_first = out->row_order == KVRN_ROWS_TOP_FIRST;
    const ptrdiff_t last = header.height - 1;
    const picture_rows rows{top_first ? out->pixels : out->pixels + last * out->stride,
                            top_first ? out->stride : -out->stride, out->components};
    return decode_rows(data, size, header, channels, threads, rows, missing_blocks);
}

extern "C" kvrn_status kvrn_decode(const void* data, size_t size, unsigned channels,
                                   uint64_t max_pixels, unsigned threads, uint8_t* rgb,
                                   ptrdiff_t stride, uint64_t* missing_blocks) {
    if (missing_blocks != nullptr) *missing_blocks = 0;
    kvrn_header header{};
    const kvrn_status status = decodable_header(data, size, max_pixels, header);
    if (status != KVRN_OK) return status;
    if (rgb == nullptr || !kvrn::api::holds_row(stride, header.width)) return KVRN_BAD_ARGUMENT;
    // |stride| without the overflow of negating the most negative value.
    const std::uint64_t magnitude =
        stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
    if (!addressable(magnitude, 3 * std::uint64_t{header.width}, header.height)) {
        return KVRN_TOO_LARGE;
    }
    return decode_rows(data, size, header, channels, threads, {rgb, stride, 3}, missing_blocks);
}
