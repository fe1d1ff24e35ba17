// How much more of the codec's block work this machine's processors do together than one alone.
// Each thread runs the block path (quantise_block and reconstruct_block) over its own copy of a
// detailed picture for a fixed time; the figure is the blocks done by all against one thread's.
// It bounds every speed-up threads can give: virtual machines often present hardware threads of
// one core as processors, and those share the vector units the block path keeps busy.
// Usage: thread_scaling [MILLISECONDS]   (default 400 per thread count)
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

constexpr std::int32_t side = 256;

// Blocks done by `threads` threads in `duration`, each on its own picture.
std::uint64_t blocks_done(unsigned threads, std::chrono::milliseconds duration) {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> done{0};
    {
        std::vector<std::jthread> workers;
        for (unsigned t = 0; t < threads; ++t) {
            workers.emplace_back([&] {
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
                    count += std::uint64_t{side / 8} * (side / 8);
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
    const auto one = static_cast<double>(blocks_done(1, duration));
    std::printf("block path, 1 thread: %.0f blocks/s\n", one * 1000.0 / duration.count());
    for (unsigned threads = 2; threads <= most; ++threads) {
        const auto all = static_cast<double>(blocks_done(threads, duration));
        std::printf("block path, %u threads: %.0f blocks/s, %.2f times one thread's\n", threads,
                    all * 1000.0 / duration.count(), all / one);
    }
}
