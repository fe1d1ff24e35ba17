// Arbitrary small pictures, steps and channel switches through the re-encoding preview: no fault,
// and a negative step draws exactly what its magnitude draws.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "scene/preview.h"

static std::vector<std::int32_t> preview_of(const kvrn::pixel_group& group, std::int32_t step) {
    std::vector<std::int32_t> drawn;
    kvrn::run_preview(group, step,
                      [&drawn](const kvrn::rgb_blocks& rgb, std::int32_t, std::int32_t) {
                          for (const auto* block : {&rgb.red, &rgb.green, &rgb.blue})
                              drawn.insert(drawn.end(), block->begin(), block->end());
                      });
    return drawn;
}

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) return 0;
    std::int32_t step = 0;
    std::memcpy(&step, data, sizeof step);
    kvrn::pixel_group group;
    group.width = data[4] % 41;
    group.height = data[5] % 41;
    group.use_y = data[6] & 1;
    group.use_cr = (data[6] >> 1) & 1;
    group.use_cb = (data[6] >> 2) & 1;
    const std::size_t bytes = *kvrn::picture_bytes(group.width, group.height);
    group.pixels = static_cast<std::uint8_t*>(std::calloc(bytes + 1, 1));
    std::memcpy(group.pixels, data + 7, std::min(bytes, size - 7));

    const std::vector<std::int32_t> drawn = preview_of(group, step);
    if (step != INT_MIN && preview_of(group, -step) != drawn) std::abort();
    return 0;
}
