// kvrn inspect: one block position of a picture through the encoder and back, every stage shown.
#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/image.h"
#include "cli/lab/commands.h"
#include "cli/lab/input.h"
#include "cli/report.h"
#include "cli/table_choice.h"
#include "codec/channels.h"
#include "codec/include/kvrn.h"
#include "codec/picture.h"
#include "lab/table_quantiser.h"

namespace kvrn::cli {
namespace {

constexpr const char* inspect_usage =
    R"(Usage: kvrn inspect [--step N | --scales Y,CR,CB | --table TABLES] [--json]
                    FILE COLUMN ROW
Shows how the block at COLUMN, ROW of the picture FILE (a picture kvrn encode
reads, or a KVRN file, whose decoded picture is taken) goes through the encoder
and back, for each of the Y, Cr and Cb channels: its samples, its DCT
coefficients, the values a KVRN file stores for it (in zig-zag order, with the
bytes the block costs), the reconstruction a decoder makes and the error.
COLUMN and ROW count 8 x 8 blocks from the top-left corner of the picture, from
0. Blocks are laid from the bottom-left corner, so a picture whose height is no
multiple of 8 has a cut top row of blocks; the pixels a cut block lacks repeat
the picture's last column and top row, as the encoder repeats them.

  -s, --step N       quantise all three channels by N, 1..65535 (default: the
                     scales of a KVRN file's header, else 8)
  --scales Y,CR,CB   quantise the Y, Cr and Cb channels by these, each 1..65535
  --table TABLES     beyond the format: each coefficient divided by its own
                     entry of a table, as JPEG divides (truncated toward zero as
                     with a scale), as the lab's table mode quantises;
                     jpeg:QUALITY takes JPEG's example tables at QUALITY
                     (1..100: luma for Y, chroma for Cr and Cb), else TABLES is
                     a file of 64 whole numbers (1..65535, row by row, the DC
                     first) for every channel, or 128 (Y's, then Cr's and
                     Cb's), as kvrn preview --table reads; the report then
                     shows each channel's table
  --json             one JSON object instead of tables: the block's place, the
                     scales (or TABLES as given and, for each channel, its
                     divisors) and, for y, cr and cb, the 8 x 8 tables samples,
                     coefficients, quantised, reconstruction and error (rows as
                     lists, top row first), the list stored (zig-zag order),
                     stored_count, coded_bytes and clipped; and the 8 x 8 tables
                     of the picture's red, green and blue and the decoded ones

Samples are 0..255, chroma neutral at 128. The coefficients are at the scale a
decoder multiplies back to; their rows are vertical frequencies counted from the
block's bottom row, the order in which the stream lays a block's rows. The
quantised values are the coefficients divided by the channel's scale (or by
their own entry of its table), the quotient truncated toward zero: those
smaller in size than their divisor are 0.
)";

constexpr std::array<option_entry, 4> inspect_options = {{
    {"--step", 's', "a whole number from 1 to 65535"},
    {"--scales", 0, "three whole numbers from 1 to 65535, separated by commas"},
    {"--table", 0, tables_accepted},
    {"--json", 0, ""},
}};

// The header's scales when `path` names a KVRN file.
std::optional<kvrn_scales> kvrn_file_scales(const char* path) {
    std::FILE* file = std::string_view(path) == "-" ? nullptr : std::fopen(path, "rb");
    if (file == nullptr) return std::nullopt;
    std::array<std::uint8_t, KVRN_HEADER_BYTES> bytes{};
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    (void)std::fclose(file);
    kvrn_header header;
    if (kvrn_read_header(bytes.data(), got, &header) != KVRN_OK) return std::nullopt;
    return kvrn_scales{header.y_scale, header.cr_scale, header.cb_scale};
}

class inspect_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--step") {
            const std::optional<std::int32_t> step = parse_number(value, 1, 65535);
            if (!step) return false;
            const auto s = static_cast<std::uint16_t>(*step);
            step_ = kvrn_scales{s, s, s};
            return true;
        }
        if (name == "--scales") {
            const std::optional<channel_steps> scales = parse_scales(value, false);
            if (!scales) return false;
            scales_ = kvrn_scales{static_cast<std::uint16_t>(scales->y),
                                  static_cast<std::uint16_t>(scales->cr),
                                  static_cast<std::uint16_t>(scales->cb)};
            return true;
        }
        if (name == "--table") {
            table_ = std::string(value);
            return !value.empty();
        }
        json_ = name == "--json";
        return json_;
    }
    bool check_options() override {
        if (int{step_.has_value()} + int{scales_.has_value()} + int{table_.has_value()} > 1) {
            complain("inspect", "give one of --step, --scales and --table");
            return false;
        }
        return true;
    }
    bool check_operands(std::span<const char* const> operands) override {
        for (std::size_t i = 1; i < 3; ++i) {
            if (!parse_number(operands[i], 0, 8191)) {
                complain("inspect", "%s is no block %s: give a whole number from 0 to 8191",
                         operands[i], i == 1 ? "column" : "row");
                return false;
            }
        }
        return true;
    }
    int run(std::span<const char* const> operands) override;

  private:
    std::optional<kvrn_scales> step_;
    std::optional<kvrn_scales> scales_;
    std::optional<std::string> table_;
    bool json_ = false;
};

// Table entry (`row` from the top, `column`) of a table whose row 0 is the block's lowest row.
std::int32_t picture_entry(const std::int32_t* table, int row, int column) {
    return table[(7 - row) * 8 + column];
}
// Entry (`row`, `column`) of a table in the stream's own order.
std::int32_t stream_entry(const std::int32_t* table, int row, int column) {
    return table[row * 8 + column];
}

using entry_of = std::int32_t (*)(const std::int32_t*, int, int);

std::string json_table(const std::int32_t* table, entry_of entry) {
    std::string text = "[";
    for (int row = 0; row < 8; ++row) {
        text += row == 0 ? "[" : ", [";
        for (int column = 0; column < 8; ++column) {
            text += (column == 0 ? "" : ", ") + std::to_string(entry(table, row, column));
        }
        text += "]";
    }
    return text + "]";
}

std::string json_list(const std::int32_t* values, std::size_t count) {
    std::string text = "[";
    for (std::size_t i = 0; i < count; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(values[i]);
    return text + "]";
}

// How the block is quantised: by a scale per channel, or by the tables a --table TABLES names.
struct quantiser {
    kvrn_scales scales{};
    std::optional<std::string> table_choice;
    lab::quantisation_tables tables{};
};

void print_json(const char* path, const kvrn_block_report& report, const quantiser& by) {
    std::string text = "{\"file\": " + json_string(path) +
                       ", \"column\": " + std::to_string(report.column) +
                       ", \"row\": " + std::to_string(report.row) +
                       ", \"first_pixel_column\": " + std::to_string(report.first_pixel_column) +
                       ", \"first_pixel_row\": " + std::to_string(report.first_pixel_row) +
                       ", \"pixel_columns\": " + std::to_string(report.pixel_columns) +
                       ", \"pixel_rows\": " + std::to_string(report.pixel_rows) +
                       (by.table_choice ? ", \"table\": " + json_string(*by.table_choice)
                                        : ", \"scales\": {\"y\": " + std::to_string(by.scales.y) +
                                              ", \"cr\": " + std::to_string(by.scales.cr) +
                                              ", \"cb\": " + std::to_string(by.scales.cb) + "}");
    for (std::size_t c = 0; c < 3; ++c) {
        text += ", \"" + std::string(channel_namings[c].key) + "\": {";
        if (by.table_choice) {
            text += "\"divisors\": " + json_table(by.tables[c].data(), stream_entry) + ", ";
        }
        text += "\"samples\": " + json_table(report.samples[c], picture_entry);
        text += ", \"coefficients\": " + json_table(report.coefficients[c], stream_entry);
        text += ", \"quantised\": " + json_table(report.quantised[c], stream_entry);
        text += ", \"stored\": " + json_list(report.stored[c], 64);
        text += ", \"stored_count\": " + std::to_string(report.stored_count[c]);
        text += ", \"coded_bytes\": " + std::to_string(report.coded_bytes[c]);
        text += ", \"clipped\": " + std::to_string(report.clipped[c]);
        text += ", \"reconstruction\": " + json_table(report.reconstruction[c], picture_entry);
        text += ", \"error\": " + json_table(report.error[c], picture_entry) + "}";
    }
    constexpr std::array<const char*, 3> colours = {"red", "green", "blue"};
    for (const auto& [key, tables] :
         {std::pair{"rgb", &report.rgb}, std::pair{"decoded_rgb", &report.decoded_rgb}}) {
        text += ", \"" + std::string(key) + "\": {";
        for (std::size_t c = 0; c < 3; ++c) {
            text += (c == 0 ? "\"" : ", \"") + std::string(colours[c]) +
                    "\": " + json_table((*tables)[c], picture_entry);
        }
        text += "}";
    }
    std::printf("%s}\n", text.c_str());
}

void print_table(const char* title, const std::int32_t* table, entry_of entry) {
    std::printf("%s\n", title);
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            std::printf("%6d", static_cast<int>(entry(table, row, column)));
        }
        std::printf("\n");
    }
}

void print_text(const kvrn_block_report& report, const quantiser& by) {
    std::printf("block column %u, row %u: pixels %u..%u across, %u..%u down from the top-left",
                report.column, report.row, report.first_pixel_column,
                report.first_pixel_column + report.pixel_columns - 1, report.first_pixel_row,
                report.first_pixel_row + report.pixel_rows - 1);
    if (report.pixel_columns < 8 || report.pixel_rows < 8) {
        std::printf(" (a cut block: the rest repeats the picture's edge)");
    }
    if (by.table_choice) {
        std::printf("\ntables: %s\n", tables_words(*by.table_choice).c_str());
    } else {
        std::printf("\nscales: Y %u, Cr %u, Cb %u\n", by.scales.y, by.scales.cr, by.scales.cb);
    }
    for (std::size_t c = 0; c < 3; ++c) {
        const std::string name = channel_namings[c].name;
        std::printf("\n");
        print_table((name + " samples, top row first").c_str(), report.samples[c], picture_entry);
        print_table((name + " DCT coefficients, DC top left").c_str(), report.coefficients[c],
                    stream_entry);
        if (by.table_choice) {
            print_table((name + " divisors, DC top left").c_str(), by.tables[c].data(),
                        stream_entry);
        }
        std::printf("%s stored, zig-zag order: %u value%s, %u bytes, %u clipped\n", name.c_str(),
                    report.stored_count[c], report.stored_count[c] == 1 ? "" : "s",
                    report.coded_bytes[c], report.clipped[c]);
        for (std::uint32_t n = 0; n < report.stored_count[c]; ++n) {
            std::printf("%s%d", n == 0 ? "" : " ", static_cast<int>(report.stored[c][n]));
        }
        std::printf("\n");
        print_table((name + " reconstruction, top row first").c_str(), report.reconstruction[c],
                    picture_entry);
        print_table((name + " error (reconstruction - samples)").c_str(), report.error[c],
                    picture_entry);
    }
}

int inspect_request::run(std::span<const char* const> operands) {
    const char* path = operands[0];
    const auto column = static_cast<std::uint32_t>(*parse_number(operands[1], 0, 8191));
    const auto row = static_cast<std::uint32_t>(*parse_number(operands[2], 0, 8191));
    quantiser by;
    if (table_) {
        const std::optional<lab::quantisation_tables> tables = read_tables(*table_);
        if (!tables) return exit_failed;
        by.table_choice = table_;
        by.tables = *tables;
    } else {
        by.scales = step_     ? *step_
                    : scales_ ? *scales_
                              : kvrn_file_scales(path).value_or(kvrn_scales{8, 8, 8});
    }
    image picture;
    const int status = read_lab_picture(path, max_pixels, picture, 0);
    if (status == exit_failed) return exit_failed;
    const auto columns = static_cast<std::uint32_t>(blocks_covering(picture.width));
    const auto rows = static_cast<std::uint32_t>(blocks_covering(picture.height));
    if (column >= columns || row >= rows) {
        complain(path, "has %u x %u blocks: there is no block at column %u, row %u", columns, rows,
                 column, row);
        return exit_failed;
    }
    // The picture is kept bottom row first: handed over from its last row.
    const auto row_bytes = static_cast<std::ptrdiff_t>(3 * static_cast<std::size_t>(picture.width));
    const kvrn_image view{picture.pixels.get() + pixel_offset(picture.width, picture.height - 1, 0),
                          static_cast<std::uint32_t>(picture.width),
                          static_cast<std::uint32_t>(picture.height), -row_bytes, 3};
    kvrn_block_report report;
    const kvrn_status inspected =
        by.table_choice ? lab::inspect_with_tables(&view, by.tables, column, row, &report)
                        : kvrn_inspect(&view, by.scales, column, row, &report);
    if (inspected != KVRN_OK) {
        complain(path, "%s", kvrn_status_text(inspected));
        return exit_failed;
    }
    if (json_) {
        print_json(path, report, by);
    } else {
        print_text(report, by);
    }
    if (std::fflush(stdout) != 0) {
        complain("-", "write error on standard output");
        return exit_failed;
    }
    return status;
}

}  // namespace

const command_entry inspect_entry = lab_entry(lab_command("inspect"), inspect_usage, 3, 3,
                                              inspect_options, start_command<inspect_request>);

}  // namespace kvrn::cli
