// What the help texts say of the picture formats, made from the table (cli/formats/format.h) so
// that a format added there is listed everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvrn::cli {

// The width of the lines of the help texts.
inline constexpr std::size_t help_width = 79;

// The formats read, for encode's help: a line for each, its name then its details wrapped in a
// column of their own.
std::string formats_read_list();

// The sentences of the tool's help on what is read and written, unwrapped: "Pictures read are
// JPEG (...), PNG and every netpbm form (...), recognised by their first bytes; alpha is composed
// onto white. Pictures written are binary PPM or PNG, chosen by the extension of the name."
std::string formats_in_words();

// `text` broken at spaces into lines of at most `width` characters (a longer word alone on its
// line), the first line starting with `first`, the others with `indent`; each line ends in a
// newline.
std::string wrapped(std::string_view text, std::size_t width, std::string_view first,
                    std::string_view indent);

// "A, B and C" of the `items`, or "A or B" with `last` " or ".
template <class Items>
std::string listed(const Items& items, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : std::string_view(", ");
        text += items[i];
    }
    return text;
}

}  // namespace kvrn::cli
