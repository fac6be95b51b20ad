"""A worker process: a fresh interpreter that the pool starts with the
parent's import path, warning filters and initializers, then answers one
request at a time until its channel closes."""

from __future__ import annotations

import importlib
import os
import pickle
import re
import signal
import socket
import sys
import traceback
import warnings
from collections.abc import Callable
from typing import Any

from ._calls import Function, platform_module, run
from ._channel import Channel
from ._context import Report, ReportingContext, TraceCancelled

# The parent's warnings.filters entries, their patterns as text and their
# categories by module and name: a category's module is imported only once
# the filters of the built-in categories apply (pkg_resources, which adds a
# filter of its own, warns as it is imported).
FilterEntry = tuple[str, str, tuple[str, str], str, int]


def main(fd: int) -> None:
    # Ctrl-C in a terminal reaches the whole process group: the server
    # handles it, and stops its workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    channel = Channel(socket.socket(fileno=fd))
    try:
        _set_up(channel)
    except Exception as error:
        traceback.print_exc()
        channel.send_bytes(_pickled("failed", error))
        return
    channel.send(("ready", os.getpid()))
    try:
        _serve(channel)
    except (EOFError, OSError):  # the pool is gone
        pass
    finally:
        channel.close()


def _set_up(channel: Channel) -> None:
    sys.path[:] = channel.receive()
    apply_filters(channel.receive())
    for initializer, args in channel.receive():
        initializer(*args)
    platform_module()


def filters_of_this_process() -> list[FilterEntry]:
    return [(action, _pattern(message), (category.__module__, category.__qualname__),
             _pattern(module), lineno)
            for action, message, category, module, lineno in warnings.filters
            if isinstance(category, type)]


def _pattern(match: re.Pattern[str] | str | None) -> str:
    # None matches anything; a text (the interpreter's own filters) exactly.
    if match is None:
        return ""
    return re.escape(match) + r"\Z" if isinstance(match, str) else match.pattern


def apply_filters(entries: list[FilterEntry]) -> None:
    _set_filters(entries, lambda module, name: _category("builtins", name, module == "builtins"))
    _set_filters(entries, _category)


def _set_filters(entries: list[FilterEntry],
                 category_of: Callable[[str, str], type[Warning] | None]) -> None:
    warnings.resetwarnings()
    for action, message, (module_name, name), module, lineno in entries:
        category = category_of(module_name, name)
        if category is not None:
            # Compiled again as they were: filterwarnings ignores the case
            # of the message, as the parent's did.
            warnings.filterwarnings(action, message, category, module,  # type: ignore[arg-type]
                                    lineno, append=True)


def _category(module_name: str, name: str, wanted: bool = True) -> type[Warning] | None:
    """The class, or None when this interpreter cannot import it."""
    if not wanted:
        return None
    try:
        found: Any = importlib.import_module(module_name)
        for part in name.split("."):
            found = getattr(found, part)
    except Exception:
        return None
    return found if isinstance(found, type) and issubclass(found, Warning) else None


def _serve(channel: Channel) -> None:
    while True:
        request = channel.receive()
        if request[0] == "call":
            channel.send_bytes(_answer(*request[1:]))
        elif request[0] == "trace":
            channel.send_bytes(_trace(channel, *request[1:]))
        # A "cancel" here came after its trace had ended: nothing to do.


def _answer(function: Function, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bytes:
    try:
        result = run(function, args, kwargs)
    except Exception as error:
        return _pickled("error", error)
    try:
        return pickle.dumps(("ok", result), pickle.HIGHEST_PROTOCOL)
    except Exception as error:
        return _pickled("error", TypeError(f"the result cannot be sent back: {error}"))


def _trace(channel: Channel, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bytes:
    stopped = False

    def cancelled() -> bool:
        nonlocal stopped
        if not stopped and channel.ready(0):
            stopped = True  # the "cancel" request, or the pool gone
        return stopped

    def report(changes: Report) -> None:
        channel.send(("progress", *changes))

    context = ReportingContext(report, cancelled)
    try:
        run("get_diagnostic_data", (context, *args), kwargs)
    except TraceCancelled:
        if channel.ready(0):
            channel.receive()
        return pickle.dumps(("cancelled",))
    except Exception as error:
        return _pickled("error", error)
    return pickle.dumps(("ok", None))


def _pickled(kind: str, error: BaseException) -> bytes:
    try:
        return pickle.dumps((kind, error), pickle.HIGHEST_PROTOCOL)
    except Exception as failure:
        stand_in = RuntimeError(f"{type(error).__qualname__}: {error} "
                                f"(the exception itself cannot be sent back: {failure})")
        return pickle.dumps((kind, stand_in), pickle.HIGHEST_PROTOCOL)
