"""Imported by zel_sim.pth at interpreter start; kept tiny, since every
interpreter of the environment runs it.

It only puts a finder in front of sys.meta_path (at start, before any other
thread runs). The first time anything imports zel.zel_util, the finder
imports the control package zel_sim first: that loads the simulated
platform library into the global symbol scope (so the module's platform
symbols resolve as on the device) and applies the scenario this process
starts with. A scenario that cannot be used makes
that import fail with zel_sim.ScenarioError, and every later attempt too.
Importing zel_sim directly does the same. Nothing else is loaded: ctypes,
the library and the scenario code stay out of processes that never import
either.

A relative ZEL_SIM_SCENARIO names a file from the directory the process
starts in: it is made absolute here, in the environment, so that the
process reads that file after a change of directory (a daemon's, a test's)
and so do the workers it starts, which inherit the environment.

ZEL_SIM_PRELOAD=0 leaves the finder out (builds run that way, so that an
instrumented simulator never loads into pip or the compilers). An
interpreter that cannot load ctypes (an isolated sub-interpreter) is left
alone: the library is in the process already.

pytest leaves this module's assertions alone (PYTEST_DONT_REWRITE): the
distribution carries a pytest plugin, and pytest would otherwise warn that
the module, imported before it starts, cannot be rewritten.
"""

import os
import sys


class ZelSimStartHook:
    """Meta path finder that finds nothing: it only runs the simulator's
    start before zel.zel_util is looked for, then does nothing more. It
    stays in sys.meta_path: taking it out would change the list while other
    threads may be walking it for their imports, and make them skip the
    finder after this one."""

    _busy = False
    _done = False

    @classmethod
    def find_spec(cls, name, path=None, target=None):
        if name != "zel.zel_util" or cls._busy or cls._done:
            return None
        cls._busy = True
        try:
            import zel_sim  # noqa: F401
        except ImportError as error:
            if (error.name or "").lstrip("_") != "ctypes":
                raise
        finally:
            cls._busy = False
        cls._done = True
        return None


def absolute_scenario_path() -> None:
    path = os.environ.get("ZEL_SIM_SCENARIO")
    if not path or os.path.isabs(path):
        return
    try:
        # Joined, not normalised: "a/../b" means what the file system says.
        os.environ["ZEL_SIM_SCENARIO"] = os.path.join(os.getcwd(), path)
    except OSError:
        pass  # no current directory: left as given, and refused naming it


absolute_scenario_path()
if os.environ.get("ZEL_SIM_PRELOAD") != "0":
    sys.meta_path.insert(0, ZelSimStartHook)
