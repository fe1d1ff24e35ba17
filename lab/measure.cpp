#include "lab/lab.h"

namespace kvrn::lab {

std::optional<distortion> measure(const picture_view& a, const picture_view& b, unsigned threads) {
    return compare(a, b, threads);
}

}  // namespace kvrn::lab
