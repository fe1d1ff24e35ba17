#include "cli/table_choice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"
#include "lab/jpeg_tables.h"

namespace kvrn::cli {

std::optional<lab::quantisation_tables> read_tables(const std::string& choice) {
    if (choice.starts_with("jpeg:")) {
        const std::optional<std::int32_t> quality = parse_number(choice.substr(5), 1, 100);
        if (!quality) {
            complain("--table", "bad value '%s': jpeg:QUALITY takes a quality from 1 to 100",
                     choice.c_str());
            return std::nullopt;
        }
        return lab::jpeg_tables(*quality);
    }
    std::ifstream file(choice);
    if (!file) {
        complain(choice, "cannot open the table: %s", std::strerror(errno));
        return std::nullopt;
    }
    std::vector<std::int32_t> entries;
    for (std::string word; file >> word;) {
        // Commas may separate the entries as well as blanks.
        for (std::size_t from = 0; from <= word.size();) {
            const std::size_t comma = std::min(word.find(',', from), word.size());
            if (comma > from) {
                const std::optional<std::int32_t> entry =
                    parse_number(std::string_view(word).substr(from, comma - from), 1, 65535);
                if (!entry) {
                    complain(choice, "'%s' is no table entry: whole numbers from 1 to 65535",
                             word.substr(from, comma - from).c_str());
                    return std::nullopt;
                }
                entries.push_back(*entry);
            }
            from = comma + 1;
        }
    }
    if (entries.size() != 64 && entries.size() != 128) {
        complain(choice, "%zu entries: a table has 64 (every channel) or 128 (Y, then Cr and Cb)",
                 entries.size());
        return std::nullopt;
    }
    lab::quantisation_tables tables{};
    for (std::size_t i = 0; i < 64; ++i) {
        tables[0][i] = entries[i];
        tables[1][i] = tables[2][i] = entries[entries.size() == 128 ? 64 + i : i];
    }
    return tables;
}

std::string tables_words(const std::string& choice) {
    if (choice.starts_with("jpeg:")) return "JPEG's example tables at quality " + choice.substr(5);
    return "the tables of " + choice;
}

}  // namespace kvrn::cli
