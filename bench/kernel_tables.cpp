// What each vector kernel gains over its plain version: every entry of the two tables of
// codec/kernels.h timed on the blocks of one picture, read as a binary PPM from standard input,
// in the order an encode and a decode at step 8 meet them. Built natively (the AVX2 table) and
// for WebAssembly by scripts/bench-web (the simd128 table, under Node's WASI). Prints figures,
// asserts nothing.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "codec/block_coding.h"
#include "codec/kernels.h"
#include "codec/picture.h"

namespace {

using kvrn::coef_block;
using kvrn::kernels;

struct picture {
    std::vector<std::uint8_t> pixels;  // rows top first; the kernels do not mind the order
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A binary PPM with a maxval of 255 and no comments, as kvrn decode writes it.
bool read_ppm(std::FILE* in, picture& p) {
    int maxval = 0;
    if (std::fscanf(in, "P6 %d %d %d", &p.width, &p.height, &maxval) != 3 || maxval != 255 ||
        p.width < 8 || p.height < 8 || p.width > 65535 || p.height > 65535 || std::fgetc(in) < 0) {
        return false;
    }
    p.pixels.resize(3 * static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    return std::fread(p.pixels.data(), 1, p.pixels.size(), in) == p.pixels.size();
}

// The inputs of every entry, made once with the plain table: the picture's whole blocks, their
// samples, coefficients, quantised and coded forms, dequantised values and colours.
struct workload {
    kvrn::picture_view view;
    std::vector<std::array<std::int32_t, 2>> places;  // r0, c0 of each whole block position
    std::vector<coef_block> samples, coefficients, quantised, dequantised;
    std::vector<std::array<std::uint8_t, kvrn::put_block_room>> coded;
    std::vector<kvrn::ycc_blocks> reconstructed;
    std::vector<kvrn::rgb_blocks> colours;
};

constexpr std::int32_t step = 8;
// The centre of the picture at most this wide and high, so that its pixels and blocks stay in
// the caches: the figures are the kernels' work, not the memory's.
constexpr std::int32_t most = 512;

picture centre_of(const picture& p) {
    picture c;
    c.width = std::min(p.width, most);
    c.height = std::min(p.height, most);
    const std::size_t row = 3 * static_cast<std::size_t>(c.width);
    const std::size_t left = 3 * static_cast<std::size_t>((p.width - c.width) / 2);
    const auto top = static_cast<std::size_t>((p.height - c.height) / 2);
    for (std::size_t y = 0; y < static_cast<std::size_t>(c.height); ++y) {
        const std::uint8_t* from =
            p.pixels.data() + (top + y) * 3 * static_cast<std::size_t>(p.width) + left;
        c.pixels.insert(c.pixels.end(), from, from + row);
    }
    return c;
}

workload make_workload(const picture& p) {
    const kernels& k = kvrn::plain_kernels();
    workload w{{p.pixels.data(), p.width, p.height}, {}, {}, {}, {}, {}, {}, {}, {}};
    for (std::int32_t r0 = 0; r0 + 8 <= p.height; r0 += 8) {
        for (std::int32_t c0 = 0; c0 + 8 <= p.width; c0 += 8) w.places.push_back({r0, c0});
    }
    for (const auto& [r0, c0] : w.places) {
        kvrn::ycc_blocks samples;
        k.rgb_to_ycc_block(w.view, r0, c0, samples);
        kvrn::ycc_blocks rebuilt;
        for (const coef_block* block : {&samples.y, &samples.cr, &samples.cb}) {
            w.samples.push_back(*block);
            coef_block b = *block;
            k.fdct_2d(b);
            w.coefficients.push_back(b);
            k.quantise(b, step);
            w.quantised.push_back(b);
            std::int64_t clipped = 0;
            w.coded.emplace_back();
            (void)k.put_block(b, w.coded.back().data(), clipped);
            k.dequantise(b, step);
            w.dequantised.push_back(b);
            coef_block& out = block == &samples.y    ? rebuilt.y
                              : block == &samples.cr ? rebuilt.cr
                                                     : rebuilt.cb;
            k.idct_2d(b, out);
        }
        w.reconstructed.push_back(rebuilt);
        w.colours.emplace_back();
        k.ycc_to_rgb({}, rebuilt, w.colours.back());
    }
    return w;
}

// One pass of an entry over the workload's blocks, through the table given.
struct entry {
    const char* name;
    std::function<void(const kernels&, const workload&, std::vector<std::uint8_t>&)> run;
    std::size_t blocks_per_position;
};

std::vector<entry> entries() {
    // Results go to a sink the compiler cannot drop.
    static volatile std::int32_t sink = 0;
    const auto each = [](const std::vector<coef_block>& blocks, auto&& body) {
        for (const coef_block& block : blocks) body(block);
    };
    return {
        {"rgb_to_ycc_block",
         [](const kernels& k, const workload& w, auto&) {
             kvrn::ycc_blocks out;
             for (const auto& [r0, c0] : w.places) {
                 k.rgb_to_ycc_block(w.view, r0, c0, out);
                 sink = sink + out.y[9];
             }
         },
         1},
        {"fdct_2d",
         [each](const kernels& k, const workload& w, auto&) {
             each(w.samples, [&](coef_block b) {
                 k.fdct_2d(b);
                 sink = sink + b[9];
             });
         },
         3},
        {"quantise",
         [each](const kernels& k, const workload& w, auto&) {
             each(w.coefficients, [&](coef_block b) {
                 k.quantise(b, step);
                 sink = sink + b[9];
             });
         },
         3},
        {"put_block",
         [each](const kernels& k, const workload& w, auto&) {
             std::array<std::uint8_t, kvrn::put_block_room> out{};
             std::int64_t clipped = 0;
             each(w.quantised, [&](const coef_block& b) {
                 sink = sink + static_cast<std::int32_t>(k.put_block(b, out.data(), clipped));
             });
         },
         3},
        {"decode_block",
         [](const kernels& k, const workload& w, auto&) {
             coef_block b;
             for (const auto& bytes : w.coded) {
                 sink = sink + static_cast<std::int32_t>(k.decode_block(bytes.data(), b));
             }
         },
         3},
        {"dequantise",
         [each](const kernels& k, const workload& w, auto&) {
             each(w.quantised, [&](coef_block b) {
                 k.dequantise(b, step);
                 sink = sink + b[9];
             });
         },
         3},
        {"idct_2d",
         [each](const kernels& k, const workload& w, auto&) {
             coef_block out;
             each(w.dequantised, [&](coef_block b) {
                 k.idct_2d(b, out);
                 sink = sink + out[9];
             });
         },
         3},
        {"ycc_to_rgb",
         [](const kernels& k, const workload& w, auto&) {
             kvrn::rgb_blocks out;
             for (const kvrn::ycc_blocks& samples : w.reconstructed) {
                 k.ycc_to_rgb({}, samples, out);
                 sink = sink + out.red[9];
             }
         },
         1},
        {"store_block",
         [](const kernels& k, const workload& w, std::vector<std::uint8_t>& pixels) {
             for (std::size_t i = 0; i < w.places.size(); ++i) {
                 k.store_block(w.colours[i], pixels.data(), w.view.width, w.view.height,
                               w.places[i][0], w.places[i][1]);
             }
         },
         1},
    };
}

// The median over `rounds` of nanoseconds per block of one pass, the tables taking turns.
std::array<double, 2> time_entry(const entry& e, const workload& w, const kernels& vector,
                                 int rounds) {
    std::vector<std::uint8_t> pixels(3 * static_cast<std::size_t>(w.view.width) *
                                     static_cast<std::size_t>(w.view.height));
    std::array<std::vector<double>, 2> times;
    const auto blocks = static_cast<double>(w.places.size() * e.blocks_per_position);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t t = 0; t < 2; ++t) {
            const kernels& k = t == 0 ? kvrn::plain_kernels() : vector;
            const auto start = std::chrono::steady_clock::now();
            e.run(k, w, pixels);
            const std::chrono::duration<double, std::nano> spent =
                std::chrono::steady_clock::now() - start;
            times[t].push_back(spent.count() / blocks);
        }
    }
    std::array<double, 2> medians{};
    for (std::size_t t = 0; t < 2; ++t) {
        std::sort(times[t].begin(), times[t].end());
        medians[t] = times[t][times[t].size() / 2];
    }
    return medians;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "the picture on standard input";
    picture p;
    if (!read_ppm(stdin, p)) {
        (void)std::fprintf(stderr,
                           "kernel_tables: give a binary PPM (maxval 255) on standard input\n");
        return 1;
    }
    const kernels* vector = kvrn::vector_kernels();
    if (vector == nullptr) {
        (void)std::fprintf(stderr, "kernel_tables: this processor has no vector kernels\n");
        return 1;
    }
    const picture centre = centre_of(p);
    const workload w = make_workload(centre);
    std::printf(
        "%s, %d x %d, its centre %d x %d, step %d: ns per block (per position of three for "
        "the colours and the store), medians of 9\n",
        name.c_str(), p.width, p.height, centre.width, centre.height, step);
    std::printf("%-18s %8s %8s %6s\n", "kernel", "plain", "vector", "gain");
    for (const entry& e : entries()) {
        const std::array<double, 2> ns = time_entry(e, w, *vector, 9);
        std::printf("%-18s %8.1f %8.1f %5.2fx\n", e.name, ns[0], ns[1], ns[0] / ns[1]);
    }
    return 0;
}
