#include "app/loader.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "codec/kvrn_file.h"
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

// Reports the load on the console as it goes and gives image_group its size and buffer; the group
// is only looked at once the header has passed its checks.
class console_load final : public load_observer {
  public:
    void header_read(const kvrn_header& header) override {
        std::printf(
            "Reader header:\n\tWidth: %d\n\tHeight: %d\n\tY-scale: %d\n\tCr-scale: %d\n\t"
            "Cb-scale: %d\n",
            header.width, header.height, header.y_scale, header.cr_scale, header.cb_scale);
        image_group->width = header.width;
        image_group->height = header.height;
    }

    channel_enables channels() const override { return image_group->enables(); }

    // Released with free by the group.
    std::uint8_t* picture_buffer(std::size_t bytes) override {
        image_group->pixels = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
        return image_group->pixels;
    }

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
    console_load console;
    const load_result result = load_kvrn(file, console);
    (void)std::fclose(file);
    switch (result.status) {
        case load_status::loaded:
            std::printf("File loaded!\n");
            return;
        case load_status::unreadable:
            // A name that opens but cannot be read (a directory, say) cannot be opened either.
            std::printf("Error opening file %s", file_name);
            break;
        case load_status::too_short:
            std::printf("Error opening file %s: file too short for a KVRN header (%d of 14 bytes)",
                        file_name, static_cast<int>(result.header_got));
            break;
        case load_status::wrong_magic:
            std::printf("Error opening file %s: magic number != 0x%x, found 0x%x", file_name,
                        kvrn_magic, result.header.magic);
            break;
        case load_status::no_memory:
            std::printf("Error opening file %s: cannot allocate %zu bytes for a %u x %u picture",
                        file_name, result.buffer_bytes, static_cast<unsigned>(result.header.width),
                        static_cast<unsigned>(result.header.height));
            break;
    }
    wait_and_exit();
}

}  // namespace kvrn
