"""A traceroute streamed to a WSGI client hop by hop, as NDJSON."""

import json
import threading

import zel.zel_util as zu


def trace_lines(host, poll=0.05):
    """Yields one JSON line per hop of a traceroute to host as soon as the
    platform reports it, then one with the outcome: {"result": 1}, or
    {"error": ...} when the trace could not be started or failed."""
    context, failures = {}, []

    def trace():  # runs on a thread of its own; releases the lock while the platform works
        try:
            zu.get_diagnostic_data(context, host)
        except Exception as error:
            failures.append(error)

    thread = threading.Thread(target=trace, name=f"traceroute {host}", daemon=True)
    thread.start()
    shown = 0
    while True:
        finished = not thread.is_alive()  # checked before reading, so no late hop is missed
        routes = context.get("routes", [])
        while shown < len(routes):
            yield json.dumps(routes[shown]).encode() + b"\n"
            shown += 1
        if finished:
            break
        thread.join(poll)
    if failures:
        outcome = {"error": repr(failures[0])}
    elif context.get("result") == -1:
        outcome = {"error": f"the traceroute to {host} could not be started"}
    else:
        outcome = {"result": context["result"]}
    yield json.dumps(outcome).encode() + b"\n"
