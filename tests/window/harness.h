// Real processes on a virtual X server: a child with piped standard input and output, Xvfb and
// shell commands (xdotool, xwd).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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

// A child process whose standard input and output are a socket to this one; standard error is
// shared, so sanitizer reports land in the test log. The child is ended and reaped when the
// object goes, and dies with the test process should that crash.
class process {
  public:
    explicit process(const std::vector<std::string>& argv) {
        // A child that has gone must fail the test through its status, not kill it by SIGPIPE.
        (void)std::signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            ADD_FAILURE() << "socketpair: " << std::strerror(errno);
            return;
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const pid_t parent = getpid();
        if ((pid_ = fork()) == 0) {
            (void)prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            (void)std::signal(SIGPIPE, SIG_DFL);
            (void)dup2(ends[1], STDIN_FILENO);
            (void)dup2(ends[1], STDOUT_FILENO);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(ends[1]);
        fd_ = ends[0];
        (void)fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~process() {
        for (const int signal : {SIGTERM, SIGKILL}) {
            if (pid_ > 0 && kill(pid_, signal) == 0) (void)wait(10);
        }
        close(fd_);
    }
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    void write(std::string_view text) const {
        EXPECT_EQ(::write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Reads standard output until it holds `text` or, for an empty `text`, until it ends.
    bool read_until(std::string_view text, double seconds) {
        return poll_until(seconds, [&] {
            char buffer[4096];
            ssize_t got = 0;
            while ((got = read(fd_, buffer, sizeof buffer)) > 0) output_.append(buffer, got);
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
    int fd_ = -1;
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
    (void)setenv("DISPLAY", (":" + xvfb.output().substr(0, xvfb.output().find('\n'))).c_str(), 1);
    return started;
}

// Runs `command` with /bin/sh and returns its output; a failing command fails the test.
inline std::string shell(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[1 << 16];
    while (const std::size_t got = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0) {
        output.append(buffer, got);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
    return output;
}

}  // namespace kvrn::testing
