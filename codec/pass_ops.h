// The operations that the transforms' passes and the inverse colour conversion are written in, for
// one value (wrap32). The vector versions run the same templates on vectors of lanes, whose
// operations codec/wide_lanes.h gives; `select` serves both. A mask is all ones (true) or all
// zeros (false), per lane. Arithmetic wraps like wrap32; shifts of the signed view are arithmetic.
#pragma once

#include <algorithm>

#include "codec/wrapping.h"

namespace kvrn {

[[gnu::always_inline]] inline wrap32 asr(wrap32 value, int bits) {
    return wrap(shift_right(value, bits));
}

[[gnu::always_inline]] inline wrap32 is_zero(wrap32 value) {
    return value == 0 ? ~wrap32{0} : 0;
}

template <class V>
[[gnu::always_inline]] inline V select(V mask, V if_set, V if_clear) {
    return (mask & if_set) | (~mask & if_clear);
}

// Clamps the signed value to -128..127 and adds 128.
[[gnu::always_inline]] inline wrap32 saturate(wrap32 value) {
    return wrap(std::clamp(unwrap(value), -128, 127) + 128);
}

}  // namespace kvrn
