"""The scenario this process starts with, applied once per process when the
control package is first imported (directly, or by the start-up hook before
zel.zel_util loads)."""

from __future__ import annotations

import os
import sys

from . import _lib


# The interpreter's options that take a value (3.12, 3.13): a short one in
# the rest of its argument or the next argument, a long one in the next.
# Every other option takes none.
_SHORT_WITH_VALUE = "cmWX"
_LONG_WITH_VALUE = ("--check-hash-based-pycs",)


def module_run(argv: list[str]) -> str | None:
    """The module a command line `python ... -m MODULE ...` runs, read as the
    interpreter reads its options: alone or combined (-I -m, -Im, -Ibm), with
    the value attached or next (-mzel_sim, -m zel_sim, -Wignore, -X dev).
    None when it runs code (-c), a file, standard input or nothing: the
    first argument that is no option ends the options."""
    args = iter(argv[1:])
    for arg in args:
        if arg in ("-", "--") or not arg.startswith("-"):
            return None
        if arg.startswith("--"):
            if arg in _LONG_WITH_VALUE:
                next(args, None)
            continue
        for at, option in enumerate(arg[1:], 2):
            if option in _SHORT_WITH_VALUE:
                value = arg[at:] or next(args, None)
                if option in "cm":
                    return value if option == "m" else None
                break
    return None


def _running_the_cli() -> bool:
    """python -m zel_sim: the command checks and shows scenarios itself, and
    must work while ZEL_SIM_SCENARIO names a broken one; its snapshot must
    not put the simulator into a switch's own process. It loads the library
    where it needs it."""
    return module_run(sys.orig_argv) in ("zel_sim", "zel_sim.__main__")


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
