"""The benchmark's ctypes baseline gives what the module gives, for every
benchmarked call it has a reference for, so `make bench` never times a
baseline that does something else. No timing here."""

import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from bench import ctypes_baseline, timing, workload  # noqa: E402


@pytest.fixture
def work(zu):
    with workload.Workload(zu, ctypes_baseline) as w:
        yield w


@pytest.mark.parametrize("case", [case for case in workload.CASES
                                  if hasattr(ctypes_baseline, case.function)],
                         ids=lambda case: case.name)
def test_baseline_agrees_with_the_module(zu, work, case):
    mine = getattr(zu, case.function)
    theirs = getattr(ctypes_baseline, case.function)
    assert workload.disagreement(work, case, mine, theirs) is None


def test_the_private_result_directory_takes_the_files(zu, work):
    """The benchmark never creates result files in the real /tmp."""
    number = zu.get_safe_r_file()
    assert os.path.exists(work.tmp.result_file(number))
    os.unlink(work.tmp.result_file(number))


def test_the_workload_is_undone(zu):
    before = vars(zu).copy()
    with workload.Workload(zu, ctypes_baseline):
        assert zu.sleep is float
    assert vars(zu) == before


@pytest.mark.parametrize("nargs", sorted(workload.FLOORS))
def test_the_timed_loops_call_as_often_as_they_say(nargs):
    seen = []
    loop = timing.Loop(lambda *args: seen.append(args), workload.FLOORS[nargs][2])
    loop.run(3)
    assert seen == [workload.FLOORS[nargs][2]] * (3 * timing.UNROLL)
