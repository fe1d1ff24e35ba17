#include "codec/byte_reader.h"

namespace kvrn {

int byte_reader::refill() {
    // An end once seen is final: a file source is not asked again, so a truncated stream costs
    // nothing per further block.
    if (file_ == nullptr || ended_) return -1;
    const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (got == 0) {
        ended_ = true;
        return -1;
    }
    pos_ = buffer_.data();
    end_ = pos_ + got;
    refilled_ += got;
    return *pos_++;
}

}  // namespace kvrn
