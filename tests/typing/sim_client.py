"""Tests of a back-end written against the simulator's typed control API and
its pytest plugin.

`mypy --strict` checks this file (make typecheck): the control package, its
testing helpers and the fixture's object are typed, and every `assert_type`
must hold; the lines of `rejected()` must fail with exactly the error code
their `type: ignore` names. It also runs: the suite runs these tests in a
child pytest.
"""

from __future__ import annotations

import contextlib
import pathlib
from typing import Any, assert_type

import pytest
import zel_sim
from zel_sim import Call, Scenario, ScenarioError, Step, records
from zel_sim.testing import Control, PrivateTmp, counter_tree, hop, hops, script_trace

import zel.zel_util as zu

LAB = """
extends = "default"
[system]
hostname = "lab-sw"
[hardware]
temperatures = [61.5]
"""


def temperatures() -> list[float] | str:
    """What a back-end's view would answer."""
    try:
        return list(zu.system_temperatures())
    except zu.CFunctionError as error:
        return f"platform error {error.args[-1]}"


@pytest.mark.zel_scenario(LAB)
def test_scenario_of_the_test(zel_sim: Control) -> None:
    assert temperatures() == [61.5]
    with zel_sim.failing("get_temp_list", -1):
        assert temperatures() == "platform error -1"
    assert temperatures() == [61.5]
    assert_type(zel_sim.hostname(), bytes)
    assert zel_sim.hostname() == b"lab-sw"


def test_control_api(zel_sim: Control, tmp_path: pathlib.Path) -> None:
    start = zel_sim.start_scenario()
    assert_type(start, Scenario)
    assert_type(zel_sim.load_scenario({"system": {"hostname": "x"}}), Scenario)
    zel_sim.script("get_psu_list", Step(0, records.psu_list([("PSU1", 1, 1)])))
    zel_sim.script("get_temp_list", result=-1)
    with zel_sim.replacing("get_temp_list"):
        zel_sim.script("get_temp_list", 0)
    assert_type(zel_sim.calls("get_temp_list"), list[Call])
    assert_type(zel_sim.open_trace_contexts(), int)
    assert_type(zel_sim.errors(), list[str])
    assert_type(zel_sim.port_directory(), pathlib.Path | None)
    script_trace(*hops(3), reply_mtu=1400)
    script_trace(hop(1, "198.51.100.1", result=1), key="198.51.100.1")
    context: dict[str, Any] = {}
    zu.get_diagnostic_data(context, "192.0.2.9")
    assert [r["ttl"] for r in context["routes"]] == [1, 2, 3]
    zu.get_diagnostic_data(context, "198.51.100.1")
    assert [r["ipAddress"] for r in context["routes"]] == ["198.51.100.1"]
    with counter_tree(tmp_path) as port:
        port("gi1/0/9", tx_packets="5\n", tx_bytes="6\n", rx_packets="0\n", rx_bytes=b"7\n")
        assert zu.system_port_traffic("gi1/0/9") == (5, 6, 0, 7)
    files = PrivateTmp(tmp_path)
    assert_type(files.result_file(3), str)
    with pytest.raises(ScenarioError):
        zel_sim.load_scenario("[system]\nhostnme = 'x'\n")
    with zel_sim_module_failing():
        assert temperatures() == "platform error -9"


def zel_sim_module_failing() -> contextlib.AbstractContextManager[None]:
    return zel_sim.failing("get_temp_list", -9)


def rejected(control: Control) -> None:
    control.script(3)  # type: ignore[arg-type]
    control.failing("get_temp_list")  # type: ignore[call-arg]
    control.load_scenario(7)  # type: ignore[arg-type]
