#include "lab/butteraugli.h"

#include <jxl/butteraugli.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "codec/parallel.h"

namespace kvrn::lab {
namespace {

// butteraugli_main's settings. Its intensity target, 80 nits (its help says so), against the
// library's own default of 255; and its hf_asymmetry, 0.8, which penalises new high-frequency
// detail (ringing) more than lost detail, against the library's 1. With both, libjxl 0.7's
// distances equal the tool's to every digit it prints (max norm to 10 decimals, 3-norm to 6), as
// tests/lab/more_metrics_test.cpp holds them; with the library's defaults they differ in the
// second.
constexpr float intensity_target = 80;
constexpr float hf_asymmetry = 0.8F;

// The picture top row first, as libjxl takes it (ours are stored bottom row first).
std::vector<std::uint8_t> top_first(const picture_view& picture) {
    std::vector<std::uint8_t> rows(pixel_offset(picture.width, picture.height, 0));
    const std::size_t row_bytes = pixel_offset(picture.width, 1, 0);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::copy_n(picture.pixels + pixel_offset(picture.width, picture.height - 1 - y, 0),
                    row_bytes, rows.data() + pixel_offset(picture.width, y, 0));
    }
    return rows;
}

}  // namespace

bool butteraugli_distance(const picture_view& reference, const picture_view& distorted,
                          unsigned threads, butteraugli_distances& distances, std::string& error) {
    const auto api_deleter = [](JxlButteraugliApi* api) { JxlButteraugliApiDestroy(api); };
    const auto runner_deleter = [](void* runner) { JxlThreadParallelRunnerDestroy(runner); };
    const auto result_deleter = [](JxlButteraugliResult* result) {
        JxlButteraugliResultDestroy(result);
    };

    const std::unique_ptr<JxlButteraugliApi, decltype(api_deleter)> api(
        JxlButteraugliApiCreate(nullptr), api_deleter);
    if (threads == 0) threads = default_threads();
    const std::unique_ptr<void, decltype(runner_deleter)> runner(
        JxlThreadParallelRunnerCreate(nullptr, threads), runner_deleter);
    if (!api || !runner) {
        error = "libjxl could not start its Butteraugli";
        return false;
    }
    JxlButteraugliApiSetParallelRunner(api.get(), JxlThreadParallelRunner, runner.get());
    JxlButteraugliApiSetIntensityTarget(api.get(), intensity_target);
    JxlButteraugliApiSetHFAsymmetry(api.get(), hf_asymmetry);

    const std::vector<std::uint8_t> original = top_first(reference);
    const std::vector<std::uint8_t> changed = top_first(distorted);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    const std::unique_ptr<JxlButteraugliResult, decltype(result_deleter)> result(
        JxlButteraugliCompute(api.get(), static_cast<std::uint32_t>(reference.width),
                  static_cast<std::uint32_t>(reference.height), &format, original.data(),
                  original.size(), &format, changed.data(), changed.size()),
        result_deleter);
    if (!result) {
        error = "libjxl's Butteraugli failed on the pictures";
        return false;
    }
    distances.max_norm = JxlButteraugliResultGetMaxDistance(result.get());
    distances.norm3 = JxlButteraugliResultGetDistance(result.get(), 3);
    return true;
}

}  // namespace kvrn::lab
