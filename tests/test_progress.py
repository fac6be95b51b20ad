"""The progress lines of `make test` (tests/progress.py), in a child run."""

import re

ARGS = ("-q", "-p", "progress", "-o", "console_output_style=classic")


def test_a_line_per_file_says_how_far_the_run_is_and_what_the_file_gave(pytester):
    pytester.makepyfile(
        test_a="def test_one(): pass\ndef test_two(): pass\n",
        test_c="def test_one(): pass\n",
        test_b="import pytest\ndef test_one(): assert False\n"
               "@pytest.mark.skip\ndef test_two(): pass\ndef test_three(): pass\n")
    lines = pytester.runpytest(*ARGS).stdout.lines
    assert re.fullmatch(r"==> 6 tests in 3 files, collected in \d+:\d\d", lines[0]), lines
    assert re.fullmatch(r"\[  0% +\d+:\d\d\] test_a\.py \(2 tests\) 2 passed in \d+\.\d s",
                        lines[1]), lines
    assert re.fullmatch(r"\[ 33% +\d+:\d\d\] test_b\.py \(3 tests\) Fs 1 failed, 1 passed, "
                        r"1 skipped in \d+\.\d s", lines[2]), lines
    assert re.fullmatch(r"\[ 83% +\d+:\d\d\] test_c\.py \(1 test\) 1 passed in \d+\.\d s",
                        lines[3]), lines
    assert not [line for line in lines if line and set(line) <= {".", " "}]
