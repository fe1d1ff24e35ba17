// The viewer's keyboard and mouse controls, as GLUT callbacks.
#pragma once

#include <cstdint>

namespace kvrn {

// State of the anti-aliasing toggle (release of 'A'); 1 at start.
extern std::uint8_t aa_flag;

// Any key redraws; 'y', 'r' and 'b' switch the Y, Cr and Cb channels.
void key_pressed(unsigned char key, int x, int y);
// 'A' toggles line smoothing and writes "AA = <previous state>" into the status text; 'q' quits.
void key_released(unsigned char key, int x, int y);
// Any special key redraws.
void special_pressed(int key, int x, int y);
// F1 goes full screen, F2 back to 1024 x 768; then a redraw.
void special_released(int key, int x, int y);
// On press and on release alike: the middle button sets the quantisation step to 1, wheel up
// (button 3) raises it by 1 and wheel down (button 4) lowers it by 1, never below 1. Nothing is
// redrawn: the new step shows at the next redisplay.
void mouse_button(int button, int state, int x, int y);

}  // namespace kvrn
