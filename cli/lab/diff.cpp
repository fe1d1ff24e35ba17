// kvrn diff: how far one picture is from another, in figures and as a map of where.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/formats/png.h"
#include "cli/lab/commands.h"
#include "cli/lab/input.h"
#include "cli/lab/name_lists.h"
#include "cli/lab/png_text.h"
#include "cli/output_file.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/error_map.h"
#include "lab/lab.h"

namespace kvrn::cli {
namespace {

constexpr const char* diff_usage =
    R"(Usage: kvrn diff [--metrics LIST] [--gain N] [--no-legend] [--threads N]
                 A B [MAP.png]
Compares the pictures A and B (pictures kvrn encode reads, or KVRN files, whose
decoded pictures are taken), which must have the same size, and prints
  psnr_rgb X  psnr_y X  ssim_y X  max_error N
PSNR in dB over the R, G and B samples and over luma ('inf' for no difference),
the mean SSIM of the luma planes ('nan' under 11 pixels on a side), and the
largest difference of any sample. With MAP.png, also writes a map of where:
black where the pictures agree, brighter where they differ more, with a colour
bar and its figures drawn below the picture (the PNG's Description text says
the same, and its "Colour bar" text gives the bar's figures).

--metrics chooses the figures, each printed as its name and its value, in the
order of the list below whatever the order asked, and max_error last:
  psnr_rgb, psnr_y   PSNR over R, G and B and over luma
                     (Y = 0.299 R + 0.587 G + 0.114 B, unrounded)
  ssim_y             mean SSIM of the luma planes: Gaussian window 11 x 11,
                     sigma 1.5, where the whole window fits
  ms_ssim_y          MS-SSIM of the luma planes: SSIM's window at five scales,
                     each 2 x 2 pixels of the one before averaged (an odd last
                     row or column with itself), weighted 0.0448, 0.2856,
                     0.3001, 0.2363, 0.1333; 'nan' under 161 pixels on a side
  butteraugli        libjxl's Butteraugli distance of B from A, its max norm,
                     as butteraugli_main A B prints it; 'nan' under 8 pixels
                     on a side
  butteraugli_3norm  the same distance's 3-norm

  --metrics LIST     the figures to print: names above, comma-separated, or
                     all (default psnr_rgb,psnr_y,ssim_y)
  --gain N           multiply the differences by N in the map (1..255, default 8)
  --no-legend        no colour bar: a map of the pictures' size, to lay over them
  --threads N        threads to use (1..1024; default: every online core)
)";

static_assert(metrics_accepted.ends_with(lab::metric_names), "it lists the lab's metrics");

constexpr std::array<option_entry, 4> diff_options = {{
    {"--metrics", 0, metrics_accepted},
    {"--gain", 0, "a whole number from 1 to 255"},
    {"--no-legend", 0, ""},
    {"--threads", 0, threads_accepted},
}};

class diff_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--gain") {
            const std::optional<std::int32_t> gain = parse_number(value, 1, 255);
            gain_ = gain.value_or(0);
            return gain.has_value();
        }
        if (name == "--metrics") {
            const std::optional<lab::metric_set> wanted = parse_metrics(value);
            metrics_ = wanted.value_or(0);
            return wanted.has_value();
        }
        if (name == "--no-legend") {
            legend_ = false;
            return true;
        }
        if (name == "--threads") {
            const std::optional<unsigned> threads = parse_threads(value);
            threads_ = threads.value_or(0);
            return threads.has_value();
        }
        return false;
    }
    bool check_operands(std::span<const char* const> operands) override {
        if (operands.size() < 3 || format_written_to(operands[2]) == &png_format) return true;
        complain(operands[2], "an error map is a PNG picture: name it .png");
        return false;
    }
    int run(std::span<const char* const> operands) override;

  private:
    std::int32_t gain_ = lab::default_error_gain;
    unsigned threads_ = 0;
    bool legend_ = true;
    lab::metric_set metrics_ = lab::classic_metrics;
};

// The error map of `a` and `b`, with its colour bar when `legend`; written to `path`.
bool write_error_map(const picture_view& a, const picture_view& b, int gain, bool legend,
                     const char* path) {
    const std::optional<lab::drawn_map> map = lab::draw_error_map(a, b, gain, legend);
    output_file out;
    return map && out.open(path) &&
           write_map_png(out, map->pixels.data(), map->width, map->height, map->description,
                         map->bar);
}

int diff_request::run(std::span<const char* const> operands) {
    if (operands.size() == 3 && !replaceable(operands[2])) return exit_failed;
    const unsigned threads = threads_ == 0 ? default_threads() : threads_;
    image a;
    image b;
    const int read_a = read_lab_picture(operands[0], max_pixels, a, threads);
    if (read_a == exit_failed) return exit_failed;
    const int read_b = read_lab_picture(operands[1], max_pixels, b, threads);
    if (read_b == exit_failed) return exit_failed;
    if (a.width != b.width || a.height != b.height) {
        complain("diff", "%s is %d x %d pixels and %s %d x %d: only pictures of one size compare",
                 operands[0], a.width, a.height, operands[1], b.width, b.height);
        return exit_failed;
    }
    const picture_view view_a{a.pixels.get(), a.width, a.height};
    const picture_view view_b{b.pixels.get(), b.width, b.height};
    if (operands.size() == 3) {
        if (!write_error_map(view_a, view_b, gain_, legend_, operands[2])) return exit_failed;
    }
    lab::distortion figures = *lab::measure(view_a, view_b, threads);
    std::string error;
    if (!lab::add_metrics(view_a, view_b, metrics_, threads, figures, error)) {
        complain("diff", "%s", error.c_str());
        return exit_failed;
    }
    // "name value" for each metric asked for, two spaces apart, in the table's order.
    std::string line;
    for (const lab::metric_entry& metric : lab::metric_table) {
        if ((metrics_ & lab::metric_bit(metric.id)) == 0) continue;
        line += metric.name;
        line += ' ';
        line += lab::decimals(lab::figure_of(figures, metric.id), metric.places);
        line += "  ";
    }
    std::printf("%smax_error %d\n", line.c_str(), figures.max_error);
    if (std::fflush(stdout) != 0) {
        complain("-", "write error on standard output");
        return exit_failed;
    }
    return std::max(read_a, read_b);
}

}  // namespace

const command_entry diff_entry =
    lab_entry(lab_command("diff"), diff_usage, 2, 3, diff_options, start_command<diff_request>);

}  // namespace kvrn::cli
