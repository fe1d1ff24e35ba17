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

}  // namespace kvrn
