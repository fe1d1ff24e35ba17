#include "lab/webp_codec.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace kvrn::lab {
namespace {

const char* encoding_error(WebPEncodingError code) {
    switch (code) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_ENC_ERROR_BAD_DIMENSION:
            return "the picture's size is beyond WebP's 16383 pixels a side";
        case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
        case VP8_ENC_ERROR_PARTITION_OVERFLOW:
            return "a partition of the coded picture overflowed";
        case VP8_ENC_ERROR_FILE_TOO_BIG:
            return "the file would pass WebP's 4 GiB";
        default:
            return "the encoder failed";
    }
}

// A "libwebp" version number is three bytes of one int, major first.
std::string dotted(int version) {
    return std::to_string((version >> 16) & 0xff) + "." + std::to_string((version >> 8) & 0xff) +
           "." + std::to_string(version & 0xff);
}

}  // namespace

bool encode_webp(const picture_view& picture, int quality, std::vector<std::uint8_t>& out,
                 std::string& error) {
    if (picture.width > webp_largest_side || picture.height > webp_largest_side) {
        error = encoding_error(VP8_ENC_ERROR_BAD_DIMENSION);
        return false;
    }
    WebPConfig config;
    if (WebPConfigInit(&config) == 0) {
        error = "libwebp is not the version its header describes";
        return false;
    }
    config.quality = static_cast<float>(quality);
    WebPPicture frame;
    if (WebPPictureInit(&frame) == 0) {
        error = "libwebp is not the version its header describes";
        return false;
    }
    // Lossy coding takes YUV: imported straight from RGB, as cwebp imports a PNG or PPM when
    // nothing asks it for ARGB (lossless, sharp YUV, cropping or resizing).
    frame.use_argb = 0;
    frame.width = picture.width;
    frame.height = picture.height;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    frame.writer = WebPMemoryWrite;
    frame.custom_ptr = &writer;
    const bool imported = WebPPictureImportRGB(&frame, picture.pixels, picture.width * 3) != 0;
    const bool encoded = imported && WebPEncode(&config, &frame) != 0;
    if (!encoded) error = imported ? encoding_error(frame.error_code) : "out of memory";
    WebPPictureFree(&frame);
    if (encoded) out.assign(writer.mem, writer.mem + writer.size);
    WebPMemoryWriterClear(&writer);
    return encoded;
}

bool decode_webp(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error) {
    int width = 0;
    int height = 0;
    if (WebPGetInfo(data, size, &width, &height) == 0) {
        error = "not a WebP file the decoder reads";
        return false;
    }
    out.width = width;
    out.height = height;
    out.pixels.resize(pixel_offset(width, height, 0));
    if (WebPDecodeRGBInto(data, size, out.pixels.data(), out.pixels.size(), width * 3) == nullptr) {
        error = "the WebP file did not decode";
        return false;
    }
    return true;
}

std::string webp_version() {
    return "libwebp " + dotted(WebPGetEncoderVersion());
}

}  // namespace kvrn::lab
