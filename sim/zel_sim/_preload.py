"""Run at interpreter start (zel_sim.pth): puts the simulated platform into
the process before anything imports a module that needs it, then applies
the scenario named by ZEL_SIM_SCENARIO, or the default one.

With ZEL_SIM_PRELOAD=0 the start-up hook does not import this module at all
(builds run that way, so that an instrumented simulator is never loaded into
pip or the compilers). The scenario is applied once per process: a sub-interpreter started later finds
the platform as the process left it."""

import os
import sys


def _start():
    import zel_sim
    from zel_sim._lib import lib

    if not lib.zelsim_claim_startup():
        return
    path = os.environ.get("ZEL_SIM_SCENARIO")
    if path:
        zel_sim.load_scenario(os.fspath(path))
    else:
        zel_sim.reset()


try:
    _start()
except ImportError:
    pass  # an interpreter that cannot load ctypes; the platform is loaded already
except Exception as exc:  # a broken scenario must not take the interpreter down
    print(f"zel_sim: platform simulator not ready: {exc!r}", file=sys.stderr)
