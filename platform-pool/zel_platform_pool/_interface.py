"""What a back-end needs of where its platform calls run: a PlatformPool,
or InProcess."""

from __future__ import annotations

from collections.abc import AsyncIterator, Iterator
from typing import Any, Protocol

from ._calls import Function
from ._context import TraceState


class Trace(Iterator[TraceState], Protocol):
    """The states of a running traceroute; close() ends it early."""

    def close(self) -> None: ...


class Platform(Protocol):
    def call(self, function: Function, /, *args: Any, **kwargs: Any) -> Any: ...

    async def acall(self, function: Function, /, *args: Any, **kwargs: Any) -> Any: ...

    def trace(self, ip_host: Any, /, *args: Any, **kwargs: Any) -> Trace: ...

    def atrace(self, ip_host: Any, /, *args: Any, **kwargs: Any) -> AsyncIterator[TraceState]: ...

    def start(self) -> None: ...

    def close(self) -> None: ...
