#include "lab/zstd_size.h"

#include <zstd.h>

#include <memory>
#include <vector>

namespace kvrn::lab {
namespace {

struct context_free {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

}  // namespace

std::optional<std::size_t> zstd_size(const std::uint8_t* data, std::size_t size,
                                     std::string& error) {
    const std::unique_ptr<ZSTD_CCtx, context_free> context(ZSTD_createCCtx());
    if (!context) {
        error = "cannot make a zstd compression context";
        return std::nullopt;
    }
    for (const auto& [parameter, value] :
         {std::pair{ZSTD_c_compressionLevel, zstd_level}, std::pair{ZSTD_c_checksumFlag, 0}}) {
        const std::size_t status = ZSTD_CCtx_setParameter(context.get(), parameter, value);
        if (ZSTD_isError(status) != 0) {
            error = ZSTD_getErrorName(status);
            return std::nullopt;
        }
    }
    // Compressing into a buffer of the worst-case size takes one call and one frame.
    std::vector<std::uint8_t> frame(ZSTD_compressBound(size));
    const std::size_t written =
        ZSTD_compress2(context.get(), frame.data(), frame.size(), data, size);
    if (ZSTD_isError(written) != 0) {
        error = ZSTD_getErrorName(written);
        return std::nullopt;
    }
    return written;
}

std::string zstd_version() {
    return std::string("zstd ") + ZSTD_versionString();
}

}  // namespace kvrn::lab
