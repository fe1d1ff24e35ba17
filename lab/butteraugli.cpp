#include "lab/butteraugli.h"

#include <dlfcn.h>
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

// libjxl's functions, from the libraries loaded when Butteraugli is first asked for rather than
// when kvrn-lab starts: libjxl brings highway, brotli and lcms2 with it, which every other lab
// command would load for nothing, and highway's start-up code reads the processor's clock with an
// instruction (rdtscp) valgrind cannot run, which would stop every lab command under valgrind.
// KVRN_LIBJXL and KVRN_LIBJXL_THREADS are the libraries' sonames, from the build (the Debian
// package depends on them by name).
struct jxl_functions {
    decltype(&JxlButteraugliApiCreate) api_create = nullptr;
    decltype(&JxlButteraugliApiDestroy) api_destroy = nullptr;
    decltype(&JxlButteraugliApiSetParallelRunner) set_runner = nullptr;
    decltype(&JxlButteraugliApiSetIntensityTarget) set_intensity_target = nullptr;
    decltype(&JxlButteraugliApiSetHFAsymmetry) set_hf_asymmetry = nullptr;
    decltype(&JxlButteraugliCompute) compute = nullptr;
    decltype(&JxlButteraugliResultGetMaxDistance) max_distance = nullptr;
    decltype(&JxlButteraugliResultGetDistance) distance = nullptr;
    decltype(&JxlButteraugliResultDestroy) result_destroy = nullptr;
    decltype(&JxlThreadParallelRunnerCreate) runner_create = nullptr;
    decltype(&JxlThreadParallelRunnerDestroy) runner_destroy = nullptr;
    decltype(&JxlThreadParallelRunner) runner = nullptr;
    std::string error;  // why they could not be loaded, if they could not
};

template <class Function>
bool find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

jxl_functions load_jxl() {
    jxl_functions f;
    // Loaded for the life of the process: never closed.
    void* jxl = dlopen(KVRN_LIBJXL, RTLD_NOW | RTLD_LOCAL);
    void* threads = jxl == nullptr ? nullptr : dlopen(KVRN_LIBJXL_THREADS, RTLD_NOW | RTLD_LOCAL);
    if (jxl == nullptr || threads == nullptr) {
        const char* why = dlerror();
        f.error = std::string("Butteraugli needs libjxl: ") + (why != nullptr ? why : "not found");
        return f;
    }
    const bool found = find(jxl, "JxlButteraugliApiCreate", f.api_create) &&
                       find(jxl, "JxlButteraugliApiDestroy", f.api_destroy) &&
                       find(jxl, "JxlButteraugliApiSetParallelRunner", f.set_runner) &&
                       find(jxl, "JxlButteraugliApiSetIntensityTarget", f.set_intensity_target) &&
                       find(jxl, "JxlButteraugliApiSetHFAsymmetry", f.set_hf_asymmetry) &&
                       find(jxl, "JxlButteraugliCompute", f.compute) &&
                       find(jxl, "JxlButteraugliResultGetMaxDistance", f.max_distance) &&
                       find(jxl, "JxlButteraugliResultGetDistance", f.distance) &&
                       find(jxl, "JxlButteraugliResultDestroy", f.result_destroy) &&
                       find(threads, "JxlThreadParallelRunnerCreate", f.runner_create) &&
                       find(threads, "JxlThreadParallelRunnerDestroy", f.runner_destroy) &&
                       find(threads, "JxlThreadParallelRunner", f.runner);
    if (!found) f.error = "libjxl lacks the Butteraugli functions of version 0.7";
    return f;
}

const jxl_functions& jxl() {
    static const jxl_functions functions = load_jxl();
    return functions;
}

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
    const jxl_functions& f = jxl();
    if (!f.error.empty()) {
        error = f.error;
        return false;
    }
    const auto api_deleter = [&f](JxlButteraugliApi* api) { f.api_destroy(api); };
    const auto runner_deleter = [&f](void* runner) { f.runner_destroy(runner); };
    const auto result_deleter = [&f](JxlButteraugliResult* result) { f.result_destroy(result); };

    const std::unique_ptr<JxlButteraugliApi, decltype(api_deleter)> api(f.api_create(nullptr),
                                                                        api_deleter);
    if (threads == 0) threads = default_threads();
    const std::unique_ptr<void, decltype(runner_deleter)> runner(f.runner_create(nullptr, threads),
                                                                 runner_deleter);
    if (!api || !runner) {
        error = "libjxl could not start its Butteraugli";
        return false;
    }
    f.set_runner(api.get(), f.runner, runner.get());
    f.set_intensity_target(api.get(), intensity_target);
    f.set_hf_asymmetry(api.get(), hf_asymmetry);

    const std::vector<std::uint8_t> original = top_first(reference);
    const std::vector<std::uint8_t> changed = top_first(distorted);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    const std::unique_ptr<JxlButteraugliResult, decltype(result_deleter)> result(
        f.compute(api.get(), static_cast<std::uint32_t>(reference.width),
                  static_cast<std::uint32_t>(reference.height), &format, original.data(),
                  original.size(), &format, changed.data(), changed.size()),
        result_deleter);
    if (!result) {
        error = "libjxl's Butteraugli failed on the pictures";
        return false;
    }
    distances.max_norm = f.max_distance(result.get());
    distances.norm3 = f.distance(result.get(), 3);
    return true;
}

}  // namespace kvrn::lab
