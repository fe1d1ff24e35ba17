// Rate-distortion plots: quality in dB against bits per pixel, one marked and labelled curve per
// codec, drawn with cairo into a PNG or an SVG file.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvrn::lab {

struct plot_series {
    std::string name;
    std::vector<std::pair<double, double>> points;  // (x, y), joined in this order
    // A short label for each point ("8"), drawn beside it where it does not crowd the labels
    // drawn before it; none, or one per point.
    std::vector<std::string> labels{};
    // The points drawn hollow, which plot_contents::marked_name names; none, or one flag per point.
    std::vector<bool> marked{};
};

// A vertical line across the plot at `x`, with `text` beside its top, one line per entry.
struct plot_x_line {
    double x = 0;
    std::vector<std::string> text;
};

struct plot_contents {
    std::string title;
    std::string x_label = "bits per pixel";
    std::string y_label = "PSNR (RGB), dB";
    std::vector<plot_series> series;
    std::vector<plot_x_line> x_lines;  // drawn dashed; the axis reaches them
    // The legend's entry for the hollow points; none when empty.
    std::string marked_name;
    // Lines of text under the legend: what the points' labels count.
    std::vector<std::string> notes;
    // Rates from a fraction of a bit to tens of bits per pixel spread out on a logarithmic axis;
    // a linear one starts at 0.
    bool log_x = false;
    int width = 960;  // pixels in a PNG, points in an SVG
    int height = 600;
};

// Draws `contents` as the bytes of a PNG or an SVG file, by the extension of `path` (either case),
// into `bytes`, for the caller to write. cairo draws an SVG's text as outlines: the title, the
// curves' names and what the lines and hollow points mean are also in the SVG's <title> and
// <desc>, and every piece of text drawn, labels included, in an invisible <text> element at its
// place, so that the words can be searched, selected and read out. Points with a coordinate that is
// not finite (the +infinity PSNR of identical pictures), or with x <= 0 on a logarithmic axis, are
// left out. False with the reason in `error` when the extension is neither or cairo fails.
bool render_plot(const plot_contents& contents, const std::string& path, std::string& bytes,
                 std::string& error);

// Frees the fonts and font configuration that cairo and fontconfig keep for the rest of the
// process once text has been drawn, so that a leak checker at exit finds nothing. Call it when
// no more plots will be drawn and no other thread draws text.
void release_plot_fonts();

}  // namespace kvrn::lab
