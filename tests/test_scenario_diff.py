"""`python -m zel_sim diff A B`: what the module's read-only operations
return under two scenarios, compared per operation."""

from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys

import pytest
from zel_sim.diff import system_operations

import zel.zel_util

ROOT = pathlib.Path(__file__).resolve().parent.parent

# The operations without arguments; the rest of each count are the calls per
# port and per trace target the two scenarios name.
SYSTEM = len(system_operations(zel.zel_util))


def zel_sim_command(*args, cwd=None):
    env = {k: v for k, v in os.environ.items() if k not in ("ZEL_SIM_SCENARIO",
                                                           "ZEL_SIM_PRELOAD")}
    return subprocess.run([sys.executable, "-m", "zel_sim", *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=120, env=env)


# The colleague's scenario of the guide's example.
LAB = ('extends = "default"\n[system]\ndiag_debug = 1\n'
       '[hardware]\ntemperatures = [41.5, 38.25, 53.0]\n'
       '[[dot1x]]\ninterface = "gi1/0/3"\nlink_status = "Up"\n')


def test_the_guide_shows_what_diff_prints(tmp_path):
    text = (ROOT / "docs" / "scenarios.md").read_text(encoding="utf-8")
    section = text.split("\n## Comparing two scenarios\n", 1)[1].split("\n## ", 1)[0]
    example = re.search(r"```text\n(\$ .*?)```", section, re.S)[1]
    (tmp_path / "lab.toml").write_text(LAB)
    shown = ""
    for command in re.findall(r"^\$ python -m zel_sim (.*)$", example, re.M):
        proc = zel_sim_command(*command.split(), cwd=tmp_path)
        shown += f"$ python -m zel_sim {command}\n{proc.stdout}"
    assert shown == example, ("docs/scenarios.md, Comparing two scenarios: its example prints, "
                              f"with the module as it is:\n{shown}")


def test_a_snapshot_answers_as_the_scenario_it_came_from(tmp_path):
    snapshot = tmp_path / "snapshot.toml"
    taken = zel_sim_command("snapshot", "--simulator", "--trace", "192.168.1.254",
                            "239.1.1.1", "-o", snapshot)
    assert (taken.returncode, taken.stderr) == (0, "")
    proc = zel_sim_command("diff", "default", snapshot)
    assert (proc.returncode, proc.stderr, proc.stdout) == (
        0, "", f"A (default) and B ({snapshot}) answer alike: {SYSTEM + 14} read-only operations "
               "compared\n")


def test_differences_are_shown_per_operation_and_fail_the_command(tmp_path):
    changed = tmp_path / "changed.toml"
    changed.write_text('extends = "default"\n'
                       '[system]\ndiag_debug = 1\n'
                       '[hardware]\ntemperatures = [41.5, 38.25, 53.0]\n'
                       '[[dot1x]]\ninterface = "gi1/0/3"\nlink_status = "Up"\n'
                       '[[port]]\nname = "gi9"\ntx_bytes = 5\n'
                       '[fail]\nget_psu_list = -2\n')
    proc = zel_sim_command("diff", "default", changed)
    assert (proc.returncode, proc.stderr) == (1, "")
    # A result whose kind changed is shown whole, shortened; a mapping or
    # list of one length where it differs; an unknown port in both as well.
    assert proc.stdout == (
        f"A = default, B = {changed}: 5 of {SYSTEM + 16} read-only operations differ\n"
        "get_diag_debug_status():\n"
        "  (the result)  A: 0  B: 1\n"
        "system_temperatures():\n"
        "  [2]  A: 52.0  B: 53.0\n"
        "psu_list():\n"
        "  (the result)  A: [{'name': 'PSU 1', 'connected': True, 'ok': True}, {'name': "
        "'PSU 2', 'connected': True, 'ok': Fal...  B: raised CFunctionError('get_psu_list', "
        "-2)\n"
        "get_8021x_status('gi1/0/3'):\n"
        "  ['link_status']  A: 'Down'  B: 'Up'\n"
        "system_port_traffic('gi9'):\n"
        "  ['result']['tx_bytes']  A: 0  B: 5\n"
        "  ['counter reads failed']  A: ['FileNotFoundError', 'FileNotFoundError', "
        "'FileNotFoundError', 'FileNotFoundError']  B: []\n")


@pytest.mark.parametrize("text, problem", [
    ("[system]\nhostnme = 1\n", "Object contains unknown field `hostnme` - at `$.system` "
                                "(did you mean `hostname`?)"),
    (None, "No such file or directory"),
])
def test_an_unusable_scenario_is_named_and_exits_2(tmp_path, text, problem):
    bad = tmp_path / "bad.toml"
    if text is not None:
        bad.write_text(text)
    proc = zel_sim_command("diff", "default", bad)
    assert (proc.returncode, proc.stdout, proc.stderr) == (
        2, "", f"zel_sim diff: scenario {bad}: {problem}\n")
