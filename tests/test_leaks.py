"""No call leaves anything behind: every representative call, repeated
thousands of times after a warm-up, keeps the interpreter's allocated blocks
and the process's memory flat."""

import gc
import os
import sys

import pytest

from calls import CASES

# Enough repetitions that one object leaked per call stands far above noise.
WARMUP = 300
REPEAT = int(os.environ.get("ZEL_LEAK_REPEAT", "3000"))


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run(call, zu, times):
    for _ in range(times):
        call(zu)


def blocks_after(call, zu, times):
    run(call, zu, times)
    gc.collect()
    return sys.getallocatedblocks()


@pytest.fixture
def case_env(zu, zel_sim, tmp_path):
    cleanups = []

    def prepare(setup):
        undo = setup(zu, zel_sim, tmp_path)
        if undo is not None:
            cleanups.append(undo)

    yield prepare
    for undo in cleanups:
        undo()


@pytest.mark.parametrize("name, setup, call", CASES, ids=[c[0] for c in CASES])
def test_no_leak_per_call(case_env, zu, name, setup, call):
    case_env(setup)
    before = blocks_after(call, zu, WARMUP)
    after = blocks_after(call, zu, REPEAT)
    # A leak of one block per call would add REPEAT blocks.
    assert after - before < REPEAT // 10, f"{name}: {after - before} blocks per {REPEAT} calls"


@pytest.mark.skipif(os.environ.get("PYTHONMALLOC") == "malloc",
                    reason="under the sanitizers freed memory is held in quarantine")
def test_memory_flat_over_the_whole_table(zu, zel_sim, tmp_path):
    """Every case in turn, three rounds: the third round adds no memory."""

    def one_round():
        for name, setup, call in CASES:
            zel_sim.reset()
            saved = dict(vars(zu))
            undo = setup(zu, zel_sim, tmp_path)
            try:
                run(call, zu, REPEAT // 10)
            finally:
                if undo is not None:
                    undo()
                vars(zu).clear()
                vars(zu).update(saved)
        gc.collect()
        return resident_bytes(), sys.getallocatedblocks()

    one_round()
    rss_warm, blocks_warm = one_round()
    rss_end, blocks_end = one_round()
    assert rss_end - rss_warm < 1 << 20
    assert blocks_end - blocks_warm < 1000
