#include "codec/parallel.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#if !defined(__EMSCRIPTEN__)

namespace kvrn::detail {

#if defined(__linux__)

helper_placement::helper_placement() : here_(sched_getcpu()) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) allowed_.push_back(cpu);
    }
}

void helper_placement::place(std::jthread& helper, unsigned k) const {
    std::vector<int> others;
    for (const int cpu : allowed_) {
        if (cpu != here_) others.push_back(cpu);
    }
    if (others.empty()) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(others[(k - 1) % others.size()], &one);
    (void)pthread_setaffinity_np(helper.native_handle(), sizeof one, &one);
}

void helper_placement::release() const {
    if (allowed_.empty()) return;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    for (const int cpu : allowed_) CPU_SET(cpu, &allowed);
    (void)sched_setaffinity(0, sizeof allowed, &allowed);
}

#else

helper_placement::helper_placement() = default;
void helper_placement::place(std::jthread& /*helper*/, unsigned /*k*/) const {}
void helper_placement::release() const {}

#endif

}  // namespace kvrn::detail

#endif
