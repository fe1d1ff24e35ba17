#include "codec/kvrn_file.h"

#include <cstdint>

#include "codec/byte_reader.h"
#include "codec/picture.h"

namespace kvrn {

load_result load_kvrn(std::FILE* file, load_observer& observer) {
    load_result result;
    const header_reading reading = read_header(file);
    result.header_got = reading.got;
    result.header = reading.header;
    switch (reading.status) {
        case header_status::ok:
            break;
        case header_status::unreadable:
            result.status = load_status::unreadable;
            return result;
        case header_status::too_short:
            result.status = load_status::too_short;
            return result;
        case header_status::wrong_magic:
            result.status = load_status::wrong_magic;
            return result;
    }
    observer.header_read(reading.header);

    // At most 65535 * 65535 * 3 bytes, which needs a 64-bit size_t; picture_bytes says when the
    // product does not fit. One byte at the least, so that an empty picture is not a failure.
    const std::optional<std::size_t> size =
        picture_bytes(reading.header.width, reading.header.height);
    result.buffer_bytes = size.value_or(SIZE_MAX);
    std::uint8_t* pixels = size ? observer.picture_buffer(*size != 0 ? *size : 1) : nullptr;
    if (pixels == nullptr) {
        result.status = load_status::no_memory;
        return result;
    }
    byte_reader reader(file);
    result.missing = decode_blocks(reader, reading.header, observer.channels(), pixels, &observer);
    return result;
}

}  // namespace kvrn
