#include "app/input.h"

#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>

#include "app/window.h"
#include "scene/pixel_group.h"
#include "scene/preview.h"

namespace kvrn {

std::uint8_t aa_flag = 1;

namespace {

// GLUT reports the wheel as buttons 3 (away from the user) and 4 (towards), press and release.
constexpr int wheel_up = 3;
constexpr int wheel_down = 4;

void toggle(std::int32_t& enable) {
    enable = enable == 0 ? 1 : 0;
}

}  // namespace

void key_pressed(unsigned char key, int /*x*/, int /*y*/) {
    glutPostRedisplay();
    switch (key) {
        case 'y':
            toggle(image_group->use_y);
            break;
        case 'r':
            toggle(image_group->use_cr);
            break;
        case 'b':
            toggle(image_group->use_cb);
            break;
        default:
            break;
    }
}

void key_released(unsigned char key, int /*x*/, int /*y*/) {
    if (key == 'A') {
        // The viewer's documented anti-aliasing toggle: it switches line smoothing, which the
        // points the viewer draws do not use, so the picture does not change; only the status
        // text shows the flag.
        if (aa_flag != 0) {
            glDisable(GL_LINE_SMOOTH);
        } else {
            glEnable(GL_LINE_SMOOTH);
        }
        (void)std::snprintf(status_text.data(), status_text.size(), "AA = %d\n", aa_flag);
        aa_flag = aa_flag == 0 ? 1 : 0;
    } else if (key == 'q') {
        std::exit(0);
    }
}

void special_pressed(int /*key*/, int /*x*/, int /*y*/) {
    glutPostRedisplay();
}

void special_released(int key, int /*x*/, int /*y*/) {
    if (key == GLUT_KEY_F1) {
        glutFullScreen();
    } else if (key == GLUT_KEY_F2) {
        restore_window();
    }
    glutPostRedisplay();
}

void mouse_button(int button, int /*state*/, int /*x*/, int /*y*/) {
    if (button == GLUT_MIDDLE_BUTTON) {
        quant_step = 1;
    } else if (button == wheel_up) {
        ++quant_step;
    } else if (button == wheel_down && quant_step > 1) {
        // The preview divides by the step, so it stops at 1 rather than reaching 0.
        --quant_step;
    }
}

}  // namespace kvrn
