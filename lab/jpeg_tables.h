// The example quantisation tables of the JPEG standard (its Annex K) for luma and chroma, scaled
// by a quality as libjpeg scales them: what the lab's table mode sets beside KVRN's scales.
#pragma once

#include <cstdint>

#include "lab/table_quantiser.h"

namespace kvrn::lab {

// The tables of Y (luma) and of Cr and Cb (chroma) at `quality` (1..100, clamped): each entry
// (entry * scale + 50) / 100 with scale 5000 / quality below 50 and 200 - 2 quality from 50,
// kept within 1..255 as a baseline JPEG keeps them.
quantisation_tables jpeg_tables(std::int32_t quality);

}  // namespace kvrn::lab
