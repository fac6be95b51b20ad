"""Records filled with arbitrary bytes: counts huge, zero and negative, texts
without a terminator, invalid UTF-8. Each call returns a well-formed result
or raises a clean exception, reads nothing outside the record (the sanitizer
run checks that), and leaves the module usable."""

import random
import struct

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from zel_sim import Step, records

import zel.zel_util as zu
import zel_sim

PORT = b"gi1/0/9"
COUNTS = st.one_of(
    st.sampled_from([0, -1, 1, 5, 8, 13, 20, 21, 2**31 - 1, -(2**31)]),
    st.integers(-(2**31), 2**31 - 1),
)
LONG_BITS = struct.calcsize("l") * 8
HOSTILE = settings(max_examples=60, deadline=None,
                   suppress_health_check=[HealthCheck.function_scoped_fixture])


def record(size):
    """Random bytes of the record's size: mostly non-zero, so most texts run
    to the end of their room without a terminator."""
    return st.integers(0, 2**64).map(lambda seed: random.Random(seed).randbytes(size))


def with_int(blob, offset, value):
    buf = bytearray(blob)
    struct.pack_into("<i", buf, offset, value)
    return bytes(buf)


def clamp(count, capacity):
    return max(0, min(count, capacity))


@pytest.fixture(autouse=True)
def still_usable():
    yield
    zel_sim.reset()
    assert zu.get_cmdb_max_buff() == 4095
    assert zu.get_8021x_status("gi1/0/1")["name"] == "gi1/0/1"


@HOSTILE
@given(blob=record(16840), count=COUNTS)
def test_dot1x_record(blob, count):
    zel_sim.script("dump_tessel_802_1x_status", result=1, record=with_int(blob, 600, count))
    status = zu.get_8021x_status(PORT)
    sessions = zu.get_8021x_sessions(PORT)
    assert len(status) == 15 and len(status["sessions"]) == clamp(count, 20)
    assert len(sessions) == clamp(count, 20)
    assert all(len(s) == 12 for s in status["sessions"])
    assert all(len(s) == 14 and 0 <= s["native_vlan_id"] <= 65535 for s in sessions)
    assert ":" not in status["port_status"]
    assert all(len(status[k]) < 64 + 1 for k in ("name", "allowed_vlanid", "untagged_vlanid"))


@HOSTILE
@given(blob=record(324), count=COUNTS)
def test_temperature_record(blob, count):
    zel_sim.script("get_temp_list", result=0, record=with_int(blob, 320, count))
    readings = zu.system_temperatures()
    assert type(readings) is tuple and len(readings) == clamp(count, 8)
    assert all(type(r) is float for r in readings)


@HOSTILE
@given(blob=record(1576), count=COUNTS)
def test_power_supply_record(blob, count):
    zel_sim.script("get_psu_list", result=0, record=with_int(blob, 1568, count))
    try:
        supplies = zu.psu_list()
    except IndexError:
        return  # a name without "PSU"
    assert len(supplies) == clamp(count, 13)
    for supply in supplies:
        assert supply.name.startswith("PSU ") and len(supply.name) <= 4 + 112
        assert type(supply.connected) is bool and type(supply.ok) is bool


@HOSTILE
@given(blob=record(712), count=COUNTS)
def test_flash_record(blob, count):
    zel_sim.script("get_flash_list", record=with_int(blob, 704, count))
    try:
        partitions = zu.get_flashs()
    except UnicodeDecodeError:
        return
    assert len(partitions) == clamp(count, 8)
    for p in partitions:
        assert list(p) == ["partition", "image", "tot_size", "used_size", "usage", "active"]
        assert len(p["image"].encode()) <= 64 and 0 <= p["tot_size"] < 2**32


@HOSTILE
@given(header=record(112), context=record(584),
       hops=st.lists(st.tuples(record(164), COUNTS), min_size=1, max_size=4))
def test_trace_records(header, context, hops):
    steps = [Step(result=int(i == len(hops) - 1), record=with_int(blob, 100, count))
             for i, (blob, count) in enumerate(hops)]
    zel_sim.script("query_trace_route", *steps)
    zel_sim.script("init_trace_route", result=1, record=header, aux=context)
    zu.sleep = abs
    try:
        result = {}
        zu.get_diagnostic_data(result, "10.0.0.1")
    finally:
        zu.sleep = __import__("time").sleep
    assert result["result"] == 1 and zel_sim.open_trace_contexts() == 0
    for hop, (_, count) in zip(result["routes"], hops):
        assert len(hop) == 3 + clamp(count, 5)
        assert all(v is None or type(v) is str for k, v in hop.items() if k.startswith("time"))


@HOSTILE
@given(seconds=st.integers(-(2**(LONG_BITS - 1)), 2**(LONG_BITS - 1) - 1))
def test_backup_time(seconds):
    # Any time the platform's native long holds: 64 bits on the build host,
    # 32 on the device.
    zel_sim.script("backupts_GetTimeStamp", result=1, record=records.timestamp(seconds))
    try:
        assert zu.get_last_backup().year > 0
    except (OverflowError, ValueError, OSError):
        pass  # beyond what a datetime can hold


@HOSTILE
@given(prefill=record(256), name=st.binary(max_size=64))
def test_hostname_record(prefill, name):
    zel_sim.script("zel_query_update", result=1, aux=prefill)
    zel_sim.clear_calls()
    assert zu.set_hostname(name) == 0
    (_, (obj, committed)), = zel_sim.calls("nCfg_obj_change")
    expected = name.split(b"\0")[0][:35]
    assert obj == 11 and committed[:4] == prefill[:4] and committed[40:] == prefill[40:64]
    assert committed[4:4 + len(expected) + 1] == expected + b"\0" and committed[39] == 0
