"""Benchmark of every function of zel.zel_util against the simulator.

    python -m bench.run [--quick] [--check] [--no-callgrind] [--json PATH]

For each function (see bench/workload.py for the inputs) it reports, in one
run:
- nanoseconds per call: the median of repeated timed loops;
- x floor: the time over that of a do-nothing builtin of the interpreter
  with the same number of arguments;
- x result floor: the time over that of the interpreter's own creation and
  freeing of an equal result (`marshal.loads` of the result's bytes), for
  every function that builds a result;
- x faster: the time of the ctypes implementation in bench/ctypes_baseline.py
  over the module's (checked first to give the same result);
- instructions per call under callgrind, with the same ratios.
It writes the figures to bench/results.json and prints the table that
`python -m bench.table` puts into bench/README.md. Exit status: 2 when a
baseline disagrees with the module (its figures would mean nothing); 1 with
--check when a target is missed.
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import warnings

warnings.filterwarnings("ignore", message="`pyramid.compat` is deprecated",
                        category=DeprecationWarning)

import zel.zel_util as module  # noqa: E402
import zel_sim  # noqa: E402

from bench import ctypes_baseline as baseline  # noqa: E402
from bench import table, timing, workload  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = "os_getppid"  # the C function of os.getppid(), see callgrind_driver
PLATFORM_LIBRARY = os.path.basename(zel_sim.LIBRARY)


class Settings:
    def __init__(self, quick):
        self.rounds = 3 if quick else 11
        self.budget_ns = 2_000_000 if quick else 20_000_000   # per timed loop
        self.callgrind_ns = 300_000 if quick else 3_000_000   # native time per N iterations
        # Under callgrind, warm each loop up until the simulator's call log
        # holds only its calls (bench/callgrind_driver.py): minutes, so not
        # in a quick run, whose counts of platform calls may then differ.
        self.settle = not quick


# ---- timing ----------------------------------------------------------------------------


def time_cases(settings, work, log):
    """Rows for every case, timed, and the result floors by case;
    disagreeing cases are marked and not timed."""
    overhead = timing.loop_overhead(settings.budget_ns, settings.rounds)
    rows, floors = {}, {}
    for case in workload.CASES:
        row = rows[case.name] = {"name": case.name, "function": case.function, "nargs": case.nargs,
                                 "target": case.target, "limit": case.limit}
        mine = getattr(module, case.function)  # a missing function is an error
        # The ctypes reference is optional: without one, no "x faster".
        reference = getattr(baseline, case.function, None)
        try:
            problem = reference and workload.disagreement(work, case, mine, reference)
        except Exception as exc:  # the call itself failed: report it, measure the rest
            problem = f"{type(exc).__name__}: {exc}"
        if problem:
            row["status"] = f"baseline disagrees: {problem}"
            continue
        floor = workload.result_floor(work, case, mine)
        if case.prepare:
            case.prepare()
        workload.fill_call_log()  # the checks above emptied it
        loops = {"module": workload.case_loop(work, case, mine),
                 "floor": workload.floor_loop(case.nargs)}
        if reference:
            loops["baseline"] = workload.case_loop(work, case, reference)
        if floor is not None:
            loops["result"] = workload.result_floor_loop(floor)
            floors[case.name] = floor
            row["result_floor"] = {"kind": floor.kind, "bytes": len(floor.data)}
        ns = timing.compare(loops, settings.budget_ns, settings.rounds, overhead)
        row.update(status="ok", ns=ns["module"], baseline_ns=ns.get("baseline"),
                   floor_ns=ns["floor"], result_ns=ns.get("result"))
        log(f"  {case.name:34} {ns['module']:12.1f} ns")
    return rows, floors, overhead


# ---- instruction counts ------------------------------------------------------------------


def callgrind_plan(rows, floors, settings):
    def iterations(ns):
        return max(2, min(5000, int(settings.callgrind_ns / (ns * timing.UNROLL))))

    plan = [{"case": None, "variant": "overhead", "nargs": 0, "iterations": 5000,
             "settle": settings.settle}]
    for nargs in sorted(workload.FLOORS):
        plan.append({"case": None, "variant": "floor", "nargs": nargs, "iterations": 5000})
    for row in rows.values():
        if row["status"] == "ok":
            for variant, key in (("module", "ns"), ("baseline", "baseline_ns"),
                                 ("result", "result_ns")):
                if row.get(key) is None:
                    continue
                entry = {"case": row["name"], "variant": variant, "nargs": row["nargs"],
                         "iterations": iterations(max(row[key], 1.0)),
                         "settle": settings.settle}
                if variant == "result":
                    floor = floors[row["name"]]
                    entry["result_floor"] = {"kind": floor.kind, "data": floor.data.hex()}
                plan.append(entry)
    return plan


def _counts(path):
    """Total instructions of a callgrind dump (written with
    --compress-strings=no), and the instructions spent in calls from the
    module's object into the platform library: the simulator's share, which
    the device's libraries replace."""
    total, in_platform = None, 0
    obj = callee = None
    in_call = False
    with open(path) as f:
        for line in f:
            if line.startswith(("totals:", "summary:")):
                total = int(line.split()[1])
            elif line.startswith("ob="):
                obj = os.path.basename(line[3:].strip())
            elif line.startswith("cob="):
                callee = os.path.basename(line[4:].strip())
            elif line.startswith("calls="):
                in_call = True
            elif in_call and (line[:1].isdigit() or line[:1] in "+-*"):
                if obj.startswith("zel_util.") and callee == PLATFORM_LIBRARY:
                    in_platform += int(line.split()[1])
                in_call, callee = False, None
    if total is None:
        raise ValueError(f"no totals in {path}")
    return total, in_platform


def run_callgrind(plan, log):
    """Instructions per call of each plan entry, in plan order, and those
    of them spent in the platform library; None when callgrind is missing or
    its dumps cannot be matched to the entries."""
    valgrind = shutil.which("valgrind")
    if valgrind is None:
        log("valgrind not found: no instruction counts "
            "(scripts/install-system-packages installs it)")
        return None
    with tempfile.TemporaryDirectory(prefix="zel-callgrind-") as tmp:
        plan_path = os.path.join(tmp, "plan.json")
        with open(plan_path, "w") as f:
            json.dump(plan, f)
        out = os.path.join(tmp, "cg.out")
        command = [valgrind, "--tool=callgrind", f"--dump-before={MARKER}", "--dump-instr=no",
                   "--compress-strings=no", "--compress-pos=no", f"--callgrind-out-file={out}",
                   sys.executable, "-m", "bench.callgrind_driver", plan_path]
        proc = subprocess.run(command, capture_output=True, text=True,
                              cwd=os.path.dirname(HERE))
        if proc.returncode != 0:
            log(f"callgrind run failed ({proc.returncode}):\n{proc.stderr[-2000:]}")
            return None
        dumps = sorted((int(m.group(1)), name) for name in os.listdir(tmp)
                       if (m := re.fullmatch(r"cg\.out\.(\d+)", name)))
        if [n for n, _ in dumps] != list(range(1, 3 * len(plan) + 1)):
            log(f"callgrind wrote {len(dumps)} dumps for {len(plan)} entries: "
                f"no instruction counts (is {MARKER} known to valgrind?)")
            return None
        counts = [_counts(os.path.join(tmp, name)) for _, name in dumps]

    def per_call(k, which):
        calls = plan[k]["iterations"] * timing.UNROLL
        return (counts[3 * k + 2][which] - counts[3 * k + 1][which]) / calls

    return [(per_call(k, 0), per_call(k, 1)) for k in range(len(plan))]


def add_instructions(rows, plan, counts):
    overhead = counts[0][0]
    floors = {entry["nargs"]: count - overhead
              for entry, (count, _) in zip(plan, counts) if entry["variant"] == "floor"}
    for entry, (count, in_platform) in zip(plan, counts):
        if entry["case"] is None:
            continue
        row = rows[entry["case"]]
        key = {"module": "ir", "baseline": "baseline_ir", "result": "result_ir"}[entry["variant"]]
        row[key] = count - overhead
        if entry["variant"] == "module":
            row["platform_ir"] = in_platform
        row["floor_ir"] = floors[row["nargs"]]
    return overhead


# ---- figures -----------------------------------------------------------------------------


def _ratio(a, b):
    return a / b if a is not None and b else None


def per_hop_row(rows):
    name, long_trace, short_trace, extra_hops = workload.PER_HOP
    row = {"name": name, "function": "get_diagnostic_data", "nargs": 2, "target": "", "limit": 0.0}
    a, b = rows[long_trace], rows[short_trace]
    if a["status"] != "ok" or b["status"] != "ok":
        row["status"] = a["status"] if a["status"] != "ok" else b["status"]
        return row
    row["status"] = "ok"
    for key in ("ns", "baseline_ns", "result_ns", "ir", "baseline_ir", "result_ir",
                "platform_ir"):
        if a.get(key) is not None and b.get(key) is not None:
            row[key] = (a[key] - b[key]) / extra_hops
    return row


def finish(row, basis):
    """Ratios, and the verdict of the row's target on `basis` ("instructions"
    or "time")."""
    if row["status"] != "ok":
        return row
    row["floor"] = workload.FLOORS[row["nargs"]][0]
    row["x_floor"] = _ratio(row.get("ns"), row.get("floor_ns"))
    row["x_result"] = _ratio(row.get("ns"), row.get("result_ns"))
    row["x_faster"] = _ratio(row.get("baseline_ns"), row.get("ns"))
    # The simulator's own work (its lock, call log and record copies) stands
    # in for the device's closed library: the instruction ratios count what
    # the module spends outside it.
    module_ir = row.get("ir")
    if module_ir is not None:
        module_ir -= row.get("platform_ir") or 0
    row["ir_x_floor"] = _ratio(module_ir, row.get("floor_ir"))
    row["ir_x_result"] = _ratio(module_ir, row.get("result_ir"))
    row["ir_x_faster"] = _ratio(row.get("baseline_ir"), row.get("ir"))
    if row["target"]:
        ratio = ("ir_" if basis == "instructions" else "") + f"x_{row['target']}"
        row["target_met"] = row[ratio] is not None and row[ratio] <= row["limit"]
    return row


def notes(overhead_ns, overhead_ir, basis):
    floors = "; ".join(f"{n} argument{'s' if n != 1 else ''}: {text}"
                       for n, (text, _, _) in sorted(workload.FLOORS.items()))
    ir = f", {overhead_ir:.0f} instructions" if overhead_ir is not None else ""
    return "\n".join([
        f"floor = {floors}.",
        "result floor = marshal.loads of the result's bytes (get_last_backup: datetime(state)).",
        "x = module / floor; x faster = ctypes baseline / module (bench/ctypes_baseline.py).",
        f"Verdicts on {basis}.",
        f"Loop overhead subtracted from every figure: {overhead_ns:.2f} ns{ir} per call.",
        f"get_diagnostic_data[N]: an N-hop trace, pause patched out; per hop = "
        f"([{workload.TRACE_HOPS}] - [1]) / {workload.PER_HOP[3]}.",
        "get_safe_r_file: each call is followed by the removal of the file it created.",
    ])


# ---- main ----------------------------------------------------------------------------------


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer, shorter runs (smoke test)")
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--no-callgrind", action="store_true", help="skip instruction counts")
    parser.add_argument("--json", default=os.path.join(HERE, "results.json"))
    options = parser.parse_args(argv)
    quick = options.quick or os.environ.get("QUICK", "") not in ("", "0")
    settings = Settings(quick)

    def log(text):
        print(text, file=sys.stderr, flush=True)

    log(f"timing ({'quick' if quick else 'full'} run)...")
    with workload.Workload(module, baseline) as work, timing.gc_paused():
        rows, floors, overhead_ns = time_cases(settings, work, log)
    overhead_ir = None
    if not options.no_callgrind:
        plan = callgrind_plan(rows, floors, settings)
        log(f"instruction counts under callgrind ({len(plan)} loops)...")
        counts = run_callgrind(plan, log)
        if counts is not None:
            overhead_ir = add_instructions(rows, plan, counts)
    # Instruction counts decide when there are any: they do not move with the
    # load of the machine (bench/README.md, "Verdicts").
    basis = "instructions" if overhead_ir is not None else "time"
    results = [finish(row, basis) for row in rows.values()]
    hop = finish(per_hop_row(rows), basis)
    at = next(i for i, row in enumerate(results) if row["function"] == "get_diagnostic_data")
    results.insert(at + 2, hop)

    report = {
        "date": datetime.datetime.now().isoformat(timespec="seconds"),
        "python": sys.version.split()[0], "machine": platform.machine(),
        "cpus": os.cpu_count(), "quick": quick,
        "loop_overhead_ns": overhead_ns, "loop_overhead_ir": overhead_ir,
        "floors": {n: text for n, (text, _, _) in workload.FLOORS.items()},
        "verdict_basis": basis,
        "functions": results,
    }
    with open(options.json, "w") as f:
        json.dump(report, f, indent=1)
    print(table.render(report))
    print()
    print(notes(overhead_ns, overhead_ir, basis))
    print(f"Figures written to {os.path.relpath(options.json)}.")

    if any(row["status"].startswith("baseline disagrees") for row in results):
        return 2
    missed = [row["name"] for row in results if row.get("target_met") is False]
    if missed:
        print(f"Targets missed: {', '.join(missed)}")
    return 1 if options.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
