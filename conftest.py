"""Settings of the whole test run (tests/ and sim/tests/).

In CI, Hypothesis draws the same examples on every run, so that a red run
names a fault the next run reproduces and a green one does not depend on
luck; developers' runs keep drawing new examples and keep what they find in
.hypothesis/.

Where the platform's `long` is 32 bits wide, as on the device (`make
test-32`, `make test-arm`), the tests that cannot apply there are skipped
with their reason: NOT_ON_32_BITS is the one list of them. Under proot, which
runs the suite on emulated ARM (`make test-arm`), the tests that need what
proot or qemu-arm cannot do are skipped with theirs: NOT_UNDER_PROOT.

Under the sanitizers (`make sanitize`), a report goes to the terminal, not
to the running test's captured standard error, which would vanish with the
process the report ends; faulthandler then names the test in the traceback
of the abort that follows."""

import ctypes
import errno
import os
import re
import struct
import tempfile

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


# Test ids that need what proot 5.1, or the qemu-arm it runs every program
# through, cannot do, each with the reason why.
NOT_UNDER_PROOT = {
    "sim/tests/test_scenario_checks.py::test_what_check_accepts_loading_applies":
        "it loads port names of 255 bytes, which become counter file names, and proot "
        "refuses a path component of 255 bytes (ENAMETOOLONG)",
    "sim/tests/test_failures_inside.py::test_a_stand_in_out_of_memory_raises_memory_error":
        "it limits the address space with RLIMIT_AS, which qemu-arm accepts and ignores "
        "(it would limit qemu's own allocations): the copy that must fail succeeds",
}


def _names_of_255_bytes_refused():
    """Whether a file name of 255 bytes, which Linux allows, is refused:
    proot 5.1 refuses it."""
    with tempfile.TemporaryDirectory() as folder:
        try:
            open(os.path.join(folder, "n" * 255), "w").close()
        except OSError as error:
            if error.errno == errno.ENAMETOOLONG:
                return True
            raise
    return False


def pytest_collection_modifyitems(config, items):
    skips = []
    if LONG_BITS == 32:
        skips.append(("not on 32 bits", NOT_ON_32_BITS))
    if _names_of_255_bytes_refused():
        skips.append(("not under proot", NOT_UNDER_PROOT))
    for item in items:
        for label, reasons in skips:
            reason = reasons.get(item.nodeid)
            if reason is not None:
                item.add_marker(pytest.mark.skip(reason=f"{label}: {reason}"))
