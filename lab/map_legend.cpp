#include "lab/map_legend.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "codec/picture.h"
#include "lab/colour_ramp.h"

namespace kvrn::lab {
namespace {

constexpr const char* font = "DejaVu Sans";

struct surface_free {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct context_free {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

// Draws `text` with its baseline at y, its left end, centre or right end (`align` 0, 0.5, 1) at
// x, and kept inside 0..width.
void show(cairo_t* cr, const std::string& text, double x, double y, double align, double width) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double left =
        std::clamp(x - align * extents.x_advance, 2.0, width - 2 - extents.x_advance);
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
}

// The strip's text on white, drawn top row first into an RGB24 surface of `width` x
// legend_height; the bar is painted over it afterwards, pixel by pixel.
std::vector<std::uint32_t> strip_text(std::int32_t width, const map_scale& scale) {
    const std::unique_ptr<cairo_surface_t, surface_free> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, legend_height));
    {
        const std::unique_ptr<cairo_t, context_free> cr(cairo_create(surface.get()));
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_set_source_rgb(cr.get(), 0, 0, 0);
        cairo_select_font_face(cr.get(), font, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr.get(), 12);
        const double bar_right = width - legend_bar_left - 1;
        const double figures = legend_bar_top + legend_bar_rows + 15;
        // The end figures flush with the bar's ends, the middle one centred where it lies.
        const std::array<legend_tick, 3> ticks = legend_ticks(scale);
        show(cr.get(), ticks[0].text, legend_bar_left, figures, 0, width);
        show(cr.get(), ticks[1].text,
             legend_bar_left + ticks[1].along * (bar_right - legend_bar_left), figures, 0.5, width);
        show(cr.get(), ticks[2].text, bar_right + 1, figures, 1, width);
        show(cr.get(), scale.caption, width / 2.0, figures + 18, 0.5, width);
    }
    cairo_surface_flush(surface.get());
    std::vector<std::uint32_t> text(static_cast<std::size_t>(width) * legend_height);
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (std::int32_t y = 0; y < legend_height; ++y)
        std::memcpy(text.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                    data + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(width) * 4);
    return text;
}

}  // namespace

map_with_legend add_map_legend(const std::vector<std::uint8_t>& pixels, std::int32_t width,
                               std::int32_t height, const map_scale& scale) {
    map_with_legend map;
    map.width = std::max(width, legend_least_width);
    map.height = height + legend_height;
    map.pixels.assign(pixel_offset(map.width, map.height, 0), 255);
    // The picture above the strip: rows legend_height and up, row 0 being the bottom one.
    for (std::int32_t y = 0; y < height; ++y)
        std::memcpy(map.pixels.data() + pixel_offset(map.width, legend_height + y, 0),
                    pixels.data() + pixel_offset(width, y, 0), 3 * static_cast<std::size_t>(width));
    const std::vector<std::uint32_t> text = strip_text(map.width, scale);
    const std::int32_t bar_right = map.width - legend_bar_left - 1;
    for (std::int32_t row = 0; row < legend_height; ++row) {  // row 0 the strip's top row
        std::uint8_t* out = map.pixels.data() + pixel_offset(map.width, legend_height - 1 - row, 0);
        const bool bar_row = row >= legend_bar_top && row < legend_bar_top + legend_bar_rows;
        for (std::int32_t x = 0; x < map.width; ++x, out += 3) {
            if (bar_row && x >= legend_bar_left && x <= bar_right) {
                const rgb8 c = ramp_colour(static_cast<double>(x - legend_bar_left) /
                                           (bar_right - legend_bar_left));
                out[0] = c.r;
                out[1] = c.g;
                out[2] = c.b;
                continue;
            }
            const std::uint32_t p =
                text[static_cast<std::size_t>(row) * static_cast<std::size_t>(map.width) +
                     static_cast<std::size_t>(x)];
            out[0] = static_cast<std::uint8_t>(p >> 16);
            out[1] = static_cast<std::uint8_t>(p >> 8);
            out[2] = static_cast<std::uint8_t>(p);
        }
    }
    return map;
}

}  // namespace kvrn::lab
