#include "app/window.h"

#include <GL/freeglut.h>

#include "app/input.h"
#include "scene/dlist.h"
#include "scene/view_area.h"

namespace kvrn {

std::array<char, 16> status_text{};

namespace {

// Set while the window leaves full screen on its way back to 1024 x 768 (see restore_window).
bool resize_when_windowed = false;

}  // namespace

void init_window() {
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(window_width, window_height);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Vorlank: Skeleton");

    glutDisplayFunc(display);
    glutKeyboardUpFunc(key_released);
    glutKeyboardFunc(key_pressed);
    glutSpecialFunc(special_pressed);
    glutSpecialUpFunc(special_released);
    glutMouseFunc(mouse_button);
    glutReshapeFunc(reshape);

    glClearColor(1.0F, 1.0F, 1.0F, 1.0F);
    glColor3f(1.0F, 0.0F, 0.0F);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, window_width, 0, window_height);
    glMatrixMode(GL_MODELVIEW);
}

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    display_list.walk([](item& member) { member.draw(); });
    // At x = 9000, far to the right of any ordinary window, so the text only shows on a very wide
    // one. That is the viewer's documented behaviour, not a misplaced coordinate.
    draw_status_text(9000.0F, 300.0F);
    glFlush();
    glutSwapBuffers();
}

void reshape(int width, int height) {
    visible_area = {width, height};  // the scene sends no point beyond it
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);  // NOLINT(readability-suspicious-call-argument)
    if (resize_when_windowed && glutGet(GLUT_FULL_SCREEN) == 0) {
        resize_when_windowed = false;
        if (width != window_width || height != window_height) {
            glutReshapeWindow(window_width, window_height);
        }
    }
}

void restore_window() {
    // freeglut leaves full screen by restoring the size the window had before, and applies that
    // after any size asked for in the meantime: a window resized before full screen would come
    // back at that size. So leave full screen first and ask for the size once it has happened.
    if (glutGet(GLUT_FULL_SCREEN) != 0) {
        resize_when_windowed = true;
        glutLeaveFullScreen();
    } else {
        glutReshapeWindow(window_width, window_height);
    }
}

void draw_status_text(float x, float y) {
    glRasterPos2f(x, y);
    for (const char* c = status_text.data(); *c != '\0'; ++c) {
        glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *c);
    }
}

}  // namespace kvrn
