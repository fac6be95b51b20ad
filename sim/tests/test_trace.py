import ctypes
import struct

import zel_sim
from zel_sim import Call, Step, records


def hop(ttl, result=0):
    return Step(result, records.trace_response(ttl, f"10.0.0.{ttl}", f"h{ttl}",
                                               [(1, -1, ttl / 2)]))


def open_trace(plat, host=b"203.0.113.53"):
    header = ctypes.create_string_buffer(112)
    ctx = plat.init_trace_route(host, 32, 3, 15, header)
    return ctx, header.raw


def query(plat, ctx):
    rsp = ctypes.create_string_buffer(164)
    result = plat.query_trace_route(ctx, rsp)
    return result, struct.unpack_from("<i", rsp.raw, 0)[0]


def test_init_failure_gives_null(plat):
    zel_sim.script("init_trace_route", result=0)
    assert open_trace(plat)[0] is None
    assert zel_sim.open_trace_contexts() == 0


def test_context_carries_aux_and_header(plat):
    header = records.trace_header("dst.example", "203.0.113.53", 30, 3, 5, 60)
    zel_sim.script("init_trace_route", Step(1, header, aux=records.trace_context(1492)))
    ctx, raw = open_trace(plat)
    assert raw == header
    assert struct.unpack("<i", ctypes.string_at(ctx + 580, 4)) == (1492,)
    assert ctypes.string_at(ctx + 584, 1024 - 584) == bytes(1024 - 584)
    plat.free_trace_route(ctx)
    assert zel_sim.calls("init_trace_route") == [
        Call("init_trace_route", (b"203.0.113.53", 32, 3, 15))]


def test_each_context_walks_its_own_copy_of_the_hops(plat):
    zel_sim.script("init_trace_route", result=1)
    zel_sim.script("query_trace_route", hop(1), hop(2), hop(3, result=1))
    a, _ = open_trace(plat)
    b, _ = open_trace(plat)
    walk = [query(plat, a), query(plat, b), query(plat, a), query(plat, a), query(plat, b)]
    assert walk == [(0, 1), (0, 1), (0, 2), (1, 3), (0, 2)]
    assert [c.args for c in zel_sim.calls("query_trace_route")] == [(1,), (2,), (1,), (1,),
                                                                    (2,)]
    plat.free_trace_route(a)
    plat.free_trace_route(b)


def test_script_change_after_init_does_not_affect_open_context(plat):
    zel_sim.script("init_trace_route", result=1)
    zel_sim.script("query_trace_route", hop(1, result=1))
    ctx, _ = open_trace(plat)
    zel_sim.script("query_trace_route", hop(9, result=1))
    assert query(plat, ctx) == (1, 1)
    plat.free_trace_route(ctx)


def test_open_contexts_and_double_free(plat):
    zel_sim.script("init_trace_route", result=1)
    a, _ = open_trace(plat)
    b, _ = open_trace(plat)
    assert zel_sim.open_trace_contexts() == 2
    plat.free_trace_route(a)
    assert zel_sim.open_trace_contexts() == 1
    assert zel_sim.errors() == []
    plat.free_trace_route(a)
    assert len(zel_sim.errors()) == 1 and "free_trace_route" in zel_sim.errors()[0]
    assert [c.args for c in zel_sim.calls("free_trace_route")] == [(1,), (-1,)]
    plat.free_trace_route(b)
    assert zel_sim.open_trace_contexts() == 0


def test_query_on_a_freed_context_ends_the_trace_and_is_reported(plat):
    zel_sim.script("init_trace_route", result=1)
    zel_sim.script("query_trace_route", hop(1))
    ctx, _ = open_trace(plat)
    plat.free_trace_route(ctx)
    assert query(plat, ctx)[0] == 1
    assert "query_trace_route" in zel_sim.errors()[0]


def test_clear_forgets_open_contexts(plat):
    zel_sim.script("init_trace_route", result=1)
    ctx, _ = open_trace(plat)
    zel_sim.clear()
    assert zel_sim.open_trace_contexts() == 0
    plat.free_trace_route(ctx)
    assert zel_sim.errors() == []
