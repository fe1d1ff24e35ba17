// The words for each status, and the version.
#include <array>

#include "codec/include/kvrn.h"

namespace {

constexpr std::array<const char*, 8> status_words = {
    "done",
    "too short for a KVRN header",
    "not a KVRN file",
    "the picture has no pixels",
    "the picture is too large",
    "an argument is out of range",
    "out of memory",
    "the output could not be written",
};

}  // namespace

extern "C" const char* kvrn_status_text(kvrn_status status) {
    const auto index = static_cast<std::size_t>(status);
    return index < status_words.size() ? status_words[index] : "unknown status";
}

extern "C" const char* kvrn_version(void) {
    return KVRN_VERSION_STRING;
}
