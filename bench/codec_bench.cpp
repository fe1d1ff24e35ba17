// Micro-benchmarks of the codec's block functions and of whole-picture decoding and previewing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/test_picture.h"
#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "codec/kvrn_format.h"
#include "codec/reencode.h"

namespace {

using kvrn::bench::test_picture;

// The coded KVRN stream of a test picture (header included) at step 8.
std::vector<std::uint8_t> test_file(std::int32_t width, std::int32_t height) {
    const std::vector<std::uint8_t> pixels = test_picture(width, height);
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    const kvrn::kvrn_header header{kvrn::kvrn_magic,
                                   static_cast<std::uint16_t>(width),
                                   static_cast<std::uint16_t>(height),
                                   8,
                                   8,
                                   8};
    const auto bytes = kvrn::format_header(header);
    (void)std::fwrite(bytes.data(), 1, bytes.size(), out);
    const kvrn::picture_view picture{pixels.data(), width, height};
    kvrn::ycc_blocks coefficients;
    for (std::int32_t r0 = 0; r0 < height; r0 += 8) {
        for (std::int32_t c0 = 0; c0 < width; c0 += 8) {
            kvrn::quantise_block(picture, r0, c0, {8, 8, 8}, coefficients);
            kvrn::write_block(coefficients.y, out);
            kvrn::write_block(coefficients.cr, out);
            kvrn::write_block(coefficients.cb, out);
        }
    }
    (void)std::fclose(out);
    std::vector<std::uint8_t> file(data, data + size);
    std::free(data);
    return file;
}

kvrn::coef_block sample_block() {
    kvrn::coef_block block;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> sample(-128, 127);
    for (auto& v : block) v = sample(random);
    return block;
}

void bm_fdct_2d(benchmark::State& state) {
    const kvrn::coef_block input = sample_block();
    for (auto _ : state) {
        kvrn::coef_block block = input;
        kvrn::fdct_2d(block);
        benchmark::DoNotOptimize(block);
    }
}
BENCHMARK(bm_fdct_2d);

void bm_idct_2d(benchmark::State& state) {
    kvrn::coef_block coefficients = sample_block();
    kvrn::fdct_2d(coefficients);
    for (auto& v : coefficients) v >>= 3;
    kvrn::coef_block samples;
    for (auto _ : state) {
        kvrn::coef_block block = coefficients;
        kvrn::idct_2d(block, samples);
        benchmark::DoNotOptimize(samples);
    }
}
BENCHMARK(bm_idct_2d);

void bm_rgb_to_ycc_block(benchmark::State& state) {
    const std::vector<std::uint8_t> pixels = test_picture(8, 8);
    const kvrn::picture_view picture{pixels.data(), 8, 8};
    kvrn::ycc_blocks samples;
    for (auto _ : state) {
        kvrn::rgb_to_ycc_block(picture, 0, 0, samples);
        benchmark::DoNotOptimize(samples);
    }
}
BENCHMARK(bm_rgb_to_ycc_block);

void bm_ycc_to_rgb(benchmark::State& state) {
    kvrn::ycc_blocks samples{sample_block(), {}, {}};
    for (std::size_t i = 0; i < 64; ++i) {
        samples.y[i] += 128;
        samples.cr[i] = 255 - samples.y[i];
        samples.cb[i] = (samples.y[i] * 3) & 255;
    }
    kvrn::rgb_blocks rgb;
    for (auto _ : state) {
        kvrn::ycc_to_rgb({}, samples, rgb);
        benchmark::DoNotOptimize(rgb);
    }
}
BENCHMARK(bm_ycc_to_rgb);

void bm_write_and_read_block(benchmark::State& state) {
    kvrn::coef_block block = sample_block();
    kvrn::fdct_2d(block);
    for (auto& v : block) v >>= 3 + 2;
    for (auto _ : state) {
        std::array<std::uint8_t, kvrn::put_block_room> bytes{};
        std::int64_t clipped = 0;
        (void)kvrn::put_block(block, bytes.data(), clipped);
        kvrn::byte_reader in(bytes.data(), bytes.size());
        kvrn::coef_block back;
        benchmark::DoNotOptimize(kvrn::read_block(back, in));
    }
}
BENCHMARK(bm_write_and_read_block);

// Whole-picture decoding; the rate is reported in pixels per second.
void bm_decode(benchmark::State& state) {
    const auto size = static_cast<std::int32_t>(state.range(0));
    const std::vector<std::uint8_t> file = test_file(size, size);
    std::array<std::uint8_t, kvrn::header_bytes> header_bytes{};
    std::copy_n(file.begin(), header_bytes.size(), header_bytes.begin());
    const kvrn::kvrn_header header = kvrn::parse_header(header_bytes);
    std::vector<std::uint8_t> pixels(*kvrn::picture_bytes(size, size));
    for (auto _ : state) {
        kvrn::byte_reader in(file.data() + kvrn::header_bytes, file.size() - kvrn::header_bytes);
        kvrn::decode_blocks(in, header, {}, pixels.data(), nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(bm_decode)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

// The preview's pixel work for a 1024 x 768 picture, without OpenGL.
void bm_preview_pixels(benchmark::State& state) {
    std::vector<std::uint8_t> pixels = test_picture(1024, 768);
    const kvrn::picture_view picture{pixels.data(), 1024, 768};
    struct sink {
        static void shown(const kvrn::rgb_blocks& rgb, std::int32_t /*r0*/, std::int32_t /*c0*/) {
            benchmark::DoNotOptimize(rgb.red[0] + rgb.green[0] + rgb.blue[0]);
        }
    };
    for (auto _ : state) {
        kvrn::reencode_blocks(
            picture, {kvrn::uniform_steps(3), {}, kvrn::block_coverage::whole_blocks}, sink{});
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
}
BENCHMARK(bm_preview_pixels)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
