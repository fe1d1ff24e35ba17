// Arbitrary small pictures, steps and channel switches through the re-encoding preview: no fault,
// and a negative step draws exactly what its magnitude draws.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "codec/picture.h"
#include "codec/reencode.h"

namespace {

struct recording_sink {
    std::vector<std::int32_t>& drawn;
    void shown(const kvrn::rgb_blocks& rgb, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        for (const auto* block : {&rgb.red, &rgb.green, &rgb.blue})
            drawn.insert(drawn.end(), block->begin(), block->end());
    }
};

std::vector<std::int32_t> preview_of(const kvrn::picture_view& picture,
                                     const kvrn::channel_enables& enables, std::int32_t step) {
    std::vector<std::int32_t> drawn;
    kvrn::reencode_blocks(picture,
                          {kvrn::uniform_steps(step), enables, kvrn::block_coverage::whole_blocks},
                          recording_sink{drawn});
    return drawn;
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) return 0;
    std::int32_t step = 0;
    std::memcpy(&step, data, sizeof step);
    const std::int32_t width = data[4] % 41;
    const std::int32_t height = data[5] % 41;
    const kvrn::channel_enables enables{data[6] & 1, (data[6] >> 1) & 1, (data[6] >> 2) & 1};
    const std::size_t bytes = *kvrn::picture_bytes(width, height);
    std::vector<std::uint8_t> pixels(bytes + 1);
    std::memcpy(pixels.data(), data + 7, std::min(bytes, size - 7));
    const kvrn::picture_view picture{pixels.data(), width, height};

    const std::vector<std::int32_t> drawn = preview_of(picture, enables, step);
    if (step != INT_MIN && preview_of(picture, enables, -step) != drawn) std::abort();
    return 0;
}
