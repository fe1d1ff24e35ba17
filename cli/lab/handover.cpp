#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "cli/lab/commands.h"
#include "cli/report.h"

namespace kvrn::cli {

int run_in_lab(std::string_view command, char** argv) {
    std::array<char, PATH_MAX> self{};
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    std::string folder =
        length > 0 ? std::string(self.data(), static_cast<std::size_t>(length)) : std::string();
    folder.erase(folder.rfind('/') + 1);  // npos + 1: all of it
    // Beside kvrn in the build tree; KVRN_LAB_FROM_BINDIR leads from bin/ to where `cmake
    // --install` puts it.
    for (const char* place : {"kvrn-lab", KVRN_LAB_FROM_BINDIR}) {
        const std::string path = folder + place;
        (void)execv(path.c_str(), argv);
        if (errno != ENOENT) {
            complain(command, "cannot start %s: %s", path.c_str(), std::strerror(errno));
            return exit_failed;
        }
    }
    complain(command, "needs kvrn-lab, which is neither beside %s nor in %s", self.data(),
             KVRN_LAB_FROM_BINDIR);
    return exit_failed;
}

}  // namespace kvrn::cli
