// The four commands of the kvrn tool. Each reports its own errors on standard error and
// returns the process exit status.
#pragma once

#include <cstdint>

#include "codec/coef_block.h"

namespace kvrn::cli {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;
// The output was made from a truncated block stream, or info found the stream incomplete.
inline constexpr int exit_damaged = 2;
// EX_USAGE of sysexits.h.
inline constexpr int exit_usage = 64;

// Prints the header of the KVRN file `path`, its block grid and the state of its block stream.
int info_command(const char* path);

// Decodes the KVRN file `path` as the viewer's loader does and writes the picture to `out_path`.
int decode_command(const char* path, const char* out_path);

// Quantises the picture `in_path` block by block with `scales` and writes the KVRN file.
int encode_command(const char* in_path, const char* out_path, const channel_steps& scales);

// Writes what the viewer's window shows for the KVRN file `path` at `step` with `channels`.
int preview_command(const char* path, const char* out_path, std::int32_t step,
                    const channel_enables& channels);

}  // namespace kvrn::cli
