"""Traceroutes per destination, and traces that end when their hops end."""

import ctypes
import struct

import pytest

import zel_sim
from zel_sim import Step, records, scenario

ROUTES = '''
[traceroute]
host_name = "any"
ip_address = "198.51.100.1"
reply_mtu = 1400
[[traceroute.hop]]
ip = "10.0.0.1"
[[traceroute.hop]]
ip = "198.51.100.1"

[[traceroute.destination]]
target = "gw"
ip_address = "192.168.1.254"
[[traceroute.destination.hop]]
ip = "192.168.1.254"
delay = 0.0

[[traceroute.destination]]
target = "same-hops"
timeout = 9

[[traceroute.destination]]
target = "unreachable"
result = 0
'''


def walk(plat, target):
    """(header bytes, reply MTU, [(result, ttl, ip)]) of one whole trace."""
    header = ctypes.create_string_buffer(112)
    ctx = plat.init_trace_route(target, 32, 3, 15, header)
    if not ctx:
        return None
    mtu = struct.unpack_from("<i", ctypes.string_at(ctx, 584), 580)[0]
    hops, rsp = [], ctypes.create_string_buffer(164)
    while not hops or hops[-1][0] != 1:
        result = plat.query_trace_route(ctx, rsp)
        hops.append((result, struct.unpack_from("<i", rsp.raw, 0)[0],
                     rsp.raw[4:36].split(b"\0")[0]))
        assert len(hops) < 10
    plat.free_trace_route(ctx)
    return header.raw, mtu, hops


def test_each_destination_walks_its_own_route(plat):
    zel_sim.load_scenario(ROUTES)
    header, mtu, hops = walk(plat, b"gw")
    assert header == records.trace_header("any", "192.168.1.254", 30, 3, 5, 60)
    assert (mtu, hops) == (1400, [(1, 1, b"192.168.1.254")])
    header, _, hops = walk(plat, b"same-hops")
    assert header == records.trace_header("any", "198.51.100.1", 30, 3, 9, 60)
    assert hops == [(0, 1, b"10.0.0.1"), (1, 2, b"198.51.100.1")]
    assert walk(plat, b"unreachable") is None
    # Any other target takes the default route.
    assert walk(plat, b"elsewhere")[2] == hops
    assert zel_sim.errors() == [] and zel_sim.open_trace_contexts() == 0


def test_destinations_inherit_the_default_route_whole():
    dest = scenario.load(ROUTES).traceroute.destination
    assert [(d.target, d.result, d.host_name, d.reply_mtu, len(d.hop)) for d in dest] == [
        ("gw", 1, "any", 1400, 1), ("same-hops", 1, "any", 1400, 2),
        ("unreachable", 0, "any", 1400, 2)]


def test_the_module_reports_the_route_of_its_target(plat):
    import zel.zel_util as zu

    zel_sim.load_scenario(ROUTES)
    saved, zu.sleep = zu.sleep, abs
    try:
        context = {}
        zu.get_diagnostic_data(context, "gw")
        assert [h["ipAddress"] for h in context["routes"]] == ["192.168.1.254"]
        zu.get_diagnostic_data(context, "unreachable")
        assert context["result"] == -1
    finally:
        zu.sleep = saved


@pytest.mark.parametrize("hops, message", [
    ("[[traceroute.hop]]\nresult = 0\n",
     "traceroute.hop[0]: the last hop ends the trace, so its `result` is 1, not 0"),
    ("[[traceroute.hop]]\nresult = 1\n[[traceroute.hop]]\n",
     "traceroute.hop[0]: `result` 1 ends the trace, but 1 hop(s) follow"),
    ("", "traceroute: the trace starts (`result` 1) but has no hop"),
    ("[[traceroute.hop]]\n[[traceroute.destination]]\ntarget = \"t\"\nhop = []\n",
     "traceroute.destination[0]: the trace starts (`result` 1) but has no hop"),
    ("[[traceroute.hop]]\n[[traceroute.destination]]\ntarget = \"t\"\n"
     "[[traceroute.destination]]\ntarget = \"t\"\n", "destination[1]: target 't' is given twice"),
])
def test_routes_that_would_not_end_are_refused(hops, message):
    with pytest.raises(zel_sim.ScenarioError, match="given as text: .*") as excinfo:
        scenario.load("[traceroute]\n" + hops)
    assert message in str(excinfo.value)


def test_hop_defaults():
    hops = scenario.load("[traceroute]\n[[traceroute.hop]]\nresult = 7\n[[traceroute.hop]]\n"
                         "[[traceroute.hop]]\nttl = 9\nprobes = [[1, -1, 0.5]]\n").traceroute.hop
    assert [(h.ttl, h.result, h.probe_count) for h in hops] == [(1, 7, 0), (2, 0, 0), (9, 1, 1)]


def test_past_its_last_hop_a_trace_is_over_and_the_misuse_noted(plat):
    # A script whose last hop does not end the trace: the next query ends it,
    # writes nothing, and is reported instead of repeating the hop forever.
    zel_sim.script("init_trace_route", result=1)
    zel_sim.script("query_trace_route", Step(0, records.trace_response(1, "10.0.0.1", "h")))
    header = ctypes.create_string_buffer(112)
    ctx = plat.init_trace_route(b"x", 1, 1, 1, header)
    rsp = ctypes.create_string_buffer(b"\xee" * 164, 164)
    assert plat.query_trace_route(ctx, rsp) == 0
    rsp2 = ctypes.create_string_buffer(b"\xee" * 164, 164)
    assert plat.query_trace_route(ctx, rsp2) == 1 and rsp2.raw == b"\xee" * 164
    assert len(zel_sim.errors()) == 1 and "has no hop left" in zel_sim.errors()[0]
    plat.free_trace_route(ctx)


def test_a_context_without_hops_ends_at_once_and_is_reported(plat):
    zel_sim.script("init_trace_route", result=1)
    ctx = plat.init_trace_route(b"x", 1, 1, 1, ctypes.create_string_buffer(112))
    assert plat.query_trace_route(ctx, ctypes.create_string_buffer(164)) == 1
    assert "has no hop left" in zel_sim.errors()[0]
    plat.free_trace_route(ctx)


def test_keyed_scripts_through_the_control_api(plat):
    zel_sim.script("init_trace_route", result=1)
    zel_sim.script("init_trace_route", result=0, key="down")
    zel_sim.script("query_trace_route", Step(1, records.trace_response(1, "a", "")))
    zel_sim.script("query_trace_route", Step(1, records.trace_response(5, "b", "")), key=b"far")
    assert walk(plat, b"down") is None
    assert walk(plat, b"far")[2] == [(1, 5, b"b")]
    assert walk(plat, b"near")[2] == [(1, 1, b"a")]
    assert [c.args[0] for c in zel_sim.calls("init_trace_route")] == [b"down", b"far", b"near"]
