"""The scenario this process starts with, applied once per process when the
control package is first imported (directly, or by the start-up hook before
zel.zel_util loads)."""

from __future__ import annotations

import os
import sys

from . import _lib


def _running_the_cli() -> bool:
    """python -m zel_sim: the command checks and shows scenarios itself, and
    must work while ZEL_SIM_SCENARIO names a broken one; its snapshot must
    not put the simulator into a switch's own process. It loads the library
    where it needs it."""
    argv = sys.orig_argv
    return any(a == "-m" and argv[i + 1:i + 2] in (["zel_sim"], ["zel_sim.__main__"])
               for i, a in enumerate(argv))


def apply_start_scenario() -> None:
    """Loads the library and applies the start scenario, unless another
    interpreter of this process did."""
    if not _lib.lib.zelsim_claim_startup():
        return  # another interpreter of this process did it
    import zel_sim

    try:
        zel_sim.load_start_scenario()
    except BaseException:
        # Not applied: the next import tries again, and fails again.
        _lib.lib.zelsim_release_startup()
        raise


def run_once() -> None:
    if _running_the_cli():
        return
    _lib.load()
    if os.environ.get("ZEL_SIM_PRELOAD") == "0":
        return
    apply_start_scenario()
