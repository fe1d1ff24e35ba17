#include "support/files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>

#include "codec/block_coding.h"

namespace kvrn::testing {
namespace {

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

// Everything in `file` from its start (a pipe: up to its end of file); closes the file.
std::string drain(std::FILE* file) {
    require(file != nullptr, "no stream to read");
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    (void)std::fclose(file);
    return text;
}

}  // namespace

scratch_file::scratch_file(const std::optional<bytes>& content) : path("/tmp/kvrn-test-XXXXXX") {
    const int file = mkstemp(path.data());
    require(file >= 0, "cannot create a scratch file");
    const bytes data = content.value_or(bytes{});
    const bool written = write(file, data.data(), data.size()) == std::ssize(data);
    require(close(file) == 0 && written, "cannot write a scratch file");
    // The name stays free for a test of a missing file.
    if (!content) (void)std::remove(path.c_str());
}

bytes coded(const coef_block& block, int* clipped) {
    std::FILE* file = std::tmpfile();
    const int count = file != nullptr ? write_block(block, file) : 0;  // drain reports no file
    if (clipped != nullptr) *clipped = count;
    const std::string text = drain(file);
    return {text.begin(), text.end()};
}

bytes kvrn_file(const kvrn_header& header, std::span<const coef_block> blocks) {
    const auto head = format_header(header);
    bytes file(head.begin(), head.end());
    for (const coef_block& block : blocks)
        std::ranges::copy(coded(block), std::back_inserter(file));
    return file;
}

std::string capture_stdout(const std::function<void()>& call) {
    std::FILE* sink = std::tmpfile();
    (void)std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    require(sink != nullptr && dup2(fileno(sink), STDOUT_FILENO) >= 0, "cannot redirect stdout");
    call();
    (void)std::fflush(stdout);
    (void)dup2(saved, STDOUT_FILENO);
    (void)close(saved);
    return drain(sink);
}

child_result run_in_child(const std::function<void()>& call, std::string_view input) {
    // The input fills the pipe before the fork, so the parent neither blocks on it nor writes to
    // a child that has already gone.
    int in[2];
    int out[2];
    require(input.size() <= 4096 && pipe(in) == 0 && pipe(out) == 0, "pipe failed");
    require(write(in[1], input.data(), input.size()) == std::ssize(input), "pipe write failed");
    (void)close(in[1]);
    (void)std::fflush(nullptr);
    const pid_t child = fork();
    require(child >= 0, "fork failed");
    if (child == 0) {
        (void)dup2(in[0], STDIN_FILENO);
        (void)dup2(out[1], STDOUT_FILENO);
        call();
        std::exit(0);
    }
    (void)close(in[0]);
    (void)close(out[1]);
    child_result result{-1, drain(fdopen(out[0], "r"))};
    int status = 0;
    require(waitpid(child, &status, 0) == child, "waitpid failed");
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    return result;
}

}  // namespace kvrn::testing
