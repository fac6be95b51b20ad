"""Scenarios: TOML descriptions of a switch, checked strictly and turned
into scripts.

A scenario is decoded into the structures of its sections (``_sections``:
msgspec Structs that refuse unknown keys and wrong types, over the value
types of ``_values``) and turned into scripts by ``_scripts``; this module
reads it, merging what it extends. Every problem is reported as a
ScenarioError naming the file and the location, such as "Expected `int`,
got `str` - at `$.dot1x[0].mode`". Keys a scenario leaves out take the
defaults the sections give; ``python -m zel_sim dump`` shows them filled in.

``extends = "parent.toml"`` (relative to the file; ``"default"`` is the
embedded default switch) starts from another scenario: tables merge key by
key, the arrays ``dot1x``, ``port`` and ``traceroute.destination`` merge
entry by entry by their key (interface, name, target), and every other
array replaces the parent's whole.
"""

from __future__ import annotations

import datetime
import errno
import functools
import os
import pathlib
import stat
import struct
from typing import Any, Union

import msgspec

from ._errors import ScenarioError
from ._ports import COUNTERS
from ._problems import problems as _problems_of
from ._scripts import compile_scripts
from ._sections import (
    Destination,
    Dot1x,
    Flash,
    Hardware,
    Hop,
    Mtraceroute,
    Port,
    Psu,
    Scenario,
    Session,
    System,
    Traceroute,
)
from ._values import Hex, Text, _located, _whole, _worded, text_bytes

__all__ = [
    "ScenarioError", "Scenario", "Hex", "Text", "System", "Dot1x", "Session", "Port",
    "Hardware", "Psu", "Flash", "Mtraceroute", "Traceroute", "Destination", "Hop", "DEFAULT_PATH",
    "load", "default", "default_scenario", "dump", "schema", "compile_scripts", "text_bytes",
    "COUNTERS",
]

DEFAULT_PATH = pathlib.Path(__file__).with_name("default.toml")

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
    if text.startswith("\ufeff"):  # which TOML's reader sees as no statement at all
        raise ScenarioError(name, "it starts with a UTF-8 byte-order mark (BOM), which TOML "
                                  "does not allow: save it without one")
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


def _reason(error: Exception) -> str:
    """What went wrong, without an OSError's number and file name."""
    return error.strerror if isinstance(error, OSError) and error.strerror else str(error)


def _read_file(path: pathlib.Path) -> str:
    try:
        return _read_bytes(path).decode("utf-8")
    except (OSError, UnicodeDecodeError) as error:
        raise ScenarioError(str(path), _reason(error)) from None


def _resolved(path: pathlib.Path, name: str, what: str) -> pathlib.Path:
    """The absolute path, symlinks followed; a loop of them is refused."""
    try:
        resolved = path.resolve()
        if resolved.is_symlink():
            _refuse_a_loop(resolved)
        return resolved
    except (OSError, RuntimeError) as error:  # RuntimeError: a symlink loop (Python 3.12)
        raise ScenarioError(name, f"{what} cannot be followed: {_reason(error)}") from None


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
