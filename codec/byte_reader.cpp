#include "codec/byte_reader.h"

#include <cstring>

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

const std::uint8_t* byte_reader::top_up(std::size_t count) {
    if (file_ == nullptr || ended_ || count > 1024) return nullptr;
    // Move the bytes not yet taken to the front and fill the rest of the buffer behind them.
    const auto kept = static_cast<std::size_t>(end_ - pos_);
    if (kept > 0) std::memmove(buffer_.data(), pos_, kept);
    const std::size_t got = std::fread(buffer_.data() + kept, 1, buffer_.size() - kept, file_);
    if (got == 0) ended_ = true;
    pos_ = buffer_.data();
    end_ = pos_ + kept + got;
    refilled_ += got;
    return kept + got >= count ? pos_ : nullptr;
}

}  // namespace kvrn
