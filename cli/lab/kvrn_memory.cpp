#include "cli/lab/kvrn_memory.h"

#include <algorithm>
#include <array>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/reencode.h"

namespace kvrn::lab {
namespace {

// Puts the coded blocks of each position after one another, as the encoder's writer does.
struct coding_sink {
    std::uint8_t* end;
    std::int64_t clipped = 0;
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        end += put_block(coefficients.y, end, clipped);
        end += put_block(coefficients.cr, end, clipped);
        end += put_block(coefficients.cb, end, clipped);
    }
};

}  // namespace

std::vector<std::uint8_t> encode_kvrn(const picture_view& picture, std::int32_t step) {
    kvrn_header header;
    header.width = static_cast<std::uint16_t>(picture.width);
    header.height = static_cast<std::uint16_t>(picture.height);
    header.y_scale = header.cr_scale = header.cb_scale = static_cast<std::uint16_t>(step);
    // Room for the longest coding of every position, and put_block's scratch byte past the last.
    const auto positions = static_cast<std::size_t>(block_positions(header));
    std::vector<std::uint8_t> file(header_bytes + 3 * positions * max_coded_block_bytes + 1);
    const std::array<std::uint8_t, header_bytes> head = format_header(header);
    std::copy(head.begin(), head.end(), file.begin());
    coding_sink sink{file.data() + header_bytes};
    reencode_blocks(picture, {{step, step, step}, {}, block_coverage::every_position}, sink);
    file.resize(static_cast<std::size_t>(sink.end - file.data()));
    return file;
}

bool decode_kvrn(const std::vector<std::uint8_t>& file, std::uint8_t* pixels) {
    if (file.size() < header_bytes) return false;
    std::array<std::uint8_t, header_bytes> head{};
    std::copy_n(file.begin(), header_bytes, head.begin());
    byte_reader in(file.data() + header_bytes, file.size() - header_bytes);
    return decode_blocks(in, parse_header(head), channel_enables{}, pixels, nullptr) == 0;
}

}  // namespace kvrn::lab
