"""What a call names, and running it where the platform calls run (a
worker, or this process for InProcess)."""

from __future__ import annotations

import importlib
from collections.abc import Callable, Mapping
from types import ModuleType
from typing import Any

MODULE = "zel.zel_util"

# A function of zel.zel_util by name ("psu_list"), or any function that
# pickles by reference (zu.psu_list, a function of the back-end's modules).
Function = str | Callable[..., Any]


def name_of(function: Function) -> str:
    if isinstance(function, str):
        return function
    return str(getattr(function, "__qualname__", None) or function)


def platform_module() -> ModuleType:
    return importlib.import_module(MODULE)


def resolved(function: Function) -> Callable[..., Any]:
    if not isinstance(function, str):
        return function
    found = getattr(platform_module(), function, None)
    if not callable(found):
        raise AttributeError(f"{MODULE} has no function {function!r}")
    return found  # type: ignore[no-any-return]


def run(function: Function, args: tuple[Any, ...], kwargs: Mapping[str, Any]) -> Any:
    """function(*args, **kwargs). An exception it raises leaves with its
    attribute platform_call set to the function's name: what tells the
    HTTP answers an argument error of a platform call from a bug of the
    server's own code."""
    try:
        return resolved(function)(*args, **kwargs)
    except Exception as error:
        error.platform_call = name_of(function)  # type: ignore[attr-defined]
        raise
