#include "lab/jxl_codec.h"

#include <jxl/decode_cxx.h>
#include <jxl/encode_cxx.h>

namespace kvrn::lab {
namespace {

// Encoding effort 7 ("squirrel"), cjxl's default.
constexpr std::int64_t effort = 7;

constexpr JxlPixelFormat rgb_bytes = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

// "0.7.0" from the library's major * 1000000 + minor * 1000 + patch.
std::string dotted(std::uint32_t version) {
    return std::to_string(version / 1000000) + "." + std::to_string(version / 1000 % 1000) + "." +
           std::to_string(version % 1000);
}

}  // namespace

bool encode_jxl(const picture_view& picture, double distance, std::vector<std::uint8_t>& out,
                std::string& error) {
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    if (!encoder) {
        error = "out of memory";
        return false;
    }
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(picture.width);
    info.ysize = static_cast<std::uint32_t>(picture.height);
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    // Lossy: the encoder codes XYB and keeps only the colour space's description.
    info.uses_original_profile = JXL_FALSE;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
    JxlEncoderFrameSettings* settings = nullptr;
    const bool set =
        JxlEncoderSetBasicInfo(encoder.get(), &info) == JXL_ENC_SUCCESS &&
        JxlEncoderSetColorEncoding(encoder.get(), &srgb) == JXL_ENC_SUCCESS &&
        (settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr)) != nullptr &&
        JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, effort) ==
            JXL_ENC_SUCCESS &&
        JxlEncoderSetFrameDistance(settings, static_cast<float>(distance)) == JXL_ENC_SUCCESS;
    if (!set) {
        error = "the encoder refused the settings";
        return false;
    }
    if (JxlEncoderAddImageFrame(settings, &rgb_bytes, picture.pixels,
                                pixel_offset(picture.width, picture.height, 0)) !=
        JXL_ENC_SUCCESS) {
        error = "the encoder refused the picture";
        return false;
    }
    JxlEncoderCloseInput(encoder.get());
    out.resize(1 << 16);
    std::size_t used = 0;
    while (true) {
        std::uint8_t* next = out.data() + used;
        std::size_t room = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &room);
        used = static_cast<std::size_t>(next - out.data());
        if (status == JXL_ENC_SUCCESS) break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            error = "the encoder failed";
            return false;
        }
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return true;
}

bool decode_jxl(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error) {
    // The library's decoder reports what it refuses on standard error as well; bytes that are not
    // JPEG XL at all are turned away before it sees them.
    if (JxlSignatureCheck(data, size) != JXL_SIG_CODESTREAM &&
        JxlSignatureCheck(data, size) != JXL_SIG_CONTAINER) {
        error = "not a JPEG XL file";
        return false;
    }
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS) {
        error = "out of memory";
        return false;
    }
    JxlDecoderCloseInput(decoder.get());
    while (true) {
        switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_BASIC_INFO: {
                JxlBasicInfo info;
                if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) break;
                out.width = static_cast<std::int32_t>(info.xsize);
                out.height = static_cast<std::int32_t>(info.ysize);
                continue;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                out.pixels.resize(pixel_offset(out.width, out.height, 0));
                if (JxlDecoderSetImageOutBuffer(decoder.get(), &rgb_bytes, out.pixels.data(),
                                                out.pixels.size()) != JXL_DEC_SUCCESS) {
                    break;
                }
                continue;
            case JXL_DEC_FULL_IMAGE:
                continue;
            case JXL_DEC_SUCCESS:
                return true;
            default:
                break;
        }
        error = "the JPEG XL file did not decode";
        return false;
    }
}

std::string jxl_version() {
    return "libjxl " + dotted(JxlEncoderVersion());
}

}  // namespace kvrn::lab
