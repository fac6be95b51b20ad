"""No call leaves anything behind: every representative call, repeated
thousands of times after a warm-up, keeps the interpreter's allocated blocks
and the process's memory flat.

Under the sanitizers (`make sanitize`), PYTHONMALLOC=malloc leaves the
interpreter no blocks of its own to count: there the sanitizer's allocator,
which then serves every object, the module's records and the simulator,
counts the bytes the process holds instead."""

import ctypes
import gc
import os
import sys

import pytest

from calls import CASES

# Enough repetitions that one object leaked per call stands far above noise.
REPEAT = int(os.environ.get("ZEL_LEAK_REPEAT", "3000"))


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run(call, zu, times):
    for _ in range(times):
        call(zu)


def sanitizer_allocated_bytes():
    """The sanitizer allocator's count of the bytes allocated and not freed
    (freed blocks it holds in quarantine not included), None without one."""
    count = getattr(ctypes.CDLL(None), "__sanitizer_get_current_allocated_bytes", None)
    if count is not None:
        count.restype = ctypes.c_size_t
    return count


ALLOCATED_BYTES = sanitizer_allocated_bytes()
# What one block leaked per call adds at least: a block, or the smallest
# object's bytes.
LEAST_LEAK = 16 if ALLOCATED_BYTES else 1
# The allocator also counts what grows to a bound as calls go on (the
# simulator's call log, the interpreter's caches): a warm-up as long as the
# measured run brings it there first.
WARMUP = REPEAT if ALLOCATED_BYTES else 300


def held_after(call, zu, zel_sim, times):
    run(call, zu, times)
    zel_sim.clear_calls()  # the simulator's call log grows to its bound
    gc.collect()
    return ALLOCATED_BYTES() if ALLOCATED_BYTES else sys.getallocatedblocks()


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
def test_no_leak_per_call(case_env, zu, zel_sim, name, setup, call):
    case_env(setup)
    before = held_after(call, zu, zel_sim, WARMUP)
    after = held_after(call, zu, zel_sim, REPEAT)
    # A leak of one block per call would add REPEAT blocks, or REPEAT times 16 bytes.
    unit = "bytes" if ALLOCATED_BYTES else "blocks"
    assert after - before < REPEAT // 10 * LEAST_LEAK, \
        f"{name}: {after - before} {unit} per {REPEAT} calls"


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
