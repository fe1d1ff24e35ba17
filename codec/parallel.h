// Independent tasks spread over threads: the block rows of a picture, which share nothing.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

namespace kvrn {

#if defined(__EMSCRIPTEN__)

// WebAssembly built without threads (its C++ library has no std::jthread either): one thread.
inline unsigned default_threads() {
    return 1;
}

// Runs work(0) on the calling thread. Every caller hands out its tasks through a shared counter,
// so the first worker alone does them all, in order.
template <class Work>
void run_on_threads(unsigned /*workers*/, Work&& work) {
    work(0U);
}

#else

// The number of threads to use when the caller asks for 0: every online core.
inline unsigned default_threads() {
    return std::max(1U, std::thread::hardware_concurrency());
}

namespace detail {

// Where helper threads start. A new thread is queued at first on its creator's processor, and on
// the development machine's virtual processors the scheduler took up to 5 ms, a third of a
// photograph's decode, to move it to an idle one. So each helper is pinned at once to another
// processor than its creator's, the others taken in turn, and lets itself run anywhere again as
// soon as it runs. Where processors cannot be chosen (not Linux) it does nothing.
class helper_placement {
  public:
    helper_placement();
    // Pins `helper`, the k-th (1, 2, ...), to the k-th allowed processor other than the creator's.
    void place(std::jthread& helper, unsigned k) const;
    // Called by a placed helper: it may run on any allowed processor again.
    void release() const;

  private:
    std::vector<int> allowed_;  // the processors the process may run on
    int here_ = -1;             // the creator's
};

}  // namespace detail

// Runs work(w) once on each of `workers` threads, w = 0 .. workers - 1, the calling thread (w = 0)
// among them; returns when all have returned. `work` must not throw.
template <class Work>
void run_on_threads(unsigned workers, Work&& work) {
    if (workers <= 1) {
        work(0U);
        return;
    }
    const detail::helper_placement placement;
    // A helper waits to be placed before it lets itself go anywhere, or the pin would stay.
    const auto placed = std::make_unique<std::atomic<bool>[]>(workers);
    std::vector<std::jthread> helpers;
    helpers.reserve(workers - 1);
    for (unsigned w = 1; w < workers; ++w) {
        helpers.emplace_back([&work, &placement, &placed, w] {
            while (!placed[w].load(std::memory_order_acquire)) std::this_thread::yield();
            placement.release();
            work(w);
        });
        placement.place(helpers.back(), w);
        placed[w].store(true, std::memory_order_release);
    }
    work(0U);
}  // the helpers join here

#endif

// Runs task(i) once for every i in 0 .. count - 1 on up to `threads` threads, the calling thread
// among them; each thread takes the next index as soon as it is done with one, so uneven tasks
// even out. Returns when every task has finished. With one thread (or one task) it runs them in
// order on the calling thread and starts no other. Tasks must not throw.
template <class Task>
void run_parallel(std::size_t count, unsigned threads, Task&& task) {
    const std::size_t workers = std::min<std::size_t>(threads == 0 ? 1 : threads, count);
    std::atomic<std::size_t> next{0};
    run_on_threads(static_cast<unsigned>(std::max<std::size_t>(workers, 1)), [&](unsigned) {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) task(i);
    });
}

// Lets results made side by side be handed on one at a time, in order: the thread with result i
// waits until result i - 1 has been handed on. Nobody waits for a later result, so while every
// result gets made, every wait ends.
class in_order_turns {
  public:
    // Returns once results 0 .. i - 1 have been handed on. A turn usually comes within
    // microseconds, sooner than a sleeping thread is woken (on the development machine's virtual
    // processors that took long enough to cost a tenth of an encode), so it yields for a while
    // before it sleeps.
    void wait_for(std::size_t i) const {
        std::size_t done = done_.load(std::memory_order_acquire);
        for (int spin = 0; done != i && spin < 4096; ++spin) {
            std::this_thread::yield();
            done = done_.load(std::memory_order_acquire);
        }
        for (; done != i; done = done_.load(std::memory_order_acquire)) {
            done_.wait(done, std::memory_order_acquire);
        }
    }
    // Result i has been handed on: the turn of result i + 1.
    void pass(std::size_t i) {
        done_.store(i + 1, std::memory_order_release);
        done_.notify_all();
    }

  private:
    std::atomic<std::size_t> done_{0};
};

}  // namespace kvrn
