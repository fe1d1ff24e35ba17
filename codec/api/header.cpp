// The header, the stream's measure and the sizes of buffers.
#include <algorithm>
#include <array>
#include <cstring>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

extern "C" kvrn_status kvrn_read_header(const void* data, size_t size, kvrn_header* header) {
    if ((data == nullptr && size > 0) || header == nullptr) return KVRN_BAD_ARGUMENT;
    // Bytes beyond what there is read as zeros, so that a short header is filled as far as it goes.
    std::array<std::uint8_t, kvrn::header_bytes> bytes{};
    if (size > 0) std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    *header = kvrn::parse_header(bytes);
    if (size < kvrn::header_bytes) return KVRN_TOO_SHORT;
    return header->magic == KVRN_MAGIC ? KVRN_OK : KVRN_WRONG_MAGIC;
}

extern "C" void kvrn_write_header(const kvrn_header* header, uint8_t bytes[KVRN_HEADER_BYTES]) {
    const std::array<std::uint8_t, kvrn::header_bytes> formatted = kvrn::format_header(*header);
    std::memcpy(bytes, formatted.data(), formatted.size());
}

extern "C" uint64_t kvrn_block_positions(uint32_t width, uint32_t height) {
    return static_cast<uint64_t>((width + 7) / 8) * ((height + 7) / 8);
}

extern "C" kvrn_status kvrn_rgb_bytes(uint32_t width, uint32_t height, size_t* bytes) {
    if (bytes == nullptr) return KVRN_BAD_ARGUMENT;
    const std::optional<std::size_t> size = kvrn::picture_bytes(width, height);
    if (!size) return KVRN_TOO_LARGE;
    *bytes = *size;
    return KVRN_OK;
}

extern "C" kvrn_status kvrn_encoded_bytes_max(uint32_t width, uint32_t height, size_t* bytes) {
    if (bytes == nullptr) return KVRN_BAD_ARGUMENT;
    if (width > 65535 || height > 65535) return KVRN_TOO_LARGE;
    // At most 8192 * 8192 positions of 3 * 65 bytes: 13 GB, which needs a 64-bit size_t.
    const std::uint64_t most =
        kvrn::header_bytes + 3 * kvrn::max_coded_block_bytes * kvrn_block_positions(width, height);
    if (most > SIZE_MAX) return KVRN_TOO_LARGE;
    *bytes = static_cast<std::size_t>(most);
    return KVRN_OK;
}

extern "C" kvrn_status kvrn_check_stream(const void* data, size_t size, kvrn_stream_info* info) {
    if (info == nullptr) return KVRN_BAD_ARGUMENT;
    *info = {};
    const kvrn_status status = kvrn_read_header(data, size, &info->header);
    if (status != KVRN_OK) return status;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    kvrn::byte_reader reader(bytes + kvrn::header_bytes, size - kvrn::header_bytes);
    const kvrn::stream_measure measure = kvrn::measure_stream(reader, info->header);
    info->blocks_needed = static_cast<std::uint64_t>(measure.blocks_needed);
    info->blocks_held = static_cast<std::uint64_t>(measure.blocks_held);
    info->bytes_held = measure.bytes_held;
    info->bytes_needed = measure.bytes_needed;
    info->complete = measure.complete() ? 1 : 0;
    if (measure.complete()) info->trailing_bytes = size - kvrn::header_bytes - measure.bytes_held;
    return KVRN_OK;
}
