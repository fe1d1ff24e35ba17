// Says which table of codec/kernels.h this program runs, "plain" or "vector", for the tests of
// the choice: it is made once per process, so each choice needs a program started for it.
#include <cstdio>

#include "codec/kernels.h"

int main() {
    const bool plain = &kvrn::active_kernels() == &kvrn::plain_kernels();
    return std::puts(plain ? "plain" : "vector") >= 0 ? 0 : 1;
}
