#include "cli/formats/netpbm.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

#include "cli/formats/row_order.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

// The forms by their magic number, P1 to P7. PAM's header gives its depth and kind of samples.
struct netpbm_form {
    const char* name;  // for messages
    bool plain;
    bool bitmap;
    std::uint32_t depth;
};
constexpr std::array<netpbm_form, 7> forms{{
    {"PBM", true, true, 1},
    {"PGM", true, false, 1},
    {"PPM", true, false, 3},
    {"PBM", false, true, 1},
    {"PGM", false, false, 1},
    {"PPM", false, false, 3},
    {"PAM", false, false, 0},
}};

// The PAM tuple types that hold a picture. Black and white is one byte per pixel, 0 black, 1
// white, unlike the packed PBM bits.
struct tuple_type {
    std::string_view name;
    std::uint32_t depth;
    bool alpha;
    bool maxval_1;  // black and white
};
constexpr std::array<tuple_type, 6> tuple_types{{
    {"BLACKANDWHITE", 1, false, true},
    {"GRAYSCALE", 1, false, false},
    {"RGB", 3, false, false},
    {"BLACKANDWHITE_ALPHA", 2, true, true},
    {"GRAYSCALE_ALPHA", 2, true, false},
    {"RGB_ALPHA", 4, true, false},
}};

// The PAM header lines that hold a number, in netpbm_header's order of fields.
constexpr std::array<std::string_view, 4> pam_numbers{"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};

constexpr std::uint64_t max_number = 0xFFFFFFFFU;
constexpr std::uint64_t max_maxval = 65535;

bool is_blank(int c) {
    return c != EOF && std::isspace(c) != 0;
}
bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

// Skips a comment whose '#' has been read; gives the character that ends it.
int skip_comment(std::FILE* in) {
    int c = '#';
    while (c != '\n' && c != '\r' && c != EOF) c = std::getc(in);
    return c;
}

// The first character after white space and comments, or EOF.
int skip_blanks(std::FILE* in) {
    int c = std::getc(in);
    while (c == '#' || is_blank(c)) c = c == '#' ? skip_comment(in) : std::getc(in);
    return c;
}

enum class token { number, end, other };

// Reads a decimal number after any white space and comments; `after` gets the character that
// ends it, a comment counting as its end of line. Numbers above 2^32 - 1 count as other text.
token read_number(std::FILE* in, std::uint64_t& value, int& after) {
    int c = skip_blanks(in);
    if (c == EOF) return token::end;
    if (!is_digit(c)) return token::other;
    value = 0;
    for (; is_digit(c); c = std::getc(in)) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > max_number) return token::other;
    }
    after = c == '#' ? skip_comment(in) : c;
    return token::number;
}

bool check_maxval(std::uint64_t maxval, const char* form, std::string_view name) {
    if (maxval >= 1 && maxval <= max_maxval) return true;
    complain(name, "%s maxval %llu is not in 1 to 65535", form,
             static_cast<unsigned long long>(maxval));
    return false;
}

// The header of P1 to P6 after the magic number: width, height and (but for bitmaps) maxval,
// each followed by one white space character, the last of which ends the header.
bool read_pnm_header(std::FILE* in, std::string_view name, const netpbm_form& form,
                     netpbm_header& header) {
    std::array<std::uint64_t, 3> values{0, 0, 1};
    for (std::size_t i = 0; i < (form.bitmap ? 2U : 3U); ++i) {
        int after = EOF;
        if (read_number(in, values[i], after) != token::number || !is_blank(after)) {
            complain(name, "malformed %s header", form.name);
            return false;
        }
    }
    if (!check_maxval(values[2], form.name, name)) return false;
    header.width = static_cast<std::uint32_t>(values[0]);
    header.height = static_cast<std::uint32_t>(values[1]);
    header.maxval = static_cast<std::uint32_t>(values[2]);
    header.depth = form.depth;
    return check_sides(values[0], values[1], name);
}

// One line of a PAM header without its end of line; false at the end of the file. Only the
// first 255 characters are kept, and `long_line` says when there were more.
bool read_line(std::FILE* in, std::string& line, bool& long_line) {
    line.clear();
    long_line = false;
    for (int c = std::getc(in); c != '\n'; c = std::getc(in)) {
        if (c == EOF) return false;
        if (line.size() < 255) {
            line += static_cast<char>(c);
        } else {
            long_line = true;
        }
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool complain_pam(std::string_view name, const char* what) {
    complain(name, "malformed PAM header: %s", what);
    return false;
}

// The PAM header after "P7": lines of a keyword and its value up to ENDHDR, every one of WIDTH,
// HEIGHT, DEPTH, MAXVAL and TUPLTYPE once, comments and blank lines anywhere.
bool read_pam_header(std::FILE* in, std::string_view name, netpbm_header& header) {
    std::string line;
    bool long_line = false;
    if (!read_line(in, line, long_line) || !trim(line).empty()) {
        return complain_pam(name, "P7 is not alone on the first line");
    }
    std::array<std::uint64_t, 4> numbers{};
    std::array<bool, 4> seen{};
    const tuple_type* type = nullptr;
    for (;;) {
        if (!read_line(in, line, long_line))
            return complain_pam(name, "the file ends before ENDHDR");
        const std::string_view text = trim(line);
        if (text.empty() || text.front() == '#') continue;
        if (long_line) return complain_pam(name, "a line longer than 255 characters");
        const std::size_t space = std::min(text.find_first_of(" \t\r\v\f"), text.size());
        const std::string_view keyword = text.substr(0, space);
        const std::string_view value = trim(text.substr(space));
        if (keyword == "ENDHDR" && value.empty()) break;
        if (keyword == "TUPLTYPE") {
            if (type != nullptr) return complain_pam(name, "two TUPLTYPE lines");
            const auto* found = std::ranges::find(tuple_types, value, &tuple_type::name);
            if (found == tuple_types.end()) {
                return complain_pam(name,
                                    "the TUPLTYPE is not BLACKANDWHITE, GRAYSCALE or RGB, with "
                                    "or without _ALPHA");
            }
            type = found;
            continue;
        }
        const auto index =
            static_cast<std::size_t>(std::ranges::find(pam_numbers, keyword) - pam_numbers.begin());
        if (index == pam_numbers.size()) {
            complain(name,
                     "malformed PAM header: a line that is not WIDTH, HEIGHT, DEPTH, MAXVAL, "
                     "TUPLTYPE or ENDHDR");
            return false;
        }
        if (seen[index]) {
            complain(name, "malformed PAM header: two %s lines", pam_numbers[index].data());
            return false;
        }
        seen[index] = true;
        // Ten digits at most keep the sum far from wrapping; the limit is checked after.
        std::uint64_t& number = numbers[index];
        const bool digits =
            !value.empty() && value.size() <= 10 && std::ranges::all_of(value, is_digit);
        if (digits) {
            for (const char c : value) number = number * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (!digits || number > max_number) {
            complain(name, "malformed PAM header: %.*s is not a number",
                     static_cast<int>(keyword.size()), keyword.data());
            return false;
        }
    }
    for (std::size_t i = 0; i < pam_numbers.size(); ++i) {
        if (!seen[i]) {
            complain(name, "malformed PAM header: no %s line", pam_numbers[i].data());
            return false;
        }
    }
    if (type == nullptr) return complain_pam(name, "no TUPLTYPE line");
    if (!check_maxval(numbers[3], "PAM", name)) return false;
    if (numbers[2] != type->depth) {
        complain(name, "malformed PAM header: DEPTH %llu does not match TUPLTYPE %s",
                 static_cast<unsigned long long>(numbers[2]), type->name.data());
        return false;
    }
    if (type->maxval_1 && numbers[3] != 1) {
        complain(name, "malformed PAM header: TUPLTYPE %s needs MAXVAL 1, not %llu",
                 type->name.data(), static_cast<unsigned long long>(numbers[3]));
        return false;
    }
    header.width = static_cast<std::uint32_t>(numbers[0]);
    header.height = static_cast<std::uint32_t>(numbers[1]);
    header.depth = type->depth;
    header.maxval = static_cast<std::uint32_t>(numbers[3]);
    header.alpha = type->alpha;
    return check_sides(numbers[0], numbers[1], name);
}

enum class row_status { ok, ended, bad };

// One row of a plain form, stored as the raw form stores it (bitmap rows zeroed beforehand).
row_status read_plain_row(std::FILE* in, std::string_view name, const netpbm_header& header,
                          const char* form, std::uint8_t* raw) {
    const auto malformed = [&] {
        complain(name, "malformed plain %s data", form);
        return row_status::bad;
    };
    const std::size_t samples = std::size_t{header.width} * header.depth;
    for (std::size_t i = 0; i < samples; ++i) {
        if (header.bitmap) {
            // Plain PBM digits need nothing between them.
            const int c = skip_blanks(in);
            if (c == EOF) return row_status::ended;
            if (c != '0' && c != '1') return malformed();
            raw[i / 8] = static_cast<std::uint8_t>(raw[i / 8] | (c - '0') << (7 - i % 8));
            continue;
        }
        std::uint64_t value = 0;
        int after = EOF;
        const token got = read_number(in, value, after);
        if (got == token::end) return row_status::ended;
        if (got == token::other || (after != EOF && !is_blank(after))) return malformed();
        if (value > header.maxval) {
            complain(name, "%s sample %llu is above the maxval %u", form,
                     static_cast<unsigned long long>(value), static_cast<unsigned>(header.maxval));
            return row_status::bad;
        }
        if (header.maxval > 255) {
            raw[2 * i] = static_cast<std::uint8_t>(value >> 8);
            raw[2 * i + 1] = static_cast<std::uint8_t>(value);
        } else {
            raw[i] = static_cast<std::uint8_t>(value);
        }
    }
    return row_status::ok;
}

}  // namespace

bool is_netpbm(std::span<const std::uint8_t> start) {
    return start.size() >= 2 && start[0] == 'P' && start[1] >= '1' && start[1] <= '7';
}

bool read_netpbm_header(std::FILE* in, std::string_view name, std::uint64_t max_pixels,
                        netpbm_header& header) {
    header = {};
    const int p = std::getc(in);
    const int digit = std::getc(in);
    if (p != 'P' || digit < '1' || digit > '7') {
        complain(name, "not a netpbm picture (no P1 to P7 at the start)");
        return false;
    }
    const netpbm_form& form = forms[static_cast<std::size_t>(digit - '1')];
    header.form = static_cast<char>(digit);
    header.plain = form.plain;
    header.bitmap = form.bitmap;
    if (!(digit == '7' ? read_pam_header(in, name, header)
                       : read_pnm_header(in, name, form, header))) {
        return false;
    }
    if (!check_pixels(header.width, header.height, max_pixels, name)) return false;
    header.data_start = std::ftell(in);
    if (!header.bitmap) {
        header.samples = sample_rows(header.width, header.depth, header.alpha, header.maxval);
    }
    return true;
}

std::size_t netpbm_row_bytes(const netpbm_header& header) {
    return header.bitmap ? (std::size_t{header.width} + 7) / 8 : header.samples.row_bytes();
}

std::size_t convert_netpbm_row(const netpbm_header& header, const std::uint8_t* raw,
                               std::uint8_t* rgb) {
    const std::size_t width = header.width;
    if (header.bitmap) {
        for (std::size_t x = 0; x < width; ++x) {
            const bool black = ((raw[x / 8] >> (7 - x % 8)) & 1) != 0;
            std::memset(rgb + 3 * x, black ? 0 : 255, 3);
        }
        return 0;
    }
    return header.samples.convert(raw, rgb);
}

void warn_clamped(std::string_view name, const netpbm_header& header, std::uint64_t count) {
    warn(name, "%llu samples above the maxval %u were clamped",
         static_cast<unsigned long long>(count), static_cast<unsigned>(header.maxval));
}

read_status read_netpbm_rows(std::FILE* in, std::string_view name, const netpbm_header& header,
                             image& picture) {
    std::vector<std::uint8_t> raw(netpbm_row_bytes(header));
    std::uint64_t clamped = 0;
    const char* form = forms[static_cast<std::size_t>(header.form - '1')].name;
    for (std::int32_t y = 0; y < picture.height; ++y) {
        row_status status = row_status::ok;
        if (header.plain) {
            std::ranges::fill(raw, 0);
            status = read_plain_row(in, name, header, form, raw.data());
        } else if (std::fread(raw.data(), 1, raw.size(), in) != raw.size()) {
            status = row_status::ended;
        }
        if (status == row_status::bad) return read_status::failed;
        if (status == row_status::ended) {
            complain(name, "the picture data ends after %d of %d rows", y, picture.height);
            return read_status::failed;
        }
        clamped += convert_netpbm_row(
            header, raw.data(), file_row(picture.pixels.get(), picture.width, picture.height, y));
    }
    if (clamped == 0) return read_status::ok;
    warn_clamped(name, header, clamped);
    return read_status::damaged;
}

read_status read_netpbm(std::FILE* in, const read_request& request, image& picture) {
    netpbm_header header;
    if (!read_netpbm_header(in, request.name, request.max_pixels, header) ||
        !allocate(picture, static_cast<std::int32_t>(header.width),
                  static_cast<std::int32_t>(header.height), request.name)) {
        return read_status::failed;
    }
    return read_netpbm_rows(in, request.name, header, picture);
}

void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height) {
    (void)std::fprintf(out, "P6\n%d %d\n255\n", width, height);
}

bool write_ppm(const image& picture, std::FILE* out, std::string_view /*path*/) {
    write_ppm_header(out, picture.width, picture.height);
    const picture_view view{picture.pixels.get(), picture.width, picture.height};
    const std::size_t row_bytes = pixel_offset(picture.width, 1, 0);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        if (std::fwrite(file_row(view, y), 1, row_bytes, out) != row_bytes) break;
    }
    return true;
}

bool ppm_band_writer::decoded(std::int32_t r0, const std::uint8_t* pixels) {
    const std::size_t row_bytes = pixel_offset(header_.width, 1, 0);
    const std::int32_t rows = band_rows(header_, r0);
    const picture_view band{pixels, header_.width, rows};
    std::array<std::span<const std::uint8_t>, 8> top_first;
    for (std::int32_t y = 0; y < rows; ++y) {
        top_first[static_cast<std::size_t>(y)] = {file_row(band, y), row_bytes};
    }
    const std::uint64_t offset =
        rows_start_ + static_cast<std::uint64_t>(band_top(r0, rows, header_.height)) * row_bytes;
    return out_.write_at(offset, std::span(top_first).first(static_cast<std::size_t>(rows)));
}

constexpr picture_format netpbm_format = {
    .name = "netpbm",
    .name_and_forms = "netpbm (PBM, PGM, PPM, PAM)",
    .in_a_list = "every netpbm form (PBM, PGM, PPM, PAM)",
    .details =
        "PBM, PGM, PPM (P1 to P6) and PAM (P7: BLACKANDWHITE, GRAYSCALE, RGB, each with "
        "or without _ALPHA), plain or raw, maxval 1 to 65535",
    .recognise = is_netpbm,
    .read = read_netpbm,
    .extension = "ppm",
    .written_as = "binary PPM",
    .write = write_ppm,
};

}  // namespace kvrn::cli
