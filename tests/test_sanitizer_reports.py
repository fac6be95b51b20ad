"""Under the sanitizers (`make sanitize`), a fault that ends the run shows
the sanitizer's report and names the test that was running, although the
test's standard error is captured and ends with the process."""

import os
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent

pytestmark = pytest.mark.skipif("libasan" not in os.environ.get("LD_PRELOAD", ""),
                                reason="a sanitizer's report needs the sanitizer build")

FAULTS = """
import ctypes


def test_writes_past_its_buffer():
    buffer = ctypes.create_string_buffer(64)
    ctypes.memmove(buffer, b"x" * 128, 128)


class SourceLocation(ctypes.Structure):
    _fields_ = [("file", ctypes.c_char_p), ("line", ctypes.c_uint32),
                ("column", ctypes.c_uint32)]


def test_reaches_undefined_behaviour():
    where = SourceLocation(b"planted.cpp", 7, 3)
    ctypes.CDLL(None).__ubsan_handle_builtin_unreachable(ctypes.byref(where))
"""


@pytest.mark.parametrize("test, report", [
    ("test_writes_past_its_buffer", "ERROR: AddressSanitizer: heap-buffer-overflow"),
    ("test_reaches_undefined_behaviour",
     "planted.cpp:7:3: runtime error: execution reached an unreachable program point"),
], ids=["address", "undefined behaviour"])
def test_the_report_and_the_running_test_reach_the_terminal(pytester, test, report):
    pytester.makeconftest((ROOT / "conftest.py").read_text())
    pytester.makepyfile(test_faults=FAULTS)
    result = pytester.runpytest_subprocess("-p", "no:cacheprovider", f"test_faults.py::{test}",
                                           timeout=120)
    assert result.ret != 0
    assert report in result.stderr.str()
    assert 'test_faults.py", line' in result.stderr.str()
    assert any(line.endswith(f" in {test}") for line in result.errlines)
