"""Shared fixtures: the module under test, and a way to run Python in a
fresh process for what a process can do only once. Every test also gets the
simulator's `zel_sim` fixture (the pytest plugin of zel-sim, made autouse by
`zel_sim_autouse` in pyproject.toml): the simulated switch is back at the
start scenario, with an empty call log, before and after each test."""

import re
import subprocess
import sys
import textwrap

import pytest

from sim_sources import subsystem_files


def _platform_hint(error):
    """Where to change what made the module's import fail for want of the
    simulator, or None when that is not the cause."""
    symbol = re.search(r"undefined symbol: (\w+)", str(error))
    if symbol is not None:
        files = ", ".join(subsystem_files())
        return (f"the simulator does not define {symbol[1]}: list it in "
                f"sim/platform/functions.h and define it in the file of its subsystem in "
                f"sim/platform/ ({files})")
    return None


try:
    import zel.zel_util as zel_util_module
except ImportError as error:
    hint = _platform_hint(error)
    if hint is None:
        raise
    raise ImportError(f"{error}\n{hint}") from error


@pytest.fixture
def zu():
    """The module; its namespace is restored after the test, so tests may
    rebind module-level names."""
    namespace = vars(zel_util_module)
    saved = dict(namespace)
    yield zel_util_module
    now = list(namespace.items())
    if len(now) != len(saved) or any(
            k1 is not k2 or v1 is not v2 for (k1, v1), (k2, v2) in zip(now, saved.items())):
        # Rebuilt whole, so that the binding order is the original one too.
        namespace.clear()
        namespace.update(saved)


def run_python(code, check=True):
    """Runs `code` in a fresh interpreter of this environment."""
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=60,
    )
    if check and proc.returncode != 0:
        raise AssertionError(f"child failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
    return proc


@pytest.fixture
def reports(monkeypatch):
    """What sys.unraisablehook receives, as (object, exception) pairs."""
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((u.object, u.exc_value)))
    return seen


@pytest.fixture
def python():
    return run_python
