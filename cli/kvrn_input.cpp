#include "cli/kvrn_input.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "cli/report.h"
#include "codec/band_decoder.h"
#include "codec/channels.h"
#include "codec/coef_block.h"
#include "codec/include/kvrn.h"
#include "codec/picture.h"

namespace kvrn::cli {

kvrn_input::~kvrn_input() {
    if (file != nullptr && file != stdin) (void)std::fclose(file);
}

bool kvrn_input::open(const char* name, std::uint64_t max_pixels) {
    path = name;
    file = std::strcmp(name, "-") == 0 ? stdin : std::fopen(name, "rb");
    if (file == nullptr) {
        complain(path, "cannot open: %s", std::strerror(errno));
        return false;
    }
    const header_reading reading = read_header(file);
    header = reading.header;
    switch (reading.status) {
        case header_status::ok:
            return check_pixels(header.width, header.height, max_pixels, path);
        case header_status::unreadable:
            complain(path, "cannot read: %s", std::strerror(errno));
            return false;
        case header_status::too_short:
            complain(path, "%s: %zu of %zu bytes", kvrn_status_text(KVRN_TOO_SHORT), reading.got,
                     header_bytes);
            return false;
        case header_status::wrong_magic:
            complain(path, "%s: magic number 0x%08x, expected 0x%08x",
                     kvrn_status_text(KVRN_WRONG_MAGIC), header.magic, kvrn_magic);
            return false;
    }
    return false;
}

bool kvrn_input::read_failed() const {
    if (std::ferror(file) == 0) return false;
    complain(path, "read error");
    return true;
}

std::string describe(const block_place& place) {
    std::array<char, 128> text{};
    (void)std::snprintf(text.data(), text.size(),
                        "the %s block of position %lld (block column %d, row %d)",
                        channel_namings[static_cast<std::size_t>(place.which)].name,
                        static_cast<long long>(place.position), place.column, place.row);
    return text.data();
}

void first_missing_block::missing_block(channel which, std::int32_t counter, std::int32_t column,
                                        std::int32_t row) {
    if (seen) return;
    seen = true;
    place = {counter, which, column, row};
}

bool has_pixels(const kvrn_input& in) {
    if (in.header.width != 0 && in.header.height != 0) return true;
    complain(in.path, "the picture is %u x %u: it has no pixels to decode",
             static_cast<unsigned>(in.header.width), static_cast<unsigned>(in.header.height));
    return false;
}

int decode_status(const kvrn_input& in, std::int64_t missing, const first_missing_block& listener) {
    if (missing == 0) return exit_ok;
    warn(in.path,
         "the block stream ends early, in %s; %lld coded block%s missing or cut short and "
         "decoded from what %s, the rest of the coefficients zero",
         describe(listener.place).c_str(), static_cast<long long>(missing),
         missing == 1 ? " is" : "s are", missing == 1 ? "it holds" : "they hold");
    return exit_damaged;
}

int decode_file(kvrn_input& in, image& picture, unsigned threads, const channel_enables& channels) {
    const kvrn_header& header = in.header;
    if (!has_pixels(in) || !allocate(picture, header.width, header.height, in.path)) {
        return exit_failed;
    }
    // Each band goes straight to its place in the picture.
    class into_picture final : public band_sink {
      public:
        explicit into_picture(image& picture) : picture_(picture) {}
        std::uint8_t* destination(std::int32_t r0) override {
            return picture_.pixels.get() + pixel_offset(picture_.width, r0, 0);
        }
        bool decoded(std::int32_t /*r0*/, const std::uint8_t* /*pixels*/) override { return true; }

      private:
        image& picture_;
    } sink(picture);
    first_missing_block listener;
    byte_reader stream(in.file);
    const std::int64_t missing =
        decode_bands(stream, header, channels, threads, sink, &listener).missing;
    if (in.read_failed()) return exit_failed;
    return decode_status(in, missing, listener);
}

}  // namespace kvrn::cli
