"""Values as a snapshot's scenario writes them: texts as their fields store
them, probe times that show as the module showed them, error texts."""

from __future__ import annotations

import math
import struct

from ._toml_writer import Hex


def text(value: str | bytes, room: int, encoding: str = "latin-1") -> str | Hex:
    """A text the module returned, as its field stores it: a string when it
    leaves room for the terminator, else its bytes (a field filled whole)."""
    data = value if isinstance(value, bytes) else value.encode(encoding)
    if len(data) >= room or isinstance(value, bytes) and _not_decodable(data, encoding):
        return Hex(data)
    return data.decode(encoding)


def _not_decodable(data: bytes, encoding: str) -> bool:
    try:
        data.decode(encoding)
    except UnicodeDecodeError:
        return True
    return False


def _f32(value: float) -> float:
    result: float = struct.unpack("<f", struct.pack("<f", value))[0]
    return result


def _f32_step(value: float, step: int) -> float:
    (bits,) = struct.unpack("<i", struct.pack("<f", value))
    bits += step if bits >= 0 else -step
    result: float = struct.unpack("<f", struct.pack("<i", bits))[0]
    return result


def probe_time(shown: str) -> float:
    """A time the module shows as `shown` (".3f" of a single-precision
    value): the decimal itself when its single-precision value shows the
    same ("0.82"), else a single-precision value that does."""
    written = float(shown)
    try:
        nearest = _f32(written)
    except OverflowError:
        return written
    if math.isnan(nearest) or math.isinf(nearest) or format(nearest, ".3f") == shown:
        return written
    for candidate in (_f32_step(nearest, 1), _f32_step(nearest, -1)):
        if format(candidate, ".3f") == shown:
            return candidate
    return nearest


def _error_text(error: BaseException) -> str:
    return f"{type(error).__name__}: {error}" if str(error) else type(error).__name__
