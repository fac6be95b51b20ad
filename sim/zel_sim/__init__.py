"""Control of the simulated switch platform.

The simulated platform library answers every platform function from a
script: a list of steps consumed one per call, the last step repeating.
This package installs scripts, reads back the log of calls, and applies
scenarios (TOML descriptions of a whole switch; see default.toml).
"""

import collections
import ctypes
import dataclasses
import struct

from . import records
from ._lib import FUNCTIONS, LIBRARY, StepStruct, fetch, lib

__all__ = [
    "Step", "Call", "FUNCTIONS", "LIBRARY", "records",
    "script", "calls", "clear_calls", "total_calls", "reset", "clear",
    "open_trace_contexts", "errors", "hostname", "set_hostname", "load_scenario",
]


@dataclasses.dataclass(frozen=True)
class Step:
    """One scripted answer: the return value (for the pointer functions 0
    means NULL), the bytes copied into the record the function fills, the
    seconds to wait before answering, and function-specific extra bytes
    (init_trace_route: start of the context; zel_query_update: start of the
    update record)."""

    result: int = 0
    record: bytes = b""
    delay: float = 0.0
    aux: bytes = b""


Call = collections.namedtuple("Call", "fn args")


def _as_bytes(value, what):
    if isinstance(value, str):
        return value.encode("latin-1")
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    raise TypeError(f"{what} must be bytes or str, not {type(value).__name__}")


def _as_step(item):
    if isinstance(item, Step):
        return item
    if isinstance(item, int):
        return Step(result=item)
    if isinstance(item, dict):
        return Step(**item)
    if isinstance(item, tuple):
        return Step(*item)
    raise TypeError(f"not a step: {item!r}")


def _check_fn(fn):
    if fn not in FUNCTIONS:
        raise ValueError(f"no platform function named {fn!r}")


def _step_struct(step, keep):
    record = _as_bytes(step.record, "record")
    aux = _as_bytes(step.aux, "aux")
    keep += [record, aux]
    return StepStruct(int(step.result), ctypes.cast(ctypes.c_char_p(record), ctypes.c_void_p),
                      len(record), float(step.delay),
                      ctypes.cast(ctypes.c_char_p(aux), ctypes.c_void_p), len(aux))


def script(fn, *steps, key=None, result=None, record=None, delay=None, aux=None):
    """Installs the script of platform function fn.

    script(fn, step, step, ...): the steps (Step, dict of Step fields,
    tuple of them, or a bare int result) are consumed one per call and the
    last repeats. script(fn, result=..., record=..., delay=..., aux=...):
    one step. script(fn) with neither removes the script. key (bytes or str)
    installs a keyed script instead: dump_tessel_802_1x_status looks one up
    by interface name before its unkeyed script.
    """
    _check_fn(fn)
    one = {k: v for k, v in
           dict(result=result, record=record, delay=delay, aux=aux).items() if v is not None}
    if steps and one:
        raise TypeError("give either steps or the fields of one step, not both")
    steps = [_as_step(s) for s in steps] or ([Step(**one)] if one else [])
    keep = []
    array = (StepStruct * max(len(steps), 1))(*[_step_struct(s, keep) for s in steps])
    raw_key = None if key is None else _as_bytes(key, "key")
    lib.zelsim_script(fn.encode(), raw_key, len(raw_key or b""), array, len(steps))


def _read_arg(blob, pos):
    tag = blob[pos]
    if tag == 0:
        return None, pos + 1
    if tag == 1:
        return struct.unpack_from("=q", blob, pos + 1)[0], pos + 9
    (length,) = struct.unpack_from("=I", blob, pos + 1)
    start = pos + 5
    return bytes(blob[start:start + length]), start + length


def _parse_calls(blob):
    (count,) = struct.unpack_from("=I", blob, 0)
    pos, out = 4, []
    for _ in range(count):
        fn, argc = blob[pos], blob[pos + 1]
        pos += 2
        args = []
        for _ in range(argc):
            arg, pos = _read_arg(blob, pos)
            args.append(arg)
        out.append(Call(FUNCTIONS[fn], tuple(args)))
    return out


def calls(fn=None):
    """The logged platform calls, oldest first (the latest 4096 are kept),
    as Call(fn, args); only those of fn when given."""
    if fn is not None:
        _check_fn(fn)
    log = _parse_calls(fetch(lib.zelsim_calls))
    return [c for c in log if fn is None or c.fn == fn]


def clear_calls():
    """Empties the call log."""
    lib.zelsim_clear_calls()


def total_calls():
    """Calls logged since the last reset or clear_calls, including those
    that have left the bounded log."""
    return lib.zelsim_total_calls()


def clear():
    """Empty platform: no scripts (every function gives its neutral answer:
    0 and no record), empty log, no errors, empty configuration database.
    Trace contexts still open are forgotten."""
    lib.zelsim_reset()


def reset():
    """clear(), then the embedded default scenario."""
    from . import scenario

    clear()
    scenario.apply(scenario.default())


def load_scenario(source):
    """clear(), then apply a scenario given as a path, TOML text or dict."""
    from . import scenario

    clear()
    scenario.apply(scenario.read(source))


def open_trace_contexts():
    """Trace contexts handed out by init_trace_route and not freed."""
    return lib.zelsim_open_contexts()


def errors():
    """Misuses the simulator detected (double free, unknown context...)."""
    return fetch(lib.zelsim_errors).decode("latin-1").splitlines()


def hostname():
    """The hostname committed through the configuration database."""
    return fetch(lib.zelsim_hostname)


def set_hostname(name):
    """Sets the committed hostname as if the switch had booted with it."""
    raw = _as_bytes(name, "name")
    lib.zelsim_set_hostname(raw, len(raw))
