#include "cli/lab/png_text.h"

#include "cli/formats/png.h"
#include "cli/report.h"

namespace kvrn::cli {

bool write_map_png(output_file& out, const std::uint8_t* pixels, std::int32_t width,
                   std::int32_t height, const std::string& legend, const std::string& bar) {
    const png_notes notes{.srgb = false,
                          .description = legend.c_str(),
                          .colour_bar = bar.empty() ? nullptr : bar.c_str(),
                          .libpng_says_errors = true};
    if (!write_png({pixels, width, height}, out.stream(), out.path(), notes)) {
        complain(out.path(), "cannot write the PNG picture");
        return false;
    }
    return out.commit();
}

}  // namespace kvrn::cli
