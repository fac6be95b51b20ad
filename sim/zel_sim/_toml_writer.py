"""TOML text of a scenario's data, written by hand: a snapshot is taken on a
switch, where no TOML writer is installed. Tables come after their plain
keys, arrays of tables as [[...]] sections; texts given by their bytes as
`{ hex = "..." }`; floats as TOML writes them (inf, -inf, nan, -nan)."""

from __future__ import annotations

import datetime
import math
from collections.abc import Mapping
from typing import Any


class Hex(bytes):
    """A text written by its bytes: `{ hex = "..." }`."""


def _escape(char: str) -> str:
    if char == "\n":
        return "\\n"
    if char == "\t":
        return "\\t"
    code = ord(char)
    return f"\\u{code:04X}" if code <= 0xFFFF else f"\\U{code:08X}"


def visible(text: str) -> str:
    """The text with every character that is not printable (line breaks of
    any kind, control characters, ...) written as its escape: it stays on
    its line, as a comment must."""
    return "".join(char if char.isprintable() else _escape(char) for char in text)


def quoted(value: str) -> str:
    """A TOML basic string of the value, on one line, every character
    that is not printable escaped."""
    out = ['"']
    for char in value:
        if char in '"\\':
            out.append("\\" + char)
        elif char.isprintable():
            out.append(char)
        else:
            out.append(_escape(char))
    out.append('"')
    return "".join(out)


def _float(value: float) -> str:
    if math.isnan(value):
        return "-nan" if math.copysign(1.0, value) < 0 else "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return repr(value)


def _value(value: Any) -> str:
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return _float(value)
    if isinstance(value, Hex):
        return f'{{ hex = "{value.hex()}" }}'
    if isinstance(value, str):
        return quoted(value)
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y-%m-%dT%H:%M:%SZ")
    if isinstance(value, (list, tuple)):
        return "[" + ", ".join(_value(v) for v in value) + "]"
    raise TypeError(f"cannot write {type(value).__name__} in a scenario")


def _is_tables(value: Any) -> bool:
    return isinstance(value, list) and bool(value) and all(isinstance(v, dict) for v in value)


def table(lines: list[str], path: str, entries: Mapping[str, Any], header: str | None) -> None:
    """Appends the lines of a table (its [header] first when given), then
    those of the tables and arrays of tables it holds."""
    if header is not None:
        lines += ["", header]
    nested = []
    for key, value in entries.items():
        if isinstance(value, dict) or _is_tables(value):
            nested.append((key, value))
        else:
            lines.append(f"{key} = {_value(value)}")
    for key, value in nested:
        name = f"{path}.{key}" if path else key
        if isinstance(value, dict):
            table(lines, name, value, f"[{name}]")
        else:
            for entry in value:
                table(lines, name, entry, f"[[{name}]]")


def comment(text: str, width: int = 78) -> list[str]:
    """A paragraph as comment lines, the first with "- "; what is not
    printable is escaped (see visible)."""
    words, lines, line = visible(text).split(), [], "# -"
    for word in words:
        if len(line) + 1 + len(word) > width and line not in ("# -", "#  "):
            lines.append(line)
            line = "#  "
        line += " " + word
    lines.append(line)
    return lines
