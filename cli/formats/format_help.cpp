#include "cli/formats/format_help.h"

#include <vector>

#include "cli/formats/format.h"

namespace kvrn::cli {

std::string formats_read_list() {
    // The details start in a column past the longest name.
    constexpr std::string_view margin = "  ";
    constexpr std::size_t column = 12;
    std::string list;
    for (const picture_format* format : picture_formats()) {
        std::string first = std::string(margin) + std::string(format->name);
        first.resize(column, ' ');
        list += wrapped(format->details, help_width, first, std::string(column, ' '));
    }
    return list;
}

std::string formats_in_words() {
    std::vector<std::string_view> read;
    for (const picture_format* format : picture_formats()) read.push_back(format->in_a_list);
    std::vector<std::string_view> written;
    for (const picture_format* format : formats_written()) written.push_back(format->written_as);
    return "Pictures read are " + listed(read, " and ") +
           ", recognised by their first bytes; alpha is composed onto white. Pictures written "
           "are " +
           listed(written, " or ") + ", chosen by the extension of the name.";
}

std::string wrapped(std::string_view text, std::size_t width, std::string_view first,
                    std::string_view indent) {
    std::string lines(first);
    std::size_t line_start = 0;
    bool line_empty = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
        if (word.empty()) continue;
        if (!line_empty && lines.size() - line_start + 1 + word.size() > width) {
            lines += '\n';
            line_start = lines.size();
            lines += indent;
            line_empty = true;
        }
        if (!line_empty) lines += ' ';
        lines += word;
        line_empty = false;
    }
    return lines + '\n';
}

}  // namespace kvrn::cli
