#include "app/loader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "codec/include/kvrn.h"
#include "codec/picture.h"
#include "scene/pixel_group.h"

namespace kvrn {
namespace {

// After a fatal message: let the console reader see it, wait for Enter (the first character is
// normally the line end left after the typed name), and end with status -1.
[[noreturn]] void wait_and_exit() {
    (void)std::fflush(stdout);
    (void)std::getchar();
    (void)std::getchar();
    std::exit(-1);
}

// The whole file, or nothing when it cannot be read (a directory, an I/O error).
std::optional<std::vector<std::uint8_t>> read_all(std::FILE* file) {
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 1 << 16> chunk;
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (std::ferror(file) != 0) return std::nullopt;
    return bytes;
}

// One line for each block the stream ends before or inside. Those are always its last blocks,
// from the first the stream cuts to the last of the picture, in stream order.
void report_missing_blocks(const kvrn_header& header, std::uint64_t missing) {
    static constexpr std::array<const char*, 3> names = {"Y", "Crf", "Cbf"};
    const std::uint64_t columns = blocks_covering(header.width);
    const std::uint64_t blocks = 3 * kvrn_block_positions(header.width, header.height);
    for (std::uint64_t block = blocks - missing; block < blocks; ++block) {
        const std::uint64_t position = block / 3;
        std::printf("Unexpected end of file found decoding %s block nr %d at (%d,%d)\n",
                    names[block % 3], static_cast<int>(position),
                    static_cast<int>(position % columns), static_cast<int>(position / columns));
    }
}

}  // namespace

void load_image(const char* file_name) {
    std::FILE* file = std::fopen(file_name, "rb");
    if (file == nullptr) {
        std::printf("Error opening file %s", file_name);
        wait_and_exit();
    }
    const std::optional<std::vector<std::uint8_t>> file_bytes = read_all(file);
    (void)std::fclose(file);
    if (!file_bytes) {
        // A name that opens but cannot be read (a directory, say) cannot be opened either.
        std::printf("Error opening file %s", file_name);
        wait_and_exit();
    }
    const std::vector<std::uint8_t>& bytes = *file_bytes;
    kvrn_header header;
    switch (kvrn_read_header(bytes.data(), bytes.size(), &header)) {
        case KVRN_OK:
            break;
        case KVRN_TOO_SHORT:
            std::printf("Error opening file %s: file too short for a KVRN header (%d of 14 bytes)",
                        file_name, static_cast<int>(bytes.size()));
            wait_and_exit();
        default:
            std::printf("Error opening file %s: magic number != 0x%x, found 0x%x", file_name,
                        KVRN_MAGIC, header.magic);
            wait_and_exit();
    }
    std::printf(
        "Reader header:\n\tWidth: %d\n\tHeight: %d\n\tY-scale: %d\n\tCr-scale: %d\n\t"
        "Cb-scale: %d\n",
        header.width, header.height, header.y_scale, header.cr_scale, header.cb_scale);
    image_group->width = header.width;
    image_group->height = header.height;
    // At most 65535 * 65535 * 3 bytes, which needs a 64-bit size_t; one at the least, so that a
    // picture without pixels has a buffer too. Released with free by the group.
    std::size_t buffer_bytes = SIZE_MAX;
    if (kvrn_rgb_bytes(header.width, header.height, &buffer_bytes) == KVRN_OK) {
        image_group->pixels =
            static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(buffer_bytes, 1), 1));
    }
    if (image_group->pixels == nullptr) {
        std::printf("Error opening file %s: cannot allocate %zu bytes for a %u x %u picture",
                    file_name, buffer_bytes, static_cast<unsigned>(header.width),
                    static_cast<unsigned>(header.height));
        wait_and_exit();
    }
    std::uint64_t missing = 0;
    if (buffer_bytes > 0) {
        // The group keeps row 0, the bottom row, first: handed over from its last row, rows a
        // negative stride apart.
        const channel_enables on = image_group->enables();
        const unsigned channels = (on.use_y != 0 ? KVRN_CHANNEL_Y : 0U) |
                                  (on.use_cr != 0 ? KVRN_CHANNEL_CR : 0U) |
                                  (on.use_cb != 0 ? KVRN_CHANNEL_CB : 0U);
        const auto row = static_cast<std::ptrdiff_t>(3 * std::size_t{header.width});
        (void)kvrn_decode(bytes.data(), bytes.size(), channels, 0, 0,
                          image_group->pixels + pixel_offset(header.width, header.height - 1, 0),
                          -row, &missing);
    }
    report_missing_blocks(header, missing);
    std::printf("File loaded!\n");
}

}  // namespace kvrn
