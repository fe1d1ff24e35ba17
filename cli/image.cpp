#include "cli/image.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {

namespace {

// A zeroed buffer of `size` bytes, released with free. Large ones are asked for in huge pages
// (where the kernel gives them on request): a 12 MB picture otherwise costs some 3000 page
// faults as it is first written, which on a virtual machine took longer than decoding into it.
std::uint8_t* zeroed_bytes(std::size_t size) {
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    if (size < 2 * huge_page) return static_cast<std::uint8_t*>(std::calloc(size, 1));
    const std::size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
    void* bytes = std::aligned_alloc(huge_page, rounded);
    if (bytes == nullptr) return nullptr;
    (void)madvise(bytes, rounded, MADV_HUGEPAGE);  // only a hint: without it, small pages
    std::memset(bytes, 0, size);
    return static_cast<std::uint8_t*>(bytes);
}

}  // namespace

bool allocate(image& picture, std::int32_t width, std::int32_t height, std::string_view name) {
    const std::optional<std::size_t> bytes = picture_bytes(width, height);
    if (bytes) picture.pixels.reset(zeroed_bytes(*bytes));
    if (!bytes || !picture.pixels) {
        complain(name, "cannot allocate memory for a %d x %d picture", width, height);
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

bool check_sides(std::uint64_t width, std::uint64_t height, std::string_view name) {
    if (width >= 1 && height >= 1 && width <= max_side && height <= max_side) return true;
    complain(name, "the picture is %llu x %llu; a KVRN picture is 1 to %d pixels on each side",
             static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
             max_side);
    return false;
}

bool check_pixels(std::uint64_t width, std::uint64_t height, std::uint64_t max_pixels,
                  std::string_view name) {
    // Sides come from headers of at most 32-bit numbers: the product fits.
    const std::uint64_t pixels = width * height;
    if (pixels <= max_pixels) return true;
    complain(name, "%llu x %llu is %llu pixels, more than the limit of %llu (--max-pixels)",
             static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
             static_cast<unsigned long long>(pixels), static_cast<unsigned long long>(max_pixels));
    return false;
}

}  // namespace kvrn::cli
