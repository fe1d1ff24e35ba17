#include "lab/yardsticks.h"

#include <array>
#include <cstdint>

#include "lab/avif_codec.h"
#include "lab/jpeg_codec.h"
#include "lab/jxl_codec.h"
#include "lab/webp_codec.h"

namespace kvrn::lab {
namespace {

// The settings arrive checked against setting_ranges: whole numbers where the codec takes them.
int whole(double setting) {
    return static_cast<int>(setting);
}

bool decode_any_jpeg(const std::uint8_t* data, std::size_t size, decoded_rgb& out,
                     std::string& error) {
    return decode_jpeg(data, size, UINT64_MAX, out, error);
}

// AV1's frame size fields are 16 bits, less one.
constexpr std::int32_t av1_largest_side = 65536;
// JPEG XL's sizes go to 2^30; the picture's own limits come long before.
constexpr std::int32_t jxl_largest_side = 1 << 30;

const std::array<yardstick, 6> yardsticks = {{
    {codec_id::jpeg444, jpeg_largest_side,
     [](const picture_view& p, double s, std::vector<std::uint8_t>& out, std::string& error) {
         return encode_jpeg(p, whole(s), jpeg_sampling::full, out, error);
     },
     decode_any_jpeg, jpeg_version},
    {codec_id::jpeg420, jpeg_largest_side,
     [](const picture_view& p, double s, std::vector<std::uint8_t>& out, std::string& error) {
         return encode_jpeg(p, whole(s), jpeg_sampling::half, out, error);
     },
     decode_any_jpeg, jpeg_version},
    {codec_id::webp, webp_largest_side,
     [](const picture_view& p, double s, std::vector<std::uint8_t>& out, std::string& error) {
         return encode_webp(p, whole(s), out, error);
     },
     decode_webp, webp_version},
    {codec_id::avif444, av1_largest_side,
     [](const picture_view& p, double s, std::vector<std::uint8_t>& out, std::string& error) {
         return encode_avif(p, whole(s), avif_sampling::full, out, error);
     },
     decode_avif, avif_version},
    {codec_id::avif420, av1_largest_side,
     [](const picture_view& p, double s, std::vector<std::uint8_t>& out, std::string& error) {
         return encode_avif(p, whole(s), avif_sampling::half, out, error);
     },
     decode_avif, avif_version},
    {codec_id::jxl, jxl_largest_side, encode_jxl, decode_jxl, jxl_version},
}};

}  // namespace

const yardstick* yardstick_of(codec_id codec) {
    for (const yardstick& line : yardsticks) {
        if (line.codec == codec) return &line;
    }
    return nullptr;
}

}  // namespace kvrn::lab
