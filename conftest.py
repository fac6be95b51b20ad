"""Settings of the whole test run (tests/ and sim/tests/).

In CI, Hypothesis draws the same examples on every run, so that a red run
names a fault the next run reproduces and a green one does not depend on
luck; developers' runs keep drawing new examples and keep what they find in
.hypothesis/.

Where the platform's `long` is 32 bits wide, as on the device (`make
test-32`), the tests that cannot apply there are skipped with their reason:
NOT_ON_32_BITS is the one list of them."""

import os
import struct

import pytest
from hypothesis import settings

settings.register_profile("ci", derandomize=True, print_blob=True)
if os.environ.get("CI"):
    settings.load_profile("ci")


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
