"""Control of the simulated switch platform.

The simulated platform library answers every platform function from a
script: a list of steps consumed one per call, the last step repeating.
This package installs scripts, reads back the log of calls, and applies
scenarios (TOML descriptions of a whole switch, checked strictly; see
default.toml and the scenario module).

Imported with the start-up hook active (the default; ZEL_SIM_PRELOAD=0 turns
it off), the package applies the scenario this process starts with, once
per process: the file named by ZEL_SIM_SCENARIO, or the default switch. A
scenario that cannot be used raises ScenarioError from this import.

pytest leaves this module's assertions alone (PYTEST_DONT_REWRITE): the
distribution carries a pytest plugin, and pytest would otherwise warn that
the module, imported before it starts, cannot be rewritten.
"""

from __future__ import annotations

import contextlib
import ctypes
import dataclasses
import difflib
import functools
import importlib
import os
import pathlib
import struct
from collections.abc import Iterator
from typing import TYPE_CHECKING, Any, NamedTuple, Union

from . import _ports, records
from ._errors import ScenarioError
from ._lib import FUNCTIONS, LIBRARY, MAX_DELAY, StepStruct, fetch, lib

if TYPE_CHECKING:
    from . import scenario
    from .scenario import Scenario

__all__ = [
    "Step", "Call", "FUNCTIONS", "LIBRARY", "records", "scenario", "Scenario", "ScenarioError",
    "script", "replacing", "failing", "slowing", "slowness", "calls", "clear_calls", "total_calls", "reset", "clear",
    "open_trace_contexts", "errors", "hostname", "set_hostname", "load_scenario",
    "start_scenario", "load_start_scenario", "port_directory", "reset_counter_paths",
]


def __getattr__(name: str) -> Any:
    # The scenario code (and msgspec) loads on first use: a process, or a
    # sub-interpreter, that only needs the platform never imports it.
    if name in ("scenario", "Scenario"):
        module = importlib.import_module(".scenario", __name__)
        return module if name == "scenario" else module.Scenario
    raise AttributeError(f"module 'zel_sim' has no attribute {name!r}")


@dataclasses.dataclass(frozen=True)
class Step:
    """One scripted answer: the return value (for the pointer functions 0
    means NULL), the bytes copied into the record the function fills, the
    seconds to wait before answering, and function-specific extra bytes
    (init_trace_route: start of the context; zel_query_update: start of the
    update record)."""

    result: int = 0
    record: bytes | str = b""
    delay: float = 0.0
    aux: bytes | str = b""


class Call(NamedTuple):
    """One logged platform call: the function's name and its arguments
    (ints, raw bytes, None for a null pointer)."""

    fn: str
    args: tuple[int | bytes | None, ...]


StepLike = Union[Step, int, dict[str, Any], tuple[Any, ...]]


def _as_bytes(value: object, what: str) -> bytes:
    if isinstance(value, str):
        try:
            return value.encode("latin-1")
        except UnicodeEncodeError as error:
            bad = value[error.start]
            raise ValueError(f"{what} must be bytes, or a str of Latin-1 characters: "
                             f"{bad!r} is not one") from None
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    raise TypeError(f"{what} must be bytes or str, not {type(value).__name__}")


_STEP_FIELDS = tuple(field.name for field in dataclasses.fields(Step))
_RESULT_RANGE = (-2**63, 2**63 - 1)


def _shown(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


def _check_step(step: Step, where: str) -> None:
    """Refuses a step field of the wrong type or range, naming it."""
    if not isinstance(step.result, int):
        raise TypeError(f"{where}result must be an int, not {type(step.result).__name__} "
                        f"({_shown(step.result)})")
    if not _RESULT_RANGE[0] <= step.result <= _RESULT_RANGE[1]:
        raise ValueError(f"{where}result must be an int from -2**63 to 2**63-1, "
                         f"not {_shown(step.result)}")
    _check_seconds(step.delay, f"{where}delay")
    _as_bytes(step.record, f"{where}record")
    _as_bytes(step.aux, f"{where}aux")


def _check_seconds(value: object, what: str) -> None:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{what} must be seconds as an int or float, not "
                        f"{type(value).__name__} ({_shown(value)})")
    if not 0 <= value <= MAX_DELAY:
        raise ValueError(f"{what} must be from 0 to {MAX_DELAY} seconds, not {_shown(value)}")


def _as_step(item: StepLike, number: int) -> Step:
    where = f"step {number}: "
    fields = ", ".join(_STEP_FIELDS)
    if isinstance(item, Step):
        step = item
    elif isinstance(item, int):
        step = Step(result=item)
    elif isinstance(item, dict):
        unknown = [key for key in item if key not in _STEP_FIELDS]
        if unknown:
            hint = _did_you_mean(unknown[0], _STEP_FIELDS)
            raise TypeError(f"{where}no field {unknown[0]!r}{hint}; a step's fields are {fields}")
        step = Step(**item)
    elif isinstance(item, tuple):
        if len(item) > len(_STEP_FIELDS):
            raise TypeError(f"{where}{len(item)} fields given; a step's fields are {fields}")
        step = Step(*item)
    else:
        raise TypeError(f"{where}give a Step, an int result, or a dict or tuple of a step's "
                        f"fields ({fields}), not {type(item).__name__} ({_shown(item)})")
    _check_step(step, where)
    return step


def _did_you_mean(name: object, names: tuple[str, ...]) -> str:
    close = difflib.get_close_matches(str(name), names, n=1)
    return f" (did you mean {close[0]!r}?)" if close else ""


def _check_fn(fn: str) -> None:
    if not isinstance(fn, str):
        raise TypeError(f"fn must be the name of a platform function (a str), "
                        f"not {type(fn).__name__} ({_shown(fn)})")
    if fn not in FUNCTIONS:
        hint = _did_you_mean(fn, FUNCTIONS) or f"; the platform functions: {', '.join(FUNCTIONS)}"
        raise ValueError(f"no platform function named {fn!r}{hint}")


def _step_struct(step: Step, keep: list[bytes]) -> StepStruct:
    record = _as_bytes(step.record, "record")
    aux = _as_bytes(step.aux, "aux")
    keep += [record, aux]
    return StepStruct(int(step.result), ctypes.cast(ctypes.c_char_p(record), ctypes.c_void_p),
                      len(record), float(step.delay),
                      ctypes.cast(ctypes.c_char_p(aux), ctypes.c_void_p), len(aux))


def script(fn: str, *steps: StepLike, key: bytes | str | None = None, result: int | None = None,
           record: bytes | str | None = None, delay: float | None = None,
           aux: bytes | str | None = None) -> None:
    """Installs the script of platform function fn.

    script(fn, step, step, ...): the steps (Step, dict of Step fields,
    tuple of them, or a bare int result) are consumed one per call and the
    last repeats. script(fn, result=..., record=..., delay=..., aux=...):
    one step. script(fn) with neither removes the script. key (bytes or str)
    installs a keyed script instead: dump_tessel_802_1x_status looks one up
    by interface name before its unkeyed script.
    """
    _check_fn(fn)
    one: dict[str, Any] = {k: v for k, v in
                           dict(result=result, record=record, delay=delay, aux=aux).items()
                           if v is not None}
    if steps and one:
        raise TypeError("give either steps or the fields of one step, not both")
    made = [_as_step(s, number) for number, s in enumerate(steps, 1)]
    if one:
        made = [Step(**one)]
        _check_step(made[0], "")
    _install(_prepared(fn, made, key))


# The arguments of zelsim_script, and the buffers its steps point into.
_Prepared = tuple[bytes, Union[bytes, None], Any, int, list[bytes]]


def _prepared(fn: str, steps: list[Step], key: bytes | str | None) -> _Prepared:
    keep: list[bytes] = []
    array = (StepStruct * max(len(steps), 1))(*[_step_struct(s, keep) for s in steps])
    raw_key = None if key is None else _as_bytes(key, "key")
    return fn.encode(), raw_key, array, len(steps), keep


def _install(prepared: _Prepared) -> None:
    fn, raw_key, array, count, _ = prepared
    lib.zelsim_script(fn, raw_key, len(raw_key or b""), array, count)


@contextlib.contextmanager
def replacing(fn: str, key: bytes | str | None = None) -> Iterator[None]:
    """For the block, takes fn's scripts out (all of them, keyed ones too;
    with key, only the one keyed by it), so that the block scripts fn
    afresh; on exit, whatever fn has there is removed and the scripts are
    put back exactly as they were, each at the step it had reached. A
    reset or scenario change inside the block does not lose them."""
    _check_fn(fn)
    raw_key = None if key is None else _as_bytes(key, "key")
    number = lib.zelsim_take_scripts(fn.encode(), raw_key, len(raw_key or b""))
    try:
        yield
    finally:
        lib.zelsim_put_back_scripts(number)


@contextlib.contextmanager
def failing(fn: str, result: int, *, key: bytes | str | None = None,
            record: bytes | str = b"", delay: float = 0.0) -> Iterator[None]:
    """For the block, platform function fn answers result (with record and
    after delay) to every call, whatever it was scripted to answer, keyed
    scripts included (with key: for that key only); afterwards it answers as
    scripted before, from where its script had got to::

        with zel_sim.failing("get_temp_list", -1):
            ...  # system_temperatures() raises CFunctionError
    """
    with replacing(fn, key):
        script(fn, result=result, record=record, delay=delay, key=key)
        yield


@contextlib.contextmanager
def slowing(fn: str, seconds: float) -> Iterator[None]:
    """For the block, every call of platform function fn takes seconds
    longer than scripted, answering exactly as scripted (result, record, the
    script's own delay)::

        with zel_sim.slowing("get_temp_list", 2.0):
            ...  # system_temperatures() takes 2 s more, same readings

    Blocks of the same function add up; a reset or scenario change inside
    the block keeps its slowness (a scenario's [slow] section adds its
    own)."""
    _check_fn(fn)
    _check_seconds(seconds, "seconds")
    lib.zelsim_add_slowness(fn.encode(), float(seconds))
    try:
        yield
    finally:
        lib.zelsim_add_slowness(fn.encode(), -float(seconds))


def slowness(fn: str) -> float:
    """The seconds every call of fn takes on top of its script: the
    scenario's [slow] entry plus the slowing() blocks open."""
    _check_fn(fn)
    return float(lib.zelsim_slowness(fn.encode()))


def _read_arg(blob: bytes, pos: int) -> tuple[int | bytes | None, int]:
    tag = blob[pos]
    if tag == 0:
        return None, pos + 1
    if tag == 1:
        return struct.unpack_from("=q", blob, pos + 1)[0], pos + 9
    (length,) = struct.unpack_from("=I", blob, pos + 1)
    start = pos + 5
    return bytes(blob[start:start + length]), start + length


def _parse_calls(blob: bytes) -> list[Call]:
    (count,) = struct.unpack_from("=I", blob, 0)
    pos, out = 4, []
    for _ in range(count):
        fn, argc = blob[pos], blob[pos + 1]
        pos += 2
        args: list[int | bytes | None] = []
        for _ in range(argc):
            arg, pos = _read_arg(blob, pos)
            args.append(arg)
        out.append(Call(FUNCTIONS[fn], tuple(args)))
    return out


def calls(fn: str | None = None) -> list[Call]:
    """The logged platform calls, oldest first (the latest 4096 are kept),
    as Call(fn, args); only those of fn when given."""
    if fn is not None:
        _check_fn(fn)
    log = _parse_calls(fetch(lib.zelsim_calls))
    return [c for c in log if fn is None or c.fn == fn]


def clear_calls() -> None:
    """Empties the call log."""
    lib.zelsim_clear_calls()


def total_calls() -> int:
    """Calls logged since the last reset or clear_calls, including those
    that have left the bounded log."""
    return int(lib.zelsim_total_calls())


def clear() -> None:
    """Empty platform: no scripts (every function gives its neutral answer:
    0 and no record), empty log, no errors, empty configuration database,
    no simulated port counters. Trace contexts still open are forgotten."""
    lib.zelsim_reset()
    _ports.serve([])


def _apply(chosen: Scenario) -> None:
    """clear(), then the scripts, hostname and port counters of a scenario.

    All or nothing: everything that can fail (making the scripts, writing
    the counter files, which serve() undoes when it fails) comes before the
    platform is touched."""
    scenario = importlib.import_module(".scenario", __name__)

    compiled = scenario.compile_scripts(chosen, Step)
    prepared = [_prepared(target[0], steps, target[1]) if isinstance(target, tuple)
                else _prepared(target, steps, None) for target, steps in compiled.items()]
    hostname = scenario.text_bytes(chosen.system.hostname)
    # The counter files of ports that stay are rewritten in place.
    _ports.serve(chosen.port)
    lib.zelsim_reset()
    for one in prepared:
        _install(one)
    for fn, seconds in chosen.slow.items():
        lib.zelsim_slow(fn.encode(), seconds)
    if hostname:
        set_hostname(hostname)


@functools.cache
def _default() -> Scenario:
    # Read once: applying a scenario never changes it.
    scenario = importlib.import_module(".scenario", __name__)

    chosen: Scenario = scenario.default_scenario()
    return chosen


def reset() -> None:
    """clear(), then the embedded default scenario."""
    _apply(_default())


def load_scenario(source: scenario.Source, base: str | os.PathLike[str] | None = None
                  ) -> Scenario:
    """clear(), then the scenario given as a path, TOML text, dict or
    Scenario; returns it whole (what it extends merged in, defaults filled
    in). A relative path, and what text or a dict extends, are taken from
    base (default: the current directory). A scenario that cannot be used
    raises ScenarioError and leaves the platform as it was."""
    scenario = importlib.import_module(".scenario", __name__)

    chosen: Scenario = scenario.load(source, base)
    _apply(chosen)
    return chosen


@functools.cache
def start_scenario() -> Scenario:
    """The scenario this process starts with: the file ZEL_SIM_SCENARIO
    names, or the default switch when the variable is not set."""
    scenario = importlib.import_module(".scenario", __name__)

    path = os.environ.get("ZEL_SIM_SCENARIO")
    if path is None:
        return _default()
    if not path:
        raise ScenarioError("ZEL_SIM_SCENARIO", "the variable is set but empty")
    chosen: Scenario = scenario.load(pathlib.Path(path))
    return chosen


def load_start_scenario() -> Scenario:
    """clear(), then the scenario this process started with (what a test
    fixture resets to), with the counter paths restored."""
    chosen = start_scenario()
    reset_counter_paths()
    _apply(chosen)
    return chosen


def port_directory() -> pathlib.Path | None:
    """The private directory holding the simulated counter files of the
    current scenario's ports, None before any scenario served ports."""
    return _ports.directory()


def reset_counter_paths() -> None:
    """Undoes what a test changed in zel.zel: the statistics root and the
    four counter-file names. Scenario ports read their simulated files
    again, every other name the kernel's."""
    _ports.reset_paths()


def open_trace_contexts() -> int:
    """Trace contexts handed out by init_trace_route and not freed."""
    return int(lib.zelsim_open_contexts())


def errors() -> list[str]:
    """Misuses the simulator detected (double free, unknown context...)."""
    return fetch(lib.zelsim_errors).decode("latin-1").splitlines()


def hostname() -> bytes:
    """The hostname committed through the configuration database."""
    return fetch(lib.zelsim_hostname)


def set_hostname(name: bytes | str) -> None:
    """Sets the committed hostname as if the switch had booted with it."""
    raw = _as_bytes(name, "name")
    lib.zelsim_set_hostname(raw, len(raw))


from . import _startup  # noqa: E402 (needs everything above)

_startup.run_once()
