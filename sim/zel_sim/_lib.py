"""The simulated platform library, loaded into the process's global scope.

Extension modules built for the switch leave the platform symbols undefined
and expect the dynamic loader to find them in the process, where the real
platform libraries already are. Loading the simulator with RTLD_GLOBAL before
such a module is imported recreates that situation.
"""

from __future__ import annotations

import ctypes
import os
from typing import Any, Callable

LIBRARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libzelplatform.so")

lib = ctypes.CDLL(LIBRARY, mode=os.RTLD_GLOBAL)


class StepStruct(ctypes.Structure):
    _fields_ = [
        ("result", ctypes.c_int64),
        ("record", ctypes.c_void_p),
        ("record_len", ctypes.c_size_t),
        ("delay", ctypes.c_double),
        ("aux", ctypes.c_void_p),
        ("aux_len", ctypes.c_size_t),
    ]


def _declare(name: str, restype: Any, *argtypes: Any) -> None:
    fn = getattr(lib, name)
    fn.restype = restype
    fn.argtypes = list(argtypes)


_declare("zelsim_function_name", ctypes.c_char_p, ctypes.c_int)
_declare("zelsim_reset", None)
_declare("zelsim_script", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t,
         ctypes.POINTER(StepStruct), ctypes.c_size_t)
_declare("zelsim_take_scripts", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t)
_declare("zelsim_put_back_scripts", ctypes.c_int, ctypes.c_int)
_declare("zelsim_calls", ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t)
_declare("zelsim_clear_calls", None)
_declare("zelsim_total_calls", ctypes.c_uint64)
_declare("zelsim_claim_startup", ctypes.c_int)
_declare("zelsim_release_startup", None)
_declare("zelsim_open_contexts", ctypes.c_int)
_declare("zelsim_errors", ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t)
_declare("zelsim_hostname", ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t)
_declare("zelsim_set_hostname", None, ctypes.c_char_p, ctypes.c_size_t)


def _names() -> tuple[str, ...]:
    names: list[str] = []
    while (name := lib.zelsim_function_name(len(names))) is not None:
        names.append(name.decode())
    return tuple(names)


FUNCTIONS = _names()


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
