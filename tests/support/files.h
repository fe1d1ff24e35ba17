// Test helpers on real files and real processes: scratch files, KVRN files built from blocks, the
// standard output of an in-process call, and a call run in a child process with its own
// standard input and output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/kvrn_format.h"

namespace kvrn::testing {

using bytes = std::vector<std::uint8_t>;

// A fresh file holding `content`, removed with the object; with no content `path` names no file.
struct scratch_file {
    explicit scratch_file(const std::optional<bytes>& content);
    ~scratch_file() { (void)std::remove(path.c_str()); }
    std::string path;
};

// The bytes write_block puts on a real stream for `block`; `clipped` (if given) gets its result.
bytes coded(const coef_block& block, int* clipped = nullptr);

// A KVRN file: `header`, then every block of `blocks` coded in turn (Y, Cr, Cb of each position).
bytes kvrn_file(const kvrn_header& header, std::span<const coef_block> blocks);

// Everything `call` writes to standard output, through stdio or the descriptor.
std::string capture_stdout(const std::function<void()>& call);

struct child_result {
    int exit_status;     // 0..255 after a normal exit, -1 after a signal
    std::string output;  // all of the child's standard output
};

// Runs `call` in a forked child whose standard input holds `input` (at most 4 KiB) and then the
// end of file. The child exits with status 0 if `call` returns.
child_result run_in_child(const std::function<void()>& call, std::string_view input);

}  // namespace kvrn::testing
