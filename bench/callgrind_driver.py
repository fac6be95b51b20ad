"""Runs the benchmark loops under `valgrind --tool=callgrind` for instruction
counts.

    valgrind --tool=callgrind --dump-before=os_getppid \\
        python -m bench.callgrind_driver PLAN.json

The plan is a JSON list of entries {"case": name or null, "variant":
"module" | "baseline" | "result" | "floor" | "overhead", "nargs": n,
"iterations": N, "settle": true | false}; a "result" entry (the case's
result floor) also carries "result_floor": {"kind": "marshal" | "datetime",
"data": hex of the bytes the timing run measured}.

The driver first fills the simulator's call log. For each entry it warms
the loop up (with "settle", until the log holds only calls of this loop, so
that each call drops one of its own kind, as in a long run), then calls
`os.getppid` (the marker: callgrind writes a dump of the counts so far
before each marker call), runs N iterations, marks, runs 2N iterations and
marks again. So entry k owns dumps 3k+2 (N iterations) and 3k+3 (2N
iterations); their difference is the cost of N iterations with the
interpreter's start-up, the set-up and the warm-up cancelled out.
"""

import json
import os
import sys
import warnings

warnings.filterwarnings("ignore", message="`pyramid.compat` is deprecated",
                        category=DeprecationWarning)

import zel.zel_util as module  # noqa: E402
import zel_sim  # noqa: E402

from bench import ctypes_baseline as baseline  # noqa: E402
from bench import timing, workload  # noqa: E402

MARKS_PER_ENTRY = 3


def make_loop(entry, work, cases):
    variant = entry["variant"]
    if variant == "overhead":
        return timing.Loop(None, empty=True)
    if variant == "floor":
        return workload.floor_loop(entry["nargs"])
    if variant == "result":
        floor = entry["result_floor"]
        return workload.result_floor_loop(
            workload.ResultFloor(floor["kind"], bytes.fromhex(floor["data"])))
    case = cases[entry["case"]]
    if case.prepare:
        case.prepare()
    source = module if variant == "module" else baseline
    return workload.case_loop(work, case, getattr(source, case.function))


def warm_up(loop, iterations, log_size, settle):
    """A quarter of the iterations; with `settle`, more until the loop has
    made as many platform calls as the simulator's log keeps (if it makes
    any)."""
    before = zel_sim.total_calls()
    done = max(1, iterations // 4)
    loop.run(done)
    made = zel_sim.total_calls() - before
    if settle and 0 < made < log_size:
        loop.run(-(-(log_size - made) * done // made))


def main(plan_path):
    with open(plan_path) as f:
        plan = json.load(f)
    cases = {case.name: case for case in workload.CASES}
    mark = os.getppid
    with workload.Workload(module, baseline) as work, timing.gc_paused():
        log_size = workload.fill_call_log()  # nothing here empties it again
        for entry in plan:
            loop = make_loop(entry, work, cases)
            iterations = entry["iterations"]
            warm_up(loop, iterations, log_size, entry.get("settle", False))
            mark()
            loop.run(iterations)
            mark()
            loop.run(2 * iterations)
            mark()


if __name__ == "__main__":
    main(sys.argv[1])
