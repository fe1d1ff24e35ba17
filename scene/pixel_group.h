// The image object: one decoded picture, drawn as one OpenGL point per pixel.
#pragma once

#include <cstdint>
#include <cstdio>

#include "codec/coef_block.h"
#include "codec/picture.h"
#include "scene/item.h"

namespace kvrn {

class pixel_group : public item {
  public:
    pixel_group() = default;
    ~pixel_group() override;
    pixel_group(const pixel_group&) = delete;
    pixel_group& operator=(const pixel_group&) = delete;
    pixel_group(pixel_group&&) = delete;
    pixel_group& operator=(pixel_group&&) = delete;

    // Writes "todo\n": the picture object's documented answer to print, kept as the viewer has it.
    void print() override;
    // Nothing at all while `pixels` is null. Otherwise one glBegin(GL_POINTS)/glEnd pair around
    // the picture: the stored bytes as they are (`preview` 0), or every whole 8x8 block through
    // quantisation by quant_step and back (any other `preview`). Buffer row 0 is drawn lowest.
    void draw() override;

    picture_view picture() const { return {pixels, width, height}; }
    channel_enables enables() const { return {use_y, use_cr, use_cb}; }

    float x = 0.0F;                  // added to the x coordinate of every point
    float y = 0.0F;                  // added to the y coordinate of every point
    std::uint8_t* pixels = nullptr;  // width * height * 3 bytes, owned, released with free
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t preview = 1;
    std::int32_t use_y = 1;
    std::int32_t use_cr = 1;
    std::int32_t use_cb = 1;
    std::FILE* out = nullptr;  // not owned; when set, the preview writes its coded blocks here
};

// The one picture of the viewer, set by main before the file is loaded.
extern pixel_group* image_group;

}  // namespace kvrn
