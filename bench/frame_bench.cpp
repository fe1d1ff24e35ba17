// The cost of one frame of a 1024 x 768 picture in a real OpenGL context: the re-encoding preview
// against the direct mode of the same object, alternating, and their ratio.
#include <GL/glut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "scene/pixel_group.h"
#include "scene/preview.h"

namespace {

constexpr int width = 1024;
constexpr int height = 768;

double frame_seconds(kvrn::pixel_group& group) {
    const auto start = std::chrono::steady_clock::now();
    glClear(GL_COLOR_BUFFER_BIT);
    group.draw();
    glFinish();  // the points are rasterised before the clock stops
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A picture of `w` x `h` pixels of hashed noise, owned by display_list.
kvrn::pixel_group* noise_picture(int w, int h) {
    auto* group = new kvrn::pixel_group;
    group->width = w;
    group->height = h;
    const std::size_t bytes = std::size_t(w) * std::size_t(h) * 3;
    group->pixels = static_cast<std::uint8_t*>(std::malloc(bytes));
    for (std::size_t i = 0; i < bytes; ++i) {
        group->pixels[i] = static_cast<std::uint8_t>((i * 2654435761U) >> 13);
    }
    return group;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(width, height);
    glutCreateWindow("frame bench");
    glMatrixMode(GL_PROJECTION);
    gluOrtho2D(0, width, 0, height);  // NOLINT(readability-suspicious-call-argument)
    glMatrixMode(GL_MODELVIEW);

    // One picture the size of the window and one far larger, of which the window shows a part.
    kvrn::pixel_group* small = noise_picture(width, height);
    kvrn::pixel_group* large = noise_picture(4096, 4096);
    kvrn::quant_step = 3;

    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    std::vector<double> direct;
    std::vector<double> preview;
    std::vector<double> large_direct;
    std::vector<double> large_preview;
    frame_seconds(*small);  // warm-up
    frame_seconds(*large);
    for (int i = 0; i < rounds; ++i) {
        for (auto [group, mode, times] :
             {std::tuple(small, 0, &direct), std::tuple(small, 1, &preview),
              std::tuple(large, 0, &large_direct), std::tuple(large, 1, &large_preview)}) {
            group->preview = mode;
            times->push_back(frame_seconds(*group));
        }
    }
    const double d = median(direct);
    const double p = median(preview);
    const double ld = median(large_direct);
    const double lp = median(large_preview);
    std::printf("1024x768 frame, median of %d: direct %.1f ms, preview %.1f ms, ratio %.3f\n",
                rounds, d * 1e3, p * 1e3, p / d);
    std::printf(
        "4096x4096 frame in the same window: direct %.1f ms, preview %.1f ms; "
        "preview against the 1024x768 preview: %.3f\n",
        ld * 1e3, lp * 1e3, lp / p);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
