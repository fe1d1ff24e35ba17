#include "lab/kvrn_memory.h"

#include "codec/include/kvrn.h"

namespace kvrn::lab {
namespace {

// A picture stored row 0 (the bottom row) first, as the top-first picture the library takes:
// from its last row, rows a negative stride apart.
kvrn_image bottom_up(const picture_view& picture) {
    const ptrdiff_t row = 3 * static_cast<ptrdiff_t>(picture.width);
    return {picture.pixels + pixel_offset(picture.width, picture.height - 1, 0),
            static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.height),
            -row, 3};
}

}  // namespace

std::vector<std::uint8_t> encode_kvrn(const picture_view& picture, std::int32_t step,
                                      std::uint64_t* clipped) {
    std::size_t most = 0;
    (void)kvrn_encoded_bytes_max(static_cast<std::uint32_t>(picture.width),
                                 static_cast<std::uint32_t>(picture.height), &most);
    std::vector<std::uint8_t> file(most);
    const kvrn_image image = bottom_up(picture);
    const auto scale = static_cast<std::uint16_t>(step);
    std::size_t size = 0;
    // One thread: the lab runs its settings side by side.
    (void)kvrn_encode_to_memory(&image, {scale, scale, scale}, 1, file.data(), file.size(), &size,
                                clipped);
    file.resize(size);
    return file;
}

bool decode_kvrn(const std::vector<std::uint8_t>& file, std::uint8_t* pixels) {
    kvrn_header header;
    if (kvrn_read_header(file.data(), file.size(), &header) != KVRN_OK) return false;
    if (header.width == 0 || header.height == 0) return false;
    const ptrdiff_t row = 3 * static_cast<ptrdiff_t>(header.width);
    std::uint8_t* top = pixels + pixel_offset(header.width, header.height - 1, 0);
    std::uint64_t missing = 0;
    return kvrn_decode(file.data(), file.size(), KVRN_CHANNELS_ALL, 0, 1, top, -row, &missing) ==
               KVRN_OK &&
           missing == 0;
}

}  // namespace kvrn::lab
