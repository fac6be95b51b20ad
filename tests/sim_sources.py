"""The simulator's platform sources as the tests name them: beside the
control calls, one file per subsystem defines its platform functions (the
engine they share has a folder of its own)."""

import pathlib

SIM_PLATFORM = pathlib.Path(__file__).resolve().parent.parent / "sim" / "platform"

# The files of sim/platform/ that define no platform function: the zelsim_*
# control calls, and the boundary every exported function passes.
SHARED = {"control.cpp", "guard.cpp"}


def subsystem_files():
    """The names of the subsystem files, sorted."""
    return [p.name for p in sorted(SIM_PLATFORM.glob("*.cpp")) if p.name not in SHARED]
