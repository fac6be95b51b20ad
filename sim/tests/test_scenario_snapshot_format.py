"""What the scenario format says so that a snapshot can say everything: texts
by their bytes (`{ hex = "..." }`), counters that cannot be read, every
single-precision value; and the command line that never loads the library
unless it reads a simulated switch."""

import os
import subprocess
import sys

import pytest
from zel_sim import records, snapshot
from zel_sim.scenario import ScenarioError, load

import zel_sim

TEXT_FIELDS = [
    ("system", "hostname", records.HOSTNAME_ROOM),
    ("dot1x", "port_status", records.DOT1X_TEXT_ROOMS["port_status"]),
    ("session", "brenlow_group", records.SESSION_TEXT_ROOMS["brenlow_group"]),
    ("psu", "name", records.PSU_NAME_ROOM),
    ("flash", "image", records.FLASH_IMAGE_ROOM),
    ("hop", "host", records.TRACE_RESPONSE_ROOMS["host"]),
    ("traceroute", "ip_address", records.TRACE_HEADER_ROOMS["ip_address"]),
]


def with_text(where, key, value):
    if where == "system":
        return {"system": {key: value}}
    if where == "dot1x":
        return {"dot1x": [{"interface": "gi1/0/1", key: value}]}
    if where == "session":
        return {"dot1x": [{"interface": "gi1/0/1", "sessions": [{key: value}]}]}
    if where in ("psu", "flash"):
        return {"hardware": {where: [{"name": "PSU1", key: value} if where == "psu"
                                     else {key: value}]}}
    if where == "hop":
        return {"traceroute": {"hop": [{key: value}]}}
    return {"traceroute": {"hop": [{}], key: value}}


def stored(chosen, where, key):
    if where == "system":
        return chosen.system.hostname
    if where == "dot1x":
        return getattr(chosen.dot1x[0], key)
    if where == "session":
        return getattr(chosen.dot1x[0].sessions[0], key)
    if where in ("psu", "flash"):
        return getattr(getattr(chosen.hardware, where)[0], key)
    if where == "hop":
        return getattr(chosen.traceroute.hop[0], key)
    return getattr(chosen.traceroute, key)


@pytest.mark.parametrize("where, key, room", TEXT_FIELDS)
def test_a_text_given_by_its_bytes_may_fill_its_field(where, key, room):
    whole = bytes([0xFF, 0x01, 0x80] * room)[:room]
    chosen = load(with_text(where, key, {"hex": whole.hex()}))
    assert stored(chosen, where, key).data == whole
    with pytest.raises(ScenarioError) as raised:
        load(with_text(where, key, {"hex": (whole + b"x").hex()}))
    assert str(raised.value).startswith(
        f"scenario given as a dict: `{key}` is {room + 1} bytes long, but its platform field "
        f"holds {room} bytes - at `$.")
    # A string still needs its terminator, and a wrong value still names the string.
    with pytest.raises(ScenarioError, match=f"at most {room - 1}"):
        load(with_text(where, key, "x" * room))
    with pytest.raises(ScenarioError, match="Expected `str`, got `int`"):
        load(with_text(where, key, 1))


@pytest.mark.parametrize("value, problem", [
    ({"hex": "41004142"}, "`hex` = '41004142' holds a NUL byte, which would end the text"),
    ({"hex": "414"}, "Expected `str` matching regex '^([0-9A-Fa-f]{2})*$'"),
    ({"hex": "zz"}, "Expected `str` matching regex"),
    ({"hex": "41", "bytes": 1}, "Object contains unknown field `bytes`"),
])
def test_a_text_given_by_its_bytes_is_checked(value, problem):
    with pytest.raises(ScenarioError) as raised:
        load({"system": {"hostname": value}})
    assert problem in str(raised.value)
    assert "at `$.system.hostname" in str(raised.value)


def test_texts_by_their_bytes_reach_the_records_unchanged():
    chosen = zel_sim.load_scenario({
        "system": {"hostname": {"hex": "6c6162ff"}},
        "dot1x": [{"interface": "gi1/0/1", "name": {"hex": "41" * 64}}],
        "hardware": {"flash": [{"image": {"hex": "c328"}}]},
    })
    assert zel_sim.hostname() == b"lab\xff"
    steps = zel_sim.scenario.compile_scripts(chosen, zel_sim.Step)
    dot1x = steps[("dump_tessel_802_1x_status", b"gi1/0/1")][0].record
    assert dot1x[:64] == b"A" * 64 and dot1x[64:68] == bytes(4)  # no terminator
    assert steps["get_flash_list"][0].record[4:7] == b"\xc3\x28\x00"


def test_unreadable_counters_have_no_file():
    zel_sim.load_scenario({"port": [{"name": "gi1/0/1", "tx_bytes": 7,
                                     "unreadable": ["rx_bytes", "tx_packets"]}]})
    statistics = zel_sim.port_directory() / "gi1/0/1" / "statistics"
    assert sorted(p.name for p in statistics.iterdir()) == ["rx_packets", "tx_bytes"]
    assert (statistics / "tx_bytes").read_text() == "7\n"


@pytest.mark.parametrize("unreadable, problem", [
    (["rx_bytes", "rx_bytes"], "unreadable[1]: 'rx_bytes' is given twice"),
    (["rx_byte"], "Invalid enum value 'rx_byte' - at `$.port[0].unreadable[0]`"),
])
def test_unreadable_counters_are_checked(unreadable, problem):
    with pytest.raises(ScenarioError) as raised:
        load({"port": [{"name": "gi1/0/1", "unreadable": unreadable}]})
    assert problem in str(raised.value)


def test_every_single_precision_value_is_accepted():
    biggest = 3.4028234663852886e38
    chosen = load("[hardware]\ntemperatures = [3.4028234663852886e+38, -inf, inf, nan]\n"
                  "[traceroute]\n[[traceroute.hop]]\nprobes = [[1, -1, nan], [1, -1, -inf]]\n")
    assert chosen.hardware.temperatures[:3] == [biggest, float("-inf"), float("inf")]
    for value in ("3.5e38", "-1e39"):
        with pytest.raises(ScenarioError) as raised:
            load(f"[hardware]\ntemperatures = [1.0, {value}]\n")
        assert (f"temperatures[1] {float(value)!r} does not fit single precision"
                in str(raised.value))
    with pytest.raises(ScenarioError, match=r"probes\[0\] time 1e\+39 does not fit"):
        load("[traceroute]\n[[traceroute.hop]]\nprobes = [[1, -1, 1e39]]\n")


def command(*args, **env):
    merged = {k: v for k, v in os.environ.items() if k != "ZEL_SIM_SCENARIO"}
    merged.update(env)
    return subprocess.run([sys.executable, "-m", "zel_sim", *args], capture_output=True,
                          text=True, env=merged, timeout=60)


def test_the_command_loads_the_library_only_to_read_a_simulated_switch():
    # The dynamic loader names every library it loads (LD_DEBUG=files).
    checked = command("check", str(zel_sim.scenario.DEFAULT_PATH), LD_DEBUG="files")
    assert checked.returncode == 0
    assert "libzelplatform" not in checked.stderr and "libzelplatform" not in checked.stdout
    snap = command("snapshot", "--ports", "gi1/0/1", LD_DEBUG="files")
    assert snap.returncode == 0, snap.stderr
    assert "libzelplatform" in snap.stderr


def test_the_snapshot_help_says_where_the_switch_comes_from():
    proc = command("snapshot", "--help")
    assert proc.returncode == 0
    text = " ".join(proc.stdout.split())
    for said in ("never loading the simulator", "--device", "--simulator",
                 "on a switch this is a real trace", "the interfaces the kernel lists "
                 "(/sys/class/net)", "recorded as that failure", "reported on standard error"):
        assert said in text


def test_the_kernels_interfaces_are_its_directories(tmp_path):
    for name in ("eth0", "lo", "br-lan"):
        (tmp_path / name).mkdir()
    (tmp_path / "bonding_masters").write_text("\n")
    assert snapshot.kernel_interfaces(str(tmp_path)) == ["br-lan", "eth0", "lo"]
    assert snapshot.kernel_interfaces(str(tmp_path / "none")) == []
