"""Scenarios: TOML descriptions of a switch, checked strictly and turned
into scripts.

A scenario is decoded into the structures below (msgspec Structs that
refuse unknown keys and wrong types); every problem is reported as a
ScenarioError naming the file and the location, such as "Expected `int`,
got `str` - at `$.dot1x[0].mode`". Keys a scenario leaves out take the
defaults written here; ``python -m zel_sim dump`` shows them filled in.

``extends = "parent.toml"`` (relative to the file; ``"default"`` is the
embedded default switch) starts from another scenario: tables merge key by
key, the arrays ``dot1x``, ``port`` and ``traceroute.destination`` merge
entry by entry by their key (interface, name, target), and every other
array replaces the parent's whole.
"""

from __future__ import annotations

import contextvars
import datetime
import errno
import functools
import os
import pathlib
import stat
import struct
from collections.abc import Sequence
from typing import TYPE_CHECKING, Annotated, Any, ClassVar, Literal, Union

import msgspec
from msgspec import UNSET, Meta, Struct, UnsetType, field

from . import _ports, records
from ._errors import ScenarioError
from ._problems import problems as _problems_of
from ._lib import FUNCTIONS

__all__ = [
    "ScenarioError", "Scenario", "Hex", "Text", "System", "Dot1x", "Session", "Port",
    "Hardware", "Psu", "Flash", "Mtraceroute", "Traceroute", "Destination", "Hop", "DEFAULT_PATH",
    "load", "default", "default_scenario", "dump", "schema", "compile_scripts", "text_bytes",
    "COUNTERS",
]

DEFAULT_PATH = pathlib.Path(__file__).with_name("default.toml")


# ---- value types ------------------------------------------------------------------

# A platform word: anything from the signed minimum to the unsigned maximum
# of 32 bits, as the records store it.
Word = Annotated[int, Meta(ge=-(2**31), le=2**32 - 1)]
Vlan = Annotated[int, Meta(ge=0, le=2**16 - 1)]
# Counter files hold unsigned 64-bit values (checked by Port: msgspec bounds
# stop at 63 bits).
Counter = Annotated[int, Meta(ge=0, extra_json_schema={"maximum": 2**64 - 1})]
Seconds = Annotated[float, Meta(ge=0, le=3600)]
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
# A name the module passes to the platform as its Latin-1 bytes.
Key = Annotated[str, Meta(min_length=1, extra_json_schema={"pattern": "^[\\u0000-\\u00ff]*$"})]
COUNTERS = ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes")
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


# ---- sections ----------------------------------------------------------------------


class System(_Strict):
    """[system]: hostname, last backup and the configuration answers."""

    text_rooms = {"hostname": records.HOSTNAME_ROOM}

    hostname: Text = ""
    backup_time: BackupTime = False
    diag_debug: Word = 0
    data_channel_unit: Word = 0
    flush_result: Word = 0
    config_result: Word = 0
    query_update: bool = True
    unknown_port_result: Word = -1

    def __post_init__(self) -> None:
        _check_texts(self)
        if isinstance(self.backup_time, datetime.datetime):
            seconds = int(self.backup_time.timestamp())
            if not -(2**31) <= seconds < 2**31:
                raise ValueError(f"`backup_time` {self.backup_time.isoformat()} does not fit "
                                 "the platform's 32-bit time")


class Session(_Strict):
    """[[dot1x.sessions]]: one 802.1X session (up to 20 per interface)."""

    text_rooms = records.SESSION_TEXT_ROOMS

    mac: Text = ""
    type: Text = ""
    eap: Text = ""
    eap_counter: Text = ""
    elapsed_time: Text = ""
    pae: Text = ""
    params: Text = ""
    security_group: Text = ""
    user: Text = ""
    brenlow_group: Text = ""
    native_vlan_id: Vlan = 0
    traffic_vlan_id: Vlan = 0
    dynamic_assigned_vlan_id: Vlan = 0

    def __post_init__(self) -> None:
        _check_texts(self)


class Dot1x(_Strict):
    """[[dot1x]]: the 802.1X state of one interface; name defaults to interface."""

    text_rooms = records.DOT1X_TEXT_ROOMS

    interface: Key
    result: Word = 1
    delay: Seconds = 0.0
    name: Text | None = None
    link_status: Text = ""
    port_status: Text = ""
    eap_pass_through: Text = ""
    allowed_vlanid: Text = ""
    untagged_vlanid: Text = ""
    guest_vlan: Text = ""
    auth_fail_vlan: Text = ""
    mode: Word = 0
    mab: Word = 0
    dynamic_vlanid: Word = 0
    native_vlanid: Word = 0
    guest_vlan_enable: Word = 0
    auth_fail_vlan_enable: Word = 0
    count: Word | None = None
    sessions: Annotated[list[Session], Meta(max_length=20)] = []

    def __post_init__(self) -> None:
        _check_key(self.interface, "interface")
        if self.name is None:
            self.name = self.interface
        if self.count is None:
            self.count = len(self.sessions)
        _check_texts(self)


class Port(_Strict):
    """[[port]]: the traffic counters of one port, served as counter files."""

    name: Key
    tx_packets: Counter = 0
    tx_bytes: Counter = 0
    rx_packets: Counter = 0
    rx_bytes: Counter = 0
    unreadable: list[Counter_name] = []

    def __post_init__(self) -> None:
        problem = _ports.name_problem(self.name)
        if problem is not None:
            raise ValueError(problem)
        for counter in COUNTERS:
            if getattr(self, counter) >= 2**64:
                raise ValueError(f"`{counter}` does not fit the 64-bit counter")
        _unique_values(self.unreadable, "unreadable")


class Psu(_Strict):
    """[[hardware.psu]]: one power supply (up to 13)."""

    text_rooms = {"name": records.PSU_NAME_ROOM}

    name: Text
    ok: Word = 1
    connected: Word = 1

    def __post_init__(self) -> None:
        _check_texts(self)


class Flash(_Strict):
    """[[hardware.flash]]: one flash partition (up to 8); image "" = none."""

    text_rooms = {"image": records.FLASH_IMAGE_ROOM}
    text_encoding = "utf-8"

    partition: Word = 0
    image: Text = ""
    tot_size: Word = 0
    used_size: Word = 0
    usage: Word = 0
    active: Word = 0

    def __post_init__(self) -> None:
        _check_texts(self)


class Hardware(_Strict):
    """[hardware]: temperature readings, power supplies, flash partitions."""

    temperatures: Annotated[list[Float32], Meta(max_length=8)] = []
    psu: Annotated[list[Psu], Meta(max_length=13)] = []
    flash: Annotated[list[Flash], Meta(max_length=8)] = []

    def __post_init__(self) -> None:
        for index, value in enumerate(self.temperatures):
            _check_float32(value, f"temperatures[{index}]")


class Mtraceroute(_Strict):
    """[mtraceroute]: what api_mtraceroute answers, and how long it takes."""

    result: Word = 0
    delay: Seconds = 0.0


class Hop(_Strict):
    """One hop of a route: ttl defaults to its position; the last hop ends
    the trace (result 1), the others answer 0 unless given (never 1)."""

    text_rooms = records.TRACE_RESPONSE_ROOMS

    ttl: Word | None = None
    ip: Text = ""
    host: Text = ""
    probes: Annotated[list[Probe], Meta(max_length=5)] = []
    probe_count: Word | None = None
    delay: Seconds = 0.0
    result: Word | None = None

    def __post_init__(self) -> None:
        _check_texts(self)
        for index, (_, _, time) in enumerate(self.probes):
            _check_float32(time, f"probes[{index}] time")
        if self.probe_count is None:
            self.probe_count = len(self.probes)


def _finish_hops(hops: list[Hop], where: str) -> None:
    """Numbers the hops and settles their results: the last hop ends the
    trace (1), every other one says more follow (0 unless given)."""
    for index, hop in enumerate(hops):
        last = index == len(hops) - 1
        if hop.ttl is None:
            hop.ttl = index + 1
        if last and hop.result not in (None, 1):
            raise ValueError(f"{where}[{index}]: the last hop ends the trace, so its `result` "
                             f"is 1, not {hop.result}")
        if not last and hop.result == 1:
            raise ValueError(f"{where}[{index}]: `result` 1 ends the trace, but "
                             f"{len(hops) - index - 1} hop(s) follow")
        if hop.result is None:
            hop.result = 1 if last else 0


_ROUTE_KEYS = ("result", "delay", "host_name", "ip_address", "hops", "probes", "timeout",
               "package_size", "reply_mtu", "hop")
_HEADER_ROOMS = dict(records.TRACE_HEADER_ROOMS)


class Destination(_Strict):
    """The route to one target; keys left out are those of [traceroute]."""

    text_rooms = {"target": records.TRACE_HOST_ROOM, **_HEADER_ROOMS}

    target: Key
    result: Word | UnsetType = UNSET
    delay: Seconds | UnsetType = UNSET
    host_name: Text | UnsetType = UNSET
    ip_address: Text | UnsetType = UNSET
    hops: Word | UnsetType = UNSET
    probes: Word | UnsetType = UNSET
    timeout: Word | UnsetType = UNSET
    package_size: Word | UnsetType = UNSET
    reply_mtu: Word | UnsetType = UNSET
    hop: list[Hop] | UnsetType = UNSET

    def __post_init__(self) -> None:
        _check_texts(self)


class Traceroute(_Strict):
    """init_trace_route and the hops of every target no destination names."""

    text_rooms = _HEADER_ROOMS

    result: Word = 1
    delay: Seconds = 0.0
    host_name: Text = ""
    ip_address: Text = ""
    hops: Word = 30
    probes: Word = 3
    timeout: Word = 5
    package_size: Word = 60
    reply_mtu: Word = 1500
    hop: list[Hop] = []
    destination: list[Destination] = []

    def __post_init__(self) -> None:
        _check_texts(self)
        _unique(self.destination, "target", "destination")
        if not _whole.get():
            return
        self._check_route(self, "traceroute")
        for index, dest in enumerate(self.destination):
            for key in _ROUTE_KEYS:
                if getattr(dest, key) is UNSET:
                    value = getattr(self, key)
                    if key == "hop":
                        value = [msgspec.structs.replace(hop) for hop in value]
                    setattr(dest, key, value)
            self._check_route(dest, f"traceroute.destination[{index}]")

    @staticmethod
    def _check_route(route: Traceroute | Destination, where: str) -> None:
        hops = route.hop
        assert isinstance(hops, list)
        if route.result != 0 and not hops:
            raise ValueError(f"{where}: the trace starts (`result` {route.result}) but has no "
                             "hop; give its hops, or `result` = 0 for a trace that cannot start")
        _finish_hops(hops, f"{where}.hop")


def _no_trace() -> Traceroute:
    return Traceroute(result=0)


class Scenario(_Strict):
    """A whole switch. Sections left out take their defaults: no 802.1X
    interface, port, sensor, supply or partition, and no trace."""

    extends: str | None = None
    system: System = field(default_factory=System)
    dot1x: list[Dot1x] = []
    port: list[Port] = []
    hardware: Hardware = field(default_factory=Hardware)
    mtraceroute: Mtraceroute = field(default_factory=Mtraceroute)
    traceroute: Traceroute = field(default_factory=_no_trace)
    fail: dict[FunctionName, Word] = {}

    def __post_init__(self) -> None:
        _unique(self.dot1x, "interface", "dot1x")
        _unique(self.port, "name", "port")
        clash = _ports.clash(p.name for p in self.port)
        if clash is not None:
            raise ValueError(clash[1])


# ---- reading --------------------------------------------------------------------

# Arrays of tables whose entries merge with the parent's entry of the same key.
_KEYED = {("dot1x",): "interface", ("port",): "name", ("traceroute", "destination"): "target"}

Source = Union[str, os.PathLike[str], dict[str, Any], Scenario]


def _merge(parent: dict[str, Any], child: dict[str, Any], path: tuple[str, ...] = ()) -> dict[
        str, Any]:
    out = dict(parent)
    for key, value in child.items():
        here, old = path + (key,), out.get(key)
        if isinstance(value, dict) and isinstance(old, dict):
            out[key] = _merge(old, value, here)
        elif here in _KEYED and isinstance(value, list) and isinstance(old, list):
            out[key] = _merge_keyed(old, value, _KEYED[here], here)
        else:
            out[key] = value
    return out


def _merge_keyed(parent: list[Any], child: list[Any], key: str,
                 path: tuple[str, ...]) -> list[Any]:
    out = list(parent)
    where = {entry.get(key): index for index, entry in enumerate(out)}
    for entry in child:
        index = where.get(entry.get(key))
        if index is None:
            where[entry.get(key)] = len(out)
            out.append(entry)
        else:
            out[index] = _merge(out[index], entry, path)
    return out


# A scenario file is read whole, so a bigger one is refused; and the chain of
# files one `extends` the other stays short in any real use.
MAX_FILE_SIZE = 16 * 2**20
MAX_CHAIN = 64
_NESTED = "nested too deeply to be read (a scenario's values nest a few levels)"


def _problems(data: Any, name: str, whole: bool, merged: bool = False) -> None:
    """Raises a ScenarioError with every problem of the data, if any."""
    token = _whole.set(whole)
    try:
        found = [_worded(p) for p in _problems_of(data, Scenario)]
    except RecursionError:
        raise ScenarioError(name, _NESTED) from None
    finally:
        _whole.reset(token)
    if found:
        raise ScenarioError(name, [p + " (in the scenario with what it extends merged in)"
                                   for p in found] if merged else found)


def _decode(text: str, name: str) -> dict[str, Any]:
    """The file's own data, checked on its own (types, keys, rooms)."""
    try:
        data: dict[str, Any] = msgspec.toml.decode(text)
    except msgspec.MsgspecError as error:
        raise ScenarioError(name, _located(error)) from None
    except RecursionError:
        raise ScenarioError(name, _NESTED) from None
    _problems(data, name, whole=False)
    return data


_KINDS = {stat.S_IFIFO: "a FIFO", stat.S_IFCHR: "a character device",
          stat.S_IFBLK: "a block device", stat.S_IFSOCK: "a socket", stat.S_IFDIR: "a directory"}


def _not_regular(mode: int) -> str | None:
    if stat.S_ISREG(mode):
        return None
    return f"it is {_KINDS.get(stat.S_IFMT(mode), 'not a regular file')}: a scenario is a file"


def _read_bytes(path: pathlib.Path) -> bytes:
    """The bytes of a regular file of at most MAX_FILE_SIZE. Nothing else is
    opened, nor waited on (a FIFO without a writer); a file that changes
    into something else between the look and the open is refused too."""
    problem = _not_regular(os.stat(path).st_mode)
    if problem is None:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY | os.O_CLOEXEC)
        try:
            problem = _not_regular(os.fstat(fd).st_mode)
            if problem is None:
                with os.fdopen(fd, "rb", closefd=False) as file:
                    data = file.read(MAX_FILE_SIZE + 1)
                if len(data) <= MAX_FILE_SIZE:
                    return data
                problem = f"it is more than {MAX_FILE_SIZE} bytes long (16 MiB), too big for " \
                          "a scenario"
        finally:
            os.close(fd)
    raise ScenarioError(str(path), problem)


def _read_file(path: pathlib.Path) -> str:
    try:
        return _read_bytes(path).decode("utf-8")
    except (OSError, UnicodeDecodeError) as error:
        reason = error.strerror if isinstance(error, OSError) and error.strerror else str(error)
        raise ScenarioError(str(path), reason) from None


def _resolved(path: pathlib.Path, name: str, what: str) -> pathlib.Path:
    """The absolute path, symlinks followed; a loop of them is refused."""
    try:
        resolved = path.resolve()
        if resolved.is_symlink():
            _refuse_a_loop(resolved)
        return resolved
    except (OSError, RuntimeError) as error:  # RuntimeError: a symlink loop (Python 3.12)
        reason = error.strerror if isinstance(error, OSError) and error.strerror else str(error)
        raise ScenarioError(name, f"{what} cannot be followed: {reason}") from None


def _refuse_a_loop(link: pathlib.Path) -> None:
    """Raises ELOOP for a link resolve() left as it is because it comes
    back to itself, as Python 3.13 does where 3.12 raises RuntimeError."""
    try:
        os.stat(link)
    except OSError as error:
        if error.errno == errno.ELOOP:
            raise


@functools.cache
def _default_text() -> str:
    return DEFAULT_PATH.read_text(encoding="utf-8")


def _resolve(data: dict[str, Any], name: str, base: pathlib.Path,
             chain: tuple[str, ...]) -> dict[str, Any]:
    """data with what it extends merged in, without the extends key. The
    chain is followed in a loop, not by recursion: its length is bounded by
    MAX_CHAIN, not by the stack."""
    layers = [data]
    seen = list(chain)
    while (parent_name := layers[-1].pop("extends", None)) is not None:
        if len(layers) >= MAX_CHAIN:
            raise ScenarioError(name, f"`extends` = {parent_name!r} makes a chain of more than "
                                      f"{MAX_CHAIN} files")
        if parent_name == "default":
            parent_path = DEFAULT_PATH
        else:
            parent_path = _resolved(base / parent_name, name, f"`extends` = {parent_name!r}")
        key = str(parent_path)
        if key in seen:
            raise ScenarioError(name, f"`extends` = {parent_name!r} comes back to {key}: "
                                      "a scenario cannot extend itself")
        text = _default_text() if parent_path == DEFAULT_PATH else _read_file(parent_path)
        layers.append(_decode(text, key))
        seen.append(key)
        name, base = key, parent_path.parent
    merged = layers.pop()
    while layers:
        merged = _merge(merged, layers.pop())
    return merged


def _looks_like_path(text: str) -> bool:
    return bool(text) and "\n" not in text and ("=" not in text or os.path.isfile(text))


def _raw(source: Source, base: pathlib.Path
         ) -> tuple[dict[str, Any], str, pathlib.Path, tuple[str, ...]]:
    """(data, name for messages, directory extends is relative to, files read)."""
    if isinstance(source, dict):
        _problems(source, "given as a dict", whole=False)
        return dict(source), "given as a dict", base, ()
    if isinstance(source, os.PathLike) or (isinstance(source, str) and _looks_like_path(source)):
        given = base / source
        path = _resolved(given, str(given), "the path")
        return _decode(_read_file(path), str(path)), str(path), path.parent, (str(path),)
    if isinstance(source, str):
        return _decode(source, "given as text"), "given as text", base, ()
    raise TypeError(f"a scenario is a path, TOML text, dict or Scenario, not "
                    f"{type(source).__name__}")


def _dry_step(result: int, record: bytes = b"", delay: float = 0.0, aux: bytes = b"") -> None:
    return None


def load(source: Source, base: str | os.PathLike[str] | None = None) -> Scenario:
    """The whole scenario (what it extends merged in, defaults filled in) of
    a path, TOML text, dict or Scenario. A relative path, and what text or a
    dict extends, are taken from base (default: the current directory).
    Raises ScenarioError.

    The one check of a scenario: `python -m zel_sim check` and
    zel_sim.load_scenario both come here, and what it returns applies
    without error (its scripts and records are made once here as a proof)."""
    if isinstance(source, Scenario):
        source = msgspec.to_builtins(source, builtin_types=(datetime.datetime,))
        assert isinstance(source, dict)
    data, name, parent_base, chain = _raw(source, pathlib.Path.cwd() if base is None
                                          else pathlib.Path(base))
    merged = _resolve(data, name, parent_base, chain)
    _problems(merged, name, whole=True, merged=data is not merged)
    chosen = msgspec.convert(merged, Scenario)
    try:
        compile_scripts(chosen, _dry_step)
    except (ValueError, TypeError, OverflowError, struct.error) as error:
        raise ScenarioError(name, f"cannot be applied: {error}") from None
    return chosen


def default_scenario() -> Scenario:
    """The embedded default scenario, whole."""
    return load(DEFAULT_PATH)


def default() -> dict[str, Any]:
    """The embedded default scenario as plain data, to change and load."""
    data: dict[str, Any] = msgspec.toml.decode(_default_text())
    return data


def _plain(value: Any) -> Any:
    if isinstance(value, dict):
        return {k: _plain(v) for k, v in value.items() if v is not None}
    if isinstance(value, list):
        return [_plain(v) for v in value]
    return value


def dump(scenario: Scenario) -> str:
    """The scenario as TOML, every key written out."""
    import tomli_w

    data = _plain(msgspec.to_builtins(scenario, builtin_types=(datetime.datetime,)))
    return tomli_w.dumps(data)


def schema() -> dict[str, Any]:
    """JSON Schema of a scenario file, for editors."""
    from ._schema import schema as generated

    return generated()


# ---- scripts ---------------------------------------------------------------------

Target = Union[str, tuple[str, bytes]]


def _system(section: System, out: dict[Target, list[Any]], step: Any) -> None:
    out["plat_switch_get_data_channel_unit"] = [step(section.data_channel_unit)]
    out["sms_do_flush"] = [step(section.flush_result)]
    out["is_diag_debug_enabled"] = [step(section.diag_debug)]
    out["check_create_zel_query"] = [step(section.config_result)]
    out["zel_query_update"] = [step(1 if section.query_update else 0)]
    out["nCfg_obj_change"] = [step(section.config_result)]
    out["backupts_GetTimeStamp"] = [_backup(section.backup_time, step)]
    out["dump_tessel_802_1x_status"] = [step(section.unknown_port_result)]


def _backup(value: datetime.datetime | int | bool, step: Any) -> Any:
    if value is False:
        return step(0)
    if isinstance(value, datetime.datetime):
        value = int(value.timestamp())
    return step(1, records.timestamp(int(value)))


def _raw_texts(fields: dict[str, Any]) -> dict[str, Any]:
    """The fields, texts given by their bytes as bytes."""
    return {k: v.data if isinstance(v, Hex) else v for k, v in fields.items()}


def _dot1x(ports: list[Dot1x], out: dict[Target, list[Any]], step: Any) -> None:
    for port in ports:
        fields = _raw_texts({k: getattr(port, k) for k in records.DOT1X_TEXT_ROOMS})
        fields.update({k: getattr(port, k) for k in (
            "mode", "mab", "dynamic_vlanid", "native_vlanid", "guest_vlan_enable",
            "auth_fail_vlan_enable")})
        sessions = [_raw_texts(msgspec.structs.asdict(s)) for s in port.sessions]
        record = records.dot1x_status(count=port.count, sessions=sessions, **fields)
        key = ("dump_tessel_802_1x_status", port.interface.encode("latin-1"))
        out[key] = [step(port.result, record, port.delay)]


def _hardware(section: Hardware, out: dict[Target, list[Any]], step: Any) -> None:
    psus = [(text_bytes(p.name), p.ok, p.connected) for p in section.psu]
    flash = [_raw_texts(msgspec.structs.asdict(f)) for f in section.flash]
    out["get_temp_list"] = [step(0, records.temp_list(section.temperatures))]
    out["get_psu_list"] = [step(0, records.psu_list(psus))]
    out["get_flash_list"] = [step(0, records.flash_list(flash))]


def _hop_steps(hops: list[Hop], step: Any) -> list[Any]:
    # Numbered and settled by Traceroute: ttl and result are ints here.
    return [step(hop.result, records.trace_response(int(hop.ttl or 0), text_bytes(hop.ip),
                                                    text_bytes(hop.host), hop.probes,
                                                    hop.probe_count), hop.delay)
            for hop in hops]


def _route(route: Any, step: Any) -> tuple[Any, list[Any]]:
    """The init step and hop steps of [traceroute] or of a destination whose
    keys were all filled in from it."""
    header = records.trace_header(text_bytes(route.host_name), text_bytes(route.ip_address),
                                  route.hops, route.probes, route.timeout, route.package_size)
    init = step(route.result, header, route.delay, records.trace_context(route.reply_mtu))
    assert isinstance(route.hop, list)
    return init, _hop_steps(route.hop, step)


def _traceroute(section: Traceroute, out: dict[Target, list[Any]], step: Any) -> None:
    init, hops = _route(section, step)
    out["init_trace_route"], out["query_trace_route"] = [init], hops
    for dest in section.destination:
        init, hops = _route(dest, step)
        key = dest.target.encode("latin-1")
        out[("init_trace_route", key)] = [init]
        out[("query_trace_route", key)] = hops


def _fail(section: dict[str, int], out: dict[Target, list[Any]], step: Any) -> None:
    for fn, result in section.items():
        for target in [t for t in out if t == fn or (isinstance(t, tuple) and t[0] == fn)]:
            del out[target]
        out[fn] = [step(result)]


def compile_scripts(scenario: Scenario, step: Any) -> dict[Target, list[Any]]:
    """{fn or (fn, key): [step, ...]} of a scenario; step(result, record,
    delay, aux) makes one step."""
    out: dict[Target, list[Any]] = {}
    _system(scenario.system, out, step)
    _dot1x(scenario.dot1x, out, step)
    _hardware(scenario.hardware, out, step)
    out["api_mtraceroute"] = [step(scenario.mtraceroute.result,
                                   delay=scenario.mtraceroute.delay)]
    _traceroute(scenario.traceroute, out, step)
    _fail(scenario.fail, out, step)
    return out
