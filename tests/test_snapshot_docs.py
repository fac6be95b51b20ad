"""docs/scenarios.md, "Reproducing a device": the test it shows replays a
snapshot with the simulator's pytest plugin."""

from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent


def section_code(title: str, language: str) -> list[str]:
    text = (ROOT / "docs" / "scenarios.md").read_text()
    section = text.split(f"## {title}\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(rf"```{language}\n(.*?)```", section, re.S)


def run(*args: str, cwd: pathlib.Path) -> subprocess.CompletedProcess[str]:
    env = {k: v for k, v in os.environ.items() if k not in ("ZEL_SIM_SCENARIO",
                                                           "ZEL_SIM_PRELOAD")}
    return subprocess.run([sys.executable, "-W", "ignore::DeprecationWarning", *args],
                          cwd=cwd, env=env, capture_output=True, text=True, timeout=120)


def test_the_replay_example_runs_with_the_plugin(tmp_path):
    markers = run("-m", "pytest", "--markers", cwd=tmp_path)
    if "zel_scenario" not in markers.stdout:
        pytest.skip("the simulator's pytest plugin is not installed in this environment")
    (example,) = section_code("Reproducing a device", "python")
    snap = run("-m", "zel_sim", "snapshot", "-o", "switch.toml", cwd=tmp_path)
    assert snap.returncode == 0, snap.stderr
    (tmp_path / "test_switch.py").write_text(example)
    proc = run("-m", "pytest", "-q", "-p", "no:cacheprovider", "test_switch.py", cwd=tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "1 passed" in proc.stdout

