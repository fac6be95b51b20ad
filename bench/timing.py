"""Timed loops, shared by the timing run and the instruction-count driver.

A loop calls one function UNROLL times per iteration with its arguments held
in locals, so the loop's own cost is a small part of each call; that part is
measured with an empty loop and subtracted.
"""

import gc
import itertools
import statistics
import time

UNROLL = 10

_TEMPLATE = """
def loop(n, f, args, remove, path, clock, repeat):
    {unpack}
    it = repeat(None, n)
    t0 = clock()
    for _ in it:
        {body}
    return clock() - t0
"""


def _make_loop(nargs, cleanup, empty=False):
    names = [f"a{i}" for i in range(nargs)]
    unpack = f"{', '.join(names)}, = args" if names else "pass"
    call = "pass" if empty else f"f({', '.join(names)})"
    if cleanup:
        call += "; remove(path)"
    namespace = {}
    exec(_TEMPLATE.format(unpack=unpack, body="; ".join([call] * UNROLL)), namespace)
    return namespace["loop"]


class Loop:
    """`function(*args)` in a loop; with `cleanup`, each call is followed by
    the removal of `path` (a file the call creates)."""

    def __init__(self, function, args=(), cleanup=None, empty=False):
        self.function = function
        self.args = tuple(args)
        self.remove, self.path = (cleanup or (None, None))
        self._loop = _make_loop(len(self.args), cleanup is not None, empty)

    def run(self, iterations):
        """Nanoseconds for iterations * UNROLL calls."""
        return self._loop(iterations, self.function, self.args, self.remove, self.path,
                          time.perf_counter_ns, itertools.repeat)

    def calibrate(self, budget_ns):
        """Iterations that take at least budget_ns."""
        iterations = 1
        while True:
            elapsed = self.run(iterations)
            if elapsed >= budget_ns or iterations >= 1 << 24:
                return iterations
            iterations = max(iterations * 2, int(iterations * budget_ns / max(elapsed, 1) * 1.1))


class gc_paused:
    """The cycle collector off while measuring, as timeit does."""

    def __enter__(self):
        self.enabled = gc.isenabled()
        gc.disable()

    def __exit__(self, *exc):
        if self.enabled:
            gc.enable()


def loop_overhead(budget_ns, rounds):
    """Nanoseconds of loop per call: an iteration with the calls left out."""
    empty = Loop(None, empty=True)
    iterations = empty.calibrate(budget_ns)
    return statistics.median(empty.run(iterations) / (iterations * UNROLL) for _ in range(rounds))


def compare(loops, budget_ns, rounds, overhead):
    """Median nanoseconds per call of each named loop; the loops take turns
    round by round, so a slow moment of the machine hits all of them."""
    iterations = {name: loop.calibrate(budget_ns) for name, loop in loops.items()}
    samples = {name: [] for name in loops}
    for _ in range(rounds):
        for name, loop in loops.items():
            n = iterations[name]
            samples[name].append(loop.run(n) / (n * UNROLL) - overhead)
    return {name: statistics.median(values) for name, values in samples.items()}
