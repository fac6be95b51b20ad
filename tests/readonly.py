"""Every read-only operation of the module, with what it returned or raised
as text that keeps types, key orders and exception arguments: two switches
that answer alike give equal texts.

Run as a script (python tests/readonly.py '{"ports": [...], "traces": [...]}')
it reads the switch of its process (the start scenario) and prints the
texts as JSON."""

from __future__ import annotations

import json
import sys
from typing import Any

from zel_sim._snapshot_reading import TraceContext
from zel_sim.diff import system_operations
from zel_sim.testing import SENSOR_FLAGS


def _outcome(fn, *args) -> str:
    try:
        return "= " + repr(fn(*args))
    except Exception as error:  # what the operation raised is its result here
        return f"! {type(error).__qualname__}{error.args!r}"


def _traffic(module, port) -> str:
    failures = []
    saved = sys.unraisablehook
    sys.unraisablehook = lambda u: failures.append(type(u.exc_value).__name__)
    try:
        return _outcome(module.system_port_traffic, port) + f" failures={failures}"
    finally:
        sys.unraisablehook = saved


def _trace(module, host) -> str:
    context = TraceContext()
    outcome = _outcome(module.get_diagnostic_data, context, host)
    return f"{outcome} {context!r} results={context.results!r}"


def results(module, ports, traces) -> dict[str, str]:
    out: dict[str, Any] = {}
    for kept in SENSOR_FLAGS:
        setattr(module, kept, None)
    for name in system_operations(module):
        out[name] = _outcome(getattr(module, name))
    for port in ports:
        out[f"get_8021x_status({port!r})"] = _outcome(module.get_8021x_status, port)
        out[f"get_8021x_sessions({port!r})"] = _outcome(module.get_8021x_sessions, port)
        out[f"system_port_traffic({port!r})"] = _traffic(module, port)
    for host in traces:
        out[f"get_diagnostic_data({host!r})"] = _trace(module, host)
    return out


if __name__ == "__main__":
    import zel.zel_util

    asked = json.loads(sys.argv[1])
    print(json.dumps(results(zel.zel_util, asked["ports"], asked["traces"])))
