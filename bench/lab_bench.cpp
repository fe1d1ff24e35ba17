// What each of the sweep's codecs costs per megapixel, on one thread: its encoding and decoding
// at the middle of its default settings (the metrics' costs are lab_metrics_bench's). Pictures: binary PPM files named on the command line
// (scripts/bench-lab gives photographs), and a synthetic picture with detail everywhere.
// Usage: lab_bench [RUNS] [PICTURE.ppm...]; each figure is the median of RUNS runs (default 5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/test_picture.h"
#include "lab/kvrn_memory.h"
#include "lab/lab.h"
#include "lab/yardsticks.h"
#include "lab/zstd_size.h"

namespace {

using kvrn::picture_view;
namespace lab = kvrn::lab;

struct named_picture {
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // RGB; the rows' order does not matter to the timings
    picture_view view() const { return {pixels.data(), width, height}; }
    double megapixels() const { return static_cast<double>(width) * height / 1e6; }
};

// A binary PPM file as ImageMagick writes it without comments ("P6 W H 255" and the samples).
bool read_ppm(const std::string& path, named_picture& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> picture.width >> picture.height >> maximum;
    in.get();
    if (!in || magic != "P6" || maximum != 255) return false;
    picture.pixels.resize(kvrn::pixel_offset(picture.width, picture.height, 0));
    in.read(reinterpret_cast<char*>(picture.pixels.data()),
            static_cast<std::streamsize>(picture.pixels.size()));
    picture.name = path.substr(path.rfind('/') + 1);
    return static_cast<bool>(in);
}

// The median of `runs` timings of `work`, in milliseconds.
template <class work_type>
double median_ms(int runs, const work_type& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

// The middle setting of a codec's default list.
double middle_setting(const lab::codec_entry& codec) {
    const std::vector<double> settings = lab::settings_of(lab::sweep_settings{}, codec.settings);
    return settings[settings.size() / 2];
}

void bench(const named_picture& picture, int runs) {
    const double mp = picture.megapixels();
    std::printf("\n%s, %d x %d (%.2f megapixels): ms per megapixel, one thread, median of %d\n",
                picture.name.c_str(), picture.width, picture.height, mp, runs);
    std::printf("  %-12s %-9s %10s %10s %10s\n", "codec", "setting", "encode", "decode", "bytes");
    for (const lab::codec_entry& codec : lab::codec_table) {
        const double setting = middle_setting(codec);
        std::vector<std::uint8_t> file;
        std::vector<std::uint8_t> back(picture.pixels.size());
        double encode = 0;
        double decode = 0;
        std::size_t bytes = 0;
        if (const lab::yardstick* yardstick = lab::yardstick_of(codec.id)) {
            std::string error;
            encode = median_ms(
                runs, [&] { (void)yardstick->encode(picture.view(), setting, file, error); });
            lab::decoded_rgb decoded;
            decode = median_ms(
                runs, [&] { (void)yardstick->decode(file.data(), file.size(), decoded, error); });
            bytes = file.size();
        } else if (codec.id == lab::codec_id::kvrn || codec.id == lab::codec_id::kvrn_zstd) {
            const auto step = static_cast<std::int32_t>(setting);
            encode =
                median_ms(runs, [&] { file = lab::encode_kvrn(picture.view(), step, nullptr); });
            decode = median_ms(runs, [&] { (void)lab::decode_kvrn(file, back.data()); });
            bytes = file.size();
            if (codec.id == lab::codec_id::kvrn_zstd) {
                std::string error;
                encode += median_ms(runs, [&] {
                    bytes = lab::zstd_size(file.data(), file.size(), error).value_or(0);
                });
            }
        } else {
            continue;  // JPEG's tables are a quantisation, not a file: no codec to time
        }
        std::printf("  %-12s %-9s %10.1f %10.1f %10zu\n", codec.name,
                    lab::setting_text(setting).c_str(), encode / mp, decode / mp, bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<named_picture> pictures;
    for (int i = 2; i < argc; ++i) {
        named_picture picture;
        if (!read_ppm(argv[i], picture)) {
            std::fprintf(stderr, "lab_bench: %s: not a binary PPM file of 8-bit samples\n",
                         argv[i]);
            return 1;
        }
        pictures.push_back(std::move(picture));
    }
    named_picture synthetic{"synthetic (gradients, texture, noise)", 1024, 768,
                            kvrn::bench::test_picture(1024, 768)};
    pictures.push_back(std::move(synthetic));
    for (const named_picture& picture : pictures) bench(picture, runs);
    return 0;
}
