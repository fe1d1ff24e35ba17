// The C interface's memory entry points on arbitrary bytes and arbitrary arguments: the first
// `argument_bytes` bytes of an input choose the arguments (channels, pixel limits, strides either
// way, output layouts and sizes, block positions, scales, capacities), the rest is the file. Each
// buffer is exactly as large as the arguments say the call may write, so AddressSanitizer sees any
// byte written past it; a refusal must leave it untouched; and each status is held to the one the
// header's documentation gives for those arguments, worked out here on its own. Limits and sizes
// are drawn near their edges (a limit at the picture's pixels and one below, a buffer of exactly
// the bytes needed and one short), where an off-by-one would hide.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/include/kvrn.h"

namespace {

constexpr std::size_t argument_bytes = 32;
constexpr std::uint8_t guard = 0xA5;
// Buffers up to a megabyte: room for every picture the fuzzer decodes (65536 pixels) at strides
// well beyond a row, and fast.
constexpr std::uint64_t largest_buffer = std::uint64_t{1} << 20;

// Aborts, naming the line of the expectation that failed, unless `holds`.
// (__builtin_LINE: g++ and clang alike, where clang 14 has no std::source_location.)
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "api_fuzz.cpp:%d: expectation failed\n", line);
    std::abort();
}

// The arguments, taken from the front of the input one field at a time (zero once they run out).
class arguments {
  public:
    arguments(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return next_ < size_ ? data_[next_++] : 0; }
    std::int32_t signed_byte() { return static_cast<std::int8_t>(byte()); }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | byte();
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

// A row step drawn around a row of `row` bytes: exactly a row, a few bytes either side, either
// sign, 0, or one of the extremes whose magnitude cannot be taken by negation.
ptrdiff_t stride_near(arguments& in, std::uint64_t row) {
    const std::uint8_t mode = in.byte();
    const auto base = static_cast<ptrdiff_t>(row) + in.signed_byte() % 9;
    switch (mode % 8) {
        case 0:
            return PTRDIFF_MIN;
        case 1:
            return PTRDIFF_MAX;
        case 2:
            return 0;
        case 3:
        case 4:
            return -base;
        default:
            return base;
    }
}

std::uint64_t magnitude(ptrdiff_t stride) {
    return stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
}

// Whether rows `stride` apart (either way), `height` rows of `row` bytes, reach past the largest
// object there can be, PTRDIFF_MAX bytes. The stride is not 0.
bool beyond_memory(ptrdiff_t stride, std::uint64_t row, std::uint64_t height) {
    const auto largest = static_cast<std::uint64_t>(PTRDIFF_MAX);
    return height > 1 && (row > largest || (largest - row) / magnitude(stride) < height - 1);
}

// Bytes that rows `stride` apart span, `height` rows of `row` bytes; 0 when beyond any buffer.
std::uint64_t span(ptrdiff_t stride, std::uint64_t row, std::uint64_t height) {
    const std::uint64_t step = magnitude(stride);
    if (height > 1 && step > largest_buffer / (height - 1)) return 0;
    const std::uint64_t bytes = step * (height - 1) + row;
    return bytes <= largest_buffer ? bytes : 0;
}

// A buffer of exactly `bytes` bytes, filled with the guard: `first` is where a row step of
// `stride` starts so that every row falls inside it (the last byte row for a negative step).
struct guarded_buffer {
    guarded_buffer(std::uint64_t bytes, ptrdiff_t stride, std::uint64_t height)
        : memory(static_cast<std::size_t>(bytes), guard) {
        first = memory.data();
        if (stride < 0 && height > 1) first += magnitude(stride) * (height - 1);
    }
    bool untouched() const {
        return std::all_of(memory.begin(), memory.end(), [](std::uint8_t b) { return b == guard; });
    }
    std::vector<std::uint8_t> memory;
    std::uint8_t* first;
};

// The status kvrn_read_header and every decoder give before looking at their other arguments.
kvrn_status header_status(const kvrn_header& header, std::size_t size) {
    if (size < KVRN_HEADER_BYTES) return KVRN_TOO_SHORT;
    if (header.magic != KVRN_MAGIC) return KVRN_WRONG_MAGIC;
    if (header.width == 0 || header.height == 0) return KVRN_NO_PIXELS;
    return KVRN_OK;
}

// A pixel limit drawn around the picture's pixels: none, exactly them, one fewer, one more, any.
std::uint64_t limit_near(arguments& in, std::uint64_t pixels) {
    switch (in.byte() % 5) {
        case 0:
            return 0;
        case 1:
            return pixels;
        case 2:
            return pixels - 1;
        case 3:
            return pixels + 1;
        default:
            return in.word() & 0xFFFF;
    }
}

struct decoded {
    kvrn_status status;
    std::uint64_t missing;
    std::vector<std::uint8_t> rgb;  // top row first, packed
};

// kvrn_check_stream: its own statuses, and a measure consistent with itself.
kvrn_stream_info check_stream(const std::uint8_t* file, std::size_t size) {
    kvrn_stream_info info{};
    const kvrn_status status = kvrn_check_stream(file, size, &info);
    const kvrn_status expected = size < KVRN_HEADER_BYTES          ? KVRN_TOO_SHORT
                                 : info.header.magic != KVRN_MAGIC ? KVRN_WRONG_MAGIC
                                                                   : KVRN_OK;
    check(status == expected);
    if (status != KVRN_OK) return info;
    check(info.blocks_needed == 3 * kvrn_block_positions(info.header.width, info.header.height));
    check(info.blocks_held <= info.blocks_needed);
    check(info.complete == (info.blocks_held == info.blocks_needed ? 1 : 0));
    check(info.bytes_held <= size - KVRN_HEADER_BYTES);
    // Each complete block takes 3..65 bytes; a cut stream needs more than it holds.
    check(info.bytes_held >= 3 * info.blocks_held);
    check(info.bytes_needed >= info.bytes_held);
    check(info.complete == 0 || info.bytes_needed == info.bytes_held);
    check(info.complete != 0 || info.bytes_needed > info.bytes_held);
    check(info.trailing_bytes ==
          (info.complete != 0 ? size - KVRN_HEADER_BYTES - info.bytes_held : 0));
    return info;
}

// kvrn_decode into a buffer of exactly the rows its stride spans.
decoded decode(arguments& in, const std::uint8_t* file, std::size_t size, const kvrn_header& header,
               kvrn_status header_ok, unsigned channels) {
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    const std::uint64_t row = 3 * std::uint64_t{header.width};
    const std::uint64_t limit = limit_near(in, pixels);
    const ptrdiff_t stride = stride_near(in, row);
    const bool null_pixels = in.byte() % 16 == 0;

    kvrn_status expected = header_ok;
    if (expected == KVRN_OK && limit != 0 && pixels > limit) expected = KVRN_TOO_LARGE;
    if (expected == KVRN_OK && (null_pixels || magnitude(stride) < row)) {
        expected = KVRN_BAD_ARGUMENT;
    }
    if (expected == KVRN_OK && beyond_memory(stride, row, header.height)) expected = KVRN_TOO_LARGE;
    // What the call may write: nothing unless it succeeds. A refused call gets a buffer of one
    // row, which a write would overrun as soon as it went on to the next.
    const std::uint64_t bytes = expected == KVRN_OK ? span(stride, row, header.height) : row;
    if (bytes == 0 || bytes > largest_buffer) return {KVRN_TOO_LARGE, 0, {}};
    guarded_buffer out(bytes, expected == KVRN_OK ? stride : 0, header.height);
    std::uint64_t missing = 12345;
    const kvrn_status status = kvrn_decode(file, size, channels, limit, 1,
                                           null_pixels ? nullptr : out.first, stride, &missing);
    check(status == expected);
    if (status != KVRN_OK) {
        check(missing == 0 && out.untouched());
        return {status, 0, {}};
    }
    decoded result{status, missing, {}};
    result.rgb.reserve(static_cast<std::size_t>(pixels * 3));
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::uint8_t* from = out.first + static_cast<ptrdiff_t>(y) * stride;
        result.rgb.insert(result.rgb.end(), from, from + row);
    }
    // The bytes between rows are the caller's: left as they were.
    if (magnitude(stride) > row && header.height > 1) {
        const std::uint8_t* gap = (stride > 0 ? out.first : out.first + stride) + row;
        check(std::all_of(gap, gap + (magnitude(stride) - row), [](auto b) { return b == guard; }));
    }
    return result;
}

// kvrn_decode_into an output of arbitrary layout and size.
decoded decode_into(arguments& in, const std::uint8_t* file, std::size_t size,
                    const kvrn_header& header, kvrn_status header_ok, unsigned channels) {
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    const std::uint8_t layout = in.byte();
    // Mostly layouts that are one; now and then a pixel size or a row order that is none.
    const unsigned components = (layout & 7) < 6 ? 3 + (layout & 7) / 3 : (layout & 7) == 6 ? 0 : 5;
    const unsigned row_order = (layout >> 3) % 8 < 6    ? (layout >> 3) % 8 / 3
                               : (layout >> 3) % 8 == 6 ? 2
                                                        : 0xFFFFFFFFU;
    const std::uint64_t row = components * std::uint64_t{header.width};
    const ptrdiff_t stride = stride_near(in, row);
    const std::int32_t size_change = in.byte() % 3 - 1;  // a byte short, exactly, a byte over

    // kvrn_output_bytes first, on its own.
    kvrn_status layout_ok = KVRN_OK;
    if ((components != 3 && components != 4) ||
        (row_order != KVRN_ROWS_TOP_FIRST && row_order != KVRN_ROWS_BOTTOM_FIRST)) {
        layout_ok = KVRN_BAD_ARGUMENT;
    } else if (header.width == 0 || header.height == 0) {
        layout_ok = KVRN_NO_PIXELS;
    } else if (stride < 0 || static_cast<std::uint64_t>(stride) < row) {
        layout_ok = KVRN_BAD_ARGUMENT;
    } else if (beyond_memory(stride, row, header.height)) {
        layout_ok = KVRN_TOO_LARGE;
    }
    kvrn_output out{nullptr, 0, stride, components, row_order};
    std::size_t needed = 7;
    check(kvrn_output_bytes(&out, header.width, header.height, &needed) == layout_ok);
    if (layout_ok != KVRN_OK) check(needed == 7);
    if (layout_ok == KVRN_OK)
        check(needed == span(stride, row, header.height) || needed > largest_buffer);

    const std::uint64_t limit = pixels;  // the edge: exactly the picture's pixels
    kvrn_status expected = header_ok;
    if (expected == KVRN_OK) expected = layout_ok;
    std::uint64_t bytes = row;
    if (expected == KVRN_OK) {
        if (needed > largest_buffer) return {KVRN_TOO_LARGE, 0, {}};
        bytes = needed + static_cast<std::uint64_t>(size_change + 1) - 1;
        if (bytes < needed) expected = KVRN_TOO_LARGE;
    }
    bytes = std::max<std::uint64_t>(bytes, 1);
    guarded_buffer memory(bytes, 0, 1);
    out.pixels = memory.first;
    out.size = static_cast<std::size_t>(bytes);
    std::uint64_t missing = 12345;
    const kvrn_status status = kvrn_decode_into(file, size, &out, channels, limit, 1, &missing);
    check(status == expected);
    if (status != KVRN_OK) {
        check(missing == 0 && memory.untouched());
        return {status, 0, {}};
    }
    decoded result{status, missing, {}};
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::uint32_t stored = row_order == KVRN_ROWS_TOP_FIRST ? y : header.height - 1 - y;
        const std::uint8_t* from = memory.first + static_cast<ptrdiff_t>(stored) * stride;
        for (std::uint32_t x = 0; x < header.width; ++x, from += components) {
            result.rgb.insert(result.rgb.end(), from, from + 3);
            if (components == 4) check(from[3] == 255);
        }
    }
    // Past the last row's pixels nothing is written (the spare byte of a larger buffer).
    check(std::all_of(memory.memory.begin() + static_cast<ptrdiff_t>(needed), memory.memory.end(),
                      [](auto b) { return b == guard; }));
    return result;
}

// An image of `width` x `height` from the bytes at `pixels`, in a buffer of exactly its span.
struct image_buffer {
    kvrn_image image{};
    std::vector<std::uint8_t> memory;
    kvrn_status expected = KVRN_OK;  // check_image's status
};

image_buffer image_from(arguments& in, const std::uint8_t* bytes, std::size_t size) {
    image_buffer result;
    const std::uint32_t width = in.byte() % 41;
    const std::uint32_t height = in.byte() % 41;
    const std::uint8_t kind = in.byte();
    const unsigned components = kind % 8 < 7 ? 3 + kind % 2 : kind % 6;
    const std::uint64_t row = components * std::uint64_t{width};
    const ptrdiff_t stride = stride_near(in, row);
    if (width == 0 || height == 0) {
        result.expected = KVRN_NO_PIXELS;
    } else if ((components != 3 && components != 4) || magnitude(stride) / components < width) {
        result.expected = KVRN_BAD_ARGUMENT;
    }
    const std::uint64_t span_bytes =
        result.expected == KVRN_OK ? span(stride, row, height) : std::max<std::uint64_t>(row, 1);
    if (span_bytes == 0) {
        result.expected = KVRN_TOO_LARGE;  // beyond the fuzzer's buffers: not called
        return result;
    }
    result.memory.resize(static_cast<std::size_t>(span_bytes));
    for (std::size_t i = 0; i < result.memory.size(); ++i) {
        result.memory[i] = size == 0 ? 0 : bytes[i % size];
    }
    std::uint8_t* first = result.memory.data();
    if (result.expected == KVRN_OK && stride < 0) first += magnitude(stride) * (height - 1);
    result.image = {first, width, height, stride, components};
    return result;
}

kvrn_scales scales_from(arguments& in) {
    // Small scales clip and large ones empty the blocks; 0 is refused.
    const auto scale = [&] {
        const std::uint8_t b = in.byte();
        return static_cast<std::uint16_t>(b < 250 ? b : 65535 - (255 - b));
    };
    return {scale(), scale(), scale()};
}

// kvrn_inspect at any block position, near the grid's edges most of all.
void inspect(arguments& in, const image_buffer& picture) {
    const kvrn_scales scales = scales_from(in);
    const std::uint32_t columns = (picture.image.width + 7) / 8;
    const std::uint32_t rows = (picture.image.height + 7) / 8;
    const auto coordinate = [&](std::uint32_t count) {
        const std::uint8_t mode = in.byte();
        return mode < 32 ? in.word() : count - 1 + static_cast<std::uint32_t>(mode % 3) - 1;
    };
    const std::uint32_t column = coordinate(columns);
    const std::uint32_t row = coordinate(rows);
    kvrn_status expected = picture.expected;
    if (expected == KVRN_OK &&
        (scales.y == 0 || scales.cr == 0 || scales.cb == 0 || column >= columns || row >= rows)) {
        expected = KVRN_BAD_ARGUMENT;
    }
    kvrn_block_report report{};
    check(kvrn_inspect(&picture.image, scales, column, row, &report) == expected);
    if (expected != KVRN_OK) return;
    check(report.column == column && report.row == row);
    check(report.first_pixel_column == 8 * column);
    check(report.pixel_columns == std::min<std::uint32_t>(8, picture.image.width - 8 * column));
    check(report.pixel_rows >= 1 && report.pixel_rows <= 8);
    check(report.first_pixel_row + report.pixel_rows <= picture.image.height);
    // The top block row is the one that may be cut; every other ends 8 rows further down.
    check(row == 0 || report.pixel_rows == 8);
    for (int c = 0; c < 3; ++c) {
        check(report.stored_count[c] >= 1 && report.stored_count[c] <= 64);
        check(report.coded_bytes[c] >= 3 && report.coded_bytes[c] <= KVRN_MAX_BLOCK_BYTES);
        check(report.clipped[c] < report.stored_count[c]);
        for (int i = 0; i < 64; ++i) {
            check(report.decoded_rgb[c][i] >= 0 && report.decoded_rgb[c][i] <= 255);
            check(report.samples[c][i] >= 0 && report.samples[c][i] <= 255);
            check(report.error[c][i] == report.reconstruction[c][i] - report.samples[c][i]);
        }
    }
}

// kvrn_encode_to_memory into exactly the file's bytes, one fewer and one more; the file it writes
// is complete, and kvrn_decode reads it back.
void encode(arguments& in, const image_buffer& picture) {
    const kvrn_scales scales = scales_from(in);
    const std::int32_t size_change = in.byte() % 3 - 1;  // a byte short, exactly, a byte over
    kvrn_status expected = picture.expected;
    if (expected == KVRN_OK && (scales.y == 0 || scales.cr == 0 || scales.cb == 0)) {
        expected = KVRN_BAD_ARGUMENT;
    }
    std::size_t most = 0;
    if (expected != KVRN_OK) {
        std::vector<std::uint8_t> out(16, guard);
        std::size_t size = 0;
        check(kvrn_encode_to_memory(&picture.image, scales, 1, out.data(), out.size(), &size,
                                    nullptr) == expected);
        return;
    }
    check(kvrn_encoded_bytes_max(picture.image.width, picture.image.height, &most) == KVRN_OK);
    std::vector<std::uint8_t> whole(most);
    std::size_t size = 0;
    std::uint64_t clipped = 0;
    check(kvrn_encode_to_memory(&picture.image, scales, 1, whole.data(), whole.size(), &size,
                                &clipped) == KVRN_OK);
    check(size <= most && size >= KVRN_HEADER_BYTES);
    const kvrn_stream_info info = check_stream(whole.data(), size);
    check(info.complete == 1 && info.trailing_bytes == 0);
    check(info.header.width == picture.image.width && info.header.height == picture.image.height);

    const std::size_t capacity = size + static_cast<std::size_t>(size_change + 1) - 1;
    std::vector<std::uint8_t> exact(capacity);
    std::size_t written = 0;
    const kvrn_status status = kvrn_encode_to_memory(&picture.image, scales, 1, exact.data(),
                                                     exact.size(), &written, nullptr);
    check(status == (capacity >= size ? KVRN_OK : KVRN_TOO_LARGE));
    if (status == KVRN_OK) {
        check(written == size && std::equal(exact.begin(), exact.begin() + size, whole.begin()));
    }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    arguments in(data, std::min(size, argument_bytes));
    const std::uint8_t* file = data + std::min(size, argument_bytes);
    const std::size_t file_size = size - std::min(size, argument_bytes);

    const kvrn_stream_info info = check_stream(file, file_size);
    kvrn_header header{};
    const kvrn_status read = kvrn_read_header(file, file_size, &header);
    check(read == (file_size < KVRN_HEADER_BYTES ? KVRN_TOO_SHORT
                   : header.magic != KVRN_MAGIC  ? KVRN_WRONG_MAGIC
                                                 : KVRN_OK));
    const kvrn_status header_ok = header_status(header, file_size);
    // Pictures up to 65536 pixels are decoded; larger ones only refused.
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    if (pixels <= (std::uint64_t{1} << 16)) {
        // Any mask: bits beyond the three channels are ignored.
        const unsigned channels = in.byte();
        const decoded plain = decode(in, file, file_size, header, header_ok, channels);
        const decoded laid_out = decode_into(in, file, file_size, header, header_ok, channels);
        if (plain.status == KVRN_OK) {
            check(plain.missing == info.blocks_needed - info.blocks_held);
        }
        if (laid_out.status == KVRN_OK) {
            check(laid_out.missing == info.blocks_needed - info.blocks_held);
        }
        if (plain.status == KVRN_OK && laid_out.status == KVRN_OK) check(plain.rgb == laid_out.rgb);
    } else {
        // A limit one below the picture's pixels refuses it before anything is written.
        std::uint8_t row[3] = {guard, guard, guard};
        check(kvrn_decode(file, file_size, KVRN_CHANNELS_ALL, pixels - 1, 1, row, 3 * 65535,
                          nullptr) == (header_ok == KVRN_OK ? KVRN_TOO_LARGE : header_ok));
        check(row[0] == guard && row[1] == guard && row[2] == guard);
    }

    const image_buffer picture = image_from(in, file, file_size);
    if (picture.expected == KVRN_TOO_LARGE) return 0;
    inspect(in, picture);
    encode(in, picture);
    return 0;
}
