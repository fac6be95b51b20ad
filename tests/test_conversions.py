"""Text conversions: while bytes_ and text_ are still pyramid's own, the
module converts directly; the results and errors must be exactly those of
calling them, and any rebinding must be honoured."""

import math
import random
import struct

import pyramid.compat
import pytest

from zel_sim import Step, records
from zel_sim.testing import hop, script_trace

from calls import fast_trace
from python_calls import direct_paths, python_calls


def through_python(fn):
    """A wrapper that calls `fn`: not pyramid's own object, so the module
    must call it."""
    return lambda *args: fn(*args)


def trace_everything(zu):
    context = {}
    zu.get_diagnostic_data(context, "10.0.0.1")
    return context


READERS = [
    lambda zu: zu.get_8021x_status("gi1/0/1"),
    lambda zu: zu.get_8021x_sessions(b"gi1/0/2"),
    lambda zu: zu.psu_list(),
    trace_everything,
]


@pytest.mark.parametrize("read", READERS)
def test_direct_text_matches_calling_text_(zu, zel_sim, read):
    fast_trace(hops=2)(zu, zel_sim, None)
    direct = read(zu)
    zu.text_ = through_python(pyramid.compat.text_)
    assert read(zu) == direct


@pytest.mark.parametrize("value", ["gi\u0100", "\udc80", "gi1/0/1\u00e9"])
def test_direct_bytes_matches_calling_bytes_(zu, value):
    def outcome():
        try:
            return zu.get_8021x_status(value)
        except Exception as exc:
            return type(exc), str(exc)

    direct = outcome()
    zu.bytes_ = through_python(pyramid.compat.bytes_)
    assert outcome() == direct


def test_str_subclass_goes_through_its_own_encode(zu, zel_sim):
    class Alias(str):
        def encode(self, *args):
            return b"gi1/0/3"

    assert zu.get_8021x_status(Alias("anything"))["name"] == "gi1/0/3"
    assert zel_sim.calls("dump_tessel_802_1x_status")[-1].args == (b"gi1/0/3",)


def test_rebound_charset_is_used(zu, zel_sim):
    zel_sim.script("api_mtraceroute", result=0)
    zu._CHARSET = "latin-1"
    zu.exec_mtraceroute("\u00e9", "\u00e9")
    assert zel_sim.calls("api_mtraceroute")[-1].args == (b"\xe9", 90, 5, 30, b"\xe9")
    zu._CHARSET = "utf-8"
    zu.exec_mtraceroute("\u00e9", "\u00e9")
    assert zel_sim.calls("api_mtraceroute")[-1].args == (b"\xc3\xa9", 90, 5, 30, b"\xc3\xa9")


def test_rebound_text_is_called_for_each_text(zu):
    seen = []
    zu.text_ = lambda raw: seen.append(raw) or raw.decode("latin-1").upper()
    supplies = zu.psu_list()
    assert [s.name for s in supplies] == ["PSU 1", "PSU 2"]
    assert seen == [b"PSU1", b"PSU2"]


@direct_paths
@pytest.mark.parametrize("action", [
    lambda zu: zu.get_8021x_status("gi1/0/1"),
    lambda zu: zu.get_8021x_sessions(bytearray(b"gi1/0/2")),
    lambda zu: zu.psu_list(),
    lambda zu: zu.set_hostname("core"),
    lambda zu: zu.delete_sticky_mac_unsaved("gi1/0/1"),
    lambda zu: zu.exec_mtraceroute("1", "232.1.1.1"),
])
def test_pyramids_own_conversions_run_no_python_code(zu, zel_sim, action):
    zel_sim.script("api_mtraceroute", result=0)
    assert python_calls(lambda: action(zu))[1] == []


def test_rebound_named_tuple_constructor_is_honoured(zu):
    original = zu.PSU.__new__
    made = []

    def new(cls, *values):
        made.append(values)
        return original(cls, *values)

    zu.PSU.__new__ = new
    try:
        assert [tuple(p) for p in zu.psu_list()] == made
        assert len(made) == 2
    finally:
        zu.PSU.__new__ = original
    assert type(zu.psu_list()[0]) is zu.PSU


def test_rebound_named_tuple_class_is_called(zu):
    zu.PSU = lambda *values: ("custom",) + values
    assert zu.psu_list()[0] == ("custom", "PSU 1", True, True)


def one_probe_trace(zu, zel_sim, time):
    script_trace(hop(1, "10.0.0.1", "h", [(1, -1, time)], result=1),
                 header=records.trace_header(b"h", b"10.0.0.1"))
    context = {}
    zu.get_diagnostic_data(context, "10.0.0.1")
    return context["routes"][0]["time1"]


@pytest.mark.parametrize("time", [12.25, 0.0025, 0.0005, -0.0, -7.5, 1e-45, 3.4e38,
                                  float("inf"), float("-inf"), float("nan")])
def test_time_text_is_format_of_the_single_precision_time(zu, zel_sim, time):
    single = struct.unpack("<f", struct.pack("<f", time))[0]
    assert one_probe_trace(zu, zel_sim, time) == format(single, ".3f")


def test_format_is_the_one_cached_at_initialisation(python):
    proc = python("""
        import builtins
        real = builtins.format
        builtins.format = lambda value, spec: "F" + real(value, spec)
        import zel.zel_util as zu
        builtins.format = real
        import zel_sim
        from zel_sim import Step, records
        hop = records.trace_response(1, "10.0.0.1", "h", [(1, -1, 0.5)])
        zel_sim.script("query_trace_route", Step(result=1, record=hop))
        zel_sim.script("init_trace_route", result=1, record=records.trace_header(b"h", b"x"))
        context = {}
        zu.get_diagnostic_data(context, "10.0.0.1")
        print(context["routes"][0]["time1"])
    """)
    assert proc.stdout.strip() == "F0.500"


def test_annotations_honour_rebound_codes_and_their_format(zu, zel_sim):
    class Note:
        def __format__(self, spec):
            return f"<note:{spec}>"

    class Codes(dict):
        def get(self, code, default):
            return Note() if code == 1 else default

    hop = records.trace_response(1, "10.0.0.1", "h", [(1, 1, 1.0), (1, 9, 2.0), (1, 5, 3.0)])
    zel_sim.script("query_trace_route", Step(result=1, record=hop))
    zel_sim.script("init_trace_route", result=1, record=records.trace_header(b"h", b"10.0.0.1"),
               aux=records.trace_context(1492))
    zu.ICMP_CODES_FOR_CHARACTERS = Codes()
    context = {}
    zu.get_diagnostic_data(context, "10.0.0.1")
    values = [v for k, v in context["routes"][0].items() if k.startswith("time")]
    assert values == ["1.000 <note:>", "2.000 -2", "3.000 -2-1492"]


def single_precision_samples(count, seed=20261208):
    """Finite single-precision values: random bit patterns, values around
    the rounding ties of three decimals, and the edges of the range."""
    rng = random.Random(seed)
    values = []
    while len(values) < count:
        (value,) = struct.unpack("<f", struct.pack("<I", rng.getrandbits(32)))
        if math.isfinite(value):
            values.append(value)
    for k in range(0, 4000, 7):
        tie = k / 1000 + 0.0005
        values += [tie, -tie, math.nextafter(tie, 0), math.nextafter(tie, 1)]
    values += [0.0, -0.0, 1e-45, -1e-45, 2.0**53, 2.0**53 - 2**29, -(2.0**52), 3.4e38]
    return [struct.unpack("<f", struct.pack("<f", v))[0] for v in values]


def test_time_texts_match_format_over_many_values(zu, zel_sim):
    values = single_precision_samples(30000)
    zu.sleep = abs
    for start in range(0, len(values), 1000):
        chunk = values[start:start + 1000]
        hops = [chunk[i:i + 5] for i in range(0, len(chunk), 5)]
        steps = [Step(result=int(i == len(hops) - 1),
                      record=records.trace_response(i + 1, "10.0.0.1", "h",
                                                    [(1, -1, t) for t in times]))
                 for i, times in enumerate(hops)]
        zel_sim.script("query_trace_route", *steps)
        zel_sim.script("init_trace_route", result=1, record=records.trace_header(b"h", b"x"))
        context = {}
        zu.get_diagnostic_data(context, "10.0.0.1")
        texts = [v for hop in context["routes"] for k, v in hop.items() if k.startswith("time")]
        assert texts == [format(t, ".3f") for t in chunk]
