// Loading a KVRN file into the viewer's picture, with the console dialogue that goes with it.
#pragma once

namespace kvrn {

// Decodes the file `file_name` into image_group, which must be set and hold no picture yet. Prints
// the header, one line for every block the stream ends before or inside, and "File loaded!".
// Returns only on success: when the file cannot be opened, is shorter than a header, has the
// wrong magic number or its picture cannot be allocated, it prints why (without a line end),
// reads two characters from standard input so that the console waits for Enter, and ends the
// process with exit status -1.
void load_image(const char* file_name);

}  // namespace kvrn
