"""The benchmark table in bench/README.md is made from a results file by
`python -m bench.table`: the README gets the block, nothing else in it
changes; the project's README links to it instead of carrying it. A small
results file stands in for bench/results.json. No timing here."""

import json
import os
import re
import shutil
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from bench import table  # noqa: E402

ROW_KEYS = ("ns", "x_floor", "result_ns", "x_result", "baseline_ns", "x_faster", "ir",
            "platform_ir", "ir_x_floor", "result_ir", "ir_x_result")

RESULTS = {
    "date": "2026-01-02T03:04:05", "python": "3.12.1", "machine": "x86_64", "cpus": 2,
    "quick": False, "verdict_basis": "instructions",
    "functions": [
        {"name": "get_8021x_status", "status": "ok", "target": "result", "limit": 1.0,
         "target_met": True, **dict(zip(ROW_KEYS, (9000.0, 450.0, 12000.0, 0.75, 31000.0,
                                                   3.4444, 200000, 30000, 470.0, 260000, 0.769))),
         "floor_ns": 20.0, "floor_ir": 428},
        {"name": "psu_list", "status": "ok", "target": "result", "limit": 1.5,
         "target_met": False, **dict(zip(ROW_KEYS, (2000.0, 80.0, 700.0, 2.857, 10000.0, 5.0,
                                                   37000, 900.4, 82.0, 12000, 3.08)))},
        {"name": "get_cmdb_max_buff", "status": "ok", "target": "floor", "limit": 1.5,
         "target_met": True, "ns": 12.1, "x_floor": 0.49, "result_ns": None, "x_result": None,
         "baseline_ns": 13.2, "x_faster": 1.09, "ir": None, "ir_x_floor": None},
        {"name": "get_diagnostic_data per hop", "status": "ok", "target": "", "limit": 0.0,
         "ns": 374.8, "baseline_ns": 3789.0, "x_faster": 10.11},
        {"name": "set_hostname", "status": "baseline disagrees: result differs"},
    ],
}

EXPECTED = """\
x86_64, 2 CPUs, CPython 3.12.1, full run of 2026-01-02T03:04:05; verdicts on instructions.

| function | ns/call | × floor | result floor ns | × result floor | ctypes ns | × faster than ctypes \
| Ir/call | Ir in platform | module Ir × floor | Ir result floor | module Ir × result floor | target |
|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|
| `get_8021x_status` | 9000.0 | 450.00 | 12000.0 | 0.75 | 31000.0 | 3.44 | 200000 | 30000 \
| 470.00 | 260000 | 0.77 | ≤ 1.0× result floor: PASS |
| `psu_list` | 2000.0 | 80.00 | 700.0 | 2.86 | 10000.0 | 5.00 | 37000 | 900 | 82.00 | 12000 \
| 3.08 | ≤ 1.5× result floor: FAIL |
| `get_cmdb_max_buff` | 12.1 | 0.49 | - | - | 13.2 | 1.09 | - | - | - | - | - \
| ≤ 1.5× floor: PASS |
| `get_diagnostic_data` per hop | 374.8 | - | - | - | 3789.0 | 10.11 | - | - | - | - | - |  |
| `set_hostname` | baseline disagrees: result differs |  |  |  |  |  |  |  |  |  |  |  |"""


def _block(text):
    start = text.index(table.BEGIN)
    return text[start:text.index(table.END, start) + len(table.END)]


def _outside(text):
    block = _block(text)
    return text.replace(block, "")


@pytest.fixture
def copies(tmp_path):
    """The two READMEs, copied, and the small results file."""
    paths = []
    for k, readme in enumerate(table.READMES):
        paths.append(tmp_path / f"README{k}.md")
        shutil.copy(readme, paths[-1])
    results = tmp_path / "results.json"
    results.write_text(json.dumps(RESULTS))
    return paths, results


def test_the_table_of_a_results_file():
    assert table.render(RESULTS) == EXPECTED


def test_the_readme_gets_the_table_of_the_results_file(copies):
    paths, results = copies
    before = [path.read_text() for path in paths]
    assert table.main(["--results", str(results)] + [str(p) for p in paths]) == 0
    for path, old in zip(paths, before):
        new = path.read_text()
        assert _block(new) == f"{table.BEGIN}\n{EXPECTED}\n{table.END}"
        assert _outside(new) == _outside(old)


def test_check_reports_a_stale_table_and_changes_nothing(copies):
    paths, results = copies
    arguments = ["--check", "--results", str(results)] + [str(p) for p in paths]
    before = [path.read_text() for path in paths]
    assert table.main(arguments) == 1
    assert [path.read_text() for path in paths] == before
    table.main(arguments[1:])
    assert table.main(arguments) == 0


def test_the_figures_are_in_the_bench_readme_and_the_project_readme_links_them():
    assert table.READMES == (os.path.join(table.HERE, "README.md"),)
    with open(table.READMES[0]) as f:
        bench_readme = f.read()
    assert bench_readme.count(table.BEGIN) == 1 and bench_readme.count(table.END) == 1
    # The link's anchor is the heading the table sits under.
    assert re.search(r"^## Figures\n\n" + re.escape(table.BEGIN), bench_readme, re.M)
    with open(os.path.join(table.ROOT, "README.md")) as f:
        readme = f.read()
    assert table.BEGIN not in readme and table.END not in readme
    assert "[bench/README.md](bench/README.md#figures)" in readme


def test_the_readme_puts_what_a_newcomer_needs_first():
    with open(os.path.join(table.ROOT, "README.md")) as f:
        headings = re.findall(r"^## (.+)$", f.read(), re.M)
    assert headings[:2] == ["The two commands", "Documentation"]


@pytest.mark.parametrize("text", [
    "no block", f"{table.BEGIN}\n", f"{table.END}\n{table.BEGIN}\n",
    f"{table.BEGIN}\n{table.END}\n{table.BEGIN}\n{table.END}\n"])
def test_a_readme_without_exactly_one_block_is_refused(text):
    with pytest.raises(ValueError):
        table.replace_block(text, RESULTS)
