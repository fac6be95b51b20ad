"""The sample back-end suite in examples/backend runs, with nothing but the
simulator's pytest plugin, against its own scenario, which the scenario
checker accepts; in parallel (pytest-xdist), as its pools and servers
allow."""

import os
import pathlib
import subprocess
import sys

BACKEND = pathlib.Path(__file__).resolve().parent.parent / "examples" / "backend"


def run(*args):
    env = dict(os.environ)
    env.pop("ZEL_SIM_SCENARIO", None)
    env.pop("PYTEST_ADDOPTS", None)
    return subprocess.run([sys.executable, *args], cwd=BACKEND, env=env, capture_output=True,
                          text=True, timeout=300)


def test_sample_backend_suite_passes():
    proc = run("-m", "pytest", "-q", "-rA", "-n", "2")
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert proc.stdout.splitlines()[-1].startswith("22 passed in ")


def test_sample_backend_scenario_checks():
    proc = run("-m", "zel_sim", "check", "lab-switch.toml")
    assert (proc.returncode, proc.stdout, proc.stderr) == (0, "lab-switch.toml: ok\n", "")
