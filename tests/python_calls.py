"""Which Python-level functions run during a call: the module's direct paths
must run none. They exist only in a build with the speed layer
(ZEL_SHORTCUTS, which `make test SHORTCUTS=0` sets to OFF for the tests as
for the build); in the other, every call takes the plain path, and tests of
the direct paths are skipped with `direct_paths`."""

import os
import sys

import pytest

SHORTCUTS = os.environ.get("ZEL_SHORTCUTS", "ON") != "OFF"

direct_paths = pytest.mark.skipif(
    not SHORTCUTS, reason="built without the speed layer (ZEL_SHORTCUTS=OFF): no direct path")


def python_calls(action, codes=None):
    """The result of `action` and the names of the Python-level functions
    that ran during it, those of the calling test file aside (their code
    objects into `codes` when given)."""
    caller = sys._getframe(1).f_code.co_filename
    seen = []

    def profile(frame, event, arg):
        if event == "call" and frame.f_code.co_filename not in (caller, __file__):
            seen.append(frame.f_code.co_name)
            if codes is not None:
                codes.append(frame.f_code)

    sys.setprofile(profile)
    try:
        result = action()
    finally:
        sys.setprofile(None)
    return result, seen
