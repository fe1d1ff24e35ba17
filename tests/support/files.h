// Test helpers on real files and real processes: scratch directories, KVRN files built from
// blocks, the standard output of an in-process call, and child processes, whether a call in a
// fork of this one, a program or a shell command.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "codec/block_coding.h"
#include "codec/kvrn_format.h"

namespace kvrn::testing {

using bytes = std::vector<std::uint8_t>;

inline void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

// An anonymous file in memory, closed on exec.
inline int memory_file() {
    const int fd = memfd_create("kvrn-test", MFD_CLOEXEC);
    require(fd >= 0, "cannot make a file in memory");
    return fd;
}

// Everything in the file `fd` from its start, whatever its offset.
inline std::string contents(int fd) {
    std::string text;
    char buffer[1 << 16];
    for (ssize_t got; (got = pread(fd, buffer, sizeof buffer, std::ssize(text))) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

// A fresh directory, removed with everything in it when the object goes.
struct scratch_dir {
    scratch_dir() {
        std::string name = (std::filesystem::temp_directory_path() / "kvrn-test-XXXXXX").string();
        require(mkdtemp(name.data()) != nullptr, "cannot create a scratch directory");
        path = name;
    }
    ~scratch_dir() { std::filesystem::remove_all(path); }
    // The path of `name` in the directory, a file holding `content` (none when nullopt).
    std::string file(const std::string& name, const std::optional<std::string>& content) const {
        if (content) std::ofstream(path / name, std::ios::binary) << *content;
        return (path / name).string();
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path path;
};

// Everything `call` writes to the descriptor `fd` (standard output or error), through stdio or
// the descriptor itself.
inline std::string capture(const std::function<void()>& call, int fd = STDOUT_FILENO) {
    const int sink = memory_file();
    (void)std::fflush(nullptr);
    const int saved = dup(fd);
    require(dup2(sink, fd) >= 0, "cannot redirect the output");
    call();
    (void)std::fflush(nullptr);
    (void)dup2(saved, fd);
    (void)close(saved);
    const std::string text = contents(sink);
    (void)close(sink);
    return text;
}
inline std::string capture_stdout(const std::function<void()>& call) {
    return capture(call);
}

// The bytes write_block puts on a real stream (standard output) for `block`; `clipped` (if given)
// gets its result.
inline bytes coded(const coef_block& block, int* clipped = nullptr) {
    int count = 0;
    const std::string text = capture_stdout([&] { count = write_block(block, stdout); });
    if (clipped != nullptr) *clipped = count;
    return {text.begin(), text.end()};
}

// The zig-zag scan of ITU-T T.81, figure A.6, written out here by walking the anti-diagonals
// from the top-left corner (right, then down-left, alternating): entry n is the row-major index
// of the n-th coefficient in coded order. The tests keep their own copy so that they do not share
// a mistake in the codec's table.
inline constexpr std::array<int, 64> t81_scan = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The coded form of `block`, made here and not by the codec's writer: the DC's low 16 bits, low
// byte first, the AC values in t81_scan order up to the last non-zero one, then 0x7F if any
// were left out. The AC values must fit in -127..126.
inline bytes code(const coef_block& block) {
    bytes form{static_cast<std::uint8_t>(block[0]), static_cast<std::uint8_t>(block[0] >> 8)};
    int last = 63;
    while (last > 0 && block[static_cast<std::size_t>(t81_scan[last])] == 0) --last;
    for (int n = 1; n <= last; ++n) {
        const std::int32_t value = block[static_cast<std::size_t>(t81_scan[n])];
        require(value >= -127 && value <= 126, "an AC value that does not fit in a coded block");
        form.push_back(static_cast<std::uint8_t>(value));
    }
    if (last < 63) form.push_back(0x7F);
    return form;
}

// A KVRN file: `header`, then every block of `blocks` coded in turn (Y, Cr, Cb of each position).
inline std::string kvrn_file(const kvrn_header& header,
                             const std::vector<coef_block>& blocks = {}) {
    const auto head = format_header(header);
    std::string file(head.begin(), head.end());
    for (const coef_block& block : blocks) std::ranges::copy(code(block), std::back_inserter(file));
    return file;
}

// Asks `done` every 10 ms until it holds or `seconds` have passed; returns its last answer.
inline bool poll_until(double seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A forked child running `call` (exit status 0 if it returns) or the program `argv`, its standard
// input a pipe from this process and its standard output kept in memory; standard error is
// shared, so sanitizer reports land in the test log. The child is ended and reaped when the
// object goes, and dies with the test process should that crash.
struct process {
    explicit process(const std::function<void()>& call) {
        // A child that has gone must fail the test through its status, not kill it by SIGPIPE.
        (void)std::signal(SIGPIPE, SIG_IGN);
        int in[2] = {-1, -1};
        require(pipe2(in, O_CLOEXEC) == 0, "cannot make a pipe");
        (void)std::fflush(nullptr);  // or the child would write this process's buffers again
        const pid_t parent = getpid();
        if ((pid = fork()) == 0) {
            (void)prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            (void)std::signal(SIGPIPE, SIG_DFL);
            (void)dup2(in[0], STDIN_FILENO);
            (void)dup2(output_fd, STDOUT_FILENO);
            call();
            std::exit(0);
        }
        (void)close(in[0]);
        input = in[1];
    }
    explicit process(const std::vector<std::string>& argv)
        : process([&argv] {
              std::vector<char*> args;
              for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
              args.push_back(nullptr);
              execvp(args[0], args.data());
              _exit(127);
          }) {}
    ~process() {
        for (const int signal : {SIGTERM, SIGKILL}) {
            if (pid > 0 && kill(pid, signal) == 0) (void)wait(10);
        }
        (void)close(input);
        (void)close(output_fd);
    }
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    void write(std::string_view text) const {
        EXPECT_EQ(::write(input, text.data(), text.size()), std::ssize(text));
    }
    // All the child has written to its standard output so far.
    std::string output() const { return contents(output_fd); }
    bool read_until(std::string_view text, double seconds) const {
        return poll_until(seconds, [&] { return output().find(text) != std::string::npos; });
    }
    // The exit status (0..255), or -1: killed by a signal, or still running after `seconds`.
    int wait(double seconds) {
        const bool ended = poll_until(seconds, [this] {
            if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) pid = -1;
            return pid <= 0;
        });
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    int status = -1;  // not an exit: a child that never ran has no status
    int input = -1;   // the write end of the child's standard input
    int output_fd = memory_file();
};

struct child_result {
    int exit_status;     // 0..255 after a normal exit, -1 after a signal or a timeout
    std::string output;  // all of the child's standard output
};

// Runs `call` in a forked child whose standard input holds `input` and then the end of file.
inline child_result run_in_child(const std::function<void()>& call, std::string_view input) {
    process child(call);
    child.write(input);
    (void)close(std::exchange(child.input, -1));  // the end of file
    const int status = child.wait(600);
    return {status, child.output()};
}

// Runs `command` with /bin/sh in a child that has no root's licence to ignore file permissions.
inline child_result run_shell(const std::string& command) {
    return run_in_child(
        [&] {
            (void)prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        },
        "");
}

}  // namespace kvrn::testing
