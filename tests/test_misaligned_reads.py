"""On 32-bit ARM a `double` or 64-bit load from an address that is not a
multiple of 4 faults (SIGBUS), as on the device. `make test-arm` runs the
suite under an emulation of it; these reads through a cast show that the
emulation faults too, so that a green run there also shows that the paths
the suite takes make no such read. scripts/test-arm compiles them
(misaligned_read.c) and names the library in ZEL_MISALIGNED_READ."""

import os
import platform
import signal
import struct
import subprocess
import sys
import textwrap

import pytest

pytestmark = pytest.mark.skipif(
    not platform.machine().startswith("armv7"),
    reason="only 32-bit ARM faults on these reads; make test-arm runs them")

# What a child process prints of a read at an offset from an 8-aligned block.
READ = """
import ctypes, sys
library = ctypes.CDLL(sys.argv[1])
read = getattr(library, sys.argv[2])
read.restype = {"read_double": ctypes.c_double, "read_uint64": ctypes.c_uint64}[sys.argv[2]]
read.argtypes = [ctypes.c_void_p]
block = (ctypes.c_uint64 * 3)()
offset = int(sys.argv[3])
ctypes.memmove(ctypes.addressof(block) + offset, bytes.fromhex(sys.argv[4]), 8)
print(read(ctypes.addressof(block) + offset))
"""

VALUES = {"read_double": (struct.pack("<d", 1.5), "1.5"),
          "read_uint64": (struct.pack("<Q", 0x0102030405060708), str(0x0102030405060708))}


def read_in_child(function, offset):
    library = os.environ.get("ZEL_MISALIGNED_READ")
    assert library and os.path.exists(library), \
        "ZEL_MISALIGNED_READ names no library of misaligned_read.c: run through make test-arm"
    data, _ = VALUES[function]
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(READ), library, function, str(offset), data.hex()],
        capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("function", sorted(VALUES))
def test_a_misaligned_read_through_a_cast_faults(function):
    aligned = read_in_child(function, 4)
    assert (aligned.returncode, aligned.stdout.strip()) == (0, VALUES[function][1]), aligned.stderr
    misaligned = read_in_child(function, 1)
    assert misaligned.returncode == -signal.SIGBUS, (misaligned.returncode, misaligned.stderr)
