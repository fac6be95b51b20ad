"""Settings of the whole test run (tests/ and sim/tests/).

In CI, Hypothesis draws the same examples on every run, so that a red run
names a fault the next run reproduces and a green one does not depend on
luck; developers' runs keep drawing new examples and keep what they find in
.hypothesis/.

Where the platform's `long` is 32 bits wide, as on the device (`make
test-32`), the tests that cannot apply there are skipped with their reason:
NOT_ON_32_BITS is the one list of them.

Under the sanitizers (`make sanitize`), a report goes to the terminal, not
to the running test's captured standard error, which would vanish with the
process the report ends; faulthandler then names the test in the traceback
of the abort that follows."""

import ctypes
import os
import re
import struct

import pytest
from hypothesis import settings

settings.register_profile("ci", derandomize=True, print_blob=True)
if os.environ.get("CI"):
    settings.load_profile("ci")


def _sanitizer_report_setters():
    """__sanitizer_set_report_fd of each sanitizer runtime preloaded."""
    libraries = [ctypes.CDLL(path) for path in re.split(r"[ :]", os.environ.get("LD_PRELOAD", ""))
                 if path]
    return [lib.__sanitizer_set_report_fd for lib in libraries
            if hasattr(lib, "__sanitizer_set_report_fd")]


def pytest_configure(config):
    setters = _sanitizer_report_setters()
    for set_report_fd in setters:
        # Capture is suspended while plugins are configured: fd 2 is the
        # terminal. Each runtime gets a descriptor of its own, which it may
        # close as its own.
        set_report_fd(ctypes.c_void_p(os.dup(2)))
    if setters:
        # A forked child reports on its own standard error, as before.
        os.register_at_fork(after_in_child=lambda: [s(ctypes.c_void_p(2)) for s in setters])


LONG_BITS = struct.calcsize("l") * 8

# Test ids (relative to the repository) that cannot apply with a 32-bit
# `long`, each with the reason why.
NOT_ON_32_BITS = {
    "tests/test_config_queries.py::TestLastBackup::test_out_of_range_time_propagates":
        "the backup time is a `long`, and every 32-bit time (1901 to 2038) is one a "
        "datetime holds: the platform cannot report a time out of range",
}


def pytest_collection_modifyitems(config, items):
    if LONG_BITS != 32:
        return
    for item in items:
        reason = NOT_ON_32_BITS.get(item.nodeid)
        if reason is not None:
            item.add_marker(pytest.mark.skip(reason=f"not on 32 bits: {reason}"))
