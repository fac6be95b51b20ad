"""pytest plugin of the device simulator, registered through the pytest11
entry point of the zel-sim distribution.

It provides:

- the ``zel_sim`` fixture: the control API (zel_sim.testing.Control), with
  everything reset before and after the test to the scenario the process
  started with (ZEL_SIM_SCENARIO, or the default switch): scripts, call log,
  errors, trace contexts, hostname, port counters and counter paths, and
  zel.zel_util's cached sensor flags; a test that leaves a trace context
  open (init_trace_route without free_trace_route) fails;
- the marker ``@pytest.mark.zel_scenario(source)``: the test runs on that
  scenario (a path relative to the test file, TOML text or a dict), and
  gets the fixture's resets without asking for it;
- the ini option ``zel_sim_autouse = true``: every test of the suite gets
  the fixture, as if it asked for it.

This module is kept outside the zel_sim package, and imports it only when a
test needs the simulator: the plugin loads in every pytest run of an
environment where the simulator is installed, and a run that never uses it
must not load the platform library or apply a scenario.
"""

from __future__ import annotations

import os
import pathlib
from collections.abc import Iterator
from typing import TYPE_CHECKING, Any, NoReturn

import pytest

if TYPE_CHECKING:
    from zel_sim.testing import Control

MARKER = "zel_scenario"
AUTOUSE = "zel_sim_autouse"


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addini(AUTOUSE, type="bool", default=False,
                  help="zel_sim: give every test the zel_sim fixture (reset of the simulated "
                       "switch before and after each test)")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers",
        f"{MARKER}(source): zel_sim: run the test on this scenario (a path relative to the "
        "test file, TOML text or a dict); implies the zel_sim fixture")


def _scenario_source(request: pytest.FixtureRequest) -> tuple[Any, pathlib.Path] | None:
    marker = request.node.get_closest_marker(MARKER)
    if marker is None:
        return None
    args = list(marker.args) + [marker.kwargs[k] for k in ("source",) if k in marker.kwargs]
    if len(args) != 1 or set(marker.kwargs) - {"source"}:
        _marker_error(request, f"takes one scenario (a path, TOML text or a dict), not "
                               f"{_marker_arguments(marker)}")
    return args[0], pathlib.Path(os.fspath(request.path)).parent


def _marker_arguments(marker: pytest.Mark) -> str:
    given = [repr(a) for a in marker.args] + [f"{k}={v!r}" for k, v in marker.kwargs.items()]
    return f"({', '.join(given)})"


def _marker_error(request: pytest.FixtureRequest, problem: str) -> NoReturn:
    # A short error of the test's setup: the marker, the test and what is
    # wrong, without the plugin's and the loader's frames.
    pytest.fail(f"@pytest.mark.{MARKER} of {request.node.nodeid} {problem}", pytrace=False)


def _load_marked(request: pytest.FixtureRequest, source: Any, base: pathlib.Path) -> None:
    from zel_sim import ScenarioError, testing

    try:
        testing.CONTROL.load_scenario(source, base)
        return
    except ScenarioError as error:
        problem = str(error)
    # Outside the except clause: the report shows no chained exception.
    _marker_error(request, f"cannot be used: {problem}")


@pytest.fixture
def zel_sim(request: pytest.FixtureRequest) -> Iterator[Control]:
    """The simulated switch's control API, reset to the scenario the process
    started with before and after the test (or to the test's
    @pytest.mark.zel_scenario before it)."""
    from zel_sim import testing

    testing.reset()
    marked = _scenario_source(request)
    left_open = 0
    try:
        if marked is not None:
            _load_marked(request, *marked)
            testing.reset_sensor_flags()
        yield testing.CONTROL
        left_open = testing.CONTROL.open_trace_contexts()
    finally:
        testing.reset()
    if left_open:
        pytest.fail(f"zel_sim: {left_open} trace context(s) left open by this test "
                    "(init_trace_route without free_trace_route)", pytrace=False)


@pytest.fixture(autouse=True)
def _zel_sim_when_asked(request: pytest.FixtureRequest) -> None:
    # Costs one look-up per test where the simulator is not wanted: nothing
    # is imported, nothing reset.
    if request.config.getini(AUTOUSE) or request.node.get_closest_marker(MARKER) is not None:
        request.getfixturevalue("zel_sim")
