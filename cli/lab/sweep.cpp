// kvrn sweep: what each quantisation step costs and buys, next to JPEG: bytes, PSNR and SSIM for
// every step and quality, as a CSV table and as a rate-distortion plot.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/lab/commands.h"
#include "cli/lab/input.h"
#include "cli/output_file.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/lab.h"
#include "lab/plot.h"

namespace kvrn::cli {
namespace {

constexpr const char* sweep_usage =
    R"(Usage: kvrn sweep [--steps LIST] [--qualities LIST] [--tables] [--csv FILE]
                  [--plot FILE] [--threads N] PICTURE
Measures what quantisation costs: encodes PICTURE (a picture kvrn encode reads,
or a KVRN file, whose decoded picture is taken) as KVRN at every step, the same
files once more through zstd -19, and as baseline JPEG 4:4:4 and 4:2:0 at every
quality, and gives the bytes and the distortion of what comes back, as a CSV
table with the header line
  codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y
PSNR is in dB ('inf' for no difference); ssim_y is 'nan' for a picture under
11 pixels on a side. The plot labels each point with its step or quality, draws
the points whose AC coefficients were clipped hollow, and marks KVRN's floor of
1.125 bits per pixel. A KVRN file's picture was quantised already, at the scales
its header holds, so sweep warns that it measures a second quantisation (-q
silences the warning).

  --steps LIST       KVRN steps, comma-separated, 1..65535
                     (default 1,2,3,4,6,8,12,16,24,32,48,64)
  --qualities LIST   JPEG qualities, comma-separated, 1..100
                     (default 10,20,30,40,50,60,70,75,80,85,90,95)
  --tables           also rows kvrn-tables, beyond the format: each coefficient
                     divided by its entry of JPEG's example tables at each
                     quality (luma for Y, chroma for Cr and Cb), as JPEG
                     divides; the bytes are those KVRN's block coding spends on
                     the values, since a KVRN file cannot carry a table
  --csv FILE         write the table to FILE instead of standard output
  --plot FILE        draw PSNR against bits per pixel to FILE (.png or .svg)
  --threads N        threads to use (1..1024; default: every online core)
)";

constexpr std::array<option_entry, 6> sweep_options = {{
    {"--steps", 0, "whole numbers from 1 to 65535, separated by commas"},
    {"--qualities", 0, "whole numbers from 1 to 100, separated by commas"},
    {"--tables", 0, ""},
    {"--csv", 0, "a file name"},
    {"--plot", 0, "a file name ending in .png or .svg"},
    {"--threads", 0, threads_accepted},
}};

// "A,B,C": one or more whole numbers from `low` to `high`.
std::optional<std::vector<std::int32_t>> parse_list(std::string_view text, std::int32_t low,
                                                    std::int32_t high) {
    std::vector<std::int32_t> values;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::optional<std::int32_t> value = parse_number(text.substr(0, comma), low, high);
        if (!value) return std::nullopt;
        values.push_back(*value);
        if (comma == std::string_view::npos) return values;
        text.remove_prefix(comma + 1);
    }
}

// "[######    ] 12 of 36" on a terminal's standard error, redrawn as tasks finish.
class progress_bar {
  public:
    explicit progress_bar(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) != 0) {
        draw(0);
    }
    ~progress_bar() {
        if (shown_) (void)std::fputs("\r\033[K", stderr);
    }
    progress_bar(const progress_bar&) = delete;
    progress_bar& operator=(const progress_bar&) = delete;
    void finished_one() { draw(++done_); }

  private:
    void draw(std::size_t done) {
        if (!shown_) return;
        constexpr std::size_t width = 30;
        const std::lock_guard<std::mutex> lock(mutex_);
        std::string bar(width * done / total_, '#');
        bar.resize(width, ' ');
        (void)std::fprintf(stderr, "\rkvrn sweep: [%s] %zu of %zu", bar.c_str(), done, total_);
        (void)std::fflush(stderr);
    }

    std::size_t total_;
    bool shown_;
    std::atomic<std::size_t> done_{0};
    std::mutex mutex_;
};

bool write_table(const std::vector<lab::sweep_row>& rows, std::uint64_t pixels, const char* path) {
    output_file out;
    if (!out.open(path)) return false;
    (void)std::fputs("codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y\n", out.stream());
    for (const lab::sweep_row& row : rows) {
        const double bits = lab::bits_per_pixel(row, pixels);
        (void)std::fprintf(out.stream(), "%s,%d,%zu,%s,%s,%s,%s\n", row.codec, row.setting,
                           row.bytes, lab::decimals(bits, 4).c_str(),
                           lab::decimals(row.figures.psnr_rgb, 3).c_str(),
                           lab::decimals(row.figures.psnr_y, 3).c_str(),
                           lab::decimals(row.figures.ssim_y, 5).c_str());
    }
    return out.commit();
}

// Every coded block takes 3 bytes at the least, in each of the three channels: 9 bytes, 72 bits,
// for 64 pixels.
constexpr double kvrn_floor_bits = 72.0 / 64;

bool write_sweep_plot(const std::vector<lab::sweep_row>& rows, const image& picture,
                      const char* picture_path, const char* path) {
    lab::plot_contents contents;
    contents.title = file_name(picture_path) + ", " + std::to_string(picture.width) + " x " +
                     std::to_string(picture.height) + " pixels";
    // KVRN's rates reach some 25 bits per pixel, JPEG's start below one: only a logarithmic axis
    // keeps JPEG's curves apart.
    contents.log_x = true;
    const double pixels = static_cast<double>(picture.width) * picture.height;
    for (const lab::sweep_row& row : rows) {
        if (contents.series.empty() || contents.series.back().name != row.codec) {
            contents.series.push_back({row.codec, {}, {}, {}});
        }
        lab::plot_series& series = contents.series.back();
        series.points.emplace_back(static_cast<double>(row.bytes) * 8 / pixels,
                                   row.figures.psnr_rgb);
        series.labels.push_back(std::to_string(row.setting));
        series.marked.push_back(row.clipped);
    }
    contents.x_lines = {{kvrn_floor_bits,
                         {"KVRN's floor: 1.125 bits per pixel,", "3 bytes or more",
                          "for every 8x8 block", "of each channel"}}};
    contents.marked_name = "AC coefficients clipped";
    contents.notes = {"Numbers by the points:", "KVRN step, JPEG quality"};
    std::string bytes;
    std::string error;
    const bool drawn = lab::render_plot(contents, path, bytes, error);
    lab::release_plot_fonts();  // cairo's and fontconfig's caches, which would show as leaks
    if (!drawn) {
        complain(path, "cannot draw the plot: %s", error.c_str());
        return false;
    }
    output_file out;
    if (!out.open(path)) return false;
    (void)std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
    return out.commit();
}

// A KVRN file's picture went through quantisation once already: sweeping it measures a second
// quantisation on top of the first, which its own steps and their divisors barely change.
void warn_quantised_already(const char* path, const std::array<std::uint16_t, 3>& scales) {
    std::string at;
    if (scales[0] == scales[1] && scales[0] == scales[2]) {
        at = "at step " + std::to_string(scales[0]) + " in Y, Cr and Cb";
    } else {
        at = "at steps " + std::to_string(scales[0]) + " (Y), " + std::to_string(scales[1]) +
             " (Cr) and " + std::to_string(scales[2]) + " (Cb)";
    }
    warn(path,
         "its picture was quantised already, %s, as its header says: every step measured here "
         "quantises it a second time, and steps at, below or between those scales show mostly "
         "the first quantisation; sweep the original picture to measure a single quantisation (-q "
         "silences this warning)",
         at.c_str());
}

// Keeps a parsed value; false when there is none.
template <class T>
bool keep(std::optional<T> parsed, T& target) {
    if (parsed) target = std::move(*parsed);
    return parsed.has_value();
}

class sweep_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--steps") return keep(parse_list(value, 1, 65535), steps_);
        if (name == "--qualities") return keep(parse_list(value, 1, 100), qualities_);
        if (name == "--tables") {
            tables_ = true;
            return true;
        }
        if (name == "--threads") return keep(parse_threads(value), threads_);
        (name == "--csv" ? csv_ : plot_) = std::string(value);
        return !value.empty();
    }
    bool check_options() override {
        const std::size_t dot = plot_.rfind('.');
        std::string extension = dot == std::string::npos ? "" : plot_.substr(dot + 1);
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (plot_.empty() || extension == "png" || extension == "svg") return true;
        complain(plot_, "unknown plot type: name it .png or .svg");
        return false;
    }
    int run(std::span<const char* const> operands) override;

  private:
    std::vector<std::int32_t> steps_ = lab::sweep_settings{}.steps;
    std::vector<std::int32_t> qualities_ = lab::sweep_settings{}.qualities;
    bool tables_ = false;
    unsigned threads_ = 0;
    std::string csv_ = "-";
    std::string plot_;
};

int sweep_request::run(std::span<const char* const> operands) {
    if ((!plot_.empty() && !replaceable(plot_.c_str())) || !replaceable(csv_.c_str()))
        return exit_failed;
    const unsigned threads = threads_ == 0 ? default_threads() : threads_;
    image picture;
    bool kvrn_file = false;
    std::array<std::uint16_t, 3> scales{};
    const int read =
        read_lab_picture(operands[0], max_pixels, picture, threads, &kvrn_file, &scales);
    if (read == exit_failed) return read;
    if (kvrn_file) warn_quantised_already(operands[0], scales);
    const picture_view view{picture.pixels.get(), picture.width, picture.height};
    const lab::sweep_settings settings{steps_, qualities_, tables_};
    lab::sweep_result swept;
    {
        progress_bar progress(lab::sweep_measurements(settings));
        swept = lab::sweep(view, settings, threads, [&] { progress.finished_one(); });
    }
    if (!swept.error.empty()) {
        complain(operands[0], "%s", swept.error.c_str());
        return exit_failed;
    }
    const std::vector<lab::sweep_row>& rows = swept.rows;
    const std::uint64_t pixels = static_cast<std::uint64_t>(picture.width) * picture.height;
    if (!plot_.empty() && !write_sweep_plot(rows, picture, operands[0], plot_.c_str())) {
        return exit_failed;
    }
    if (!write_table(rows, pixels, csv_.c_str())) return exit_failed;
    return read;
}

}  // namespace

const command_entry sweep_entry =
    lab_entry(lab_command("sweep"), sweep_usage, 1, 1, sweep_options, start_command<sweep_request>);

}  // namespace kvrn::cli
