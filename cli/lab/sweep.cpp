// kvrn sweep: what each quantisation step costs and buys, next to JPEG: bytes, PSNR and SSIM for
// every step and quality, as a CSV table and as a rate-distortion plot.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <charconv>
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
#include "cli/lab/name_lists.h"
#include "cli/output_file.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/lab.h"
#include "lab/plot.h"

namespace kvrn::cli {
namespace {

constexpr const char* sweep_usage =
    R"(Usage: kvrn sweep [--codecs LIST] [--metrics LIST] [--steps LIST]
                  [--qualities LIST] [--webp-qualities LIST] [--avif-quantizers LIST]
                  [--jxl-distances LIST] [--tables] [--csv FILE] [--json FILE]
                  [--plot FILE] [--plot-metric NAME] [--threads N] PICTURE
Measures what quantisation costs: encodes PICTURE (a picture kvrn encode reads,
or a KVRN file, whose decoded picture is taken) with each codec at each of its
settings, and gives the bytes and the distortion of what comes back, as a CSV
table with the header line
  codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y
(the metrics asked for, in this order: psnr_rgb, psnr_y, ssim_y, ms_ssim_y,
butteraugli, butteraugli_3norm). The codecs, each made by its own library as
the tool named makes it, and read back by the library's decoder:
  kvrn          KVRN at each step (kvrn encode -s S)
  kvrn+zstd     the same files through zstd -19
  jpeg444       baseline JPEG 4:4:4 at each quality (cjpeg -baseline -dct int
                -quality Q -sample 1x1; djpeg's pixels)
  jpeg420       the same 4:2:0 (-sample 2x2)
  kvrn-tables   beyond the format: each coefficient divided by its entry of
                JPEG's example tables at each quality (luma for Y, chroma for
                Cr and Cb), as JPEG divides, the quotient truncated toward zero
                as KVRN's (JPEG rounds); the bytes are those KVRN's block
                coding spends on the values, since a KVRN file cannot carry a
                table
  webp          lossy WebP at each WebP quality (cwebp -q Q; dwebp)
  avif444       AVIF 4:4:4 by aom at each quantizer, its least and most both
                (avifenc -j 1 -s 6 -y 444 at Q; avifdec with dav1d)
  avif420       the same 4:2:0 (-y 420)
  jxl           lossy JPEG XL at each distance (cjxl -d D -e 7; djxl)
With webp, avif444, avif420 or jxl, lines starting with '#' before the header
name each codec's library with its version. PSNR is in dB ('inf' for no
difference); ssim_y is 'nan' for a picture under 11 pixels on a side, ms_ssim_y
under 161 (five scales of 2 x 2 averages, the last still 11 wide); Butteraugli's
distances are lower for better pictures. A codec that fails on the picture
leaves its rows without bytes and with 'nan' figures, says why, and the sweep
ends with status 2; a picture too large for a format (WebP: 16383 pixels a
side) leaves those rows so with a warning. The plot labels each point with its
setting, draws the points whose AC coefficients were clipped hollow, and marks
KVRN's floor of 1.125 bits per pixel. A KVRN file's picture was quantised
already, at the scales its header holds, so sweep warns that it measures a
second quantisation (-q silences the warning).

  --codecs LIST      codecs, comma-separated, or all
                     (default kvrn,kvrn+zstd,jpeg444,jpeg420)
  --metrics LIST     metrics, comma-separated, or all
                     (default psnr_rgb,psnr_y,ssim_y)
  --steps LIST       KVRN steps, comma-separated, 1..65535
                     (default 1,2,3,4,6,8,12,16,24,32,48,64)
  --qualities LIST   JPEG qualities, comma-separated, 1..100
                     (default 10,20,30,40,50,60,70,75,80,85,90,95)
  --webp-qualities LIST
                     WebP qualities, comma-separated, 0..100
                     (default 50,60,70,75,80,85,88,90,92,94,96,98)
  --avif-quantizers LIST
                     AVIF quantizers, comma-separated, 0..63, 0 the finest
                     (default 4,6,8,10,12,14,16,18,20,24,28,32)
  --jxl-distances LIST
                     JPEG XL distances, comma-separated, 0.1..25
                     (default 0.3,0.4,0.5,0.6,0.8,1,1.25,1.5,2,2.5,3,4)
  --tables           also the rows kvrn-tables
  --csv FILE         write the table to FILE instead of standard output
  --json FILE        write the codecs with their libraries, the metrics and
                     the rows as one JSON object to FILE ('-': standard output)
  --plot FILE        draw the metric against bits per pixel to FILE (.png or
                     .svg), a curve for each codec
  --plot-metric NAME the plot's metric (default psnr_rgb)
  --threads N        threads to use (1..1024; default: every online core)
)";

constexpr std::array<option_entry, 13> sweep_options = {{
    {"--codecs", 0, codecs_accepted},
    {"--metrics", 0, metrics_accepted},
    {"--steps", 0, "whole numbers from 1 to 65535, separated by commas"},
    {"--qualities", 0, "whole numbers from 1 to 100, separated by commas"},
    {"--webp-qualities", 0, "whole numbers from 0 to 100, separated by commas"},
    {"--avif-quantizers", 0, "whole numbers from 0 to 63, separated by commas"},
    {"--jxl-distances", 0, "numbers from 0.1 to 25, separated by commas"},
    {"--tables", 0, ""},
    {"--csv", 0, "a file name"},
    {"--json", 0, "a file name"},
    {"--plot", 0, "a file name ending in .png or .svg"},
    {"--plot-metric", 0,
     "one of psnr_rgb, psnr_y, ssim_y, ms_ssim_y, butteraugli and butteraugli_3norm"},
    {"--threads", 0, threads_accepted},
}};

// "0.3,1,2.5": one or more decimal numbers from `low` to `high`.
std::optional<std::vector<double>> parse_fraction_list(std::string_view text, double low,
                                                       double high) {
    std::vector<double> values;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        double value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value,
                                                  std::chars_format::fixed);
        if (item.empty() || error != std::errc{} || end != item.data() + item.size() ||
            !(value >= low && value <= high)) {
            return std::nullopt;
        }
        values.push_back(value);
        if (comma == std::string_view::npos) return values;
        text.remove_prefix(comma + 1);
    }
}

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

// What a sweep made, for the table, the JSON object and the plot.
struct swept_picture {
    const char* path;
    std::int32_t width;
    std::int32_t height;
    const lab::sweep_settings& settings;
    const std::vector<lab::sweep_row>& rows;

    std::uint64_t pixels() const { return static_cast<std::uint64_t>(width) * height; }
};

// The codecs a sweep measured, tables included, in the table's order.
std::vector<lab::codec_id> swept_codecs(const lab::sweep_settings& settings) {
    std::vector<lab::codec_id> codecs;
    for (const lab::codec_entry& codec : lab::codec_table) {
        const lab::codec_set bit = lab::codec_bit(codec.id);
        if ((settings.codecs & bit) != 0 ||
            (codec.id == lab::codec_id::kvrn_tables && settings.tables))
            codecs.push_back(codec.id);
    }
    return codecs;
}

// The metrics of `metrics` in the table's order.
std::vector<lab::metric_entry> listed(lab::metric_set metrics) {
    std::vector<lab::metric_entry> entries;
    for (const lab::metric_entry& metric : lab::metric_table) {
        if ((metrics & lab::metric_bit(metric.id)) != 0) entries.push_back(metric);
    }
    return entries;
}

// Tables of today's codecs stay as they always were; with the other yardsticks, whose versions
// change their bytes, '#' lines say what made them.
constexpr lab::codec_set self_described =
    lab::classic_codecs | lab::codec_bit(lab::codec_id::kvrn_tables);

bool write_table(const swept_picture& swept, const char* path) {
    output_file out;
    if (!out.open(path)) return false;
    const std::vector<lab::codec_id> codecs = swept_codecs(swept.settings);
    if ((swept.settings.codecs & ~self_described) != 0) {
        for (const lab::codec_id codec : codecs) {
            (void)std::fprintf(out.stream(), "# %s: %s, as %s\n", lab::entry_of(codec).name,
                               lab::codec_library(codec).c_str(), lab::entry_of(codec).made_as);
        }
    }
    const std::vector<lab::metric_entry> metrics = listed(swept.settings.metrics);
    std::string header = "codec,setting,bytes,bits_per_pixel";
    for (const lab::metric_entry& metric : metrics) header += std::string(",") + metric.name;
    (void)std::fprintf(out.stream(), "%s\n", header.c_str());
    for (const lab::sweep_row& row : swept.rows) {
        std::string line = std::string(row.codec) + "," + lab::setting_text(row.setting) + ",";
        if (row.problem.empty()) {
            line += std::to_string(row.bytes) + "," +
                    lab::decimals(lab::bits_per_pixel(row, swept.pixels()), 4);
        } else {
            line += ",";
        }
        for (const lab::metric_entry& metric : metrics) {
            line += ',';
            line += lab::decimals(lab::figure_of(row.figures, metric.id), metric.places);
        }
        (void)std::fprintf(out.stream(), "%s\n", line.c_str());
    }
    return out.commit();
}

// A figure as JSON: a number, or the table's "inf" or "nan" as a string, which JSON's numbers
// cannot say.
std::string json_figure(double value, int places) {
    const std::string text = lab::decimals(value, places);
    return std::isfinite(value) ? text : json_string(text);
}

bool write_json(const swept_picture& swept, const char* path) {
    output_file out;
    if (!out.open(path)) return false;
    std::string json = "{\"picture\":" + json_string(swept.path) +
                       ",\"width\":" + std::to_string(swept.width) +
                       ",\"height\":" + std::to_string(swept.height) + ",\"codecs\":[";
    const std::vector<lab::codec_id> codecs = swept_codecs(swept.settings);
    for (std::size_t i = 0; i < codecs.size(); ++i) {
        const lab::codec_entry& codec = lab::entry_of(codecs[i]);
        json += std::string(i == 0 ? "" : ",") + "{\"name\":" + json_string(codec.name) +
                ",\"library\":" + json_string(lab::codec_library(codec.id)) +
                ",\"made_as\":" + json_string(codec.made_as) +
                ",\"setting\":" + json_string(lab::range_of(codec.settings).noun) +
                ",\"settings\":[";
        const std::vector<double> settings = lab::settings_of(swept.settings, codec.settings);
        for (std::size_t j = 0; j < settings.size(); ++j) {
            if (j > 0) json += ',';
            json += lab::setting_text(settings[j]);
        }
        json += "]}";
    }
    json += "],\"metrics\":[";
    const std::vector<lab::metric_entry> metrics = listed(swept.settings.metrics);
    for (std::size_t i = 0; i < metrics.size(); ++i)
        json += (i == 0 ? "" : ",") + json_string(metrics[i].name);
    json += "],\"rows\":[";
    for (std::size_t i = 0; i < swept.rows.size(); ++i) {
        const lab::sweep_row& row = swept.rows[i];
        json += std::string(i == 0 ? "" : ",") + "{\"codec\":" + json_string(row.codec) +
                ",\"setting\":" + lab::setting_text(row.setting);
        if (row.problem.empty()) {
            json += ",\"bytes\":" + std::to_string(row.bytes) + ",\"bits_per_pixel\":" +
                    lab::decimals(lab::bits_per_pixel(row, swept.pixels()), 4);
        } else {
            json += R"(,"bytes":null,"bits_per_pixel":null,"problem":)" + json_string(row.problem);
        }
        for (const lab::metric_entry& metric : metrics) {
            json += ",\"" + std::string(metric.name) +
                    "\":" + json_figure(lab::figure_of(row.figures, metric.id), metric.places);
        }
        json += std::string(",\"clipped\":") + (row.clipped ? "true" : "false") + "}";
    }
    json += "]}\n";
    (void)std::fputs(json.c_str(), out.stream());
    return out.commit();
}

// Every coded block takes 3 bytes at the least, in each of the three channels: 9 bytes, 72 bits,
// for 64 pixels.
constexpr double kvrn_floor_bits = 72.0 / 64;

bool write_sweep_plot(const swept_picture& swept, lab::metric_id metric, const char* path) {
    lab::plot_contents contents;
    contents.title = file_name(swept.path) + ", " + std::to_string(swept.width) + " x " +
                     std::to_string(swept.height) + " pixels";
    contents.y_label = lab::entry_of(metric).axis;
    // KVRN's rates reach some 25 bits per pixel, JPEG's start below one: only a logarithmic axis
    // keeps JPEG's curves apart.
    contents.log_x = true;
    bool kvrn = false;
    for (const lab::sweep_row& row : swept.rows) {
        if (!row.problem.empty()) continue;
        if (contents.series.empty() || contents.series.back().name != row.codec) {
            contents.series.push_back({row.codec, {}, {}, {}});
        }
        lab::plot_series& series = contents.series.back();
        series.points.emplace_back(lab::bits_per_pixel(row, swept.pixels()),
                                   lab::figure_of(row.figures, metric));
        series.labels.push_back(lab::setting_text(row.setting));
        series.marked.push_back(row.clipped);
        kvrn = kvrn || std::string_view(row.codec).starts_with("kvrn");
    }
    if (kvrn) {
        contents.x_lines = {{kvrn_floor_bits,
                             {"KVRN's floor: 1.125 bits per pixel,", "3 bytes or more",
                              "for every 8x8 block", "of each channel"}}};
        contents.marked_name = "AC coefficients clipped";
    }
    contents.notes = {"Numbers by the points:", "KVRN step, JPEG and WebP quality,",
                      "AVIF quantizer, JPEG XL distance"};
    if ((swept.settings.codecs & ~self_described) == 0) {
        contents.notes = {"Numbers by the points:", "KVRN step, JPEG quality"};
    }
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
        if (name == "--codecs") return keep(parse_codecs(value), settings_.codecs);
        if (name == "--metrics") return keep(parse_metrics(value), settings_.metrics);
        if (name == "--plot-metric") {
            const std::optional<lab::metric_id> metric = lab::metric_named(value);
            plot_metric_ = metric.value_or(lab::metric_id::psnr_rgb);
            return metric.has_value();
        }
        if (name == "--steps") return keep(parse_list(value, 1, 65535), settings_.steps);
        if (name == "--qualities") return keep(parse_list(value, 1, 100), settings_.qualities);
        if (name == "--webp-qualities")
            return keep(parse_list(value, 0, 100), settings_.webp_qualities);
        if (name == "--avif-quantizers")
            return keep(parse_list(value, 0, 63), settings_.avif_quantizers);
        if (name == "--jxl-distances")
            return keep(parse_fraction_list(value, 0.1, 25), settings_.jxl_distances);
        if (name == "--tables") {
            settings_.tables = true;
            return true;
        }
        if (name == "--threads") return keep(parse_threads(value), threads_);
        (name == "--csv" ? csv_ : name == "--json" ? json_ : plot_) = std::string(value);
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
    lab::sweep_settings settings_;
    lab::metric_id plot_metric_ = lab::metric_id::psnr_rgb;
    unsigned threads_ = 0;
    std::string csv_;
    std::string json_;
    std::string plot_;
};

// Says why each row that has no figures has none; true when a codec failed.
bool report_problems(const char* path, const std::vector<lab::sweep_row>& rows) {
    bool failed = false;
    for (const lab::sweep_row& row : rows) {
        if (row.problem.empty()) continue;
        const std::string setting = lab::setting_text(row.setting);
        if (row.failed) {
            complain(path, "%s at %s: %s", row.codec, setting.c_str(), row.problem.c_str());
        } else {
            warn(path, "%s at %s: %s; its figures are nan", row.codec, setting.c_str(),
                 row.problem.c_str());
        }
        failed = failed || row.failed;
    }
    return failed;
}

int sweep_request::run(std::span<const char* const> operands) {
    // The table goes to standard output unless it goes to a file, or JSON goes there instead.
    const std::string csv = !csv_.empty() ? csv_ : json_ == "-" ? "" : "-";
    for (const std::string* output : std::array<const std::string*, 3>{&csv, &json_, &plot_}) {
        if (!output->empty() && !replaceable(output->c_str())) return exit_failed;
    }
    const unsigned threads = threads_ == 0 ? default_threads() : threads_;
    image picture;
    bool kvrn_file = false;
    std::array<std::uint16_t, 3> scales{};
    const int read =
        read_lab_picture(operands[0], max_pixels, picture, threads, &kvrn_file, &scales);
    if (read == exit_failed) return read;
    if (kvrn_file) warn_quantised_already(operands[0], scales);
    const picture_view view{picture.pixels.get(), picture.width, picture.height};
    // The plot's metric is measured whether or not the table shows it.
    lab::sweep_settings measured = settings_;
    if (!plot_.empty()) measured.metrics |= lab::metric_bit(plot_metric_);
    lab::sweep_result swept;
    {
        progress_bar progress(lab::sweep_measurements(measured));
        swept = lab::sweep(view, measured, threads, [&] { progress.finished_one(); });
    }
    if (!swept.error.empty()) {
        complain(operands[0], "%s", swept.error.c_str());
        return exit_failed;
    }
    const bool failed = report_problems(operands[0], swept.rows);
    const swept_picture result{operands[0], picture.width, picture.height, settings_, swept.rows};
    if (!plot_.empty() && !write_sweep_plot(result, plot_metric_, plot_.c_str())) {
        return exit_failed;
    }
    if (!json_.empty() && !write_json(result, json_.c_str())) return exit_failed;
    if (!csv.empty() && !write_table(result, csv.c_str())) return exit_failed;
    return failed ? exit_damaged : read;
}

}  // namespace

const command_entry sweep_entry =
    lab_entry(lab_command("sweep"), sweep_usage, 1, 1, sweep_options, start_command<sweep_request>);

}  // namespace kvrn::cli
