"""Run at interpreter start (zel_sim.pth): puts the simulated platform into
the process before anything imports a module that needs it, then applies
the scenario named by ZEL_SIM_SCENARIO, or the default one."""

import os
import sys


def _start():
    import zel_sim

    path = os.environ.get("ZEL_SIM_SCENARIO")
    if path:
        zel_sim.load_scenario(os.fspath(path))
    else:
        zel_sim.reset()


try:
    _start()
except Exception as exc:  # a broken scenario must not take the interpreter down
    print(f"zel_sim: platform simulator not ready: {exc!r}", file=sys.stderr)
