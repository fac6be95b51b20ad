"""Traces read state by state, from a worker or in this process: each
state as the module wrote it, live, and a reader that stops early ends the
trace after the hop under way."""

import contextlib

import pytest
import zel_sim
from zel_sim import records
from zel_sim.testing import hops, script_trace

import zel.zel_util as zu
from zel_platform_pool import InProcess


@pytest.fixture(params=["pool", "in-process"])
def platform(request, make_pool):
    return make_pool(1) if request.param == "pool" else InProcess()


def test_each_state_is_the_context_as_the_module_wrote_it(platform, zel_sim):
    script_trace(*hops(3), header=records.trace_header("dst", "10.2.9.9", 3, 3, 5, 60))
    states = list(platform.trace("10.2.9.9"))
    context = {}
    zu.get_diagnostic_data(context, "10.2.9.9")
    assert states[-1] == context
    assert [(state["result"], len(state.get("routes", []))) for state in states] == \
        [(0, 0), (0, 1), (0, 2), (1, 3)]
    assert list(states[0]) == ["result"]
    assert list(states[1]) == ["result", "routingTable", "traceRouteHeader", "routes"]


def test_a_trace_that_cannot_start_and_one_that_fails(platform, zel_sim):
    zel_sim.script("init_trace_route", result=0)
    assert list(platform.trace("10.0.0.1")) == [{"result": -1}]
    with pytest.raises(TypeError, match="Argument 'ttl' has incorrect type"):
        list(platform.trace("10.0.0.1", True))
    assert platform.call("get_cmdb_max_buff") == 4095


def queries_and_open_contexts():  # runs where the trace ran
    return len(zel_sim.calls("query_trace_route")), zel_sim.open_trace_contexts()


def test_a_reader_that_stops_ends_the_trace_after_the_hop_under_way(platform):
    script_trace(*hops(20, delay=0.5))
    with contextlib.closing(platform.trace("10.0.0.1")) as states:
        assert next(states) == {"result": 0}
        assert len(next(states)["routes"]) == 1
    # The first hop reached the reader while the platform had more to
    # answer, and the trace ended there, its context freed.
    queries, still_open = platform.call(queries_and_open_contexts)
    assert queries < 20 and still_open == 0
