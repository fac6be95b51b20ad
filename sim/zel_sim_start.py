"""Imported by zel_sim.pth at interpreter start.

Puts the simulated platform into the process unless ZEL_SIM_PRELOAD=0 (builds
run that way, so that an instrumented simulator never loads into pip or the
compilers). An interpreter that cannot load ctypes (an isolated
sub-interpreter) is left alone: the library is in the process already.
"""

import os

if os.environ.get("ZEL_SIM_PRELOAD") != "0":
    try:
        import zel_sim._preload  # noqa: F401
    except ImportError:
        pass
