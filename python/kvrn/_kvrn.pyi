"""The codec's C interface and the lab, compiled: called by the kvrn package, which checks arguments first."""

from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

_Bytes = Union[bytes, bytearray, memoryview]

class Error(ValueError): ...

MAGIC: int
HEADER_BYTES: int
OK: int
TOO_SHORT: int
WRONG_MAGIC: int
NO_PIXELS: int
TOO_LARGE: int
BAD_ARGUMENT: int
NO_MEMORY: int
WRITE_FAILED: int

def version() -> str: ...
def status_text(status: int) -> str: ...
def read_header(data: _Bytes) -> Tuple[int, Dict[str, int]]: ...
def check_stream(data: _Bytes) -> Tuple[int, Dict[str, Any]]: ...
def decode(
    data: _Bytes, channels: int, threads: int, max_pixels: int
) -> Tuple[npt.NDArray[np.uint8], int]: ...
def encode(
    pixels: npt.NDArray[np.uint8], y: int, cr: int, cb: int, threads: int
) -> Tuple[bytes, int]: ...
def unclipped_scales(pixels: npt.NDArray[np.uint8], threads: int) -> Tuple[int, int, int]: ...
def preview(
    pixels: npt.NDArray[np.uint8], step: int, channels: int, threads: int
) -> npt.NDArray[np.uint8]: ...
def inspect(
    pixels: npt.NDArray[np.uint8], y: int, cr: int, cb: int, column: int, row: int
) -> Dict[str, Any]: ...
def measure(
    a: npt.NDArray[np.uint8],
    b: npt.NDArray[np.uint8],
    threads: int,
    metrics: Optional[List[str]],
) -> Dict[str, Union[float, int]]: ...
def sweep(
    pixels: npt.NDArray[np.uint8],
    lists: Dict[str, Sequence[float]],
    tables: bool,
    codecs: Sequence[str],
    metrics: Sequence[str],
    threads: int,
) -> List[
    Tuple[
        str,
        Union[int, float],
        Optional[int],
        float,
        Tuple[float, float, float, float, float, float],
        int,
        bool,
        Optional[str],
        bool,
    ]
]: ...
def sweep_defaults() -> Dict[str, Tuple[Union[int, float], ...]]: ...
def codecs() -> List[Dict[str, str]]: ...
def error_map(
    a: npt.NDArray[np.uint8], b: npt.NDArray[np.uint8], gain: int, legend: bool
) -> Tuple[npt.NDArray[np.uint8], str]: ...
def block_map(
    data: _Bytes, channel: int, auto_scale: bool, legend: bool, max_pixels: int
) -> Tuple[npt.NDArray[np.uint8], str, Tuple[int, int, int], int]: ...
def read_picture(
    path: str, max_pixels: int
) -> Tuple[Optional[npt.NDArray[np.uint8]], str, str]: ...
