// Writes the benchmarks' test picture of the given size as a binary PPM on standard output.
#include <cstdio>
#include <cstdlib>

#include "bench/test_picture.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        (void)std::fprintf(stderr, "usage: make_test_picture WIDTH HEIGHT > picture.ppm\n");
        return 64;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        (void)std::fprintf(stderr, "make_test_picture: sizes must be 1..65535\n");
        return 64;
    }
    const auto pixels = kvrn::bench::test_picture(width, height);
    std::printf("P6\n%d %d\n255\n", width, height);
    return std::fwrite(pixels.data(), 1, pixels.size(), stdout) == pixels.size() ? 0 : 1;
}
