// The sweep's measurements: KVRN at each step, the same through zstd, JPEG at each quality and
// JPEG's tables at each quality, side by side on the threads given.
#include <algorithm>
#include <string>
#include <utility>

#include "codec/include/kvrn.h"
#include "codec/parallel.h"
#include "lab/jpeg_codec.h"
#include "lab/jpeg_tables.h"
#include "lab/kvrn_memory.h"
#include "lab/lab.h"
#include "lab/table_quantiser.h"
#include "lab/zstd_size.h"

namespace kvrn::lab {
namespace {

// What a measurement measures.
enum class sweep_kind { kvrn, jpeg, tables };

// A measurement that runs on its own: one KVRN step (two rows), one JPEG quality and sampling, or
// one quality's tables.
struct sweep_task {
    sweep_kind kind = sweep_kind::kvrn;
    std::int32_t setting = 0;
    jpeg_sampling sampling = jpeg_sampling::full;
    std::vector<sweep_row> rows;
    std::string error;  // why it failed, if it did
};

// The same picture with its rows in file order, top row first, which JPEG blocks start from.
std::vector<std::uint8_t> top_first(const picture_view& picture) {
    std::vector<std::uint8_t> flipped(pixel_offset(picture.width, picture.height, 0));
    const std::size_t row = pixel_offset(picture.width, 1, 0);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::copy_n(picture.pixels + pixel_offset(picture.width, picture.height - 1 - y, 0), row,
                    flipped.data() + pixel_offset(picture.width, y, 0));
    }
    return flipped;
}

// The bytes `kvrn encode --step` writes, and the same through zstd, with what `kvrn decode`
// gives back from them held to the picture.
void measure_kvrn(const picture_view& picture, sweep_task& task, unsigned threads) {
    std::uint64_t clipped = 0;
    const std::vector<std::uint8_t> file = encode_kvrn(picture, task.setting, &clipped);
    const std::optional<std::size_t> packed = zstd_size(file.data(), file.size(), task.error);
    std::vector<std::uint8_t> decoded(pixel_offset(picture.width, picture.height, 0));
    if (!packed || !decode_kvrn(file, decoded.data())) {
        if (task.error.empty()) task.error = "the KVRN stream did not decode";
        return;
    }
    const std::optional<distortion> figures =
        compare(picture, {decoded.data(), picture.width, picture.height}, threads);
    task.rows = {{"kvrn", task.setting, file.size(), *figures, clipped > 0},
                 {"kvrn+zstd", task.setting, *packed, *figures, clipped > 0}};
}

// The baseline JPEG file cjpeg writes, and what djpeg gives back from it. `picture` is top row
// first.
void measure_jpeg(const picture_view& picture, sweep_task& task, unsigned threads) {
    std::vector<std::uint8_t> file;
    decoded_jpeg decoded;
    if (!encode_jpeg(picture, task.setting, task.sampling, file, task.error) ||
        !decode_jpeg(file.data(), file.size(), UINT64_MAX, decoded, task.error)) {
        return;
    }
    const std::optional<distortion> figures =
        compare(picture, {decoded.pixels.data(), decoded.width, decoded.height}, threads);
    if (!figures) {
        task.error = "the decoded JPEG picture has another size";
        return;
    }
    task.rows = {{task.sampling == jpeg_sampling::full ? "jpeg444" : "jpeg420", task.setting,
                  file.size(), *figures}};
}

// The picture quantised by JPEG's example tables at a quality, coded as KVRN blocks, and
// reconstructed from the values coded.
void measure_tables(const picture_view& picture, sweep_task& task, unsigned threads) {
    std::vector<std::uint8_t> decoded(pixel_offset(picture.width, picture.height, 0));
    const table_coding coding = quantise_with_tables(picture, jpeg_tables(task.setting),
                                                     KVRN_CHANNELS_ALL, decoded.data(), nullptr);
    const std::optional<distortion> figures =
        compare(picture, {decoded.data(), picture.width, picture.height}, threads);
    task.rows = {{"kvrn-tables", task.setting, static_cast<std::size_t>(coding.bytes), *figures}};
}

// The first value of `values` outside low..high, if any.
std::optional<std::int32_t> out_of_range(const std::vector<std::int32_t>& values, std::int32_t low,
                                         std::int32_t high) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](std::int32_t v) { return v < low || v > high; });
    if (found == values.end()) return std::nullopt;
    return *found;
}

}  // namespace

double bits_per_pixel(const sweep_row& row, std::uint64_t pixels) {
    return static_cast<double>(row.bytes) * 8 / static_cast<double>(pixels);
}

std::size_t sweep_measurements(const sweep_settings& settings) {
    return settings.steps.size() + settings.qualities.size() * (settings.tables ? 3 : 2);
}

sweep_result sweep(const picture_view& picture, const sweep_settings& settings, unsigned threads,
                   const std::function<void()>& finished_one) {
    sweep_result result;
    if (picture.width <= 0 || picture.height <= 0) {
        result.error = "the picture has no pixels";
        return result;
    }
    if (const std::optional<std::int32_t> step = out_of_range(settings.steps, 1, 65535)) {
        result.error = "step " + std::to_string(*step) + ": not a step from 1 to 65535";
        return result;
    }
    if (const std::optional<std::int32_t> quality = out_of_range(settings.qualities, 1, 100)) {
        result.error = "quality " + std::to_string(*quality) + ": not a quality from 1 to 100";
        return result;
    }
    const std::vector<std::uint8_t> flipped = top_first(picture);
    const picture_view file_order{flipped.data(), picture.width, picture.height};

    std::vector<sweep_task> tasks;
    for (const std::int32_t step : settings.steps)
        tasks.push_back({sweep_kind::kvrn, step, {}, {}, {}});
    for (const jpeg_sampling sampling : {jpeg_sampling::full, jpeg_sampling::half})
        for (const std::int32_t quality : settings.qualities)
            tasks.push_back({sweep_kind::jpeg, quality, sampling, {}, {}});
    if (settings.tables) {
        for (const std::int32_t quality : settings.qualities)
            tasks.push_back({sweep_kind::tables, quality, {}, {}, {}});
    }
    if (tasks.empty()) return result;
    threads = std::max(threads, 1U);
    // The tasks share the cores; each compares on its share of them when there are few.
    const unsigned inner = std::max<unsigned>(1, threads / static_cast<unsigned>(tasks.size()));
    run_parallel(tasks.size(), threads, [&](std::size_t i) {
        switch (tasks[i].kind) {
            case sweep_kind::kvrn:
                measure_kvrn(picture, tasks[i], inner);
                break;
            case sweep_kind::jpeg:
                measure_jpeg(file_order, tasks[i], inner);
                break;
            case sweep_kind::tables:
                measure_tables(picture, tasks[i], inner);
                break;
        }
        if (finished_one) finished_one();
    });
    // kvrn, then kvrn+zstd, then the JPEG rows, then the tables' rows.
    for (const std::size_t kind : {0, 1}) {
        for (const sweep_task& task : tasks) {
            const bool kvrn = task.kind == sweep_kind::kvrn;
            if (!task.error.empty()) {
                result.rows.clear();
                result.error = (kvrn ? "step " : "quality ") + std::to_string(task.setting) + ": " +
                               task.error;
                return result;
            }
            if (kvrn) {
                result.rows.push_back(task.rows[kind]);
            } else if (kind == 1) {
                result.rows.push_back(task.rows[0]);
            }
        }
    }
    return result;
}

}  // namespace kvrn::lab
