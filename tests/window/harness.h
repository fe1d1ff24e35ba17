// Real processes on a virtual X server: a child with piped standard input and output, Xvfb,
// shell commands (xdotool, xwd) and window captures as RGB frames.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kvrn::testing {

// Asks `done` every 10 ms until it holds or `seconds` have passed; returns its last answer.
inline bool poll_until(double seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A child process whose standard input and output are pipes to this one; standard error is
// shared, so sanitizer reports land in the test log. The child is ended and reaped when the
// object goes, and dies with the test process should that crash.
class process {
  public:
    explicit process(const std::vector<std::string>& argv) {
        // A child that has gone must fail the test through its status, not kill it by SIGPIPE.
        (void)std::signal(SIGPIPE, SIG_IGN);
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return;
        }
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            (void)prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            (void)std::signal(SIGPIPE, SIG_DFL);
            (void)dup2(in[0], STDIN_FILENO);
            (void)dup2(out[1], STDOUT_FILENO);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
        (void)fcntl(out_, F_SETFL, O_NONBLOCK);
    }
    ~process() {
        for (const int signal : {SIGTERM, SIGKILL}) {
            if (pid_ > 0 && kill(pid_, signal) == 0) (void)wait(10);
        }
        close(in_);
        close(out_);
    }
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    void write(std::string_view text) const {
        EXPECT_EQ(::write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Reads standard output until it holds `text` or, for an empty `text`, until it ends.
    bool read_until(std::string_view text, double seconds) {
        return poll_until(seconds, [&] {
            char buffer[4096];
            ssize_t got = 0;
            while ((got = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, got);
            return text.empty() ? got == 0 : output_.find(text) != std::string::npos;
        });
    }
    const std::string& output() const { return output_; }

    // The exit status (0..255), or -1: killed by a signal, or still running after `seconds`.
    int wait(double seconds) {
        const bool ended = poll_until(seconds, [this] {
            if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
            return pid_ <= 0;
        });
        return ended && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;  // not an exit: a child that never ran has no status
    int in_ = -1;
    int out_ = -1;
    std::string output_;
};

// Xvfb on a display number it finds free itself and writes to its standard output once it
// accepts connections. The key auto-repeat delay is far longer than any test, so a key held
// by xdotool never repeats.
inline std::vector<std::string> xvfb_command(const std::string& screen_size) {
    return {"Xvfb",      "-displayfd", "1",        "-screen", "0", screen_size + "x24",
            "-nolisten", "tcp",        "-ardelay", "100000"};
}

// Waits for Xvfb to tell its display number, and points DISPLAY there for every later child.
inline bool use_display(process& xvfb) {
    const bool started = xvfb.read_until("\n", 30);
    const std::string display = ":" + std::to_string(std::atoi(xvfb.output().c_str()));
    (void)setenv("DISPLAY", display.c_str(), 1);
    return started;
}

// Runs `command` with /bin/sh and returns its output; a failing command fails the test.
inline std::string shell(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[1 << 16];
    for (std::size_t got;
         pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
    return output;
}

struct frame {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint8_t> rgb;  // rows from the top, three bytes per pixel

    bool operator==(const frame&) const = default;
    // Where the pixel in `column` from the left and `row` from the bottom begins in `rgb`.
    std::size_t offset(std::size_t column, std::size_t row) const {
        return 3 * ((height - 1 - row) * width + column);
    }
};

// A window's contents now: xwd, converted to a binary PPM by ImageMagick.
inline frame capture(const std::string& window) {
    std::istringstream in(shell("xwd -silent -id " + window + " | convert xwd:- ppm:-"));
    std::string magic;
    frame image;
    int max_value = 0;
    in >> magic;
    while ((in >> std::ws).peek() == '#') in.ignore(1 << 20, '\n');  // the window's name
    in >> image.width >> image.height >> max_value;
    in.get();
    image.rgb.resize(3 * image.width * image.height);
    in.read(reinterpret_cast<char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size()));
    EXPECT_TRUE(magic == "P6" && max_value == 255 && in) << "no 8-bit PPM from " << window;
    return image;
}

// Captures `window` until `done` holds for a capture or `seconds` pass; returns the last one.
inline frame poll_window(const std::string& window, const std::function<bool(const frame&)>& done,
                         double seconds) {
    frame last;
    poll_until(seconds, [&] { return done(last = capture(window)); });
    return last;
}

// How far two frames are apart, for failure messages.
inline std::string describe_difference(const frame& got, const frame& want) {
    std::size_t differing = 0;
    for (std::size_t i = 0; got.rgb.size() == want.rgb.size() && i < got.rgb.size(); ++i) {
        differing += got.rgb[i] != want.rgb[i] ? 1 : 0;
    }
    return "a " + std::to_string(got.width) + "x" + std::to_string(got.height) + " window for " +
           std::to_string(want.width) + "x" + std::to_string(want.height) + ", " +
           std::to_string(differing) + " bytes differ";
}

}  // namespace kvrn::testing
