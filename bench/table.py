"""The benchmark table, made from bench/results.json, in bench/README.md.

    python -m bench.table [--results PATH] [--check]

Rewrites the block between the two marker comments in bench/README.md (the
project's README links to it) with the table of the results file, so that
the figures shown are those of the file and never edited by hand. With
--check, only reports (exit 1) when the block is not the table of the
results file.
"""

import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
READMES = (os.path.join(HERE, "README.md"),)
RESULTS = os.path.join(HERE, "results.json")

BEGIN = "<!-- bench table: made by `python -m bench.table` from bench/results.json -->"
END = "<!-- end of bench table -->"

TARGET_NAMES = {"floor": "floor", "result": "result floor"}

# (heading, key in a row of results.json, decimals)
COLUMNS = [
    ("ns/call", "ns", 1),
    ("× floor", "x_floor", 2),
    ("result floor ns", "result_ns", 1),
    ("× result floor", "x_result", 2),
    ("ctypes ns", "baseline_ns", 1),
    ("× faster than ctypes", "x_faster", 2),
    ("Ir/call", "ir", 0),
    ("Ir in platform", "platform_ir", 0),
    ("module Ir × floor", "ir_x_floor", 2),
    ("Ir result floor", "result_ir", 0),
    ("module Ir × result floor", "ir_x_result", 2),
]


def _name(name):
    function, _, rest = name.partition(" ")
    return f"`{function}` {rest}" if rest else f"`{function}`"


def _cell(value, decimals):
    return "-" if value is None else f"{value:.{decimals}f}"


def _target(row):
    if not row.get("target"):
        return ""
    verdict = "PASS" if row.get("target_met") else "FAIL"
    return f"≤ {row['limit']:.1f}× {TARGET_NAMES[row['target']]}: {verdict}"


def _row(row):
    if row["status"] != "ok":
        return [_name(row["name"]), row["status"]] + [""] * len(COLUMNS)
    return ([_name(row["name"])] + [_cell(row.get(key), d) for _, key, d in COLUMNS]
            + [_target(row)])


def render(report):
    """The Markdown table of a results report (the content of
    bench/results.json), with a line saying where the figures come from."""
    run = "quick" if report.get("quick") else "full"
    lines = [
        f"{report['machine']}, {report['cpus']} CPUs, CPython {report['python']}, {run} run of "
        f"{report['date']}; verdicts on {report['verdict_basis']}.",
        "",
        "| function | " + " | ".join(heading for heading, _, _ in COLUMNS) + " | target |",
        "|---|" + "---:|" * len(COLUMNS) + "---|",
    ]
    lines += ["| " + " | ".join(_row(row)) + " |" for row in report["functions"]]
    return "\n".join(lines)


def block(report):
    return f"{BEGIN}\n{render(report)}\n{END}"


def replace_block(text, report):
    """`text` with its marked block replaced by the table of `report`."""
    if text.count(BEGIN) != 1 or text.count(END) != 1 or text.index(BEGIN) > text.index(END):
        raise ValueError("expected one bench table block between its two marker comments")
    start = text.index(BEGIN)
    end = text.index(END) + len(END)
    return text[:start] + block(report) + text[end:]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--results", default=RESULTS)
    parser.add_argument("--check", action="store_true",
                        help="change nothing; exit 1 when a README is not up to date")
    parser.add_argument("readmes", nargs="*", default=list(READMES))
    options = parser.parse_args(argv)
    with open(options.results) as f:
        report = json.load(f)
    stale = []
    for path in options.readmes:
        with open(path) as f:
            text = f.read()
        updated = replace_block(text, report)
        if updated == text:
            continue
        stale.append(os.path.relpath(path))
        if not options.check:
            with open(path, "w") as f:
                f.write(updated)
    if options.check:
        if stale:
            print(f"not the table of {options.results}: {', '.join(stale)}", file=sys.stderr)
        return 1 if stale else 0
    print(f"table of {os.path.relpath(options.results)} written to "
          f"{', '.join(stale) or 'nothing (up to date)'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
