#include "codec/loader.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
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

class console_listener final : public missing_block_listener {
  public:
    void missing_block(channel which, std::int32_t counter, std::int32_t column,
                       std::int32_t row) override {
        static constexpr std::array<const char*, 3> names = {"Y", "Crf", "Cbf"};
        std::printf("Unexpected end of file found decoding %s block nr %d at (%d,%d)\n",
                    names[static_cast<std::size_t>(which)], counter, column, row);
    }
};

}  // namespace

void load_image(const char* file_name) {
    std::FILE* file = std::fopen(file_name, "rb");
    if (file == nullptr) {
        std::printf("Error opening file %s", file_name);
        wait_and_exit();
    }

    std::array<std::uint8_t, header_bytes> bytes{};
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    // A name that opens but cannot be read (a directory, say) cannot be opened as a picture.
    if (got < header_bytes && std::ferror(file) != 0) {
        (void)std::fclose(file);
        std::printf("Error opening file %s", file_name);
        wait_and_exit();
    }
    if (got < header_bytes) {
        (void)std::fclose(file);
        std::printf("Error opening file %s: file too short for a KVRN header (%d of 14 bytes)",
                    file_name, static_cast<int>(got));
        wait_and_exit();
    }
    const kvrn_header header = parse_header(bytes);
    if (header.magic != kvrn_magic) {
        (void)std::fclose(file);
        std::printf("Error opening file %s: magic number != 0x%x, found 0x%x", file_name,
                    kvrn_magic, header.magic);
        wait_and_exit();
    }
    std::printf(
        "Reader header:\n\tWidth: %d\n\tHeight: %d\n\tY-scale: %d\n\tCr-scale: %d\n\tCb-scale: "
        "%d\n",
        header.width, header.height, header.y_scale, header.cr_scale, header.cb_scale);

    pixel_group& group = *image_group;
    group.width = header.width;
    group.height = header.height;
    // At most 65535 * 65535 * 3 bytes, which needs a 64-bit size_t; picture_bytes says when the
    // product does not fit. One byte at the least, so that an empty picture is not a failure.
    const std::optional<std::size_t> size = picture_bytes(header.width, header.height);
    void* buffer = size ? std::calloc(*size != 0 ? *size : 1, 1) : nullptr;
    if (buffer == nullptr) {
        (void)std::fclose(file);
        std::printf("Error opening file %s: cannot allocate %zu bytes for a %u x %u picture",
                    file_name, size.value_or(SIZE_MAX), static_cast<unsigned>(header.width),
                    static_cast<unsigned>(header.height));
        wait_and_exit();
    }
    group.pixels = static_cast<std::uint8_t*>(buffer);

    byte_reader reader(file);
    console_listener listener;
    decode_blocks(reader, header, group.enables(), group.pixels, &listener);
    std::printf("File loaded!\n");
    (void)std::fclose(file);
}

}  // namespace kvrn
