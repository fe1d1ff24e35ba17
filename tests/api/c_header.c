/* The public header compiled as strict C99 and linked with the shared library: a caller in C
 * sees every declaration, and the library exports what the header declares. */
#include <kvrn.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    static const uint8_t pixel[3] = {200, 100, 50};
    const kvrn_image image = {pixel, 1, 1, 3, 3};
    const kvrn_scales scales = {1, 1, 1};
    uint8_t file[64];
    uint8_t rgb[3];
    size_t size = 0;
    uint64_t missing = 1;
    if (strcmp(kvrn_version(), KVRN_VERSION_STRING) != 0) return 1;
    if (kvrn_encode_to_memory(&image, scales, 1, file, sizeof file, &size, NULL) != KVRN_OK) {
        return 2;
    }
    if (kvrn_decode(file, size, KVRN_CHANNELS_ALL, 0, 1, rgb, 3, &missing) != KVRN_OK ||
        missing != 0) {
        return 3;
    }
    {
        uint8_t rgba[4] = {0, 0, 0, 0};
        const kvrn_output out = {rgba, sizeof rgba, 4, 4, KVRN_ROWS_BOTTOM_FIRST};
        size_t bytes = 0;
        if (kvrn_output_bytes(&out, 1, 1, &bytes) != KVRN_OK || bytes != sizeof rgba) return 4;
        if (kvrn_decode_into(file, size, &out, KVRN_CHANNELS_ALL, 1, 1, &missing) != KVRN_OK ||
            memcmp(rgba, rgb, 3) != 0 || rgba[3] != 255) {
            return 5;
        }
    }
    printf("%u %u %u\n", rgb[0], rgb[1], rgb[2]);
    return 0;
}
