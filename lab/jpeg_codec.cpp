#include "lab/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kvrn::lab {
namespace {

// The library reports a fatal error by calling error_exit, which must not return: it jumps back
// to the call that started the work, with the message kept. Warnings (damaged data the decoder
// can get past) are not printed: the library never writes to the console from here.
struct error_manager {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void error_exit(j_common_ptr info) {
    auto* manager = reinterpret_cast<error_manager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void output_message(j_common_ptr /*info*/) {}

void install(error_manager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = error_exit;
    manager.pub.output_message = output_message;
}

// Everything the library changes between setjmp and a jump lives here, on the heap, so that
// nothing the jump returns to is an automatic variable changed in between; the destructor
// releases what the library holds on either way out.
struct compress_job {
    compress_job() {
        cinfo.err = &errors.pub;
        install(errors);
    }
    ~compress_job() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): jpeg_mem_dest mallocs it
    }
    compress_job(const compress_job&) = delete;
    compress_job& operator=(const compress_job&) = delete;

    jpeg_compress_struct cinfo{};
    error_manager errors;
    bool created = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;  // NOLINT(google-runtime-int): jpeg_mem_dest's type
};

struct decompress_job {
    decompress_job() {
        cinfo.err = &errors.pub;
        install(errors);
    }
    ~decompress_job() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    decompress_job(const decompress_job&) = delete;
    decompress_job& operator=(const decompress_job&) = delete;

    jpeg_decompress_struct cinfo{};
    error_manager errors;
    bool created = false;
};

}  // namespace

bool encode_jpeg(const picture_view& picture, int quality, jpeg_sampling sampling,
                 std::vector<std::uint8_t>& out, std::string& error) {
    if (quality < 1 || quality > 100) {
        error = "quality " + std::to_string(quality) + " is outside 1..100";
        return false;
    }
    if (picture.width <= 0 || picture.height <= 0 || picture.width > JPEG_MAX_DIMENSION ||
        picture.height > JPEG_MAX_DIMENSION) {
        error = "a JPEG picture is 1 to " + std::to_string(JPEG_MAX_DIMENSION) + " pixels a side";
        return false;
    }
    const auto job = std::make_unique<compress_job>();
    jpeg_compress_struct& cinfo = job->cinfo;
    if (setjmp(job->errors.jump) != 0) {
        error = job->errors.message;
        return false;
    }
    jpeg_create_compress(&cinfo);
    job->created = true;
    jpeg_mem_dest(&cinfo, &job->buffer, &job->size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = FALSE;
    jpeg_set_quality(&cinfo, quality, TRUE);
    const int luma_factor = sampling == jpeg_sampling::half ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = luma_factor;
    cinfo.comp_info[0].v_samp_factor = luma_factor;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // The library reads the rows and never writes them; its prototype just lacks the const.
        auto* row = const_cast<JSAMPROW>(  // NOLINT(cppcoreguidelines-pro-type-const-cast)
            picture.pixels +
            pixel_offset(picture.width, static_cast<std::int32_t>(cinfo.next_scanline), 0));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(job->buffer, job->buffer + job->size);
    return true;
}

bool decode_jpeg(const std::uint8_t* data, std::size_t size, std::uint64_t max_pixels,
                 decoded_jpeg& out, std::string& error) {
    const auto job = std::make_unique<decompress_job>();
    jpeg_decompress_struct& cinfo = job->cinfo;
    if (setjmp(job->errors.jump) != 0) {
        error = job->errors.message;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    job->created = true;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (std::uint64_t{cinfo.image_width} * cinfo.image_height > max_pixels) {
        error = "the picture is " + std::to_string(cinfo.image_width) + " x " +
                std::to_string(cinfo.image_height) + " pixels, more than " +
                std::to_string(max_pixels);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        error = "the picture does not decode to RGB";
        return false;
    }
    out.width = static_cast<std::int32_t>(cinfo.output_width);
    out.height = static_cast<std::int32_t>(cinfo.output_height);
    out.pixels.resize(pixel_offset(out.width, out.height, 0));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() +
                       pixel_offset(out.width, static_cast<std::int32_t>(cinfo.output_scanline), 0);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

// LIBJPEG_TURBO_VERSION is a bare token (2.1.5): made a string in two steps, so that the macro is
// expanded first.
#define KVRN_SPELLED(x) #x
#define KVRN_SPELLED_VALUE(x) KVRN_SPELLED(x)

std::string jpeg_version() {
#ifdef LIBJPEG_TURBO_VERSION
    return "libjpeg-turbo " KVRN_SPELLED_VALUE(LIBJPEG_TURBO_VERSION);
#else
    return "libjpeg " KVRN_SPELLED_VALUE(JPEG_LIB_VERSION);
#endif
}

}  // namespace kvrn::lab
