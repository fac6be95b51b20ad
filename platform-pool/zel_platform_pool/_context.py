"""A traceroute's context as reports: get_diagnostic_data writes "result"
last at every step (the start, then each hop), so each write of it reports
what changed since the last report; the other side rebuilds the state."""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

# What changed since the last report (every key but "routes"), and the hops
# appended since then (None while "routes" is not written yet).
Report = tuple[dict[str, Any], list[dict[str, Any]] | None]

TraceState = dict[str, Any]


class TraceCancelled(Exception):
    """Raised into the trace by its context: the caller stopped reading."""


class ReportingContext:
    """Stands in for the caller's mapping inside get_diagnostic_data; it is
    only ever written to. Raises TraceCancelled at the first write after
    cancelled() turns true, which ends the trace (and frees it) at once."""

    def __init__(self, report: Callable[[Report], None], cancelled: Callable[[], bool]) -> None:
        self._report, self._cancelled = report, cancelled
        self._changed: dict[str, Any] = {}
        self._routes: list[dict[str, Any]] | None = None
        self._reported_hops = 0

    def __setitem__(self, key: str, value: Any) -> None:
        if self._cancelled():
            raise TraceCancelled()
        if key == "routes":
            self._routes, self._reported_hops = value, 0
        else:
            self._changed[key] = value
        if key == "result":
            self._report(self._take())

    def _take(self) -> Report:
        changed, self._changed = self._changed, {}
        if self._routes is None:
            return changed, None
        hops = self._routes[self._reported_hops:]
        self._reported_hops += len(hops)
        return changed, hops


def merged(state: TraceState, report: Report) -> TraceState:
    """state with report applied, as a new mapping (its routes a new list)."""
    changed, hops = report
    routes = state.get("routes")
    new = {**state, **changed}
    if hops is not None:
        new["routes"] = [*(routes or []), *hops]
    return new


def copied(state: TraceState) -> TraceState:
    """A copy of state that its reader may change (its routes a new list)."""
    if "routes" not in state:
        return dict(state)
    return {**state, "routes": list(state["routes"])}
