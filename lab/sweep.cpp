// The sweep's measurements: every codec of the settings at each of its settings, side by side on
// the threads given, each row measured by the metrics asked for.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "codec/include/kvrn.h"
#include "codec/parallel.h"
#include "lab/jpeg_tables.h"
#include "lab/kvrn_memory.h"
#include "lab/lab.h"
#include "lab/table_quantiser.h"
#include "lab/yardsticks.h"
#include "lab/zstd_size.h"

namespace kvrn::lab {
namespace {

// A measurement that runs on its own: one codec at one setting, or KVRN at one step, which gives
// the rows of kvrn and of kvrn+zstd.
struct sweep_task {
    codec_id codec = codec_id::kvrn;
    double setting = 0;
    std::vector<sweep_row> rows;
};

// What every measurement shares.
struct sweep_job {
    const picture_view& picture;    // rows from the bottom, as the codec takes them
    const picture_view& top_first;  // the same from the top, as the other codecs' files start
    metric_set metrics;
    unsigned threads;  // for each measurement's comparison
};

// The same picture with its rows in file order, top row first.
std::vector<std::uint8_t> top_first(const picture_view& picture) {
    std::vector<std::uint8_t> flipped(pixel_offset(picture.width, picture.height, 0));
    const std::size_t row = pixel_offset(picture.width, 1, 0);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::copy_n(picture.pixels + pixel_offset(picture.width, picture.height - 1 - y, 0), row,
                    flipped.data() + pixel_offset(picture.width, y, 0));
    }
    return flipped;
}

sweep_row failed_row(codec_id codec, double setting, std::string problem) {
    sweep_row row;
    row.codec = entry_of(codec).name;
    row.setting = setting;
    row.figures = {0, NAN, NAN, NAN, NAN, 0};
    row.problem = std::move(problem);
    row.failed = true;
    return row;
}

// The figures of `decoded` against `original`, which have the same orientation, by the job's
// metrics; false with the reason in `problem`.
bool measured(const sweep_job& job, const picture_view& original, const picture_view& decoded,
              distortion& figures, std::string& problem) {
    const std::optional<distortion> compared = compare(original, decoded, job.threads);
    if (!compared) {
        problem = "the decoded picture is " + std::to_string(decoded.width) + " x " +
                  std::to_string(decoded.height) + " pixels, not the picture's size";
        return false;
    }
    figures = *compared;
    return add_metrics(original, decoded, job.metrics, job.threads, figures, problem);
}

// The bytes `kvrn encode --step` writes, and the same through zstd, with what `kvrn decode`
// gives back from them held to the picture.
void measure_kvrn(const sweep_job& job, sweep_task& task) {
    const picture_view& picture = job.picture;
    const auto step = static_cast<std::int32_t>(task.setting);
    std::uint64_t clipped = 0;
    const std::vector<std::uint8_t> file = encode_kvrn(picture, step, &clipped);
    std::string problem;
    const std::optional<std::size_t> packed = zstd_size(file.data(), file.size(), problem);
    std::vector<std::uint8_t> decoded(pixel_offset(picture.width, picture.height, 0));
    distortion figures;
    if (!packed || !decode_kvrn(file, decoded.data()) ||
        !measured(job, picture, {decoded.data(), picture.width, picture.height}, figures,
                  problem)) {
        if (problem.empty()) problem = "the KVRN stream did not decode";
        task.rows = {failed_row(codec_id::kvrn, task.setting, problem),
                     failed_row(codec_id::kvrn_zstd, task.setting, problem)};
        return;
    }
    task.rows = {{"kvrn", task.setting, file.size(), figures, clipped > 0, {}, false},
                 {"kvrn+zstd", task.setting, *packed, figures, clipped > 0, {}, false}};
}

// The picture quantised by JPEG's example tables at a quality, coded as KVRN blocks, and
// reconstructed from the values coded.
void measure_tables(const sweep_job& job, sweep_task& task) {
    const picture_view& picture = job.picture;
    std::vector<std::uint8_t> decoded(pixel_offset(picture.width, picture.height, 0));
    const table_coding coding =
        quantise_with_tables(picture, jpeg_tables(static_cast<int>(task.setting)),
                             KVRN_CHANNELS_ALL, decoded.data(), nullptr);
    distortion figures;
    std::string problem;
    if (!measured(job, picture, {decoded.data(), picture.width, picture.height}, figures,
                  problem)) {
        task.rows = {failed_row(task.codec, task.setting, problem)};
        return;
    }
    task.rows = {{"kvrn-tables",
                  task.setting,
                  static_cast<std::size_t>(coding.bytes),
                  figures,
                  false,
                  {},
                  false}};
}

// A yardstick's file of the picture, and what its decoder gives back from it.
void measure_file(const sweep_job& job, sweep_task& task) {
    const yardstick& codec = *yardstick_of(task.codec);
    const picture_view& picture = job.top_first;
    if (picture.width > codec.largest_side || picture.height > codec.largest_side) {
        sweep_row row = failed_row(
            task.codec, task.setting,
            "its pictures are at most " + std::to_string(codec.largest_side) + " pixels on a side");
        row.failed = false;
        task.rows = {std::move(row)};
        return;
    }
    std::vector<std::uint8_t> file;
    decoded_rgb decoded;
    distortion figures;
    std::string problem;
    if (!codec.encode(picture, task.setting, file, problem) ||
        !codec.decode(file.data(), file.size(), decoded, problem) ||
        !measured(job, picture, {decoded.pixels.data(), decoded.width, decoded.height}, figures,
                  problem)) {
        task.rows = {failed_row(task.codec, task.setting, problem)};
        return;
    }
    task.rows = {{entry_of(task.codec).name, task.setting, file.size(), figures, false, {}, false}};
}

// The codecs a sweep measures: its list, and the tables' rows when asked for apart.
codec_set swept_codecs(const sweep_settings& settings) {
    return settings.codecs | (settings.tables ? codec_bit(codec_id::kvrn_tables) : 0);
}

bool wanted(codec_set codecs, codec_id codec) {
    return (codecs & codec_bit(codec)) != 0;
}

// The measurements of a sweep, codec by codec in the table's order; kvrn and kvrn+zstd share
// theirs.
std::vector<sweep_task> tasks_of(const sweep_settings& settings) {
    const codec_set codecs = swept_codecs(settings);
    std::vector<sweep_task> tasks;
    for (const codec_entry& codec : codec_table) {
        if (!wanted(codecs, codec.id)) continue;
        if (codec.id == codec_id::kvrn_zstd && wanted(codecs, codec_id::kvrn)) continue;
        const codec_id measured_as = codec.id == codec_id::kvrn_zstd ? codec_id::kvrn : codec.id;
        for (const double setting : settings_of(settings, codec.settings))
            tasks.push_back({measured_as, setting, {}});
    }
    return tasks;
}

// Why `value` is not a setting of `range`, if it is not.
std::optional<std::string> refused(const setting_range& range, double value) {
    if (value >= range.low && value <= range.high && (!range.whole || value == std::floor(value)))
        return std::nullopt;
    return std::string(range.noun) + " " + setting_text(value) + ": not a " + range.noun +
           (range.whole ? " from " : " between ") + setting_text(range.low) +
           (range.whole ? " to " : " and ") + setting_text(range.high);
}

}  // namespace

std::vector<double> settings_of(const sweep_settings& settings, setting_list list) {
    const auto widened = [](const std::vector<std::int32_t>& values) {
        return std::vector<double>(values.begin(), values.end());
    };
    switch (list) {
        case setting_list::steps:
            return widened(settings.steps);
        case setting_list::qualities:
            return widened(settings.qualities);
        case setting_list::webp_qualities:
            return widened(settings.webp_qualities);
        case setting_list::avif_quantizers:
            return widened(settings.avif_quantizers);
        case setting_list::jxl_distances:
            return settings.jxl_distances;
    }
    return {};
}

std::string setting_text(double setting) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.6g", setting);
    return text;
}

double bits_per_pixel(const sweep_row& row, std::uint64_t pixels) {
    return static_cast<double>(row.bytes) * 8 / static_cast<double>(pixels);
}

std::size_t sweep_measurements(const sweep_settings& settings) {
    return tasks_of(settings).size();
}

sweep_result sweep(const picture_view& picture, const sweep_settings& settings, unsigned threads,
                   const std::function<void()>& finished_one) {
    sweep_result result;
    if (picture.width <= 0 || picture.height <= 0) {
        result.error = "the picture has no pixels";
        return result;
    }
    if ((settings.codecs & ~all_codecs) != 0 || (settings.metrics & ~all_metrics) != 0) {
        result.error = "a codec or metric the lab does not know";
        return result;
    }
    for (const setting_range& range : setting_ranges) {
        for (const double value : settings_of(settings, range.list)) {
            if (std::optional<std::string> why = refused(range, value)) {
                result.error = std::move(*why);
                return result;
            }
        }
    }
    const std::vector<std::uint8_t> flipped = top_first(picture);
    const picture_view file_order{flipped.data(), picture.width, picture.height};
    std::vector<sweep_task> tasks = tasks_of(settings);
    if (tasks.empty()) return result;
    // The slowest measurements first, so that the last ones to finish are short and no core
    // idles at the end: AV1's encoder takes a second or more a megapixel, JPEG XL's and zstd's
    // at level 19 a fraction of that, the rest some milliseconds. The rows keep the table's order
    // whatever order the tasks run in.
    const auto cost = [](codec_id codec) {
        switch (codec) {
            case codec_id::avif444:
                return 0;
            case codec_id::avif420:
                return 1;
            case codec_id::jxl:
            case codec_id::kvrn:
                return 2;
            case codec_id::webp:
                return 3;
            default:
                return 4;
        }
    };
    std::stable_sort(tasks.begin(), tasks.end(), [&](const sweep_task& a, const sweep_task& b) {
        return cost(a.codec) < cost(b.codec);
    });
    threads = std::max(threads, 1U);
    // The tasks share the cores; each compares on its share of them when there are few.
    const sweep_job job{picture, file_order, settings.metrics,
                        std::max<unsigned>(1, threads / static_cast<unsigned>(tasks.size()))};
    run_parallel(tasks.size(), threads, [&](std::size_t i) {
        switch (tasks[i].codec) {
            case codec_id::kvrn:
                measure_kvrn(job, tasks[i]);
                break;
            case codec_id::kvrn_tables:
                measure_tables(job, tasks[i]);
                break;
            default:
                measure_file(job, tasks[i]);
                break;
        }
        if (finished_one) finished_one();
    });
    // Codec by codec: a KVRN step's task holds kvrn's row, then kvrn+zstd's.
    const codec_set codecs = swept_codecs(settings);
    for (const codec_entry& codec : codec_table) {
        if (!wanted(codecs, codec.id)) continue;
        for (sweep_task& task : tasks) {
            for (sweep_row& row : task.rows) {
                if (std::string_view(row.codec) == codec.name) result.rows.push_back(row);
            }
        }
    }
    return result;
}

}  // namespace kvrn::lab
