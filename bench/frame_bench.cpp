// The cost of one frame of a 1024 x 768 picture in a real OpenGL context: the re-encoding preview
// against the direct mode of the same object, alternating, and their ratio.
#include <GL/glut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(width, height);
    glutCreateWindow("frame bench");
    glMatrixMode(GL_PROJECTION);
    gluOrtho2D(0, width, 0, height);  // NOLINT(readability-suspicious-call-argument)
    glMatrixMode(GL_MODELVIEW);

    auto* group = new kvrn::pixel_group;  // owned by display_list
    group->width = width;
    group->height = height;
    group->pixels = static_cast<std::uint8_t*>(std::malloc(std::size_t{width} * height * 3));
    for (std::size_t i = 0; i < std::size_t{width} * height * 3; ++i) {
        group->pixels[i] = static_cast<std::uint8_t>((i * 2654435761U) >> 13);
    }
    kvrn::quant_step = 3;

    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    std::vector<double> direct;
    std::vector<double> preview;
    frame_seconds(*group);  // warm-up
    for (int i = 0; i < rounds; ++i) {
        group->preview = 0;
        direct.push_back(frame_seconds(*group));
        group->preview = 1;
        preview.push_back(frame_seconds(*group));
    }
    const double d = median(direct);
    const double p = median(preview);
    std::printf("1024x768 frame, median of %d: direct %.1f ms, preview %.1f ms, ratio %.3f\n",
                rounds, d * 1e3, p * 1e3, p / d);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
