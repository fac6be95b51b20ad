"""A failure inside the simulator (memory exhausted, input it refuses) never
crosses into its caller: every exported function catches it; a control call
raises it as a ValueError naming what went wrong, a platform function
answers as the platform fails and notes it among the misuses."""

import ctypes
import math
import os
import pathlib
import re
import struct
import subprocess
import sys
import textwrap

import pytest

import zel_sim as control
from zel_sim import _lib
from zel_sim._lib import Failure, fetch, lib

PLATFORM_H = pathlib.Path(__file__).resolve().parents[2] / "include" / "platform" / "platform.h"

# What a platform function answers when it fails inside the simulator: the
# platform's failure for its return type; the end of the trace for the query.
FAILED = {"int": -1, "void *": None, "trace_route_context *": None}
FAILED_AS = {"query_trace_route": 1}


def harmless(parameter):
    """An argument for a parameter of that C type: a text for a char
    pointer, no buffer for any other pointer, 0 for a number."""
    if "char *" in parameter:
        return b"gi1/0/1"
    return None if "*" in parameter else 0


def platform_functions():
    """Each function platform.h declares: its harmless arguments, and its
    answer when it fails inside the simulator."""
    text = re.sub(r"/\*.*?\*/", "", PLATFORM_H.read_text(encoding="utf-8"), flags=re.S)
    functions = {}
    for returns, name, parameters in re.findall(r"^([\w ]+?\s*\*?)\s*(\w+)\(([^)]*)\);",
                                                 text, re.M):
        args = tuple(harmless(p) for p in parameters.split(",") if p.strip() not in ("", "void"))
        functions[name] = (args, FAILED_AS.get(name, FAILED[returns.strip()]))
    return functions


PLATFORM = platform_functions()

# Every control call but the one that hands the failures out.
CONTROL = [name for name in _lib._DECLARATIONS if name != "zelsim_failure"]


def test_every_platform_function_is_here():
    assert sorted(PLATFORM) == sorted(control.FUNCTIONS), \
        "include/platform/platform.h declares each platform function the simulator lists"


@pytest.mark.parametrize("fn", control.FUNCTIONS)
def test_a_platform_function_failing_inside_answers_as_the_platform_fails(plat, zel_sim, fn):
    args, failed = PLATFORM[fn]
    call = getattr(plat, fn)
    lib.zelsim_fail_inside(fn.encode())  # while it logs itself, the lock held
    assert call(*args) == failed
    assert zel_sim.errors() == [
        f"{fn}: failed inside the simulator (out of memory) and answered as the platform fails"]
    call(*args)  # the lock was given back, and the function answers again
    assert len(zel_sim.calls(fn)) == 1


@pytest.mark.parametrize("name", CONTROL)
def test_a_control_call_failing_inside_raises_naming_the_failure(name):
    _, *argtypes = _lib._DECLARATIONS[name]
    args = [0 if argtype in (ctypes.c_int, ctypes.c_size_t) else
            0.0 if argtype is ctypes.c_double else None for argtype in argtypes]
    lib.zelsim_fail_inside(name.encode())
    with pytest.raises(Failure, match=f"^{name}: out of memory$"):
        getattr(lib, name)(*args)
    assert lib.zelsim_total_calls() == 0  # the next call has no failure of its own


def test_what_a_step_cannot_hold_is_refused(plat):
    record = ctypes.create_string_buffer(8)
    endless = ctypes.c_size_t(-1).value
    step = _lib.StepStruct(7, ctypes.addressof(record), endless, 0.0, None, 0)
    with pytest.raises(ValueError, match="^zelsim_script: a length beyond what the simulator "
                                         "can hold$"):
        lib.zelsim_script(b"get_temp_list", None, 0, ctypes.byref(step), 1)
    with pytest.raises(ValueError, match="^zelsim_set_hostname: a length beyond"):
        lib.zelsim_set_hostname(b"name", endless)
    step.record_len = 8
    # The longest delay the package allows is the longest the library takes.
    for delay in (math.inf, math.nan, -0.5, math.nextafter(_lib.MAX_DELAY, math.inf)):
        step.delay = delay
        with pytest.raises(ValueError, match=f"^zelsim_script: a delay of {delay:f} seconds "
                                             f"is not one from 0 to {_lib.MAX_DELAY}$"):
            lib.zelsim_script(b"get_temp_list", None, 0, ctypes.byref(step), 1)
    assert plat.get_temp_list(None) == 0  # still no script
    step.delay = _lib.MAX_DELAY
    lib.zelsim_script(b"get_temp_list", None, 0, ctypes.byref(step), 1)
    assert struct.unpack_from("=I", fetch(lib.zelsim_export_scripts), 8) == (1,)  # one script


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the sanitizers' shadow memory needs more address space than a "
                           "limit leaves")
def test_a_stand_in_out_of_memory_raises_memory_error():
    # A path the stand-in cannot copy within an address space limit.
    code = textwrap.dedent("""
        import resource, zel.zel
        path = b"/" * (256 << 20)
        with open("/proc/self/statm") as f:
            size = int(f.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (size + (64 << 20),) * 2)
        try:
            zel.zel.set_stats_root(path)
        except MemoryError:
            print("MemoryError", zel.zel.stats_root())
    """)
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)
    assert (proc.returncode, proc.stdout) == (0, "MemoryError /sys/class/net\n"), proc.stderr
