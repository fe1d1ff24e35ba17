// kvrn-view: shows a KVRN picture through a live re-encoding preview.
#include <GL/glut.h>

#include <cstdio>

#include "app/loader.h"
#include "app/window.h"
#include "scene/pixel_group.h"
#include "scene/preview.h"

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    kvrn::init_window();

    std::printf("This is a basic reader for the KVRN format described in the assignment.\n");
    std::printf("Enter KVRN filename, including extension: ");
    (void)std::fflush(stdout);
    // One word, bounded to the buffer; a longer one is cut. If standard input ends first the
    // name stays empty and the loader reports that it cannot open it.
    static char file_name[4096] = "";
    if (std::scanf("%4095s", file_name) != 1) {
        file_name[0] = '\0';
    }

    kvrn::quant_step = 1;
    kvrn::image_group = new kvrn::pixel_group;  // owned by display_list from here on
    kvrn::load_image(file_name);

    std::printf("starting Glut Loop...\n");
    (void)std::fflush(stdout);
    glutMainLoop();
    return 0;
}
