// How long the lab's metrics take per megapixel on two pictures of one size (binary PPM files):
// SSIM with PSNR (compare), MS-SSIM of luma and Butteraugli, each on one thread and on every core,
// the best of several runs. scripts/bench-metrics runs it on the photograph of the README.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/butteraugli.h"
#include "lab/metrics.h"
#include "lab/ms_ssim.h"

namespace {

struct picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // bottom row first, as the lab takes them
};

bool read_ppm(const char* path, picture& p) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    if (!(in >> magic >> p.width >> p.height >> max) || magic != "P6" || max != 255) return false;
    in.get();
    const std::string raster{std::istreambuf_iterator<char>(in), {}};
    const std::size_t row = kvrn::pixel_offset(p.width, 1, 0);
    if (raster.size() < row * static_cast<std::size_t>(p.height)) return false;
    p.pixels.resize(row * static_cast<std::size_t>(p.height));
    for (std::int32_t y = 0; y < p.height; ++y)
        std::copy_n(raster.data() + row * static_cast<std::size_t>(y), row,
                    p.pixels.data() + kvrn::pixel_offset(p.width, p.height - 1 - y, 0));
    return true;
}

// The fastest of `runs` runs of `work`, in milliseconds.
double best_ms(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        (void)std::fprintf(stderr, "Usage: lab_metrics_bench A.ppm B.ppm\n");
        return 64;
    }
    picture a;
    picture b;
    if (!read_ppm(argv[1], a) || !read_ppm(argv[2], b) || a.width != b.width ||
        a.height != b.height) {
        (void)std::fprintf(stderr, "lab_metrics_bench: two binary PPM files of one size\n");
        return 1;
    }
    const kvrn::picture_view va{a.pixels.data(), a.width, a.height};
    const kvrn::picture_view vb{b.pixels.data(), b.width, b.height};
    const double megapixels = static_cast<double>(a.width) * a.height / 1e6;
    std::printf("%s against %s, %d x %d pixels; ms per megapixel, best of 5\n", argv[2], argv[1],
                a.width, a.height);
    std::printf("%-34s %10s %10s\n", "metric", "1 thread", "threads");
    const unsigned all = kvrn::default_threads();
    double figure = 0;
    std::string error;
    const std::vector<std::pair<const char*, std::function<void(unsigned)>>> metrics = {
        {"psnr_rgb, psnr_y, ssim_y (compare)",
         [&](unsigned t) { figure = kvrn::lab::compare(va, vb, t)->ssim_y; }},
        {"ms_ssim_y", [&](unsigned t) { figure = kvrn::lab::ms_ssim_y(va, vb, t); }},
        {"butteraugli, butteraugli_3norm",
         [&](unsigned t) {
             kvrn::lab::butteraugli_distances d;
             if (!kvrn::lab::butteraugli_distance(va, vb, t, d, error))
                 (void)std::fprintf(stderr, "%s\n", error.c_str());
             figure = d.max_norm;
         }},
    };
    for (const auto& metric : metrics) {
        const auto& run = metric.second;
        const double one = best_ms(5, [&] { run(1); });
        const double every = best_ms(5, [&] { run(all); });
        std::printf("%-34s %10.1f %10.1f   (%u threads; figure %.5f)\n", metric.first,
                    one / megapixels, every / megapixels, all, figure);
    }
    return 0;
}
