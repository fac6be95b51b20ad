"""A traceroute streamed to an HTTP client hop by hop, as NDJSON."""

import contextlib
import json


def trace_lines(states, host):
    """One JSON line per hop of a running trace to host (the states of
    platform.trace) as soon as the platform reports it, then one with the
    outcome: {"result": 1}, or {"error": ...} when the trace could not be
    started or failed."""
    shown, result = 0, None
    with contextlib.closing(states):  # a client that goes away stops the trace
        try:
            for state in states:
                routes, result = state.get("routes", []), state["result"]
                yield from (json.dumps(hop).encode() + b"\n" for hop in routes[shown:])
                shown = len(routes)
        except Exception as error:
            yield json.dumps({"error": repr(error)}).encode() + b"\n"
            return
    outcome = ({"error": f"the traceroute to {host} could not be started"} if result == -1
               else {"result": result})
    yield json.dumps(outcome).encode() + b"\n"
