// The libraries behind the codecs, named for a table's header.
#include "codec/include/kvrn.h"
#include "lab/lab.h"
#include "lab/yardsticks.h"
#include "lab/zstd_size.h"

namespace kvrn::lab {

std::string codec_library(codec_id codec) {
    std::string kvrn = std::string("libkvrn ") + kvrn_version();
    switch (codec) {
        case codec_id::kvrn:
        case codec_id::kvrn_tables:
            return kvrn;
        case codec_id::kvrn_zstd:
            return kvrn + ", " + zstd_version();
        default:
            return yardstick_of(codec)->library();
    }
}

}  // namespace kvrn::lab
