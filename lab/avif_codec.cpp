#include "lab/avif_codec.h"

#include <avif/avif.h>

#include <algorithm>
#include <array>
#include <memory>

namespace kvrn::lab {
namespace {

struct image_deleter {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct encoder_deleter {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct decoder_deleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
struct rgb_pixels {
    avifRGBImage rgb{};
    ~rgb_pixels() { avifRGBImageFreePixels(&rgb); }
    rgb_pixels() = default;
    rgb_pixels(const rgb_pixels&) = delete;
    rgb_pixels& operator=(const rgb_pixels&) = delete;
};
struct written {
    avifRWData data = AVIF_DATA_EMPTY;
    ~written() { avifRWDataFree(&data); }
    written() = default;
    written(const written&) = delete;
    written& operator=(const written&) = delete;
};

bool failed(avifResult result, std::string& error) {
    if (result == AVIF_RESULT_OK) return false;
    error = avifResultToString(result);
    return true;
}

}  // namespace

bool encode_avif(const picture_view& picture, int quantizer, avif_sampling sampling,
                 std::vector<std::uint8_t>& out, std::string& error) {
    const std::unique_ptr<avifImage, image_deleter> image(avifImageCreate(
        static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.height), 8,
        sampling == avif_sampling::full ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420));
    if (!image) {
        error = "out of memory";
        return false;
    }
    image->yuvRange = AVIF_RANGE_FULL;
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_RGB;
    rgb.depth = 8;
    rgb.pixels = const_cast<std::uint8_t*>(picture.pixels);  // read only: the RGB side of the job
    rgb.rowBytes = static_cast<std::uint32_t>(picture.width) * 3;
    if (failed(avifImageRGBToYUV(image.get(), &rgb), error)) return false;

    const std::unique_ptr<avifEncoder, encoder_deleter> encoder(avifEncoderCreate());
    if (!encoder) {
        error = "out of memory";
        return false;
    }
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->maxThreads = 1;
    encoder->speed = 6;
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    written file;
    if (failed(avifEncoderWrite(encoder.get(), image.get(), &file.data), error)) return false;
    out.assign(file.data.data, file.data.data + file.data.size);
    return true;
}

bool decode_avif(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error) {
    const std::unique_ptr<avifDecoder, decoder_deleter> decoder(avifDecoderCreate());
    const std::unique_ptr<avifImage, image_deleter> image(avifImageCreateEmpty());
    if (!decoder || !image) {
        error = "out of memory";
        return false;
    }
    decoder->codecChoice = AVIF_CODEC_CHOICE_DAV1D;
    decoder->maxThreads = 1;
    if (failed(avifDecoderReadMemory(decoder.get(), image.get(), data, size), error)) return false;
    rgb_pixels rgb;
    avifRGBImageSetDefaults(&rgb.rgb, image.get());
    rgb.rgb.format = AVIF_RGB_FORMAT_RGB;
    rgb.rgb.depth = 8;
    avifRGBImageAllocatePixels(&rgb.rgb);
    if (failed(avifImageYUVToRGB(image.get(), &rgb.rgb), error)) return false;
    out.width = static_cast<std::int32_t>(image->width);
    out.height = static_cast<std::int32_t>(image->height);
    out.pixels.resize(pixel_offset(out.width, out.height, 0));
    const std::size_t row = pixel_offset(out.width, 1, 0);
    for (std::int32_t y = 0; y < out.height; ++y) {
        const std::uint8_t* from = rgb.rgb.pixels + static_cast<std::size_t>(y) * rgb.rgb.rowBytes;
        std::copy_n(from, row, out.pixels.data() + static_cast<std::size_t>(y) * row);
    }
    return true;
}

std::string avif_version() {
    // The library lists every codec it was built with ("dav1d [dec]:1.0.0, libgav1 [dec]:0.18.0,
    // aom [enc/dec]:v3.6.0, ..."); the two used here are named with theirs.
    std::array<char, 256> listed{};
    avifCodecVersions(listed.data());
    const std::string codecs = listed.data();
    const auto version_of = [&](const std::string& name) {
        const std::size_t at = codecs.find(name + " [");
        const std::size_t colon = at == std::string::npos ? at : codecs.find(':', at);
        if (colon == std::string::npos) return name;
        return name + " " + codecs.substr(colon + 1, codecs.find(',', colon) - colon - 1);
    };
    return std::string("libavif ") + avifVersion() + " with " + version_of("aom") + " and " +
           version_of("dav1d");
}

}  // namespace kvrn::lab
