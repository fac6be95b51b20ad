"""A traceroute running in a worker, read as the states of its context."""

from __future__ import annotations

from collections.abc import Callable, Iterator
from typing import Any

from ._context import Report, TraceState, copied, merged
from ._errors import PoolError
from ._process import WorkerProcess

TRACE = "get_diagnostic_data"


class TraceStates(Iterator[TraceState]):
    """Iterates over the states of a traceroute running in a worker: the
    context as get_diagnostic_data has written it, after its start and after
    each hop, as soon as the worker has it; then raises what the trace
    raised, if anything. Each state is a new dict (its "routes" a new
    list). Closing it before the end stops the trace after the hop under
    way and waits for that."""

    def __init__(self, worker: WorkerProcess, timeout: float,
                 done: Callable[[WorkerProcess, bool], None]) -> None:
        self._worker: WorkerProcess | None = worker
        self._timeout, self._done = timeout, done
        self._state: TraceState = {}

    def __next__(self) -> TraceState:
        message = self._message()
        if message[0] == "progress":
            report: Report = (message[1], message[2])
            self._state = merged(self._state, report)
            return copied(self._state)
        self._finish(healthy=True)
        if message[0] == "error":
            raise message[1]
        raise StopIteration

    def _message(self) -> Any:
        if self._worker is None:
            raise StopIteration
        try:
            return self._worker.answer(self._timeout, TRACE)
        except BaseException:
            self._finish(healthy=False)
            raise

    def close(self) -> None:
        worker = self._worker
        if worker is None:
            return
        try:
            worker.request(("cancel",), TRACE)
            while worker.answer(self._timeout, TRACE)[0] == "progress":
                pass
        except PoolError:
            self._finish(healthy=False)
            return
        self._finish(healthy=True)

    def __enter__(self) -> TraceStates:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _finish(self, healthy: bool) -> None:
        worker, self._worker = self._worker, None
        if worker is not None:
            self._done(worker, healthy)

    def __del__(self) -> None:
        # A reader that neither finished nor closed it must not keep the
        # worker: the trace is stopped and the worker given back.
        try:
            self.close()
        except Exception:
            pass
