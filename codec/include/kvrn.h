/* kvrn.h: reading, writing and re-encoding KVRN pictures. A C interface, usable from C and C++.
 *
 * A KVRN file is a 14-byte header and a stream of coded 8x8 blocks of quantised DCT coefficients:
 *
 *   offset  size  field      (all little-endian)
 *    0      4     magic      0x4B56524E: the bytes "NRVK"
 *    4      2     width      pixels, 0..65535
 *    6      2     height     pixels, 0..65535
 *    8      2     y_scale    multiplier of every Y coefficient
 *   10      2     cr_scale   multiplier of every Cr coefficient
 *   12      2     cb_scale   multiplier of every Cb coefficient
 *   14      ...   Y, Cr and Cb block of each 8x8 block position, positions in raster order from
 *                 the picture's bottom-left corner (the bottom row is row 0 of the stream)
 *
 *   a coded block: DC (signed 16-bit, little-endian), then up to 63 AC values (signed bytes) in
 *   zig-zag order, then 0x7F (end of block) when fewer than 63 were written.
 *
 * Pictures cross this interface as 8-bit RGB (or RGBA, for encoding) rows, the top row first,
 * `stride` bytes from the start of one row to the start of the next. A negative stride is allowed:
 * with the pointer at the bottom row's first byte, it hands over a picture stored bottom row first.
 * kvrn_decode_into describes its output instead (kvrn_output): RGB or RGBA, either row order.
 *
 * The library never prints, never ends the process and keeps no state between calls. Memory is
 * the caller's: every function writes into buffers it is given, and the sizes they need are
 * computed by the kvrn_*_bytes functions, which refuse sizes that do not fit. The only functions
 * that allocate are those that say so. Every function is safe on any bytes it is given as a
 * stream; with `threads` 0 it uses every online core, and the results are the same for any
 * number of threads.
 */
#ifndef KVRN_H
#define KVRN_H

#include <stddef.h>
#include <stdint.h>

#include "kvrn_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The functions a shared build of the library exports; everything else in it stays inside. */
#if defined(__GNUC__)
#define KVRN_API __attribute__((visibility("default")))
#else
#define KVRN_API
#endif

#define KVRN_MAGIC 0x4B56524Eu
#define KVRN_HEADER_BYTES 14
/* The longest coded block: the DC's two bytes and all 63 AC bytes. */
#define KVRN_MAX_BLOCK_BYTES 65

/* What a call found. Every status has words: kvrn_status_text. */
typedef enum kvrn_status {
    KVRN_OK = 0,
    KVRN_TOO_SHORT,    /* fewer bytes than a KVRN header */
    KVRN_WRONG_MAGIC,  /* the first four bytes are not the KVRN magic number */
    KVRN_NO_PIXELS,    /* the picture is 0 pixels wide or high */
    KVRN_TOO_LARGE,    /* a size that does not fit the format or memory: over 65535 a side,
                          over the caller's pixel limit, a buffer beyond SIZE_MAX, or more
                          than the caller's buffer holds */
    KVRN_BAD_ARGUMENT, /* a null pointer, a stride shorter than a row, a step or channel out of
                          range, a block position outside the picture */
    KVRN_NO_MEMORY,    /* an allocation the function announces failed */
    KVRN_WRITE_FAILED, /* the write callback reported a failure */
    /* Never returned: makes the type as wide as an int, so that any value a caller passes to
     * kvrn_status_text is one the type can hold. */
    KVRN_STATUS_MAX = 0x7FFFFFFF
} kvrn_status;

/* The status in words, lower case, no full stop: "not a KVRN file". Never null. */
KVRN_API const char* kvrn_status_text(kvrn_status status);

/* The version of the library linked, "MAJOR.MINOR.PATCH": KVRN_VERSION_STRING of its headers. */
KVRN_API const char* kvrn_version(void);

/* The channels, as bits of a mask: the channels a reconstruction keeps. */
#define KVRN_CHANNEL_Y 1u
#define KVRN_CHANNEL_CR 2u
#define KVRN_CHANNEL_CB 4u
#define KVRN_CHANNELS_ALL 7u

typedef struct kvrn_header {
    uint32_t magic;
    uint16_t width;
    uint16_t height;
    uint16_t y_scale;
    uint16_t cr_scale;
    uint16_t cb_scale;
} kvrn_header;

/* Reads the header at the start of `data` (`size` bytes). KVRN_TOO_SHORT or KVRN_WRONG_MAGIC
 * when it is none; `header` is filled as far as the bytes go either way (zeroes beyond). */
KVRN_API kvrn_status kvrn_read_header(const void* data, size_t size, kvrn_header* header);

/* The header's 14 bytes, as a file begins with them. */
KVRN_API void kvrn_write_header(const kvrn_header* header, uint8_t bytes[KVRN_HEADER_BYTES]);

/* ceil(width / 8) * ceil(height / 8): the block positions of a picture, 3 coded blocks each. */
KVRN_API uint64_t kvrn_block_positions(uint32_t width, uint32_t height);

/* What a stream holds against what its header needs. */
typedef struct kvrn_stream_info {
    kvrn_header header;
    uint64_t blocks_needed;  /* 3 per block position */
    uint64_t blocks_held;    /* complete coded blocks before the stream ends */
    uint64_t bytes_held;     /* bytes of the block stream read, those of a cut block included */
    uint64_t bytes_needed;   /* the block stream's length; when it is cut, the least it needs */
    uint64_t trailing_bytes; /* bytes after the last block of a complete stream */
    int complete;            /* 1 when every block is there */
} kvrn_stream_info;

/* Reads the header of the file in `data` and measures its block stream without decoding it. */
KVRN_API kvrn_status kvrn_check_stream(const void* data, size_t size, kvrn_stream_info* info);

/* The bytes of an RGB picture of width x height rows `3 * width` apart, in `*bytes`; KVRN_TOO_LARGE
 * when that does not fit a size_t. */
KVRN_API kvrn_status kvrn_rgb_bytes(uint32_t width, uint32_t height, size_t* bytes);

/* Decodes the KVRN file in `data` (`size` bytes, header included) into `rgb`: header.height rows
 * of header.width pixels, top row first, `stride` bytes apart. Channels not in `channels` are left
 * out of the reconstruction, as the viewer's channel switches leave them out. A stream that ends
 * early is no failure: the blocks it cuts short are decoded from what they hold, those it never
 * reaches as zeros, and `*missing_blocks` (if not null) says how many blocks that was. Refuses
 * pictures of more than `max_pixels` pixels (0: no limit but memory's), and rows `stride` apart
 * that would reach past PTRDIFF_MAX bytes, before writing anything. Allocates working memory of a
 * block row (8 picture rows) per thread. */
KVRN_API kvrn_status kvrn_decode(const void* data, size_t size, unsigned channels,
                                 uint64_t max_pixels, unsigned threads, uint8_t* rgb,
                                 ptrdiff_t stride, uint64_t* missing_blocks);

/* The orders a picture's rows can be stored in. */
#define KVRN_ROWS_TOP_FIRST 0u
#define KVRN_ROWS_BOTTOM_FIRST 1u

/* Memory a decoded picture is written to: `size` bytes at `pixels`, one row of pixels after
 * another in `row_order` (KVRN_ROWS_TOP_FIRST or KVRN_ROWS_BOTTOM_FIRST), `stride` bytes from the
 * start of a row to the start of the next (at least the bytes of a row), `components` bytes a
 * pixel: 3 (R, G, B) or 4 (R, G, B and alpha, always 255). The bytes between rows are left as
 * they are. */
typedef struct kvrn_output {
    uint8_t* pixels;
    size_t size;
    ptrdiff_t stride;
    unsigned components;
    unsigned row_order;
} kvrn_output;

/* The bytes a picture of width x height takes laid out as `out` says, in `*bytes`: the stride
 * for every row but the last and the pixels of the last. KVRN_BAD_ARGUMENT for a layout that is
 * none (components not 3 or 4, an unknown row order, a stride shorter than a row, zero or
 * negative among them), KVRN_NO_PIXELS for a picture of 0 pixels, KVRN_TOO_LARGE when it is over
 * 65535 a side or takes more than PTRDIFF_MAX bytes. Looks only at the layout, not at `pixels`
 * or `size`. */
KVRN_API kvrn_status kvrn_output_bytes(const kvrn_output* out, uint32_t width, uint32_t height,
                                       size_t* bytes);

/* Decodes the KVRN file in `data` (`size` bytes, header included) into `out`, as kvrn_decode
 * does: the same pixels, the same channels, the same cut streams, limit and working memory, the
 * same statuses, and KVRN_TOO_LARGE when the picture does not fit in out->size bytes (see
 * kvrn_output_bytes). Nothing is written when it refuses. */
KVRN_API kvrn_status kvrn_decode_into(const void* data, size_t size, const kvrn_output* out,
                                      unsigned channels, uint64_t max_pixels, unsigned threads,
                                      uint64_t* missing_blocks);

/* Called with the next `size` bytes of an encoded file, in order; returns 0 when they were
 * written, anything else to stop the encoding with KVRN_WRITE_FAILED. */
typedef int (*kvrn_write_fn)(void* context, const void* bytes, size_t size);

/* A picture to encode: width x height pixels (1..65535 a side) of `components` bytes each,
 * 3 (R, G, B) or 4 (R, G, B, alpha; composed onto white in the sample values as browsers show it:
 * round((value * alpha + 255 * (255 - alpha)) / 255)), rows top first `stride` bytes apart. */
typedef struct kvrn_image {
    const uint8_t* pixels;
    uint32_t width;
    uint32_t height;
    ptrdiff_t stride;
    unsigned components;
} kvrn_image;

/* The quantisation divisors of the three channels, each 1..65535: the header's scales. */
typedef struct kvrn_scales {
    uint16_t y;
    uint16_t cr;
    uint16_t cb;
} kvrn_scales;

/* The most bytes a KVRN file of width x height can take: the header and 65 bytes a block. */
KVRN_API kvrn_status kvrn_encoded_bytes_max(uint32_t width, uint32_t height, size_t* bytes);

/* Encodes `image` as a KVRN file with `scales`, handing the bytes to `write` in order: the
 * header, then one call per block row at the most. `*clipped` (if not null) is the number of AC
 * coefficients that did not fit in -127..126 and were clamped. Allocates working memory of a few
 * block rows per thread (KVRN_NO_MEMORY when there is none). */
KVRN_API kvrn_status kvrn_encode(const kvrn_image* image, kvrn_scales scales, unsigned threads,
                                 kvrn_write_fn write, void* context, uint64_t* clipped);

/* kvrn_encode into `out`, which holds `capacity` bytes (kvrn_encoded_bytes_max is always enough);
 * `*size` is the file's length. KVRN_TOO_LARGE when it does not fit in `capacity`. */
KVRN_API kvrn_status kvrn_encode_to_memory(const kvrn_image* image, kvrn_scales scales,
                                           unsigned threads, uint8_t* out, size_t capacity,
                                           size_t* size, uint64_t* clipped);

/* The smallest scales that clip no AC coefficient of `image`, channel by channel (1..65535). */
KVRN_API kvrn_status kvrn_unclipped_scales(const kvrn_image* image, unsigned threads,
                                           kvrn_scales* scales);

/* What the viewer's window shows for the picture `image` (RGB) at quantisation step `step`
 * (1..2147483647): every whole 8x8 block, counted from the picture's bottom-left corner, through
 * the forward transform, divided by `step`, multiplied back and reconstructed from `channels`;
 * the strips beyond the last whole block column (right) and row (top) white. Written to `rgb`,
 * rows top first `stride` bytes apart; `rgb` may not overlap the picture. Allocates working
 * memory of two block rows (8 picture rows each) per thread. */
KVRN_API kvrn_status kvrn_preview(const kvrn_image* image, int32_t step, unsigned channels,
                                  unsigned threads, uint8_t* rgb, ptrdiff_t stride);

/* One block position through the encoder and back, for the learner's eye. Each table is 8x8 in
 * row-major order with row 0 the block's lowest picture row and column 0 its leftmost: the order
 * the stream codes them in. Index [0] is Y (or R), [1] Cr (or G), [2] Cb (or B). */
typedef struct kvrn_block_report {
    uint32_t column;               /* the block position: column from the left, */
    uint32_t row;                  /* row from the top (0: the top block row, which may be cut) */
    uint32_t first_pixel_column;   /* its leftmost pixel column */
    uint32_t first_pixel_row;      /* its top pixel row, counted from the top */
    uint32_t pixel_columns;        /* the pixels of the picture it covers, 1..8 each way; the */
    uint32_t pixel_rows;           /* rest repeat the picture's last column and top row */
    int32_t samples[3][64];        /* Y, Cr and Cb of each pixel, 0..255, chroma neutral at 128 */
    int32_t coefficients[3][64];   /* forward DCT at the scale the decoder dequantises to */
    int32_t quantised[3][64];      /* coefficients / scale, truncated toward zero */
    int32_t stored[3][64];         /* the values the file stores, in zig-zag order: the DC's low
                                      16 bits as signed, AC values clamped to -127..126 */
    uint32_t stored_count[3];      /* values the file stores: 1 + the AC values kept */
    uint32_t coded_bytes[3];       /* the block's bytes in the stream, end of block included */
    uint32_t clipped[3];           /* AC values clamped */
    int32_t reconstruction[3][64]; /* Y, Cr and Cb decoded from the stored values, 0..255 */
    int32_t error[3][64];          /* reconstruction minus samples */
    int32_t rgb[3][64];            /* the picture's R, G and B */
    int32_t decoded_rgb[3][64];    /* R, G and B as a decoder shows them, 0..255 */
} kvrn_block_report;

/* Row-major index of the n-th value in zig-zag order, n = 0..63. */
KVRN_API int kvrn_zigzag_index(int n);

/* Fills `report` for block `column`, `row` (counted from the top-left, as in kvrn_block_report)
 * of `image` quantised by `scales` and decoded with every channel. */
KVRN_API kvrn_status kvrn_inspect(const kvrn_image* image, kvrn_scales scales, uint32_t column,
                                  uint32_t row, kvrn_block_report* report);

#ifdef __cplusplus
}
#endif

#endif /* KVRN_H */
