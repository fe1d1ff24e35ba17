// The quantisation tables a --table TABLES names (kvrn preview, kvrn inspect): jpeg:QUALITY, JPEG's
// example tables scaled to QUALITY, or a file of whole numbers.
#pragma once

#include <optional>
#include <string>

#include "lab/table_quantiser.h"

namespace kvrn::cli {

// What --table takes, for the option tables and the help.
inline constexpr const char* tables_accepted =
    "jpeg:QUALITY (1..100) or a file of 64 or 128 whole numbers";

// The tables `choice` names: jpeg:QUALITY (1..100: luma for Y, chroma for Cr and Cb), or the path
// of a file of 64 whole numbers of 1..65535 (row by row, the DC first, separated by blanks or
// commas) for every channel, or 128 (Y's, then Cr's and Cb's). Nothing, after complaining, when
// the quality or the file is wrong.
std::optional<lab::quantisation_tables> read_tables(const std::string& choice);

// The tables in words for a report: "JPEG's example tables at quality 50", "the tables of FILE".
std::string tables_words(const std::string& choice);

}  // namespace kvrn::cli
