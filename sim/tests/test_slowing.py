"""Slowing a platform call without changing its answer: zel_sim.slowing
for a block, a scenario's [slow] section, both crossing to worker
processes."""

import concurrent.futures
import multiprocessing
import time

import pytest
import zel_sim as control
from zel_sim import records
from zel_sim.testing import hops, script_trace

import zel.zel_util as zu


def took(call):
    """(what call() returned, the seconds it took)."""
    start = time.monotonic()
    result = call()
    return result, time.monotonic() - start


def test_a_slowed_call_answers_as_scripted_after_the_extra_time(zel_sim):
    zel_sim.script("get_temp_list", zel_sim.Step(0, records.temp_list([40.5]), 0.1), -1)
    with zel_sim.slowing("get_temp_list", 0.2):
        assert zel_sim.slowness("get_temp_list") == 0.2
        readings, seconds = took(zu.system_temperatures)
        assert readings == (40.5,) and seconds >= 0.3  # the step's own delay, and the block's
        with pytest.raises(zu.CFunctionError):  # the script goes on from where it was
            zu.system_temperatures()
    assert zel_sim.slowness("get_temp_list") == 0.0
    assert [call.fn for call in zel_sim.calls()] == ["get_temp_list", "get_temp_list"]


def test_blocks_add_up_and_outlive_a_reset(zel_sim):
    with zel_sim.slowing("get_psu_list", 0.25), zel_sim.slowing("get_psu_list", 0.5):
        zel_sim.reset()
        assert zel_sim.slowness("get_psu_list") == 0.75
    assert zel_sim.slowness("get_psu_list") == 0.0


def test_a_scenarios_slow_section_lasts_until_the_next_reset(zel_sim):
    zel_sim.load_scenario('extends = "default"\n[slow]\nget_psu_list = 0.2\n'
                          'query_trace_route = 0.1\n')
    supplies, seconds = took(zu.psu_list)
    assert supplies[0].name == "PSU 1" and seconds >= 0.2
    script_trace(*hops(2))
    zu.sleep = float
    context, seconds = took(lambda: zu.get_diagnostic_data({}, "10.0.0.1"))
    assert seconds >= 0.2  # each hop's query
    zel_sim.reset()
    assert zel_sim.slowness("get_psu_list") == 0.0


def test_the_arguments_are_checked():
    with pytest.raises(ValueError, match="did you mean 'get_temp_list'"):
        control.slowing("get_temps", 1).__enter__()
    with pytest.raises(ValueError, match="seconds must be from 0 to 3600 seconds, not -1"):
        control.slowing("get_temp_list", -1).__enter__()
    with pytest.raises(TypeError, match="seconds must be seconds as an int or float, not str"):
        control.slowing("get_temp_list", "1").__enter__()
    assert control.slowness("get_temp_list") == 0.0


def slowness_in_worker():
    return control.slowness("get_temp_list"), control.slowness("get_psu_list")


def test_a_worker_starts_as_slow_as_the_test_is(zel_sim):
    zel_sim.load_scenario('extends = "default"\n[slow]\nget_psu_list = 0.5\n')
    spawn = multiprocessing.get_context("spawn")
    with zel_sim.slowing("get_temp_list", 2.0):
        with concurrent.futures.ProcessPoolExecutor(1, mp_context=spawn,
                                                    **zel_sim.worker_setup()) as pool:
            assert pool.submit(slowness_in_worker).result(60) == (2.0, 0.5)
