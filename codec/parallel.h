// Independent tasks spread over threads: the block rows of a picture, which share nothing.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace kvrn {

// The number of threads to use when the caller asks for 0: every online core.
inline unsigned default_threads() {
    return std::max(1U, std::thread::hardware_concurrency());
}

// Runs task(i) once for every i in 0 .. count - 1 on up to `threads` threads, the calling thread
// among them; each thread takes the next index as soon as it is done with one, so uneven tasks
// even out. Returns when every task has finished. With one thread (or one task) it runs them in
// order on the calling thread and starts no other. Tasks must not throw.
template <class Task>
void run_parallel(std::size_t count, unsigned threads, Task&& task) {
    const std::size_t workers = std::min<std::size_t>(threads == 0 ? 1 : threads, count);
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i) task(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) task(i);
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(workers - 1);
    for (std::size_t k = 1; k < workers; ++k) helpers.emplace_back(work);
    work();
}  // the helpers join here

// Runs work(w) once on each of `workers` threads, w = 0 .. workers - 1, the calling thread (w = 0)
// among them; returns when all have returned. `work` must not throw.
template <class Work>
void run_on_threads(unsigned workers, Work&& work) {
    std::vector<std::jthread> helpers;
    helpers.reserve(workers > 1 ? workers - 1 : 0);
    for (unsigned w = 1; w < workers; ++w) helpers.emplace_back(work, w);
    work(0U);
}  // the helpers join here

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
