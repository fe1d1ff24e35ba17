// How much more of the codec's block work this machine's processors do together than one alone.
// Each thread runs the block path (quantise_block and reconstruct_block) over its own copy of a
// detailed picture for a fixed time; the figure is the blocks done by all against one thread's.
// Two sizes: 256 x 256, which stays in each processor's cache, and 2048 x 2048 (12 MiB), which
// comes from memory as a photograph does. It bounds every speed-up threads can give: processors
// share the memory, and virtual ones may share a core's vector units too.
// Usage: thread_scaling [MILLISECONDS]   (default 400 per measurement)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/test_picture.h"
#include "codec/block_path.h"
#include "codec/parallel.h"

namespace {

// Blocks done by `threads` threads in `duration`, each on its own picture of side x side.
std::uint64_t blocks_done(std::int32_t side, unsigned threads, std::chrono::milliseconds duration) {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> done{0};
    {
        std::vector<std::jthread> workers;
        for (unsigned t = 0; t < threads; ++t) {
            workers.emplace_back([&, side] {
                const std::vector<std::uint8_t> pixels = kvrn::bench::test_picture(side, side);
                const kvrn::picture_view picture{pixels.data(), side, side};
                kvrn::ycc_blocks coefficients;
                kvrn::rgb_blocks rgb;
                std::uint64_t count = 0;
                while (!stop.load(std::memory_order_relaxed)) {
                    for (std::int32_t r0 = 0; r0 < side; r0 += 8) {
                        for (std::int32_t c0 = 0; c0 < side; c0 += 8) {
                            kvrn::quantise_block(picture, r0, c0, {8, 8, 8}, coefficients);
                            kvrn::reconstruct_block(coefficients, {8, 8, 8}, {}, rgb);
                        }
                    }
                    count +=
                        static_cast<std::uint64_t>(side / 8) * static_cast<std::uint64_t>(side / 8);
                }
                done += count;
            });
        }
        std::this_thread::sleep_for(duration);
        stop = true;
    }  // the workers join here
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    const std::chrono::milliseconds duration(argc > 1 ? std::atoi(argv[1]) : 400);
    const unsigned most = kvrn::default_threads();
    for (const std::int32_t side : {256, 2048}) {
        const auto one = static_cast<double>(blocks_done(side, 1, duration));
        std::printf("block path on %d x %d pictures, 1 thread: %.0f blocks/s\n", side, side,
                    one * 1000.0 / static_cast<double>(duration.count()));
        for (unsigned threads = 2; threads <= most; ++threads) {
            const auto all = static_cast<double>(blocks_done(side, threads, duration));
            std::printf(
                "block path on %d x %d pictures, %u threads: %.0f blocks/s, %.2f times "
                "one thread's\n",
                side, side, threads, all * 1000.0 / static_cast<double>(duration.count()),
                all / one);
        }
    }
}
