"""InProcess: the pool's interface, its calls run in this process."""

from __future__ import annotations

import asyncio
import queue
import threading
from collections.abc import AsyncIterator, Generator
from typing import Any

from ._calls import Function, run
from ._context import Report, ReportingContext, TraceCancelled, TraceState, copied, merged
from ._trace import TRACE


class InProcess:
    """Runs every call on the caller's thread, holding the interpreter lock
    as zel.zel_util does: for tests that script the simulator in their own
    process, and as what a pool is measured against. Its traces run on a
    thread of their own (get_diagnostic_data lets other threads run)."""

    def call(self, function: Function, /, *args: Any, **kwargs: Any) -> Any:
        return run(function, args, kwargs)

    async def acall(self, function: Function, /, *args: Any, **kwargs: Any) -> Any:
        return await asyncio.to_thread(run, function, args, kwargs)

    def trace(self, ip_host: Any, /, *args: Any, **kwargs: Any) -> Generator[TraceState]:
        return _states((ip_host, *args), kwargs)

    async def atrace(self, ip_host: Any, /, *args: Any,
                     **kwargs: Any) -> AsyncIterator[TraceState]:
        states = _states((ip_host, *args), kwargs)
        try:
            while (state := await asyncio.to_thread(next, states, None)) is not None:
                yield state
        finally:
            await asyncio.to_thread(states.close)

    def start(self) -> None:
        pass

    def close(self) -> None:
        pass


def _states(args: tuple[Any, ...], kwargs: dict[str, Any]) -> Generator[TraceState]:
    messages: queue.SimpleQueue[tuple[Any, ...]] = queue.SimpleQueue()
    stop = threading.Event()

    def report(changes: Report) -> None:
        messages.put(("progress", *changes))

    def trace() -> None:
        try:
            run(TRACE, (ReportingContext(report, stop.is_set), *args), kwargs)
            messages.put(("ok",))
        except TraceCancelled:
            messages.put(("cancelled",))
        except BaseException as error:
            messages.put(("error", error))

    thread = threading.Thread(target=trace, name=f"traceroute {args[0]!r}", daemon=True)
    thread.start()
    state: TraceState = {}
    try:
        while (message := messages.get())[0] == "progress":
            state = merged(state, (message[1], message[2]))
            yield copied(state)
        if message[0] == "error":
            raise message[1]
    finally:
        stop.set()  # a reader that stops early ends the trace after the hop under way
        thread.join()
