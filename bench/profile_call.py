"""Where the instructions of one benchmarked call go, under callgrind.

    python -m bench.profile_call get_cmdb_max_buff [--variant module] [--top 25]

Runs one loop of the benchmark (bench/callgrind_driver.py) under callgrind
with --dump-instr=no and prints, per call, the instructions spent in each
function itself (self) and in it and what it calls (inclusive), counted
over the measured interval only: the interpreter's start-up and the set-up
are in other dumps. The installed module and simulator are stripped; the
unstripped copies the build leaves behind (build/zel, sim/build/sim) are put
first on the path so that their functions have names.
"""

import argparse
import collections
import json
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile

import zel_sim

from bench import timing, workload
from bench.run import MARKER

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def symbol_path(tmp):
    """A directory to put first on PYTHONPATH: the unstripped module and
    simulator, when the build left them."""
    path = os.path.join(tmp, "path")
    module = os.path.join(ROOT, "build", "zel",
                          "zel_util" + sysconfig.get_config_var("EXT_SUFFIX"))
    library = os.path.join(ROOT, "sim", "build", "sim", "libzelplatform.so")
    os.makedirs(os.path.join(path, "zel"))
    if os.path.exists(module):
        shutil.copy(module, os.path.join(path, "zel"))
    else:
        print(f"note: {module} missing, the module's functions stay unnamed", file=sys.stderr)
    if os.path.exists(library):
        shutil.copytree(os.path.dirname(zel_sim.__file__), os.path.join(path, "zel_sim"),
                        ignore=shutil.ignore_patterns("__pycache__"))
        shutil.copy(library, os.path.join(path, "zel_sim"))
    return path


def parse(dump):
    """Self and inclusive instructions per function of a callgrind dump
    written with --compress-strings=no, and the calls between functions
    ((caller, callee) -> [calls, inclusive instructions])."""
    own, inclusive = collections.Counter(), collections.Counter()
    edges = collections.defaultdict(lambda: [0, 0])
    objects = {}
    obj = fn = callee = None
    count = None  # set by a calls= line: the next cost line is that call's
    with open(dump) as f:
        for line in f:
            if line.startswith("ob="):
                obj = line[3:].strip()
            elif line.startswith("fn="):
                fn = line[3:].strip()
                objects[fn] = os.path.basename(obj or "?")
            elif line.startswith("cfn="):
                callee = line[4:].strip()
            elif line.startswith("calls="):
                count = int(line[6:].split()[0])
            elif line[:1].isdigit() or line[:1] in "+-*":
                cost = int(line.split()[1])
                inclusive[fn] += cost
                if count is not None:
                    edges[fn, callee][0] += count
                    edges[fn, callee][1] += cost
                else:
                    own[fn] += cost
                count = None
    return own, inclusive, objects, edges


def main(argv=None):
    names = [case.name for case in workload.CASES]
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("case", choices=names, metavar="CASE", help=", ".join(names))
    parser.add_argument("--variant", choices=["module", "baseline", "floor"], default="module")
    parser.add_argument("--iterations", type=int, default=2000)
    parser.add_argument("--top", type=int, default=25)
    parser.add_argument("--calls", action="store_true", help="also list the calls between "
                        "functions, per benchmarked call")
    options = parser.parse_args(argv)
    case = next(c for c in workload.CASES if c.name == options.case)
    entry = {"case": case.name, "variant": options.variant, "nargs": case.nargs,
             "iterations": options.iterations, "settle": True}
    with tempfile.TemporaryDirectory(prefix="zel-profile-") as tmp:
        plan = os.path.join(tmp, "plan.json")
        with open(plan, "w") as f:
            json.dump([entry], f)
        out = os.path.join(tmp, "cg.out")
        env = dict(os.environ, PYTHONPATH=symbol_path(tmp))
        subprocess.run(["valgrind", "--tool=callgrind", f"--dump-before={MARKER}",
                        "--dump-instr=no", "--compress-strings=no", "--compress-pos=no",
                        f"--callgrind-out-file={out}", sys.executable, "-m",
                        "bench.callgrind_driver", plan], check=True, env=env, cwd=ROOT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        own, inclusive, objects, edges = parse(out + ".3")
    calls = 2 * options.iterations * timing.UNROLL
    total = sum(own.values())
    print(f"{case.name} ({options.variant}): {total / calls:.0f} instructions per call "
          f"(loop included), over {calls} calls")
    print(f"{'self':>8} {'incl':>8}  function [object]")
    for fn, cost in own.most_common(options.top):
        print(f"{cost / calls:8.1f} {inclusive[fn] / calls:8.1f}  {fn[:110]} [{objects[fn]}]")
    if options.calls:
        print(f"\n{'calls':>8} {'incl':>8}  caller -> callee")
        ranked = sorted(edges.items(), key=lambda item: -item[1][1])
        for (caller, callee), (count, cost) in [e for e in ranked if e[1][0]][:options.top * 2]:
            print(f"{count / calls:8.2f} {cost / calls:8.1f}  {caller[:60]} -> {callee[:60]}")


if __name__ == "__main__":
    main()
