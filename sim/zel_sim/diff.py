"""What zel.zel_util's read-only operations return under two scenarios, and
where they differ: `python -m zel_sim diff A B`.

Each scenario is loaded in turn into the simulated platform of this process
and read through the module: the system values, the hardware lists, the
802.1X state, sessions and traffic counters of every interface and port
either scenario names, and a traceroute to every target either names. A
result is compared down to its leaves (a key of a mapping, a field of a
named tuple, an entry of a list), so a difference reads as the operation,
where in its result, and the two values."""

from __future__ import annotations

import contextlib
import inspect
import io
import sys
from collections.abc import Iterable
from types import ModuleType
from typing import Any

from ._snapshot_reading import TraceContext
from .scenario import Scenario
from .testing import SENSOR_FLAGS, module_functions

# The one operation without arguments that changes something: it creates a
# result file.
_WRITING = frozenset({"get_safe_r_file"})


def system_operations(module: ModuleType) -> list[str]:
    """The module's operations without arguments that change nothing, in the
    order the module binds them."""
    return [name for name in module_functions(module) if name not in _WRITING
            and not inspect.signature(getattr(module, name)).parameters]


def _plain(value: Any) -> Any:
    """A result as data: a named tuple as its fields, mappings and lists
    entry by entry, anything else as itself."""
    if isinstance(value, tuple) and hasattr(value, "_fields"):
        return {name: _plain(getattr(value, name)) for name in value._fields}
    if isinstance(value, dict):
        return {key: _plain(item) for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [_plain(item) for item in value]
    return value


def _outcome(fn: Any, *args: Any) -> Any:
    try:
        return _plain(fn(*args))
    except Exception as error:  # what an operation raised is its result here
        return _Raised(f"raised {type(error).__name__}{error.args!r}")


def _traffic(module: ModuleType, port: str) -> Any:
    """The counters, and the counter reads that failed (the module prints
    each one's traceback and passes it to sys.unraisablehook)."""
    failed: list[str] = []
    saved = sys.unraisablehook
    sys.unraisablehook = lambda u: failed.append(type(u.exc_value).__name__)
    try:
        with contextlib.redirect_stderr(io.StringIO()):
            counters = _outcome(module.system_port_traffic, port)
    finally:
        sys.unraisablehook = saved
    return {"result": counters, "counter reads failed": failed}


def _trace(module: ModuleType, host: str) -> Any:
    context = TraceContext()
    outcome = _outcome(module.get_diagnostic_data, context, host)
    return {"returned": outcome, "context": _plain(dict(context)),
            "results written": context.results}


def read(module: ModuleType, ports: Iterable[str], traces: Iterable[str]) -> dict[str, Any]:
    """{operation with its arguments: result} of the switch in the process."""
    out: dict[str, Any] = {}
    # Computed once and kept by the module: computed again for this switch.
    for kept in SENSOR_FLAGS:
        setattr(module, kept, None)
    for name in system_operations(module):
        out[f"{name}()"] = _outcome(getattr(module, name))
    for port in ports:
        out[f"get_8021x_status({port!r})"] = _outcome(module.get_8021x_status, port)
        out[f"get_8021x_sessions({port!r})"] = _outcome(module.get_8021x_sessions, port)
        out[f"system_port_traffic({port!r})"] = _traffic(module, port)
    for host in traces:
        out[f"get_diagnostic_data(context, {host!r})"] = _trace(module, host)
    return out


def names(scenarios: Iterable[Scenario]) -> tuple[list[str], list[str]]:
    """The ports (802.1X interfaces, then counter ports) and trace targets
    the scenarios name, each once, in the order they come."""
    ports: dict[str, None] = {}
    traces: dict[str, None] = {}
    for chosen in scenarios:
        ports.update(dict.fromkeys(d.interface for d in chosen.dot1x))
        ports.update(dict.fromkeys(p.name for p in chosen.port))
        traces.update(dict.fromkeys(d.target for d in chosen.traceroute.destination))
    return list(ports), list(traces)


_ABSENT = "(absent)"
_SHOWN = 100  # characters of a value shown in a difference


class _Raised(str):
    """What an operation raised, shown as such."""

    def __repr__(self) -> str:
        return str(self)


def _shown(value: Any) -> str:
    text = repr(value)
    return text if len(text) <= _SHOWN else text[:_SHOWN - 3] + "..."


def differences(a: Any, b: Any, where: str = "") -> list[tuple[str, str, str]]:
    """(where, value under A, value under B) of each difference: mappings
    key by key, lists of one length entry by entry, any other value (and a
    key only one side has) whole."""
    if isinstance(a, dict) and isinstance(b, dict):
        out = []
        for key in dict.fromkeys([*a, *b]):
            here = f"{where}[{key!r}]"
            if key not in b or key not in a:
                out.append((here, _shown(a[key]) if key in a else _ABSENT,
                            _shown(b[key]) if key in b else _ABSENT))
            else:
                out += differences(a[key], b[key], here)
        return out
    if isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        return [d for i, (x, y) in enumerate(zip(a, b)) for d in differences(x, y, f"{where}[{i}]")]
    if a == b and type(a) is type(b):
        return []
    return [(where, _shown(a), _shown(b))]


def report(a: dict[str, Any], b: dict[str, Any]) -> list[str]:
    """The lines saying where the results differ, per operation; [] when
    they are equal."""
    lines = []
    for operation in dict.fromkeys([*a, *b]):
        found = differences(a.get(operation), b.get(operation))
        if found:
            lines.append(f"{operation}:")
            lines += [f"  {where or '(the result)'}  A: {left}  B: {right}"
                      for where, left, right in found]
    return lines
