"""Snapshots of hostile switches: texts at their field's limit (and filling
it without a terminator), every byte value, counts at and beyond capacity,
extreme words, counters and single-precision values, failing calls. The
snapshot of the simulator running such a scenario A is a scenario B on which
every read-only operation answers as on A, and whose own snapshot is B.

In this process (the snapshot's Python interface, the scenarios applied with
load_scenario); the command and the start scenario are tested in
test_snapshot_roundtrip.py."""

from __future__ import annotations

import ctypes
import struct
import tomllib

import pytest
import readonly
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from zel_sim import records, snapshot
from zel_sim._readings import READINGS

import zel_sim

WORDS = st.one_of(st.sampled_from([0, 1, -1, 2**31 - 1, -(2**31), 2**32 - 1]),
                  st.integers(-(2**31), 2**32 - 1))
CODES = st.sampled_from([-1, -2, 2, 5, 255, -(2**31)])
F32 = st.floats(width=32)
# The platform calls whose failure a snapshot records under [fail].
FAILING = ("get_temp_list", "get_psu_list", *(reading.function for reading in READINGS.values()))
HOSTILE = settings(max_examples=30, deadline=None,
                   suppress_health_check=[HealthCheck.function_scoped_fixture,
                                          HealthCheck.too_slow, HealthCheck.data_too_large])


def raw(room: int, encoding: str = "latin-1"):
    """A text field's bytes (no NUL), its length often at the limits."""
    length = st.one_of(st.sampled_from([0, 1, room - 1, room]), st.integers(0, room))
    byte = st.one_of(st.integers(1, 255), st.sampled_from(b'"\\\n\t\x7f\x80\x9f\xe9\xff'))
    return length.flatmap(lambda n: st.lists(byte, min_size=n, max_size=n).map(bytes))


def as_text(data: bytes, room: int, encoding: str = "latin-1"):
    """A string where one holds the bytes with their terminator, else the
    bytes themselves."""
    try:
        if len(data) < room:
            return data.decode(encoding)
    except UnicodeDecodeError:
        pass
    return {"hex": data.hex()}


def text(room: int, encoding: str = "latin-1"):
    return raw(room, encoding).map(lambda data: as_text(data, room, encoding))


@st.composite
def session(draw):
    out = {key: draw(text(room)) for key, room in records.SESSION_TEXT_ROOMS.items()}
    for key in ("native_vlan_id", "traffic_vlan_id", "dynamic_assigned_vlan_id"):
        out[key] = draw(st.sampled_from([0, 1, 65535]) | st.integers(0, 65535))
    return out


@st.composite
def dot1x(draw, interface):
    out = {"interface": interface}
    if draw(st.integers(0, 5)) == 0:
        out["result"] = draw(st.sampled_from([0, -1, 2, 2**31 - 1]))
        return out
    for key, room in records.DOT1X_TEXT_ROOMS.items():
        out[key] = draw(text(room))
    for key in ("mode", "mab", "dynamic_vlanid", "native_vlanid", "guest_vlan_enable",
                "auth_fail_vlan_enable"):
        out[key] = draw(WORDS)
    out["sessions"] = draw(st.lists(session(), max_size=20) | st.lists(session(), min_size=20,
                                                                        max_size=20))
    if draw(st.booleans()):
        out["count"] = draw(st.sampled_from([-1, 0, 20, 21, 2**31 - 1]))
    return out


@st.composite
def port(draw, name):
    out = {"name": name}
    for counter in ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes"):
        out[counter] = draw(st.sampled_from([0, 2**64 - 1]) | st.integers(0, 2**64 - 1))
    out["unreadable"] = draw(st.lists(st.sampled_from(["tx_packets", "tx_bytes", "rx_packets",
                                                       "rx_bytes"]), unique=True))
    return out


@st.composite
def psu(draw):
    name = draw(raw(records.PSU_NAME_ROOM - 3).map(lambda rest: b"PSU" + rest))
    if draw(st.integers(0, 30)) == 0:
        name = draw(raw(records.PSU_NAME_ROOM))  # most likely without "PSU": IndexError
    return {"name": as_text(name, records.PSU_NAME_ROOM), "ok": draw(WORDS),
            "connected": draw(WORDS)}


@st.composite
def flash(draw):
    if draw(st.integers(0, 10)) == 0:
        image = draw(raw(records.FLASH_IMAGE_ROOM))  # mostly not UTF-8
    else:
        chars = st.text(st.characters(blacklist_categories=("Cs",), blacklist_characters="\0"),
                        max_size=20)
        image = draw(chars).encode("utf-8")[:records.FLASH_IMAGE_ROOM]
        image = image.decode("utf-8", "ignore").encode("utf-8")
    out = {key: draw(WORDS) for key in ("partition", "tot_size", "used_size", "usage",
                                        "active")}
    out["image"] = as_text(image, records.FLASH_IMAGE_ROOM, "utf-8")
    return out


@st.composite
def hop(draw):
    probe = st.tuples(st.sampled_from([0, 1, 1, 1, 2, 3]),
                      st.sampled_from([-1, -2, 0, 1, 2, 3, 4, 5, 7, 13, 14, 15, 99]), F32)
    out = {"ttl": draw(WORDS), "ip": draw(text(records.TRACE_RESPONSE_ROOMS["ip"])),
           "host": draw(text(records.TRACE_RESPONSE_ROOMS["host"])),
           "probes": [list(p) for p in draw(st.lists(probe, max_size=5))]}
    if draw(st.integers(0, 4)) == 0:
        out["probe_count"] = draw(st.sampled_from([-1, 0, 5, 6, 2**31 - 1]))
    return out


@st.composite
def route(draw):
    out = {"result": draw(st.sampled_from([0, 1, 1, 1]))}
    if out["result"] == 0:
        return out
    for key, room in records.TRACE_HEADER_ROOMS.items():
        out[key] = draw(text(room))
    for key in ("hops", "probes", "timeout", "package_size", "reply_mtu"):
        out[key] = draw(WORDS)
    hops = draw(st.lists(hop(), min_size=1, max_size=4))
    for entry in hops[:-1]:
        if draw(st.booleans()):
            entry["result"] = draw(st.sampled_from([0, 2, -1, 2**31 - 1]))
    out["hop"] = hops
    return out


@st.composite
def scenarios(draw):
    names = [f"gi1/0/{i}" for i in range(draw(st.integers(0, 3)))]
    system = {"backup_time": draw(st.booleans().map(lambda b: False) | st.integers(
        -(2**31), 2**31 - 1)), **{field: draw(WORDS) for field in READINGS}}
    system["hostname"] = draw(text(records.HOSTNAME_ROOM))
    hardware = {"temperatures": draw(st.lists(F32, max_size=8)),
                "psu": draw(st.lists(psu(), max_size=13)),
                "flash": draw(st.lists(flash(), max_size=8))}
    targets = draw(st.lists(st.sampled_from(["192.0.2.1", "gw", "x" * 63]), unique=True))
    traceroute = {**draw(route()), "destination": [
        {"target": target, **draw(route())} for target in targets]}
    fail = {}
    for fn in FAILING:
        if draw(st.integers(0, 4)) == 0:
            fail[fn] = draw(CODES)
    data = {"system": system, "dot1x": [draw(dot1x(n)) for n in names],
            "port": [draw(port(n)) for n in names], "hardware": hardware,
            "traceroute": traceroute, "fail": fail}
    return data, names + ["gi9/9"], targets + ["198.18.0.1"]


def take(zu, ports, traces, reported):
    taken = snapshot.take(zu, ports, traces, hostname=zel_sim.hostname(),
                          report=reported.append)
    return snapshot.render(taken, "a test")


def without_header(text):
    return [line for line in text.splitlines() if not snapshot.is_header_line(line)]


@pytest.fixture
def quiet(zu, capfd):
    zu.sleep = lambda seconds: None  # no pause between hops
    return zu


@given(scenarios())
@HOSTILE
def test_a_hostile_switch_survives_the_round_trip(quiet, chosen):
    data, ports, traces = chosen
    zel_sim.load_scenario(data)
    a = readonly.results(quiet, ports, traces)
    reported = []
    b_text = take(quiet, ports, traces, reported)
    zel_sim.load_scenario(b_text)
    assert readonly.results(quiet, ports, traces) == a
    again = take(quiet, ports, traces, [])
    assert without_header(again) == without_header(b_text)


@pytest.mark.parametrize("field, reading", READINGS.items(), ids=list(READINGS))
def test_a_failing_reading_is_recorded_as_its_failure(quiet, field, reading):
    def failing():
        raise quiet.CFunctionError(reading.function, -5)

    setattr(quiet, reading.operation, failing)
    reported = []
    b_text = take(quiet, [], [], reported)
    parsed = tomllib.loads(b_text)
    assert parsed["fail"] == {reading.function: -5} and field not in parsed["system"]
    assert (f"{reading.operation}(): {reading.function} failed with -5; recorded as [fail] "
            f"{reading.function} = -5") in reported
    zel_sim.load_scenario(b_text)
    out = ctypes.create_string_buffer(8)
    assert getattr(ctypes.CDLL(zel_sim.LIBRARY), reading.function)(out) == -5
    assert out.raw == bytes(8)  # the failure writes nothing


def test_texts_filling_their_fields_keep_their_bytes(quiet):
    full = bytes(range(1, 65))  # 64 bytes: the whole room, no terminator
    data = {"dot1x": [{"interface": "gi1/0/1", "name": {"hex": full.hex()},
                       "sessions": [{"brenlow_group": {"hex": (b"\xff" * 512).hex()}}]}],
            "hardware": {"flash": [{"image": {"hex": (b"ok\xc3\x28").hex()}}],
                         "psu": [{"name": {"hex": (b"PSU" + b"\x01" * 109).hex()}}]}}
    zel_sim.load_scenario(data)
    reported = []
    b_text = take(quiet, ["gi1/0/1"], [], reported)
    assert f'name = {{ hex = "{full.hex()}" }}' in b_text
    assert f'brenlow_group = {{ hex = "{"ff" * 512}" }}' in b_text
    # The image name is not UTF-8: get_flashs() fails for the whole list,
    # and that one name is what the snapshot keeps.
    assert 'image = { hex = "6f6bc328" }' in b_text
    assert any(m.startswith("get_flashs() raised UnicodeDecodeError") for m in reported)
    zel_sim.load_scenario(b_text)
    assert quiet.get_8021x_status("gi1/0/1")["name"] == full.decode("latin-1")
    with pytest.raises(UnicodeDecodeError) as raised:
        quiet.get_flashs()
    assert raised.value.object == b"ok\xc3\x28"
    assert quiet.psu_list()[0].name == "PSU " + "\x01" * 109


def test_single_precision_extremes_keep_their_values(quiet):
    biggest = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]
    smallest = struct.unpack("<f", b"\x01\x00\x00\x00")[0]
    temps = [biggest, -biggest, smallest, float("inf"), float("-inf"), 0.1]
    zel_sim.load_scenario({"hardware": {"temperatures": temps}})
    b_text = take(quiet, [], [], [])
    zel_sim.load_scenario(b_text)
    assert quiet.system_temperatures() == tuple(struct.unpack("<6f", struct.pack("<6f", *temps)))


# ---- texts of the switch that would break out of their line ---------------------------

# Every byte from 1 to 0xFF but '/' (a port name's separator), in names that
# fit an 802.1X interface name's room.
EVERY_BYTE = bytes(b for b in range(1, 256) if b != ord("/")).decode("latin-1")
INJECTED = "gi1/0/9\n[fail]\nget_temp_list = -7\n#"
NAMES = [INJECTED, 'q"uote\\d\\"', "cr\rnel\x85 tab\there"] + [
    EVERY_BYTE[i:i + 60] for i in range(0, len(EVERY_BYTE), 60)]
TARGETS = ["t\n[fail]\nget_psu_list = -3\n\x01", '"\\\x7f\xa0\xff']
HOSTNAME = 'sw\n[fail]\n\x01"\\\x1b\xff'


def test_texts_of_the_switch_stay_in_their_lines(quiet):
    zel_sim.load_scenario({
        "system": {"hostname": HOSTNAME},
        "dot1x": [{"interface": name, "mode": index} for index, name in enumerate(NAMES)],
        "port": [{"name": name, "tx_packets": index} for index, name in enumerate(NAMES)],
        "traceroute": {"result": 0, "destination": [
            {"target": target, "result": 1, "host_name": target, "hop": [{"host": target}]}
            for target in TARGETS]}})
    a = readonly.results(quiet, NAMES, TARGETS)
    taken = snapshot.take(quiet, NAMES, TARGETS, hostname=zel_sim.hostname(),
                          report=lambda message: None)
    b_text = snapshot.render(taken, "host\n[fail]\nget_temp_list = -7\n\x01\x85\u2028")
    lines = b_text.splitlines()
    header = next(i for i, line in enumerate(lines) if not line.startswith("#"))
    assert lines[header:header + 2] == ["", "[system]"]
    parsed = tomllib.loads(b_text)
    assert sorted(parsed) == ["dot1x", "hardware", "port", "system", "traceroute"]
    assert parsed["system"]["hostname"] == HOSTNAME
    assert [d["interface"] for d in parsed["dot1x"]] == NAMES
    assert [p["name"] for p in parsed["port"]] == NAMES
    assert [d["target"] for d in parsed["traceroute"]["destination"]] == TARGETS
    zel_sim.load_scenario(b_text)
    assert readonly.results(quiet, NAMES, TARGETS) == a


def test_a_port_inside_another_ports_counter_file_is_left_out(quiet):
    zel_sim.load_scenario('[[port]]\nname = "a"\ntx_packets = 3\n')
    reported = []
    inside = "a/statistics/tx_packets"
    b_text = take(quiet, ["a", inside], [], reported)
    assert [p.name for p in zel_sim.scenario.load(b_text).port] == ["a"]
    assert f"port {inside!r} would be a directory where port 'a' has its counter file " \
           "statistics/tx_packets: its counters are not written" in reported
