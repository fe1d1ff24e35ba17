// The viewer's one window: its creation, the frame loop's display and reshape callbacks, and the
// status text.
#pragma once

#include <array>

namespace kvrn {

inline constexpr int window_width = 1024;
inline constexpr int window_height = 768;

// Drawn by every frame at the status position; written by the anti-aliasing toggle. The texts
// it takes ("AA = 0\n") need eight bytes with the terminator.
extern std::array<char, 16> status_text;

// Creates the 1024 x 768 double-buffered window at (0, 0), registers every callback and sets the
// clear colour, the initial colour and a projection of one unit per pixel, origin bottom-left.
void init_window();

// Clears the window, draws every item of display_list and the status text, and swaps buffers.
void display();

// Keeps one unit per window pixel with the origin at the bottom-left corner, so the picture
// neither stretches nor moves when the window is resized.
void reshape(int width, int height);

// Brings the window back to 1024 x 768, out of full screen if it is there.
void restore_window();

// Draws status_text with its raster position at (x, y).
void draw_status_text(float x, float y);

}  // namespace kvrn
