// kvrn info on several files, as text and as JSON. What it says of each kind of KVRN file is in
// kvrn_input_test.cpp, with decode and preview.
#include <optional>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {

std::vector<tool_row> info_cases() {
    return {
        // Several files: one block each, a blank line between; the status of the worst.
        {"kvrn info in.kvrn in.kvrn", trailing, 0,
         "trailing:     7 bytes\n\nfile:         in.kvrn\n"},
        {"kvrn info in.kvrn nosuch.kvrn", trailing, 1, "nosuch.kvrn: cannot open"},
        {"kvrn info in.kvrn nosuch.kvrn", cut_in_dc, 1, "nosuch.kvrn: cannot open"},
        {"kvrn info nosuch.kvrn in.kvrn", cut_in_dc, 1, "complete:     no"},
        {"kvrn info in.kvrn in.kvrn", cut_in_dc, 2, "complete:     no"},
        {"kvrn info --json in.kvrn nosuch.kvrn", trailing, 1,
         "{\"file\": \"in.kvrn\", \"width\": 8, \"height\": 8, \"scales\": {\"y\": 1, \"cr\": 1, "
         "\"cb\": 1}, \"positions\": 1, \"block_columns\": 1, \"block_rows\": 1, \"bytes_needed\": "
         "9, \"bytes_held\": 9, \"complete\": true, \"trailing\": 7}\nkvrn: nosuch.kvrn: cannot "
         "open: No such file or directory\n{\"file\": \"nosuch.kvrn\", \"readable\": false}\n",
         false, true},
        {"kvrn info --json in.kvrn", cut_in_dc, 2,
         "\"bytes_needed\": 18, \"bytes_held\": 10, \"complete\": false, \"ends_in\": \"the Y "
         "block of position 1 (block column 1, row 0)\", \"trailing\": 0}\n"},
    };
}

}  // namespace kvrn::testing
