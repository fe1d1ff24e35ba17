// What the vector versions of codec/x86/ share: how a function is compiled for AVX2.
//
// Two dialects live in codec/x86/. GNU vector extensions where the vector code is the plain
// code's own template run on lanes (the transforms, the inverse colour conversion) or plain
// arithmetic and shuffles by constant indices (the block decoder, the quantisation): there one
// text serves both versions. Intrinsics where the work needs what the extensions do not express:
// saturating packs, byte shuffles driven by a table in memory, a mask of lanes as an integer
// (the block writer, the pixel store) and the round trip of doubles through float in one
// instruction each (the forward colour conversion).
#pragma once

// Compiles a function for AVX2, per function rather than per file: a file built with -mavx2 could
// also emit AVX2 code for the inline functions of the shared headers (std::min, pixel_offset),
// and the linker may keep that copy for every caller, on any processor. Call such a function only
// through the table of codec/kernels.h.
#define kvrn_avx2 __attribute__((target("avx2")))
