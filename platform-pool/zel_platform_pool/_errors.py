"""The pool's own errors. Each names the function whose call it ends, so
that a log line or an HTTP answer says which platform call was lost."""

from __future__ import annotations


class PoolError(Exception):
    """A call that the pool could not carry out; the function's own
    exceptions are raised as they are instead."""

    def __init__(self, message: str, function: str) -> None:
        super().__init__(message, function)
        self.message, self.function = message, function

    def __str__(self) -> str:
        return self.message


class PlatformBusy(PoolError):
    """Every worker is taken and as many callers as the pool lets wait are
    already waiting (or none became free in time): raised at once instead
    of queueing without bound."""


class PlatformTimeout(PoolError):
    """The call took longer than the pool's timeout: its worker was killed
    and is replaced."""

    def __init__(self, message: str, function: str, seconds: float) -> None:
        super().__init__(message, function)
        self.seconds = seconds
        self.args = (message, function, seconds)


class WorkerDied(PoolError):
    """The worker running the call ended before answering (killed, out of
    memory, crashed); the next call gets another worker."""


class WorkerStartError(PoolError):
    """A worker could not be started: its interpreter failed, an
    initializer raised, or zel.zel_util could not be imported there."""


class PoolClosed(PoolError):
    """The pool was closed (explicitly, at exit or on SIGTERM)."""
