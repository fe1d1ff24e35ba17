"""KVRN pictures from Python: encode, decode, preview and inspect numpy arrays, and measure them.

A KVRN file is a 14-byte header and a stream of 8x8 blocks of quantised DCT coefficients in
Y, Cr and Cb. This package runs the same codec as the ``kvrn`` command line and the viewer, so
that its results are theirs byte for byte:

    encode(pixels, step=8, scales=None)   the bytes ``kvrn encode --step/--scales`` writes
    decode(data, channels="yrb")          the picture ``kvrn decode`` writes
    info(data)                            the fields of ``kvrn info --json``
    preview(pixels, step, channels="yrb") what the viewer's window shows at that step
    inspect(pixels, column, row, ...)     one block through the encoder and back, table by table

and the quantisation lab, with the figures and maps of ``kvrn diff``, ``sweep`` and ``blocks``:

    measure(a, b, metrics=None)           the figures ``kvrn diff A B`` prints
    sweep(pixels, steps, qualities, ...)  the rows of ``kvrn sweep``'s table
    error_map(a, b, gain=8)               the map ``kvrn diff A B MAP.png`` writes
    block_map(data, channel=None, ...)    the map ``kvrn blocks FILE MAP.png`` writes

Pictures are numpy arrays as Pillow and imageio give them: uint8, height x width x 3 (RGB),
rows top first; height x width (grey) and height x width x 4 (RGBA, alpha composed onto
white) are taken too. Bad arguments and bad streams raise ``kvrn.Error`` (a ``ValueError``)
in the words the command line uses; no bytes given to ``decode`` or ``info`` can crash the
interpreter. The codec runs without the GIL, on every online core unless ``threads`` says
otherwise, with the same results for any number of threads.
"""

from __future__ import annotations

import operator
import warnings
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _kvrn

__all__ = [
    "CLASSIC_CODECS",
    "CLASSIC_METRICS",
    "CODECS",
    "ClippingWarning",
    "Error",
    "METRICS",
    "SWEEP_COLUMNS",
    "TruncatedWarning",
    "block_map",
    "codecs",
    "decode",
    "encode",
    "error_map",
    "info",
    "inspect",
    "measure",
    "preview",
    "sweep",
]

__version__: str = _kvrn.version()

Error = _kvrn.Error
Error.__module__ = __name__
Error.__doc__ = (
    "A picture, a stream or an argument the codec cannot take. A ValueError; its text is in the "
    "words the kvrn command line uses."
)


class ClippingWarning(UserWarning):
    """AC coefficients too large for a byte (-127..126) were clipped by ``encode``.

    ``clipped`` is how many. Larger steps, or ``step="auto"``, avoid it.
    """

    def __init__(self, message: str, clipped: int) -> None:
        super().__init__(message)
        self.clipped = clipped


class TruncatedWarning(UserWarning):
    """The stream given to ``decode`` ends early; the picture holds what the stream holds.

    ``missing_blocks`` is how many coded blocks are missing or cut short.
    """

    def __init__(self, message: str, missing_blocks: int) -> None:
        super().__init__(message)
        self.missing_blocks = missing_blocks


# The command line's default limit on the pixels of a picture to decode (--max-pixels).
DEFAULT_MAX_PIXELS = 1 << 28

_MAX_SIDE = 65535
_MAX_THREADS = 1024
_MAX_PREVIEW_STEP = 2147483647
_CHANNEL_BITS = {"y": 1, "r": 2, "b": 4}
_CHANNEL_NAMES = ("Y", "Cr", "Cb")

Scale = Union[int, str]
Bytes = Union[bytes, bytearray, memoryview]


def _whole(value: Any, name: str, low: int, high: int, extra: str = "") -> int:
    """`value` as an int from `low` to `high`, or Error naming the argument."""
    words = f"{name} must be a whole number from {low} to {high}{extra}"
    if isinstance(value, bool):
        raise Error(f"{words}, not {value!r}")
    try:
        number = operator.index(value)
    except TypeError:
        raise Error(f"{words}, not {value!r}") from None
    if not low <= number <= high:
        raise Error(f"{words}, not {number}")
    return number


def _threads(threads: Any) -> int:
    return _whole(threads, "threads", 0, _MAX_THREADS, " (0: every online core)")


def _channels(channels: Any) -> int:
    """The letters y, r and b (Y, Cr and Cb, as the viewer's keys) as the C interface's mask."""
    if not isinstance(channels, str) or not channels or set(channels) - set(_CHANNEL_BITS):
        raise Error(f"channels must be one or more of the letters y, r and b, not {channels!r}")
    mask = 0
    for letter in channels:
        mask |= _CHANNEL_BITS[letter]
    return mask


def _picture(pixels: Any) -> np.ndarray:
    """`pixels` as the codec reads them: uint8, height x width x 3 or 4, each row packed."""
    array = np.asarray(pixels)
    if array.dtype != np.uint8:
        raise Error(
            f"pixels must be uint8 samples (0..255), not {array.dtype}: convert them first, "
            "for example with numpy.clip(pixels, 0, 255).astype(numpy.uint8)"
        )
    if array.ndim == 2:
        array = array[:, :, np.newaxis]
    if array.ndim != 3 or array.shape[2] not in (1, 2, 3, 4):
        raise Error(
            "pixels must be height x width (grey), height x width x 3 (RGB) or height x width "
            f"x 4 (RGBA), not an array of shape {array.shape}"
        )
    height, width, components = array.shape
    if height == 0 or width == 0:
        raise Error(f"{_kvrn.status_text(_kvrn.NO_PIXELS)}: {width} x {height}")
    if height > _MAX_SIDE or width > _MAX_SIDE:
        raise Error(
            f"{_kvrn.status_text(_kvrn.TOO_LARGE)}: {width} x {height} pixels, more than "
            f"{_MAX_SIDE} a side"
        )
    if components == 1:
        array, components = np.repeat(array, 3, axis=2), 3
    elif components == 2:
        # Grey and alpha: the grey in all three colours, the alpha kept for the codec to compose.
        array, components = array[:, :, [0, 0, 0, 1]], 4
    row_stride = array.strides[0]
    packed = (
        array.strides[2] == 1
        and (width == 1 or array.strides[1] == components)
        and (height == 1 or abs(row_stride) >= width * components)
    )
    return array if packed else np.ascontiguousarray(array)


def _scales(step: Any, scales: Optional[Sequence[Scale]]) -> Tuple[Scale, Scale, Scale]:
    if scales is None:
        return (step, step, step)
    if isinstance(scales, str) or len(scales) != 3:
        raise Error(f"scales must be three scales (Y, Cr, Cb), not {scales!r}")
    return (scales[0], scales[1], scales[2])


def _resolve_scales(
    picture: np.ndarray, asked: Tuple[Scale, Scale, Scale], threads: int
) -> Tuple[int, int, int]:
    """The scales asked for, each 1..65535 or "auto": the smallest that clips nothing."""
    names = ("Y", "Cr", "Cb")
    chosen = [
        None if scale == "auto" else _whole(scale, f"the {name} scale", 1, 65535, " or 'auto'")
        for scale, name in zip(asked, names)
    ]
    if None in chosen:
        unclipped = _kvrn.unclipped_scales(picture, threads)
        chosen = [u if c is None else c for c, u in zip(chosen, unclipped)]
    return (chosen[0], chosen[1], chosen[2])


def encode(
    pixels: Any,
    step: Scale = 8,
    scales: Optional[Sequence[Scale]] = None,
    threads: int = 0,
) -> bytes:
    """Encode a picture as a KVRN file: the bytes ``kvrn encode --step/--scales`` writes.

    pixels: uint8 array, height x width x 3 (RGB), height x width (grey; or x 1) or height x
        width x 4 (RGBA: alpha composed onto white as browsers show it, as ``kvrn encode``
        does; x 2 is grey and alpha), rows top first, 1..65535 pixels a side. Any strides.
    step: the quantisation scale of all three channels, 1..65535, or "auto": the smallest that
        clips no AC coefficient.
    scales: the Y, Cr and Cb scales, each 1..65535 or "auto"; when given, ``step`` is not used.
    threads: threads to use; 0 (the default) means every online core. The bytes are the same
        for any number.

    Each DCT coefficient is divided by its channel's scale and the quotient truncated toward
    zero: coefficients smaller in size than the scale are stored as 0, and a flat block moves
    toward the middle grey, 128 (at step 60 a block of 176 throughout has DC 384, stored as 6,
    and decodes to 173). A stored AC coefficient is a byte from -127 to 126; larger ones are
    clipped, with a ``kvrn.ClippingWarning`` saying how many.

    >>> import numpy, kvrn
    >>> data = kvrn.encode(numpy.full((16, 24, 3), 200, numpy.uint8), step=16)
    >>> len(data), kvrn.info(data)["scales"]
    (68, {'y': 16, 'cr': 16, 'cb': 16})
    """
    picture = _picture(pixels)
    used = _threads(threads)
    y, cr, cb = _resolve_scales(picture, _scales(step, scales), used)
    data, clipped = _kvrn.encode(picture, y, cr, cb, used)
    if clipped > 0:
        what = "coefficient" if clipped == 1 else "coefficients"
        verb = "was" if clipped == 1 else "were"
        warnings.warn(
            ClippingWarning(
                f"{clipped} AC {what} did not fit in -127..126 and {verb} clipped; larger steps "
                "(or step='auto') avoid that",
                clipped,
            ),
            stacklevel=2,
        )
    return data


def _header_failure(status: int, data: Bytes, header: Dict[str, int]) -> Error:
    """The words of the command line for a header that cannot be read."""
    if status == _kvrn.TOO_SHORT:
        size = memoryview(data).nbytes
        return Error(f"too short for a KVRN header: {size} of {_kvrn.HEADER_BYTES} bytes")
    if status == _kvrn.WRONG_MAGIC:
        return Error(
            f"not a KVRN file: magic number 0x{header['magic']:08x}, expected 0x{_kvrn.MAGIC:08x}"
        )
    return Error(_kvrn.status_text(status))


def _stream(data: Bytes) -> Dict[str, Any]:
    """kvrn_check_stream's measure of `data`, or Error when it has no KVRN header."""
    status, measure = _kvrn.check_stream(data)
    if status != _kvrn.OK:
        raise _header_failure(status, data, measure)
    return measure


def _ends_in(measure: Dict[str, Any]) -> str:
    """Where a cut stream ends: "the Cr block of position 7 (block column 3, row 1)"."""
    held = measure["blocks_held"]
    position = held // 3
    columns = (measure["width"] + 7) // 8
    return (
        f"the {_CHANNEL_NAMES[held % 3]} block of position {position} "
        f"(block column {position % columns}, row {position // columns})"
    )


def _sized_header(data, limit, what):
    """The header of KVRN file `data`, or Error when it cannot be read, has no pixels (no `what`)
    or more pixels than `limit` (0: no limit)."""
    status, header = _kvrn.read_header(data)
    if status != _kvrn.OK:
        raise _header_failure(status, data, header)
    width, height = header["width"], header["height"]
    if width == 0 or height == 0:
        raise Error(f"the picture is {width} x {height}: it has no {what}")
    if limit and width * height > limit:
        raise Error(
            f"{width} x {height} is {width * height} pixels, more than the limit of {limit} "
            "(max_pixels)"
        )
    return header


def decode(
    data: Bytes,
    channels: str = "yrb",
    threads: int = 0,
    max_pixels: Optional[int] = DEFAULT_MAX_PIXELS,
) -> np.ndarray:
    """Decode a KVRN file: the picture ``kvrn decode`` writes, as the viewer loads it.

    data: the file's bytes, header included (bytes, bytearray, memoryview or any object with
        the buffer protocol).
    channels: the channels the reconstruction keeps, one or more of y (Y), r (Cr) and b (Cb),
        as the viewer's keys turn them on and off.
    threads: threads to use; 0 (the default) means every online core. The pixels are the same
        for any number.
    max_pixels: refuse a picture of more pixels than this, before allocating it (as
        ``kvrn --max-pixels``; the default is the command line's); None for no limit.

    Returns a new uint8 array of height x width x 3, rows top first.

    A stream that ends early is no failure: the blocks it cuts short are decoded from what they
    hold, those it never reaches as zeros, and a ``kvrn.TruncatedWarning`` says how many blocks
    that was. A header that cannot be read, a picture without pixels or over ``max_pixels``
    raise ``kvrn.Error``.
    """
    mask = _channels(channels)
    used = _threads(threads)
    limit = 0 if max_pixels is None else _whole(max_pixels, "max_pixels", 1, 1 << 64, " or None")
    _sized_header(data, limit, "pixels to decode")
    picture, missing = _kvrn.decode(data, mask, used, limit)
    if missing > 0:
        where = _ends_in(_stream(data))
        what, hold = ("block is", "it holds") if missing == 1 else ("blocks are", "they hold")
        warnings.warn(
            TruncatedWarning(
                f"the block stream ends early, in {where}; {missing} coded {what} missing or cut "
                f"short and decoded from what {hold}, the rest of the coefficients zero",
                missing,
            ),
            stacklevel=2,
        )
    return picture


def info(data: Bytes) -> Dict[str, Any]:
    """The header of a KVRN file and the state of its block stream: ``kvrn info --json``'s fields.

    Returns a dict with, in this order: width, height, scales ({"y", "cr", "cb"}), positions
    (8x8 block positions), block_columns, block_rows, bytes_needed (of the block stream; for a
    cut stream the least it needs), bytes_held, complete, ends_in (only when the stream is cut:
    where, in the command line's words), trailing (bytes after a complete stream). The command
    line's "file" field is left out: there is no file. Nothing is decoded.

    Raises ``kvrn.Error`` for bytes that do not start with a KVRN header.
    """
    measure = _stream(data)
    width, height = measure["width"], measure["height"]
    columns, rows = (width + 7) // 8, (height + 7) // 8
    fields: Dict[str, Any] = {
        "width": width,
        "height": height,
        "scales": {"y": measure["y_scale"], "cr": measure["cr_scale"], "cb": measure["cb_scale"]},
        "positions": columns * rows,
        "block_columns": columns,
        "block_rows": rows,
        "bytes_needed": measure["bytes_needed"],
        "bytes_held": measure["bytes_held"],
        "complete": measure["complete"],
    }
    if not measure["complete"]:
        fields["ends_in"] = _ends_in(measure)
    fields["trailing"] = measure["trailing_bytes"]
    return fields


def preview(pixels: Any, step: int, channels: str = "yrb", threads: int = 0) -> np.ndarray:
    """What the viewer's window shows for a picture at a quantisation step.

    Every whole 8x8 block, counted from the picture's bottom-left corner, goes through the
    forward transform, is divided by ``step`` (the quotient truncated toward zero), multiplied
    back and reconstructed from ``channels``; the strips beyond the last whole block column
    (right) and row (top) are white.
    For a KVRN file's decoded picture this is ``kvrn preview --step STEP --channels CHANNELS``.

    pixels: as for ``encode`` (uint8; grey, RGB or RGBA composed onto white).
    step: 1..2147483647, as the viewer's mouse wheel sets it (1 is its first frame).
    channels: one or more of y (Y), r (Cr) and b (Cb), as the viewer's keys.
    threads: threads to use; 0 (the default) means every online core.

    Returns a new uint8 array of height x width x 3, rows top first.
    """
    picture = _picture(pixels)
    shown_step = _whole(step, "step", 1, _MAX_PREVIEW_STEP)
    return _kvrn.preview(picture, shown_step, _channels(channels), _threads(threads))


def inspect(
    pixels: Any,
    column: int,
    row: int,
    step: Scale = 8,
    scales: Optional[Sequence[Scale]] = None,
) -> Dict[str, Any]:
    """One block of a picture through the encoder and back, every stage as 8x8 numpy arrays.

    pixels, step, scales: as for ``encode`` (the file the block belongs to is ``encode(pixels,
        step, scales)``).
    column, row: the block, counted from the top-left: column 0 is the leftmost block column,
        row 0 the top block row (which is cut when the height is not a multiple of 8).

    Returns a dict:
        column, row: the block, as given;
        first_pixel_column, first_pixel_row: its top-left pixel in the picture, rows from the top;
        pixel_columns, pixel_rows: how many pixels of the picture it covers (1..8 each way; the
            rest of the block repeats the picture's last column and top row);
        scales: {"y", "cr", "cb"}, the scales used;
        y, cr, cb: one dict per channel with
            samples: the channel's value of each pixel, 0..255 (chroma neutral at 128);
            coefficients: the forward DCT, at the scale the decoder dequantises to;
            quantised: coefficients / scale, truncated toward zero;
            stored: the 64 values the file holds in zig-zag order (int32 array of 64): the DC's
                low 16 bits as signed, the AC values clamped to -127..126, zeros after the last;
            stored_count: how many values the file stores (1 + the AC values kept);
            coded_bytes: the block's bytes in the stream, end of block included;
            clipped: AC values clamped;
            reconstruction: the channel decoded from the stored values, 0..255;
            error: reconstruction minus samples;
        rgb: the block's R, G, B (height x width x 3 of 8 x 8);
        decoded_rgb: R, G, B as a decoder shows them.

    Every 8x8 table is indexed [row][column] in the order the stream codes it: row 0 is the
    block's lowest picture row, column 0 its leftmost; coefficients[0][0] is the DC, the row
    index the vertical frequency. ``numpy.flipud`` turns a picture table top row first, so that
    ``numpy.flipud(report["decoded_rgb"])`` is what ``decode(encode(...))`` holds at the block.
    """
    picture = _picture(pixels)
    height, width = picture.shape[:2]
    columns, rows = (width + 7) // 8, (height + 7) // 8
    block_column = _whole(column, "column", 0, columns - 1, f" (the picture has {columns})")
    block_row = _whole(row, "row", 0, rows - 1, f" (the picture has {rows})")
    y, cr, cb = _resolve_scales(picture, _scales(step, scales), 0)
    raw = _kvrn.inspect(picture, y, cr, cb, block_column, block_row)
    report: Dict[str, Any] = {
        key: raw[key]
        for key in (
            "column",
            "row",
            "first_pixel_column",
            "first_pixel_row",
            "pixel_columns",
            "pixel_rows",
        )
    }
    report["scales"] = {"y": y, "cr": cr, "cb": cb}
    for index, name in enumerate(("y", "cr", "cb")):
        report[name] = {
            "samples": raw["samples"][index],
            "coefficients": raw["coefficients"][index],
            "quantised": raw["quantised"][index],
            "stored": raw["stored"][index],
            "stored_count": raw["stored_count"][index],
            "coded_bytes": raw["coded_bytes"][index],
            "clipped": raw["clipped"][index],
            "reconstruction": raw["reconstruction"][index],
            "error": raw["error"][index],
        }
    report["rgb"] = np.moveaxis(raw["rgb"], 0, -1)
    report["decoded_rgb"] = np.moveaxis(raw["decoded_rgb"], 0, -1)
    return report


# The lab ---------------------------------------------------------------------------------------

# The columns of kvrn sweep's CSV table, in its order, then what else a row carries.
SWEEP_COLUMNS: Tuple[str, ...] = (
    "codec",
    "setting",
    "bytes",
    "bits_per_pixel",
    "psnr_rgb",
    "psnr_y",
    "ssim_y",
    "max_error",
    "clipped",
)

# The codecs and metrics sweep knows, in its order, and those it measures when none are named.
CODECS: Tuple[str, ...] = (
    "kvrn",
    "kvrn+zstd",
    "jpeg444",
    "jpeg420",
    "kvrn-tables",
    "webp",
    "avif444",
    "avif420",
    "jxl",
)
CLASSIC_CODECS: Tuple[str, ...] = ("kvrn", "kvrn+zstd", "jpeg444", "jpeg420")
METRICS: Tuple[str, ...] = (
    "psnr_rgb",
    "psnr_y",
    "ssim_y",
    "ms_ssim_y",
    "butteraugli",
    "butteraugli_3norm",
)
CLASSIC_METRICS: Tuple[str, ...] = ("psnr_rgb", "psnr_y", "ssim_y")

# kvrn sweep's settings when none are given.
_DEFAULT_STEPS = (1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64)
_DEFAULT_QUALITIES = (10, 20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95)
_BLOCK_CHANNELS = {None: 3, "y": 0, "cr": 1, "cb": 2}


def _pair(a: Any, b: Any) -> Tuple[np.ndarray, np.ndarray]:
    """Two pictures of one size, or Error in the words of ``kvrn diff``."""
    first, second = _picture(a), _picture(b)
    if first.shape[:2] != second.shape[:2]:
        (h1, w1), (h2, w2) = first.shape[:2], second.shape[:2]
        raise Error(
            f"a is {w1} x {h1} pixels and b {w2} x {h2}: only pictures of one size compare"
        )
    return first, second


def _settings(values: Any, name: str, high: int, low: int = 1) -> List[int]:
    """A list of whole numbers from `low` to `high`, as kvrn sweep's --steps and --qualities."""
    if isinstance(values, (str, bytes)) or not hasattr(values, "__iter__"):
        raise Error(f"{name} must be a list of whole numbers from {low} to {high}, not {values!r}")
    return [_whole(value, f"each of {name}", low, high) for value in values]


def _metric_names(metrics: Any) -> Optional[List[str]]:
    """``measure``'s metrics as a list of names (None: the default), as ``--metrics`` reads them:
    a string is split at its commas."""
    if metrics is None:
        return None
    if isinstance(metrics, str):
        return metrics.split(",")
    if isinstance(metrics, (list, tuple)) and all(isinstance(m, str) for m in metrics):
        return list(metrics)
    raise Error(
        f"metrics must be a name or a list of names, such as \"all\" or [\"ms_ssim_y\"], "
        f"not {metrics!r}"
    )


def measure(
    a: Any, b: Any, threads: int = 0, metrics: Union[str, Sequence[str], None] = None
) -> Dict[str, Any]:
    """How far picture ``b`` is from picture ``a``: the figures ``kvrn diff A B`` prints.

    a, b: pictures of one size, as for ``encode`` (uint8; grey, RGB or RGBA composed onto white).
    threads: threads to use; 0 (the default) means every online core. The figures are the same
        for any number.
    metrics: the figures to give, as ``kvrn diff --metrics``: a list of names, or one string of
        names separated by commas, or ``"all"``; None (the default) gives psnr_rgb, psnr_y and
        ssim_y. An unknown name raises ``Error`` (a ValueError) listing the names.

    Returns a dict of the metrics asked for, in this order whatever the order asked, then
    max_error:
        psnr_rgb: PSNR in dB over every R, G and B sample (``inf`` for no difference);
        psnr_y: PSNR in dB over luma (0.299 R + 0.587 G + 0.114 B, unrounded);
        ssim_y: the mean SSIM of the luma planes (``nan`` under 11 pixels on a side);
        ms_ssim_y: MS-SSIM of the luma planes, five scales with the weights 0.0448, 0.2856,
            0.3001, 0.2363 and 0.1333, each scale the 2 x 2 average of the one before (an odd last
            row or column averaged with itself); ``nan`` under 161 pixels on a side;
        butteraugli: libjxl's Butteraugli distance of ``b`` from ``a``, the max norm, as
            ``butteraugli_main`` prints it (``nan`` under 8 pixels on a side);
        butteraugli_3norm: the same distance's 3-norm;
        max_error: the largest difference of any sample (int).

    The figures are full floats; ``kvrn diff`` prints them rounded to 3, 3, 5, 5, 4 and 4
    decimals.

    >>> import numpy, kvrn
    >>> a, b = numpy.zeros((16, 16, 3), numpy.uint8), numpy.ones((16, 16, 3), numpy.uint8)
    >>> figures = kvrn.measure(a, b)
    >>> round(figures["psnr_rgb"], 3), figures["max_error"]
    (48.131, 1)
    >>> list(kvrn.measure(a, b, metrics="ms_ssim_y,psnr_y"))
    ['psnr_y', 'ms_ssim_y', 'max_error']
    """
    names = _metric_names(metrics)
    first, second = _pair(a, b)
    return _kvrn.measure(first, second, _threads(threads), names)


def _names(values: Any, name: str, every: Sequence[str]) -> List[str]:
    """A list of names for sweep's ``codecs`` or ``metrics``: a sequence, or "all"."""
    if isinstance(values, str):
        if values == "all":
            return list(every)
        raise Error(f'{name} must be a list of names, or "all", not {values!r}')
    if not hasattr(values, "__iter__"):
        raise Error(f"{name} must be a list of names, not {values!r}")
    names = list(values)
    for value in names:
        if not isinstance(value, str):
            raise Error(f"each of {name} must be a name, not {value!r}")
        if value not in every:
            raise Error(f"unknown {name[:-1]} {value}: the {name} are {', '.join(every)}")
    return names


def _distances(values: Any) -> List[float]:
    """JPEG XL distances from 0.1 to 25, as kvrn sweep's --jxl-distances."""
    words = "jxl_distances must be a list of numbers from 0.1 to 25"
    if isinstance(values, (str, bytes)) or not hasattr(values, "__iter__"):
        raise Error(f"{words}, not {values!r}")
    distances = []
    for value in values:
        if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
            raise Error(f"{words}, not {value!r}")
        if not 0.1 <= float(value) <= 25:
            raise Error(f"{words}, not {value!r}")
        distances.append(float(value))
    return distances


def sweep(
    pixels: Any,
    steps: Sequence[int] = _DEFAULT_STEPS,
    qualities: Sequence[int] = _DEFAULT_QUALITIES,
    tables: bool = False,
    threads: int = 0,
    as_frame: bool = False,
    codecs: Union[str, Sequence[str]] = CLASSIC_CODECS,
    metrics: Union[str, Sequence[str]] = CLASSIC_METRICS,
    webp_qualities: Optional[Sequence[int]] = None,
    avif_quantizers: Optional[Sequence[int]] = None,
    jxl_distances: Optional[Sequence[float]] = None,
) -> Any:
    """What quantisation costs and buys: the rows of ``kvrn sweep``'s table for a picture.

    The picture is made into a file by every codec of ``codecs`` at each of its settings, and
    what the codec's decoder gives back from the file is held to the picture: KVRN at every step
    (and the same files put through zstd -19), baseline JPEG 4:4:4 and 4:2:0 at every quality
    (the bytes cjpeg writes, the pixels djpeg gives back), quantisation by JPEG's example tables
    coded as KVRN blocks, and lossy WebP, AVIF (aom, dav1d) and JPEG XL through their libraries,
    as ``cwebp``, ``avifenc`` and ``cjxl`` make them (``kvrn.codecs()`` names the libraries).

    pixels: as for ``encode`` (uint8; grey, RGB or RGBA composed onto white). For a KVRN file's
        picture, as ``kvrn sweep FILE`` measures it, pass ``decode(data)``: that picture was
        quantised already, and every step measures a second quantisation.
    steps: KVRN steps, each 1..65535 (``kvrn sweep --steps``; the default is its default).
    qualities: JPEG qualities, each 1..100 (``--qualities``). Any list may be empty.
    tables: also the rows ``kvrn-tables`` (``--tables``), whatever ``codecs`` says.
    threads: threads to use; 0 (the default) means every online core. The rows are the same for
        any number.
    as_frame: a ``pandas.DataFrame`` rather than a list (pandas must be installed).
    codecs: names from ``CODECS`` (``--codecs``), or ``"all"``; the default is
        ``CLASSIC_CODECS``: kvrn, kvrn+zstd, jpeg444 and jpeg420.
    metrics: names from ``METRICS`` (``--metrics``), or ``"all"``; the default is
        ``CLASSIC_METRICS``: psnr_rgb, psnr_y and ssim_y.
    webp_qualities: WebP qualities, each 0..100 (``--webp-qualities``); None for the tool's
        default.
    avif_quantizers: AVIF quantizers, each 0..63, 0 the finest (``--avif-quantizers``).
    jxl_distances: JPEG XL distances, each 0.1..25 (``--jxl-distances``).

    Returns one row per line of the tool's table, in its order (codec by codec in ``CODECS``'
    order, each at its settings), each a dict whose keys are the CSV's columns (codec, setting,
    bytes, bits_per_pixel, then the metrics asked for in ``METRICS``' order) as full numbers,
    where the CSV rounds bits_per_pixel to 4 decimals, the PSNRs to 3, SSIM and MS-SSIM to 5 and
    Butteraugli to 4, then max_error (the largest sample difference) and clipped (whether AC
    coefficients were clamped into a byte, which the plot draws hollow); with the default
    metrics, ``SWEEP_COLUMNS``. A setting is an int, or a float for JPEG XL's distances. A codec
    that fails on the picture, or cannot take its size, gives rows whose bytes are None and
    figures nan, with a ``RuntimeWarning`` saying why, as the tool does.
    """
    picture = _picture(pixels)
    defaults = _kvrn.sweep_defaults()
    lists = {
        "steps": _settings(steps, "steps", 65535),
        "qualities": _settings(qualities, "qualities", 100),
        "webp_qualities": _settings(
            defaults["webp_qualities"] if webp_qualities is None else webp_qualities,
            "webp_qualities", 100, low=0),
        "avif_quantizers": _settings(
            defaults["avif_quantizers"] if avif_quantizers is None else avif_quantizers,
            "avif_quantizers", 63, low=0),
        "jxl_distances": _distances(
            defaults["jxl_distances"] if jxl_distances is None else jxl_distances),
    }
    if not isinstance(tables, bool):
        raise Error(f"tables must be True or False, not {tables!r}")
    codec_names = _names(codecs, "codecs", CODECS)
    metric_names = _names(metrics, "metrics", METRICS)
    frame_class = None
    if as_frame:
        try:
            import pandas  # noqa: PLC0415 - only when a frame is asked for
        except ImportError:
            raise ImportError(
                "kvrn.sweep(as_frame=True) needs pandas, which is not installed: install it "
                "(pip install pandas, or the python3-pandas package), or leave as_frame False "
                "for a list of dicts"
            ) from None
        frame_class = pandas.DataFrame
    raw = _kvrn.sweep(picture, lists, tables, codec_names, metric_names, _threads(threads))
    shown = [metric for metric in METRICS if metric in metric_names]
    columns = ("codec", "setting", "bytes", "bits_per_pixel", *shown, "max_error", "clipped")
    rows = []
    for codec, setting, size, bits, figures, max_error, clipped, problem, failed in raw:
        if problem is not None:
            verb = "failed" if failed else "cannot take this picture"
            warnings.warn(f"{codec} at {setting} {verb}: {problem}", RuntimeWarning, stacklevel=2)
        by_name = dict(zip(METRICS, figures))
        rows.append(
            {
                "codec": codec,
                "setting": setting,
                "bytes": size,
                "bits_per_pixel": bits,
                **{metric: by_name[metric] for metric in shown},
                "max_error": max_error,
                "clipped": clipped,
            }
        )
    if frame_class is not None:
        return frame_class(rows, columns=list(columns))
    return rows


def codecs() -> List[Dict[str, str]]:
    """The codecs ``sweep`` measures, in its order: for each, its ``name``, the ``library`` (with
    its version) that makes its files in this process, the command whose bytes it makes
    (``made_as``) and what its ``setting`` is (step, quality, quantizer or distance)."""
    return _kvrn.codecs()


def error_map(a: Any, b: Any, gain: int = 8, legend: bool = False) -> np.ndarray:
    """Where two pictures differ: the map ``kvrn diff A B MAP.png`` writes, as pixels.

    Each pixel is black where the pictures agree, otherwise the largest difference of its R, G
    and B times ``gain``, shown from violet (small) through red and amber to pale yellow (255
    or more).

    a, b: pictures of one size, as for ``measure``.
    gain: 1..255, as ``kvrn diff --gain`` (default 8: 32 levels or more are pale yellow).
    legend: draw the colour bar with its figures below the map, as ``kvrn diff`` does unless
        ``--no-legend``; the map is then at least 360 pixels wide and 64 taller. Without it
        (the default) the map has the pictures' size, to lay over them.

    Returns a new uint8 array of height x width x 3, rows top first: the PNG's pixels.
    """
    first, second = _pair(a, b)
    shown_gain = _whole(gain, "gain", 1, 255)
    if not isinstance(legend, bool):
        raise Error(f"legend must be True or False, not {legend!r}")
    pixels, _ = _kvrn.error_map(first, second, shown_gain, legend)
    return pixels


def block_map(
    data: Bytes,
    channel: Optional[str] = None,
    scale: str = "fixed",
    legend: bool = False,
    max_pixels: Optional[int] = DEFAULT_MAX_PIXELS,
) -> np.ndarray:
    """Where the bytes of a KVRN file go: the map ``kvrn blocks FILE MAP.png`` writes, as pixels.

    Each 8x8 block of the file's picture is coloured by the coded bytes of its Y, Cr and Cb
    blocks together (9, black, through violet, red and amber to 195, pale yellow), or of one
    channel's (3 to 65).

    data: the file's bytes, header included, as for ``decode``.
    channel: None (the three together), "y", "cr" or "cb", as ``kvrn blocks --channel``.
    scale: "fixed" (the default: the same scale for every file, so that maps compare) or
        "auto": from the fewest bytes of a block in this file to the most (``--scale``).
    legend: draw the colour bar with its figures below the map, as ``kvrn blocks`` does unless
        ``--no-legend``. Without it (the default) the map has the picture's size.
    max_pixels: refuse a picture of more pixels than this, as for ``decode``; None for no limit.

    Returns a new uint8 array of height x width x 3, rows top first: the PNG's pixels. A stream
    that ends early is measured as far as it goes, with a ``kvrn.TruncatedWarning``.
    """
    if channel not in _BLOCK_CHANNELS:
        raise Error(f"channel must be None, 'y', 'cr' or 'cb', not {channel!r}")
    if scale not in ("fixed", "auto"):
        raise Error(f"scale must be 'fixed' or 'auto', not {scale!r}")
    if not isinstance(legend, bool):
        raise Error(f"legend must be True or False, not {legend!r}")
    limit = 0 if max_pixels is None else _whole(max_pixels, "max_pixels", 1, 1 << 64, " or None")
    _sized_header(data, limit, "blocks to map")
    pixels, _, _, missing = _kvrn.block_map(
        data, _BLOCK_CHANNELS[channel], scale == "auto", legend, limit
    )
    if missing > 0:
        where = _ends_in(_stream(data))
        what = "block is" if missing == 1 else "blocks are"
        warnings.warn(
            TruncatedWarning(
                f"the block stream ends early, in {where}; {missing} coded {what} missing or cut "
                "short, mapped by the bytes they hold",
                missing,
            ),
            stacklevel=2,
        )
    return pixels
