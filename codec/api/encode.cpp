// A picture from the caller's memory encoded as a KVRN file, to a callback or to memory.
#include <algorithm>
#include <cstring>
#include <optional>

#include "codec/api/image_rows.h"
#include "codec/encoder.h"
#include "codec/include/kvrn.h"

namespace {

// Hands the bytes to the caller's callback.
class callback_sink final : public kvrn::byte_sink {
  public:
    callback_sink(kvrn_write_fn write, void* context) : write_(write), context_(context) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        return write_(context_, bytes.data(), bytes.size()) == 0;
    }

  private:
    kvrn_write_fn write_;
    void* context_;
};

// Appends the bytes to a buffer of a fixed size; refuses what does not fit.
struct memory_out {
    std::uint8_t* out;
    std::size_t capacity;
    std::size_t size = 0;
    bool overflowed = false;
};

int append(void* context, const void* bytes, size_t size) {
    auto& memory = *static_cast<memory_out*>(context);
    if (size > memory.capacity - memory.size) {
        memory.overflowed = true;
        return 1;
    }
    if (size > 0) std::memcpy(memory.out + memory.size, bytes, size);
    memory.size += size;
    return 0;
}

bool valid_scales(const kvrn_scales& scales) {
    return scales.y != 0 && scales.cr != 0 && scales.cb != 0;
}

}  // namespace

extern "C" kvrn_status kvrn_encode(const kvrn_image* image, kvrn_scales scales, unsigned threads,
                                   kvrn_write_fn write, void* context, uint64_t* clipped) {
    if (clipped != nullptr) *clipped = 0;
    const kvrn_status status = kvrn::api::check_image(image);
    if (status != KVRN_OK) return status;
    if (write == nullptr || !valid_scales(scales)) return KVRN_BAD_ARGUMENT;
    const kvrn::kvrn_header header = kvrn::make_header(static_cast<std::int32_t>(image->width),
                                                       static_cast<std::int32_t>(image->height),
                                                       {scales.y, scales.cr, scales.cb});
    kvrn::api::image_source source(*image);
    callback_sink sink(write, context);
    const std::optional<kvrn::encoding> done = kvrn::encode_stream(header, threads, source, sink);
    if (!done) return KVRN_NO_MEMORY;
    if (done->write_failed) return KVRN_WRITE_FAILED;
    if (clipped != nullptr) *clipped = static_cast<std::uint64_t>(done->clipped);
    return KVRN_OK;
}

extern "C" kvrn_status kvrn_encode_to_memory(const kvrn_image* image, kvrn_scales scales,
                                             unsigned threads, uint8_t* out, size_t capacity,
                                             size_t* size, uint64_t* clipped) {
    if (size != nullptr) *size = 0;
    if (out == nullptr || size == nullptr) return KVRN_BAD_ARGUMENT;
    memory_out memory{out, capacity};
    const kvrn_status status = kvrn_encode(image, scales, threads, append, &memory, clipped);
    if (memory.overflowed) return KVRN_TOO_LARGE;
    if (status == KVRN_OK) *size = memory.size;
    return status;
}

extern "C" kvrn_status kvrn_unclipped_scales(const kvrn_image* image, unsigned threads,
                                             kvrn_scales* scales) {
    const kvrn_status status = kvrn::api::check_image(image);
    if (status != KVRN_OK) return status;
    if (scales == nullptr) return KVRN_BAD_ARGUMENT;
    kvrn::api::image_source source(*image);
    const std::optional<kvrn::channel_steps> found =
        kvrn::unclipped_scales(static_cast<std::int32_t>(image->width),
                               static_cast<std::int32_t>(image->height), threads, source);
    if (!found) return KVRN_NO_MEMORY;
    *scales = {static_cast<uint16_t>(found->y), static_cast<uint16_t>(found->cr),
               static_cast<uint16_t>(found->cb)};
    return KVRN_OK;
}
