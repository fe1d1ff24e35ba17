#include "cli/commands.h"

#include <unistd.h>

#include "codec/parallel.h"

namespace kvrn::cli {

bool refuse_terminal_output(std::string_view command) {
    if (isatty(STDOUT_FILENO) == 0) return true;
    complain(command,
             "will not write to a terminal: name an output file, or redirect standard "
             "output");
    return false;
}

void note_run(std::string_view name, std::int32_t width, std::int32_t height, unsigned threads,
              std::chrono::steady_clock::time_point started) {
    const unsigned used = threads == 0 ? default_threads() : threads;
    note(name, "%d x %d pixels; %u thread%s, %.3f s", width, height, used, used == 1 ? "" : "s",
         std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace kvrn::cli
