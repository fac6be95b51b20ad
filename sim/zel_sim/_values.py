"""The value types of a scenario and the checks they share: platform
words, counters, single-precision floats, texts as Latin-1 or hex bytes, keys,
backup times, and the location of a problem in its messages."""

from __future__ import annotations

import contextvars
import datetime
import struct
from collections.abc import Sequence
from typing import TYPE_CHECKING, Annotated, Any, ClassVar, Literal, Union

import msgspec
from msgspec import Meta, Struct

from ._lib import FUNCTIONS, MAX_DELAY

# A platform word: anything from the signed minimum to the unsigned maximum
# of 32 bits, as the records store it.
Word = Annotated[int, Meta(ge=-(2**31), le=2**32 - 1)]
Vlan = Annotated[int, Meta(ge=0, le=2**16 - 1)]
# Counter files hold unsigned 64-bit values (checked by Port: msgspec bounds
# stop at 63 bits).
Counter = Annotated[int, Meta(ge=0, extra_json_schema={"maximum": 2**64 - 1})]
Seconds = Annotated[float, Meta(ge=0, le=MAX_DELAY)]
# A single-precision value: checked by the section that holds it (inf and nan
# included, as TOML writes them; JSON has neither).
FLOAT32_MAX = 3.4028234663852886e38
Float32 = Annotated[float, Meta(extra_json_schema={"minimum": -FLOAT32_MAX,
                                                   "maximum": FLOAT32_MAX})]
# The device's long is 32 bits: a backup time must fit it.
Epoch = Annotated[int, Meta(ge=-(2**31), le=2**31 - 1)]
# false: no backup (true names no time, and is refused).
# A date-time with its offset, as TOML writes it (an editor sees it as a string).
_DATE_TIME = r"^\d{4}-\d\d-\d\d[Tt ]\d\d:\d\d:\d\d(\.\d+)?([Zz]|[+-]\d\d:\d\d)$"
BackupTime = Union[Annotated[datetime.datetime, Meta(tz=True, extra_json_schema={
    "pattern": _DATE_TIME})], Epoch, Literal[False]]
_NO_TIME = "Invalid enum value True - at `$.system.backup_time`"
Probe = tuple[Word, Word, Float32]
# The JSON Schema pattern of a string Latin-1 can write.
LATIN_1 = "^[\\u0000-\\u00ff]*$"
# A name the module passes to the platform as its Latin-1 bytes.
Key = Annotated[str, Meta(min_length=1, extra_json_schema={"pattern": LATIN_1})]
# The names of _ports.COUNTERS, as a type.
Counter_name = Literal["tx_packets", "tx_bytes", "rx_packets", "rx_bytes"]

if TYPE_CHECKING:
    FunctionName = str
else:
    FunctionName = Literal[FUNCTIONS]

# Checks that need more than one entry (trace ends, a destination's inherited
# keys) run on a whole scenario, not on one file that extends another.
_whole = contextvars.ContextVar("_whole", default=True)


class _Strict(Struct, forbid_unknown_fields=True, kw_only=True):
    # The room of each text field's platform field, with the terminator, and
    # the encoding its strings are written in: checked here, and written
    # into the JSON Schema from here.
    text_rooms: ClassVar[dict[str, int]] = {}
    text_encoding: ClassVar[str] = "latin-1"


class Hex(_Strict):
    """A text given by its bytes, in hexadecimal: `{ hex = "50a953" }`. It
    holds bytes that no string of the field's encoding can (a flash image
    name that is not UTF-8), and may fill its field whole, without the
    terminator, as a platform may leave it. A NUL would end the text, so it
    has none."""

    hex: Annotated[str, Meta(pattern="^([0-9A-Fa-f]{2})*$")]

    def __post_init__(self) -> None:
        if b"\0" in self.data:
            raise ValueError(f"`hex` = {self.hex!r} holds a NUL byte, which would end the text")

    @property
    def data(self) -> bytes:
        return bytes.fromhex(self.hex)


# A text field: a string (Latin-1, flash image names UTF-8), or its bytes.
Text = Union[str, Hex]


def text_bytes(value: Text, encoding: str = "latin-1") -> bytes:
    """The bytes a text field stores."""
    return value.data if isinstance(value, Hex) else value.encode(encoding)


def _check_float32(value: float, what: str) -> None:
    try:
        struct.pack("<f", value)
    except OverflowError:
        raise ValueError(f"{what} {value!r} does not fit single precision "
                         f"(at most {FLOAT32_MAX!r} in magnitude, or inf, -inf, nan)"
                         ) from None


def _check_texts(struct: _Strict) -> None:
    """Every text must fit its platform field: a string with the
    terminator, a text given by its bytes at most whole."""
    encoding = struct.text_encoding
    for name, room in struct.text_rooms.items():
        value = getattr(struct, name)
        if isinstance(value, Hex):
            if len(value.data) > room:
                raise ValueError(f"`{name}` is {len(value.data)} bytes long, but its platform "
                                 f"field holds {room} bytes")
            continue
        if not isinstance(value, str):
            continue
        try:
            size = len(value.encode(encoding))
        except UnicodeEncodeError:
            raise ValueError(f"`{name}` = {value!r} cannot be written in {encoding}") from None
        if size >= room:
            raise ValueError(f"`{name}` is {size} bytes long, but its platform field holds "
                             f"{room} bytes with the terminator: at most {room - 1}")


def _check_key(value: str, name: str) -> None:
    """A name the module passes to the platform: a str it can encode."""
    try:
        value.encode("latin-1")
    except UnicodeEncodeError:
        raise ValueError(f"`{name}` = {value!r} cannot be written in latin-1 (the module "
                         "passes it as its Latin-1 bytes)") from None


def _unique(entries: list[Any], key: str, where: str) -> None:
    seen: set[str] = set()
    for index, entry in enumerate(entries):
        value = getattr(entry, key)
        if value in seen:
            raise ValueError(f"{where}[{index}]: {key} {value!r} is given twice")
        seen.add(value)


def _unique_values(values: Sequence[str], where: str) -> None:
    for index, value in enumerate(values):
        if value in values[:index]:
            raise ValueError(f"{where}[{index}]: {value!r} is given twice")


def _worded(text: str) -> str:
    """msgspec's message, said as a scenario's author needs it."""
    # A text field takes a string or its bytes as a table: the string is
    # what a wrong value should have been, in the message.
    text = text.replace("Expected `str | object", "Expected `str")
    if text == _NO_TIME:
        return ("`backup_time` = true names no time: give a date-time with its offset, epoch "
                "seconds, or false for no backup - at `$.system.backup_time`")
    for alone in ("date", "time"):
        if f", got `{alone}`" in text:
            text += (f" (a {alone} alone names no moment: write a date-time with its offset, "
                     "such as 2024-11-18T02:30:00Z)")
    return text


def _located(error: msgspec.MsgspecError) -> str:
    """msgspec's message, with the location even at the top level."""
    text = _worded(str(error))
    if " - at `" in text or not isinstance(error, msgspec.ValidationError):
        return text
    return f"{text} - at `$`"


