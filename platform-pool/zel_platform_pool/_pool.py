"""PlatformPool: N worker processes running zel.zel_util's functions for a
server's threads or its event loop."""

from __future__ import annotations

import asyncio
import atexit
import concurrent.futures
import os
import pickle
import signal
import threading
import time
import weakref
from collections.abc import AsyncIterator, Callable
from typing import Any

from ._calls import Function, name_of
from ._context import TraceState
from ._errors import PlatformBusy, PoolClosed
from ._process import WorkerProcess
from ._trace import TRACE, TraceStates


class PlatformPool:
    """Runs zel.zel_util's functions in `size` worker processes, each a
    fresh interpreter with its own interpreter lock, so that a platform
    call never stalls the server's other threads, and a slow call on one
    worker never delays a call another worker is free to take.

    Workers start when a call needs one (or all at once with start()), with
    this process's import path and warning filters (-W options and filters
    set in code), then run the initializers. A call that finds every worker
    busy waits, up to `max_waiting` callers at a time (default 4 × size)
    and at most `timeout` seconds; beyond that it raises PlatformBusy at
    once. A call that takes longer than `timeout` seconds raises
    PlatformTimeout, its worker killed and replaced; one whose worker dies
    raises WorkerDied. A forked child (gunicorn --preload, os.fork) gets
    the pool afresh: it starts workers of its own and never touches the
    parent's. The pool closes at exit, and, unless stop_on_sigterm is
    false, SIGTERM (when nothing else handles it) raises SystemExit in the
    main thread so that the server unwinds and the pool closes.
    """

    def __init__(self, size: int, *, timeout: float = 20.0, max_waiting: int | None = None,
                 initializer: Callable[..., object] | None = None,
                 initargs: tuple[Any, ...] = (), start_timeout: float = 60.0,
                 stop_on_sigterm: bool = True) -> None:
        if size < 1:
            raise ValueError(f"a pool needs at least one worker, not {size}")
        self.size, self.timeout, self.start_timeout = size, timeout, start_timeout
        self.max_waiting = 4 * size if max_waiting is None else max_waiting
        self._initializers: list[tuple[Any, tuple[Any, ...]]] = []
        if initializer is not None:
            self.add_initializer(initializer, initargs)
        self._fresh_state()
        _POOLS.add(self)
        if stop_on_sigterm:
            _stop_on_sigterm()

    def _fresh_state(self) -> None:
        self._lock = threading.Lock()
        self._free = threading.Condition(self._lock)
        self._idle: list[WorkerProcess] = []
        self._workers: set[WorkerProcess] = set()
        self._starting = self._admitted = 0
        self._closed = False
        self._threads: concurrent.futures.ThreadPoolExecutor | None = None

    def add_initializer(self, initializer: Callable[..., object],
                        initargs: tuple[Any, ...] = ()) -> None:
        """initializer(*initargs) runs in every worker started from now on,
        after those added before; both pickle when a worker starts
        (``pool.add_initializer(**zel_sim.worker_setup())`` in a test)."""
        self._initializers.append((initializer, tuple(initargs)))

    # ---- calls -----------------------------------------------------------------------

    def call(self, function: Function, /, *args: Any, **kwargs: Any) -> Any:
        """function(*args, **kwargs) in a worker: a function of zel.zel_util
        by name ("psu_list") or any function that pickles by reference. Its
        exception is raised here as it was raised there."""
        name, request = _request(function, args, kwargs)
        self._admit(name)
        return self._admitted_call(name, request)

    async def acall(self, function: Function, /, *args: Any, **kwargs: Any) -> Any:
        """call() for a coroutine: waits without blocking the event loop."""
        name, request = _request(function, args, kwargs)
        self._admit(name)
        try:
            waiting = asyncio.get_running_loop().run_in_executor(
                self._executor(), self._admitted_call, name, request)
        except BaseException:
            self._leave()
            raise
        return await waiting

    def trace(self, ip_host: Any, /, *args: Any, **kwargs: Any) -> TraceStates:
        """get_diagnostic_data(context, ip_host, *args, **kwargs) in a
        worker, started now; iterate over its states as they come (a new
        dict each, as the context stands after the start and after each
        hop). The timeout applies to each hop."""
        _, request = _request(TRACE, (ip_host, *args), kwargs, kind="trace")
        self._admit(TRACE)
        return self._admitted_trace(request)

    def atrace(self, ip_host: Any, /, *args: Any, **kwargs: Any) -> AsyncIterator[TraceState]:
        """trace() for a coroutine (``async for state in pool.atrace(host)``):
        started at the first iteration, never blocking the event loop."""
        _, request = _request(TRACE, (ip_host, *args), kwargs, kind="trace")
        return self._async_trace(request)

    async def _async_trace(self, request: bytes) -> AsyncIterator[TraceState]:
        self._admit(TRACE)
        loop, threads = asyncio.get_running_loop(), self._executor()
        states = await loop.run_in_executor(threads, self._admitted_trace, request)
        try:
            while (state := await loop.run_in_executor(threads, next, states, None)) is not None:
                yield state
        finally:
            await loop.run_in_executor(threads, states.close)

    def _admitted_call(self, name: str, request: bytes) -> Any:
        try:
            worker = self._acquire(name)
        except BaseException:
            self._leave()
            raise
        healthy = False
        try:
            worker.request_bytes(request, name)
            kind, value = worker.answer(self.timeout, name)
            healthy = True
        finally:
            self._done(worker, healthy)
        if kind == "error":
            raise value
        return value

    def _admitted_trace(self, request: bytes) -> TraceStates:
        try:
            worker = self._acquire(TRACE)
        except BaseException:
            self._leave()
            raise
        try:
            worker.request_bytes(request, TRACE)
        except BaseException:
            self._done(worker, False)
            raise
        return TraceStates(worker, self.timeout, self._done)

    # ---- workers -----------------------------------------------------------------------

    def start(self) -> None:
        """Starts every worker now, in parallel, instead of at the calls
        that need them (before serving, say)."""
        with concurrent.futures.ThreadPoolExecutor(self.size) as starter:
            taken = list(starter.map(lambda _: self._acquire("PlatformPool.start"),
                                     range(self.size)))
        for worker in taken:
            self._release(worker, healthy=True)

    def _admit(self, name: str) -> None:
        with self._lock:
            if self._closed:
                raise PoolClosed(f"{name}(): the platform pool is closed", name)
            if self._admitted >= self.size + self.max_waiting:
                raise PlatformBusy(f"{name}(): every platform worker is busy and "
                                   f"{self.max_waiting} calls are waiting already", name)
            self._admitted += 1

    def _leave(self) -> None:
        with self._lock:
            self._admitted -= 1

    def _acquire(self, name: str) -> WorkerProcess:
        """An idle worker, or a new one when fewer than size are running."""
        deadline = time.monotonic() + self.timeout
        with self._free:
            while (worker := self._idle_worker(name)) is None:
                if len(self._workers) + self._starting < self.size:
                    self._starting += 1
                    break
                if not self._free.wait(max(0.0, deadline - time.monotonic())):
                    raise PlatformBusy(f"{name}(): no platform worker became free within "
                                       f"{self.timeout:g} s", name)
        return worker if worker is not None else self._started(name)

    def _idle_worker(self, name: str) -> WorkerProcess | None:
        if self._closed:
            raise PoolClosed(f"{name}(): the platform pool is closed", name)
        while self._idle:
            worker = self._idle.pop()
            if worker.alive():
                return worker
            self._workers.discard(worker)  # died while idle: the call takes another
            worker.kill()
        return None

    def _started(self, name: str) -> WorkerProcess:
        try:
            worker = WorkerProcess(self._initializers, self.start_timeout, name)
        except BaseException:
            with self._free:
                self._starting -= 1
                self._free.notify()
            raise
        with self._free:
            self._starting -= 1
            self._workers.add(worker)
        return worker

    def _done(self, worker: WorkerProcess, healthy: bool) -> None:
        self._release(worker, healthy)
        self._leave()

    def _release(self, worker: WorkerProcess, healthy: bool) -> None:
        with self._free:
            kept = healthy and not self._closed and worker in self._workers
            if kept:
                self._idle.append(worker)
            else:
                self._workers.discard(worker)
            self._free.notify_all()
        if not kept:
            worker.kill()

    def _executor(self) -> concurrent.futures.ThreadPoolExecutor:
        # One thread per call the pool admits: the executor never queues.
        with self._lock:
            if self._threads is None:
                self._threads = concurrent.futures.ThreadPoolExecutor(
                    self.size + self.max_waiting, thread_name_prefix="platform-pool")
            return self._threads

    # ---- stopping ----------------------------------------------------------------------

    def close(self, grace: float = 5.0) -> None:
        """Stops every worker: idle ones at once, busy ones when their call
        ends, and kills what is left after grace seconds. Later calls raise
        PoolClosed."""
        deadline = time.monotonic() + grace
        with self._free:
            self._closed = True
            idle, self._idle = self._idle, []
            self._workers.difference_update(idle)
            threads, self._threads = self._threads, None
            self._free.notify_all()
        for worker in idle:
            worker.channel.close()  # the worker ends on reading the end of its channel
        for worker in idle:
            worker.stop(max(0.0, deadline - time.monotonic()))
        with self._free:
            self._free.wait_for(lambda: not self._workers, max(0.0, deadline - time.monotonic()))
            busy = list(self._workers)
        for worker in busy:
            worker.process.kill()  # its caller sees WorkerDied and lets it go
        if threads is not None:
            threads.shutdown(wait=False)

    def __enter__(self) -> PlatformPool:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _after_fork_in_child(self) -> None:
        for worker in self._workers:
            worker.forget()
        self._fresh_state()

    def __repr__(self) -> str:
        state = "closed" if self._closed else f"{len(self._workers)} running"
        return f"<PlatformPool size={self.size} {state}>"


def _request(function: Function, args: tuple[Any, ...], kwargs: dict[str, Any],
             kind: str = "call") -> tuple[str, bytes]:
    """The function's name and the pickled request; an argument that does
    not pickle fails here, before any worker is taken."""
    return name_of(function), pickle.dumps((kind, function, args, kwargs) if kind == "call"
                                           else (kind, args, kwargs), pickle.HIGHEST_PROTOCOL)


# ---- the pools of this process -----------------------------------------------------------

_POOLS: weakref.WeakSet[PlatformPool] = weakref.WeakSet()


def _close_every_pool() -> None:
    for pool in list(_POOLS):
        pool.close(grace=2.0)


def _forget_the_parents_workers() -> None:
    for pool in list(_POOLS):
        pool._after_fork_in_child()


def _exit_on_sigterm(signum: int, frame: object) -> None:
    raise SystemExit(0)


def _stop_on_sigterm() -> None:
    # Only where SIGTERM would end the process without unwinding anything;
    # a server with a handler of its own (gunicorn) stops as it does.
    if threading.current_thread() is not threading.main_thread():
        return
    if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
        signal.signal(signal.SIGTERM, _exit_on_sigterm)


atexit.register(_close_every_pool)
os.register_at_fork(after_in_child=_forget_the_parents_workers)
