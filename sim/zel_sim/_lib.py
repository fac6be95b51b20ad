"""The simulated platform library, loaded into the process's global scope.

Extension modules built for the switch leave the platform symbols undefined
and expect the dynamic loader to find them in the process, where the real
platform libraries already are. Loading the simulator with RTLD_GLOBAL before
such a module is imported recreates that situation.

The library is loaded on first use (``load()``, or any attribute of ``lib``),
not when this module is imported: ``python -m zel_sim`` reads and writes
scenarios, and takes snapshots of a real switch, without it.
"""

from __future__ import annotations

import ctypes
import os
import pathlib
import re
from typing import Any, Callable

LIBRARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libzelplatform.so")


def _table() -> str:
    """The library's list of its platform functions, functions.h: installed
    beside this file, in the source tree under sim/platform/."""
    here = os.path.dirname(os.path.abspath(__file__))
    for path in (os.path.join(here, "functions.h"),
                 os.path.join(here, os.pardir, "platform", "functions.h")):
        if os.path.exists(path):
            # Not builtins.open: tests replace it before the first import.
            return pathlib.Path(path).read_text(encoding="ascii")
    raise ImportError(f"no functions.h beside {here}: reinstall zel-sim")


# The platform functions in the library's order (the call log names them by
# index), read from the list the library is built from; load() checks the
# library agrees.
FUNCTIONS: tuple[str, ...] = tuple(re.findall(r"^\s*X\((\w+)\)", _table(), re.M))


# The longest delay of a step, in seconds: a scripted one or a scenario's.
MAX_DELAY = 3600


class StepStruct(ctypes.Structure):
    _fields_ = [
        ("result", ctypes.c_int64),
        ("record", ctypes.c_void_p),
        ("record_len", ctypes.c_size_t),
        ("delay", ctypes.c_double),
        ("aux", ctypes.c_void_p),
        ("aux_len", ctypes.c_size_t),
    ]


_DECLARATIONS: dict[str, tuple[Any, ...]] = {
    "zelsim_function_name": (ctypes.c_char_p, ctypes.c_int),
    "zelsim_reset": (None,),
    "zelsim_script": (ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t,
                      ctypes.POINTER(StepStruct), ctypes.c_size_t),
    "zelsim_take_scripts": (ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t),
    "zelsim_put_back_scripts": (ctypes.c_int, ctypes.c_int),
    "zelsim_slow": (ctypes.c_int, ctypes.c_char_p, ctypes.c_double),
    "zelsim_add_slowness": (ctypes.c_int, ctypes.c_char_p, ctypes.c_double),
    "zelsim_slowness": (ctypes.c_double, ctypes.c_char_p),
    "zelsim_export_scripts": (ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t),
    "zelsim_import_scripts": (ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t),
    "zelsim_calls": (ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t),
    "zelsim_clear_calls": (None,),
    "zelsim_total_calls": (ctypes.c_uint64,),
    "zelsim_claim_startup": (ctypes.c_int,),
    "zelsim_release_startup": (None,),
    "zelsim_open_contexts": (ctypes.c_int,),
    "zelsim_errors": (ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t),
    "zelsim_hostname": (ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t),
    "zelsim_set_hostname": (None, ctypes.c_char_p, ctypes.c_size_t),
    "zelsim_failure": (ctypes.c_char_p,),
    "zelsim_fail_inside": (None, ctypes.c_char_p),
}


class Failure(ValueError):
    """A control call that failed inside the simulator (memory exhausted,
    data it refuses): the call, and what went wrong."""

    def __init__(self, function: str, problem: str) -> None:
        super().__init__(f"{function}: {problem}")
        self.function = function
        self.problem = problem


def _checked(name: str, failure: Any) -> Callable[..., Any]:
    """The errcheck of control call `name`: raises the failure it left."""

    def errcheck(result: Any, func: Any, args: Any) -> Any:
        problem = failure()
        if problem is not None:
            raise Failure(name, problem.decode("utf-8", "replace"))
        return result

    return errcheck

_loaded: ctypes.CDLL | None = None


def _names(cdll: ctypes.CDLL) -> tuple[str, ...]:
    names: list[str] = []
    while (name := cdll.zelsim_function_name(len(names))) is not None:
        names.append(name.decode())
    return tuple(names)


def load() -> ctypes.CDLL:
    """The library, loaded into the global scope on the first call."""
    global _loaded
    if _loaded is None:
        cdll = ctypes.CDLL(LIBRARY, mode=os.RTLD_GLOBAL)
        for name, (restype, *argtypes) in _DECLARATIONS.items():
            fn = getattr(cdll, name)
            fn.restype = restype
            fn.argtypes = list(argtypes)
            if name != "zelsim_failure":
                fn.errcheck = _checked(name, cdll.zelsim_failure)
        if _names(cdll) != FUNCTIONS:
            raise ImportError(f"{LIBRARY} names the platform functions {_names(cdll)}, "
                              f"this package {FUNCTIONS}: install matching versions")
        _loaded = cdll
    return _loaded


def loaded() -> bool:
    return _loaded is not None


class _Library:
    """Stands for the library: the first attribute fetched loads it."""

    def __getattr__(self, name: str) -> Any:
        return getattr(load(), name)


lib: Any = _Library()


def fetch(call: Callable[[Any, int], int]) -> bytes:
    """Runs one of the size-protocol calls until its data fits the buffer
    (the data may grow between the sizing call and the copy)."""
    size = call(None, 0)
    while True:
        buf = ctypes.create_string_buffer(size)
        needed = call(buf, size)
        if needed <= size:
            return bytes(buf.raw[:needed])
        size = needed
