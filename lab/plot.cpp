#include "lab/plot.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace kvrn::lab {
namespace {

struct colour {
    double r, g, b;
};

// Okabe and Ito's palette for readers with any kind of colour vision, darkest first.
constexpr std::array<colour, 7> palette{{{0.000, 0.447, 0.698},
                                         {0.835, 0.369, 0.000},
                                         {0.000, 0.620, 0.451},
                                         {0.800, 0.475, 0.655},
                                         {0.902, 0.624, 0.000},
                                         {0.337, 0.706, 0.914},
                                         {0.000, 0.000, 0.000}}};

enum class marker { circle, square, triangle_up, diamond, triangle_down, cross, plus };
constexpr std::array<marker, 7> markers{marker::circle,  marker::square,        marker::triangle_up,
                                        marker::diamond, marker::triangle_down, marker::cross,
                                        marker::plus};

constexpr const char* font = "DejaVu Sans";

// The look of the i-th series: past the palette's seven colours, each colour comes back with the
// next marker and a dashed line, so that no two of fourteen curves look alike.
const colour& colour_of(std::size_t i) {
    return palette[i % palette.size()];
}
marker marker_of(std::size_t i) {
    return markers[(i + i / markers.size()) % markers.size()];
}
bool dashed(std::size_t i) {
    return i / markers.size() % 2 == 1;
}

std::string number(double value, int decimals);

// An axis from `lo` to `hi` with its ticks and their labels, linear or logarithmic.
struct axis {
    double lo = 0;
    double hi = 1;
    bool logarithmic = false;
    std::vector<double> ticks;
    std::vector<std::string> labels;
    // Where `value` lies along the axis, 0 at `lo` and 1 at `hi`.
    double fraction(double value) const {
        if (logarithmic) return std::log(value / lo) / std::log(hi / lo);
        return (value - lo) / (hi - lo);
    }
};

// Decimals enough to show `step`'s last significant digit.
int decimals_for(double step) {
    return std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
}

// A linear axis over lo..hi with a tick every step, a nice number: 1, 2 or 5 times a power of
// ten, chosen so that there are about `ticks` of them; the ends are ticks.
axis linear_axis(double lo, double hi, int ticks) {
    if (!(hi > lo)) {
        const double pad = std::max(1.0, std::abs(lo) * 0.1);
        lo -= pad;
        hi += pad;
    }
    const double raw = (hi - lo) / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    const double step = magnitude * (fraction <= 1   ? 1
                                     : fraction <= 2 ? 2
                                     : fraction <= 5 ? 5
                                                     : 10);
    // A little slack, so that a point on a multiple of the step does not get a step of empty
    // plot beyond it.
    const double first = std::floor(lo / step + 1e-9);
    const double last = std::ceil(hi / step - 1e-9);
    axis a;
    a.lo = first * step;
    a.hi = last * step;
    const auto count = static_cast<int>(std::lround(last - first));
    for (int i = 0; i <= count; ++i) {
        a.ticks.push_back((first + i) * step);
        a.labels.push_back(number((first + i) * step, decimals_for(step)));
    }
    return a;
}

// A logarithmic axis over lo..hi (both positive) with ticks at 1, 2 and 5 times the powers of
// ten; the ends are the ticks just outside the range.
axis log_axis(double lo, double hi) {
    if (!(hi > lo)) {
        lo /= 2;
        hi *= 2;
    }
    std::vector<double> nice;
    const int first = static_cast<int>(std::floor(std::log10(lo)));
    const int last = static_cast<int>(std::floor(std::log10(hi))) + 1;
    for (int power = first; power <= last; ++power)
        for (const double mantissa : {1.0, 2.0, 5.0})
            nice.push_back(mantissa * std::pow(10.0, power));
    axis a;
    a.logarithmic = true;
    a.lo =
        *std::find_if(nice.rbegin(), nice.rend(), [&](double v) { return v <= lo * (1 + 1e-9); });
    a.hi = *std::find_if(nice.begin(), nice.end(), [&](double v) { return v >= hi * (1 - 1e-9); });
    for (const double value : nice)
        if (value >= a.lo && value <= a.hi) {
            a.ticks.push_back(value);
            a.labels.push_back(number(value, decimals_for(value)));
        }
    return a;
}

bool shown(const std::pair<double, double>& p, bool log_x) {
    return std::isfinite(p.first) && std::isfinite(p.second) && (!log_x || p.first > 0);
}

std::string number(double value, int decimals) {
    char text[64];
    (void)std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    return s == "-0" ? "0" : s;
}

struct text_size {
    double width;
    double height;
};

// A piece of text as drawn: its baseline's left end and its angle on the page, its size.
struct placed_text {
    double x, y, degrees, size;
    std::string text;
};

// The list that show() adds each piece of text it draws to, kept on the context.
const cairo_user_data_key_t texts_key{};

text_size measure(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return {extents.x_advance, extents.height};
}

// Draws `text` with its reference point at (x, y), aligned by `ax` (0 left, 0.5 centre, 1 right)
// and with its middle on y when `middle`, else its baseline.
void show(cairo_t* cr, const std::string& text, double x, double y, double ax, bool middle) {
    cairo_font_extents_t font_extents;
    cairo_font_extents(cr, &font_extents);
    const text_size size = measure(cr, text);
    const double baseline = middle ? y + (font_extents.ascent - font_extents.descent) / 2 : y;
    cairo_move_to(cr, x - ax * size.width, baseline);
    cairo_show_text(cr, text.c_str());
    auto* texts = static_cast<std::vector<placed_text>*>(cairo_get_user_data(cr, &texts_key));
    if (texts == nullptr || text.empty()) return;
    double page_x = x - ax * size.width;
    double page_y = baseline;
    cairo_user_to_device(cr, &page_x, &page_y);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_matrix_t font_matrix;
    cairo_get_font_matrix(cr, &font_matrix);
    texts->push_back(
        {page_x, page_y, std::atan2(m.yx, m.xx) * 180 / M_PI, std::abs(font_matrix.xx), text});
}

// A straight line from (x0, y0) to (x1, y1) in the grey `level` (0 black, 1 white).
void stroke_line(cairo_t* cr, double level, double x0, double y0, double x1, double y1) {
    cairo_set_source_rgb(cr, level, level, level);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

void set_font(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, font, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

// The outline of a marker that has an inside, around (x, y), as the current path.
void trace_shape(cairo_t* cr, marker kind, double x, double y, double r) {
    switch (kind) {
        case marker::circle:
            cairo_arc(cr, x, y, r, 0, 2 * M_PI);
            break;
        case marker::square:
            cairo_rectangle(cr, x - 0.85 * r, y - 0.85 * r, 1.7 * r, 1.7 * r);
            break;
        case marker::diamond:
            cairo_move_to(cr, x, y - 1.25 * r);
            cairo_line_to(cr, x + r, y);
            cairo_line_to(cr, x, y + 1.25 * r);
            cairo_line_to(cr, x - r, y);
            cairo_close_path(cr);
            break;
        case marker::triangle_up:
        case marker::triangle_down: {
            const double s = kind == marker::triangle_up ? 1 : -1;
            cairo_move_to(cr, x, y - s * 1.2 * r);
            cairo_line_to(cr, x + 1.1 * r, y + s * 0.8 * r);
            cairo_line_to(cr, x - 1.1 * r, y + s * 0.8 * r);
            cairo_close_path(cr);
            break;
        }
        case marker::cross:
        case marker::plus:  // strokes, no outline: draw_strokes
            break;
    }
}

// A cross or a plus at (x, y), its two strokes in the colour `c`.
void draw_strokes(cairo_t* cr, marker kind, double x, double y, double r, const colour& c,
                  bool hollow) {
    const double d = kind == marker::cross ? 0.9 * r : 1.2 * r;
    const double dx = kind == marker::cross ? d : 0;
    cairo_move_to(cr, x - d, y - dx);
    cairo_line_to(cr, x + d, y + dx);
    cairo_move_to(cr, x - dx, y + d);
    cairo_line_to(cr, x + dx, y - d);
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, hollow ? 1.2 : 2.5);
    cairo_stroke(cr);
    if (hollow) {  // a cross has no inside to leave empty: a ring around it instead
        cairo_arc(cr, x, y, 1.6 * r, 0, 2 * M_PI);
        cairo_stroke(cr);
    }
}

// Fills the current path in the colour `c` with a white rim that keeps neighbouring markers
// apart, or when `hollow` white inside a thick rim of `c`.
void paint_shape(cairo_t* cr, const colour& c, bool hollow) {
    if (hollow) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, 2.2);
        cairo_stroke(cr);
        return;
    }
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
}

void draw_marker(cairo_t* cr, marker kind, double x, double y, const colour& c,
                 bool hollow = false) {
    constexpr double r = 5;
    cairo_new_path(cr);
    if (kind == marker::cross || kind == marker::plus) {
        draw_strokes(cr, kind, x, y, r, c, hollow);
        return;
    }
    trace_shape(cr, kind, x, y, r);
    paint_shape(cr, c, hollow);
}

// The width of the legend's column on the right: as wide as its longest name or note.
double legend_width(cairo_t* cr, const plot_contents& contents) {
    set_font(cr, 14, false);
    double legend_text = 0;
    for (const plot_series& s : contents.series)
        legend_text = std::max(legend_text, measure(cr, s.name).width);
    legend_text = std::max(legend_text, measure(cr, contents.marked_name).width);
    set_font(cr, 12, false);
    for (const std::string& note : contents.notes)
        legend_text = std::max(legend_text, measure(cr, note).width - 46);
    return std::min(contents.width / 3.0, 48 + legend_text + 16);
}

// The values the axes must reach.
struct extent {
    double x_min = std::numeric_limits<double>::infinity();
    double x_max = -std::numeric_limits<double>::infinity();
    double y_min = std::numeric_limits<double>::infinity();
    double y_max = -std::numeric_limits<double>::infinity();
};

// The points shown and the vertical lines; with no point to show, an empty frame of a usual
// range.
extent shown_extent(const plot_contents& contents) {
    extent e;
    for (const plot_series& s : contents.series)
        for (const auto& p : s.points)
            if (shown(p, contents.log_x)) {
                e.x_min = std::min(e.x_min, p.first);
                e.x_max = std::max(e.x_max, p.first);
                e.y_min = std::min(e.y_min, p.second);
                e.y_max = std::max(e.y_max, p.second);
            }
    if (!std::isfinite(e.x_min)) e = {contents.log_x ? 0.1 : 0, 8, 20, 50};
    for (const plot_x_line& line : contents.x_lines)
        if (shown({line.x, 0}, contents.log_x)) {
            e.x_min = std::min(e.x_min, line.x);
            e.x_max = std::max(e.x_max, line.x);
        }
    return e;
}

// The plot's frame on the page and the axes along its bottom and left sides.
struct frame {
    double left = 84;  // room for the y axis's name and its ticks' labels
    double top = 64;   // room for the title
    double right = 0;
    double bottom = 0;
    axis x;
    axis y;
    double px(double value) const { return left + x.fraction(value) * (right - left); }
    double py(double value) const { return bottom - y.fraction(value) * (bottom - top); }
};

// The frame between the title, the x axis's labels and the legend, with axes that reach every
// point and line shown.
frame frame_for(cairo_t* cr, const plot_contents& contents) {
    frame f;
    f.right = contents.width - legend_width(cr, contents) - 24;
    f.bottom = contents.height - 72;
    const extent e = shown_extent(contents);
    // A linear rate axis starts at zero, so that the eye reads ratios off it.
    f.x = contents.log_x ? log_axis(e.x_min, e.x_max)
                         : linear_axis(std::min(0.0, e.x_min), e.x_max, 10);
    f.y = linear_axis(e.y_min, e.y_max, 8);
    return f;
}

constexpr double grid_grey = 0.88;
constexpr double tick_grey = 0.2;

// The grid lines across the frame at the ticks, the ticks outside it and their labels.
void draw_ticks(cairo_t* cr, const frame& f) {
    set_font(cr, 13, false);
    cairo_set_line_width(cr, 1);
    for (std::size_t i = 0; i < f.x.ticks.size(); ++i) {
        const double x = std::round(f.px(f.x.ticks[i])) + 0.5;
        stroke_line(cr, grid_grey, x, f.top, x, f.bottom);
        stroke_line(cr, tick_grey, x, f.bottom, x, f.bottom + 6);
        show(cr, f.x.labels[i], x, f.bottom + 22, 0.5, false);
    }
    for (std::size_t i = 0; i < f.y.ticks.size(); ++i) {
        const double y = std::round(f.py(f.y.ticks[i])) + 0.5;
        stroke_line(cr, grid_grey, f.left, y, f.right, y);
        stroke_line(cr, tick_grey, f.left - 6, y, f.left, y);
        show(cr, f.y.labels[i], f.left - 10, y, 1, true);
    }
}

// The frame's outline, on whole pixels.
void draw_border(cairo_t* cr, const frame& f) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_rectangle(cr, std::round(f.left) + 0.5, std::round(f.top) + 0.5,
                    std::round(f.right - f.left), std::round(f.bottom - f.top));
    cairo_stroke(cr);
}

// The axes' labels, the y axis's turned to read upwards, and the title above the frame.
void draw_titles(cairo_t* cr, const plot_contents& contents, const frame& f) {
    set_font(cr, 15, false);
    cairo_set_source_rgb(cr, 0, 0, 0);
    show(cr, contents.x_label, (f.left + f.right) / 2, contents.height - 24, 0.5, false);
    cairo_save(cr);
    cairo_translate(cr, 26, (f.top + f.bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    show(cr, contents.y_label, 0, 0, 0.5, true);
    cairo_restore(cr);
    set_font(cr, 18, true);
    show(cr, contents.title, contents.width / 2.0, 38, 0.5, false);
}

// Each series' line through its points, clipped to the frame.
void draw_curves(cairo_t* cr, const plot_contents& contents, const frame& f) {
    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const std::array<double, 2> dashes{7, 4};
    for (std::size_t i = 0; i < contents.series.size(); ++i) {
        const colour& c = colour_of(i);
        cairo_new_path(cr);
        for (const auto& p : contents.series[i].points)
            if (shown(p, contents.log_x)) cairo_line_to(cr, f.px(p.first), f.py(p.second));
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, 2);
        cairo_set_dash(cr, dashes.data(), dashed(i) ? dashes.size() : 0, 0);
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_restore(cr);
}

// A rectangle on the page that text must keep clear of.
struct box {
    double x0, y0, x1, y1;
};

// Where the markers lie: the first things the labels must keep clear of.
std::vector<box> marker_boxes(const plot_contents& contents, const frame& f) {
    std::vector<box> taken;
    for (const plot_series& s : contents.series)
        for (const auto& p : s.points)
            if (shown(p, contents.log_x))
                taken.push_back(
                    {f.px(p.first) - 6, f.py(p.second) - 6, f.px(p.first) + 6, f.py(p.second) + 6});
    return taken;
}

// Whether `b` comes within `dx` across and `dy` down of anything taken.
bool crowds(const box& b, const std::vector<box>& taken, double dx = 0, double dy = 0) {
    return std::any_of(taken.begin(), taken.end(), [&](const box& o) {
        return b.x0 < o.x1 + dx && o.x0 < b.x1 + dx && b.y0 < o.y1 + dy && o.y0 < b.y1 + dy;
    });
}

// A vertical line at page x `x` from the frame's top to its bottom, dashed.
void stroke_dashed(cairo_t* cr, double x, const frame& f) {
    const std::array<double, 2> dashes{6, 4};
    cairo_set_dash(cr, dashes.data(), dashes.size(), 0);
    cairo_set_line_width(cr, 1.5);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    cairo_move_to(cr, x, f.top);
    cairo_line_to(cr, x, f.bottom);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

// The box for a vertical line's text at page x `x`: the first corner beside the line that stays
// in the frame and covers nothing taken, bottom left, top left, top right, bottom right; the
// first if every one does. The bottom left comes first because there rates below a line meet low
// qualities, and the plot is mostly empty.
box line_text_box(cairo_t* cr, const plot_x_line& line, double x, const frame& f,
                  const std::vector<box>& taken) {
    double text_width = 0;
    for (const std::string& text : line.text)
        text_width = std::max(text_width, measure(cr, text).width);
    const double w = text_width + 8;
    const double h = 15 * static_cast<double>(line.text.size()) + 6;
    const std::array<box, 4> corners{{{x - 2 - w, f.bottom - 4 - h, x - 2, f.bottom - 4},
                                      {x - 2 - w, f.top + 4, x - 2, f.top + 4 + h},
                                      {x + 2, f.top + 4, x + 2 + w, f.top + 4 + h},
                                      {x + 2, f.bottom - 4 - h, x + 2 + w, f.bottom - 4}}};
    const auto* const clear = std::find_if(corners.begin(), corners.end(), [&](const box& b) {
        return b.x0 >= f.left && b.x1 <= f.right && !crowds(b, taken);
    });
    return clear == corners.end() ? corners[0] : *clear;
}

// A vertical line's text in `back`, on white to read over a curve, aligned to the line's side.
void draw_line_text(cairo_t* cr, const plot_x_line& line, double x, const box& back) {
    cairo_rectangle(cr, back.x0, back.y0, back.x1 - back.x0, back.y1 - back.y0);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    const bool on_left = back.x1 <= x;
    for (std::size_t l = 0; l < line.text.size(); ++l)
        show(cr, line.text[l], on_left ? back.x1 - 4 : back.x0 + 4,
             back.y0 + 15 + 15.0 * static_cast<double>(l), on_left ? 1 : 0, false);
}

// The vertical lines, dashed, each with its text beside it, which the labels then keep clear of.
void draw_x_lines(cairo_t* cr, const plot_contents& contents, const frame& f,
                  std::vector<box>& taken) {
    set_font(cr, 12, false);
    for (const plot_x_line& line : contents.x_lines) {
        if (!shown({line.x, 0}, contents.log_x)) continue;
        const double x = std::round(f.px(line.x)) + 0.5;
        stroke_dashed(cr, x, f);
        const box back = line_text_box(cr, line, x, f, taken);
        taken.push_back(back);
        draw_line_text(cr, line, x, back);
    }
}

// Each series' points, on top of every line.
void draw_points(cairo_t* cr, const plot_contents& contents, const frame& f) {
    for (std::size_t i = 0; i < contents.series.size(); ++i) {
        const plot_series& s = contents.series[i];
        for (std::size_t k = 0; k < s.points.size(); ++k)
            if (shown(s.points[k], contents.log_x))
                draw_marker(cr, marker_of(i), f.px(s.points[k].first), f.py(s.points[k].second),
                            colour_of(i), k < s.marked.size() && s.marked[k]);
    }
}

// The label `text` of the point at page (x, y) beside it: above, below, right or left, whichever
// is first to stay in the frame and clear what is taken, by a little more than touching; none
// where all four crowd.
void draw_point_label(cairo_t* cr, const std::string& text, double x, double y, const colour& c,
                      const frame& f, std::vector<box>& taken) {
    const double w = measure(cr, text).width;
    constexpr double h = 9;    // the digits' height at this size
    constexpr double gap = 8;  // from the point's centre, clear of its marker
    const std::array<box, 4> places{{{x - w / 2, y - gap - h, x + w / 2, y - gap},
                                     {x - w / 2, y + gap, x + w / 2, y + gap + h},
                                     {x + gap, y - h / 2, x + gap + w, y + h / 2},
                                     {x - gap - w, y - h / 2, x - gap, y + h / 2}}};
    for (const box& b : places) {
        const bool inside = b.x0 >= f.left && b.x1 <= f.right && b.y0 >= f.top && b.y1 <= f.bottom;
        const bool clear = !crowds(b, taken, 2, 1);
        if (!inside || !clear) continue;
        taken.push_back(b);
        cairo_set_source_rgb(cr, 0.6 * c.r, 0.6 * c.g, 0.6 * c.b);
        show(cr, text, b.x0, b.y1, 0, false);
        return;
    }
}

// Each point's label, in a darker shade of its series' colour; in a dense run of points the
// crowding leaves every other one unlabelled.
void draw_point_labels(cairo_t* cr, const plot_contents& contents, const frame& f,
                       std::vector<box>& taken) {
    set_font(cr, 10, false);
    for (std::size_t i = 0; i < contents.series.size(); ++i) {
        const plot_series& s = contents.series[i];
        for (std::size_t k = 0; k < s.points.size() && k < s.labels.size(); ++k) {
            if (!shown(s.points[k], contents.log_x) || s.labels[k].empty()) continue;
            draw_point_label(cr, s.labels[k], f.px(s.points[k].first), f.py(s.points[k].second),
                             colour_of(i), f, taken);
        }
    }
}

// The legend beside the frame: a sample of each curve with its marker and its name, then the
// hollow point's entry, then the notes.
void draw_legend(cairo_t* cr, const plot_contents& contents, const frame& f) {
    set_font(cr, 14, false);
    const double legend_left = f.right + 20;
    for (std::size_t i = 0; i < contents.series.size(); ++i) {
        const colour& c = colour_of(i);
        const double y = f.top + 14 + 26.0 * static_cast<double>(i);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, 2);
        const std::array<double, 2> dashes{7, 4};
        cairo_set_dash(cr, dashes.data(), dashed(i) ? dashes.size() : 0, 0);
        cairo_move_to(cr, legend_left, y);
        cairo_line_to(cr, legend_left + 36, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        draw_marker(cr, marker_of(i), legend_left + 18, y, c);
        cairo_set_source_rgb(cr, 0, 0, 0);
        show(cr, contents.series[i].name, legend_left + 46, y, 0, true);
    }
    double below = f.top + 14 + 26.0 * static_cast<double>(contents.series.size());
    if (!contents.marked_name.empty()) {
        draw_marker(cr, marker::circle, legend_left + 18, below, {0.3, 0.3, 0.3}, true);
        cairo_set_source_rgb(cr, 0, 0, 0);
        show(cr, contents.marked_name, legend_left + 46, below, 0, true);
        below += 26;
    }
    set_font(cr, 12, false);
    for (const std::string& note : contents.notes) {
        show(cr, note, legend_left, below + 4, 0, true);
        below += 17;
    }
}

void draw(cairo_t* cr, const plot_contents& contents) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const frame f = frame_for(cr, contents);
    draw_ticks(cr, f);
    draw_border(cr, f);
    draw_titles(cr, contents, f);
    draw_curves(cr, contents, f);
    std::vector<box> taken = marker_boxes(contents, f);
    draw_x_lines(cr, contents, f, taken);
    draw_points(cr, contents, f);
    draw_point_labels(cr, contents, f, taken);
    draw_legend(cr, contents, f);
}

std::string lower_extension(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return {};
    std::string extension = path.substr(dot + 1);
    for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return extension;
}

std::string xml_escaped(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += ch;
        }
    }
    return out;
}

cairo_status_t append_to_string(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct surface_free {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct context_free {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using surface_ptr = std::unique_ptr<cairo_surface_t, surface_free>;

// Draws on `surface`, listing the text drawn in `texts` when given, and reports cairo's first
// error, if any.
bool draw_on(cairo_surface_t* surface, const plot_contents& contents, std::string& error,
             std::vector<placed_text>* texts = nullptr) {
    const std::unique_ptr<cairo_t, context_free> cr(cairo_create(surface));
    if (texts != nullptr) (void)cairo_set_user_data(cr.get(), &texts_key, texts, nullptr);
    draw(cr.get(), contents);
    const cairo_status_t status = cairo_status(cr.get());
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

// The SVG file that cairo writes of `contents`, into `svg`, with the text drawn in `texts`.
bool draw_svg(const plot_contents& contents, std::string& svg, std::vector<placed_text>& texts,
              std::string& error) {
    const surface_ptr surface(cairo_svg_surface_create_for_stream(append_to_string, &svg,
                                                                  contents.width, contents.height));
    if (!draw_on(surface.get(), contents, error, &texts)) return false;
    cairo_surface_finish(surface.get());
    const cairo_status_t status = cairo_surface_status(surface.get());
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

// The plot in words, for the SVG's <desc>: what it plots, its curves' names, what the hollow
// points, the lines and the notes say.
std::string description(const plot_contents& contents) {
    std::string names;
    for (const plot_series& s : contents.series) names += (names.empty() ? "" : ", ") + s.name;
    std::string desc = contents.y_label + " against " + contents.x_label + ": " + names;
    if (!contents.marked_name.empty()) desc += "; hollow points: " + contents.marked_name;
    for (const plot_x_line& line : contents.x_lines) {
        desc += ";";
        for (const std::string& text : line.text) desc += " " + text;
    }
    for (const std::string& note : contents.notes) desc += "; " + note;
    return desc;
}

// One piece of text drawn as an SVG <text> element at its place and angle.
std::string text_element(const placed_text& t) {
    const std::string x = number(t.x, 2);
    const std::string y = number(t.y, 2);
    std::string element = "<text x=\"" + x + "\" y=\"" + y + "\" font-size=\"" + number(t.size, 1);
    element += '"';
    if (std::abs(t.degrees) > 0.01)
        element += " transform=\"rotate(" + number(t.degrees, 1) + " " + x + " " + y + ")\"";
    element += '>';
    element += xml_escaped(t.text);
    return element + "</text>";
}

// The text drawn, again over its outlines, in words and unseen: an SVG group of <text>
// elements, one a line.
std::string text_layer(const std::vector<placed_text>& texts) {
    std::string layer = R"(<g fill-opacity="0" font-family=")";
    layer += font;
    layer += "\">";
    for (const placed_text& t : texts) {
        layer += '\n';
        layer += text_element(t);
    }
    return layer + "\n</g>";
}

bool render_svg(const plot_contents& contents, std::string& svg, std::string& error) {
    std::vector<placed_text> texts;
    if (!draw_svg(contents, svg, texts, error)) return false;
    // cairo draws the text as glyph outlines; a title and description in words make the file
    // searchable and readable to screen readers.
    const std::size_t root = svg.find("<svg");
    const std::size_t after = root == std::string::npos ? root : svg.find('>', root);
    if (after == std::string::npos) {
        error = "cairo wrote no SVG element";
        return false;
    }
    svg.insert(after + 1, "\n<title>" + xml_escaped(contents.title) + "</title>\n<desc>" +
                              xml_escaped(description(contents)) + "</desc>");
    const std::size_t end = svg.rfind("</svg>");
    if (end == std::string::npos) {
        error = "cairo did not close the SVG element";
        return false;
    }
    svg.insert(end, text_layer(texts) + "\n");
    return true;
}

}  // namespace

bool render_plot(const plot_contents& contents, const std::string& path, std::string& bytes,
                 std::string& error) {
    bytes.clear();
    if (contents.width < 200 || contents.height < 150) {
        error = "a plot is at least 200 x 150";
        return false;
    }
    const std::string extension = lower_extension(path);
    if (extension == "svg") return render_svg(contents, bytes, error);
    if (extension != "png") {
        error = "a plot is a .png or a .svg file";
        return false;
    }
    const surface_ptr surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, contents.width, contents.height));
    if (!draw_on(surface.get(), contents, error)) return false;
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(surface.get(), append_to_string, &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

void release_plot_fonts() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace kvrn::lab
