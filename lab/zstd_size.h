// What entropy coding would save: the size of a buffer after zstd at its strongest usual level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kvrn::lab {

inline constexpr int zstd_level = 19;

// The size of `data` compressed by libzstd at level 19 into one frame with its content size, no
// checksum and no dictionary: what `zstd -19 --no-check` writes for a file holding the bytes.
// Nothing, with the library's message in `error`, when compression fails.
std::optional<std::size_t> zstd_size(const std::uint8_t* data, std::size_t size,
                                     std::string& error);

// "zstd 1.5.4": the library this process loaded.
std::string zstd_version();

}  // namespace kvrn::lab
