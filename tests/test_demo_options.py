"""The status report's --scenario and --json options, and the scenario a
back-end process picks up from ZEL_SIM_SCENARIO."""

import datetime
import json
import os
import pathlib
import subprocess
import sys

import pytest

DEMO = pathlib.Path(__file__).resolve().parent.parent / "demo" / "status_report.py"

# A switch that differs from the default one wherever the report looks, with
# a failing temperature list and a quick one-hop trace.
SCENARIO = """
extends = "default"

[system]
hostname = "lab-sw"
backup_time = 1700000000
diag_debug = 1

[hardware]
temperatures = [40.0]
[[hardware.psu]]
name = "PSU7"
ok = 0
connected = 1

[mtraceroute]
result = 7

[traceroute]
host_name = "ns1.example.net"
ip_address = "203.0.113.53"
[[traceroute.hop]]
ip = "203.0.113.53"
host = "ns1.example.net"
probes = [[1, -1, 1.5], [2, 0, 0.0]]

[fail]
get_temp_list = -1
"""


def run(*args, env=None):
    return subprocess.run([sys.executable, "-W", "ignore", *map(str, args)], capture_output=True,
                          text=True, timeout=120, env=env)


@pytest.fixture
def scenario(tmp_path):
    path = tmp_path / "lab-switch.toml"
    path.write_text(SCENARIO)
    return path


def test_json_report_of_a_scenario(scenario):
    proc = run(DEMO, "--scenario", scenario, "--json")
    assert proc.returncode == 0, proc.stderr
    report = json.loads(proc.stdout)
    assert list(report) == ["dot1x", "hardware", "ports", "configuration", "traceroute"]
    hardware = report["hardware"]
    assert hardware["temperatures"] == {"error": "CFunctionError('get_temp_list', -1)"}
    assert hardware["power_supplies"] == [{"name": "PSU 7", "connected": True, "ok": False}]
    # [hardware] merges into the default's key by key: its flash stays.
    assert sorted((p["partition"], p["image"]) for p in hardware["flash"]) == [
        (1, "zel-os-5.2.1.bin"), (2, "zel-os-5.1.4.bin"), (3, "")]
    assert report["configuration"] == {
        "last_backup": datetime.datetime.fromtimestamp(1700000000).isoformat(),
        "diag_debug": 1, "cmdb_max_buff": 4095, "stp_instance_priority_default": 32768}
    assert report["dot1x"]["gi1/0/3"]["status"]["port_status"] == "UnauthorizedBoth"
    assert report["dot1x"]["gi1/0/3"]["sessions"] == []
    assert set(report["ports"]["lo"]) == {"tx_packets", "tx_bytes", "rx_packets", "rx_bytes"}
    trace = report["traceroute"]
    assert trace["context"]["result"] == 1
    assert trace["context"]["routes"] == [{"ttl": 1, "ipAddress": "203.0.113.53",
                                           "hostName": "ns1.example.net",
                                           "time1": "1.500", "time2": "sent fail"}]
    assert trace["multicast"]["result"] == 7
    assert not os.path.exists(trace["multicast"]["result_file"])


def rows(text):
    """The report's rows: label -> value."""
    found = {}
    for line in text.splitlines():
        label, sep, value = line.strip().partition("  ")
        if sep and value.strip():
            found.setdefault(label, value.strip())
    return found


def test_text_report_shows_a_failing_call_in_place(scenario):
    proc = run(DEMO, "--scenario", scenario)
    assert proc.returncode == 0, proc.stderr
    shown = rows(proc.stdout)
    # The temperature failure takes the place of its items; the supply
    # fault, read from another platform list, is still shown.
    assert shown["temperatures"] == "failed: get_temp_list answered -1"
    assert shown["temperature sensors"] == "failed: get_temp_list answered -1"
    assert shown["PSU 7"] == "connected, FAULT"
    # The module only sets the hostname: the name shown is the simulator's.
    assert shown["hostname (simulator's record)"] == "lab-sw"
    assert "hostname" not in {key.split(" (")[0] for key in shown if "simulator" not in key}
    assert "this section failed" not in proc.stdout
    assert "== Configuration" in proc.stdout


# A switch with nothing of the default one: the report covers what it has.
OWN_SWITCH = """
[system]
hostname = "edge-sw"

[[dot1x]]
interface = "te1/1/1"
port_status = "Authorized:Both"
link_status = "Up"

[[dot1x]]
interface = "te1/1/2"
result = -1

[[port]]
name = "te1/1/1"
tx_packets = 11
tx_bytes = 22
rx_packets = 33
rx_bytes = 44

[hardware]
temperatures = [55.5]
[[hardware.psu]]
name = "PSU3"
ok = 0
connected = 1

[traceroute]
host_name = "gw.edge"
ip_address = "192.0.2.1"
[[traceroute.hop]]
ip = "192.0.2.1"
host = "gw.edge"
probes = [[1, -1, 0.5]]
[[traceroute.destination]]
target = "198.51.100.7"
ip_address = "198.51.100.7"
[[traceroute.destination.hop]]
ip = "198.51.100.7"
probes = [[1, -1, 2.5]]
[[traceroute.destination]]
target = "198.51.100.99"
result = 0

[fail]
get_psu_list = -1
"""


@pytest.fixture
def own_switch(tmp_path):
    path = tmp_path / "edge.toml"
    path.write_text(OWN_SWITCH)
    return path


def test_report_covers_the_interfaces_ports_and_traces_of_the_scenario(own_switch):
    proc = run(DEMO, "--scenario", own_switch)
    assert proc.returncode == 0, proc.stderr
    out = proc.stdout
    assert "gi1/0/" not in out
    assert "te1/1/1   link Up, AuthorizedBoth" in out
    assert "te1/1/2: no 802.1X state (dump_tessel_802_1x_status answered -1)" in out
    shown = rows(out)
    assert shown["te1/1/1 transmitted"] == "11 packets, 22 bytes"
    assert shown["te1/1/1 received"] == "33 packets, 44 bytes"
    assert shown["temperatures"] == "55.5 (in the platform's unit)"
    assert shown["power supplies"] == "failed: get_psu_list answered -1"
    assert [line for line in out.splitlines() if line.startswith("== Traceroute")] == [
        f"== Traceroute to {target} " + "=" * (72 - len(target) - 18)
        for target in ("gw.edge", "198.51.100.7", "198.51.100.99")]
    assert out.count("trace                              complete, 1 hop\n") == 2
    assert "trace                              could not be started" in out


# A switch whose platform leaves texts empty and answers with codes the
# report cannot judge by itself.
SPARSE_SWITCH = """
[system]
hostname = ""
query_update = false
flush_result = 3

[[dot1x]]
interface = "te1/0/9"
mode = 3
mab = 1
link_status = "Up"
guest_vlan_enable = 1

[mtraceroute]
result = 7

[traceroute]
ip_address = "192.0.2.1"
[[traceroute.hop]]
ip = "192.0.2.1"
probes = [[0, -1, 0.0], [1, -1, 0.25]]
"""


def test_the_report_says_what_codes_mean_and_shows_no_empty_field(tmp_path):
    path = tmp_path / "sparse.toml"
    path.write_text(SPARSE_SWITCH)
    proc = run(DEMO, "--scenario", path, env=dict(os.environ, TZ="UTC"))
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    dot1x = lines.index("  te1/0/9   link Up")
    # Codes the platform gives no meaning are named for what they are;
    # empty texts leave no label behind.
    assert lines[dot1x + 1:dot1x + 5] == [
        "            802.1X mode code 3, MAB setting 1",
        "            VLAN native 0, dynamic 0",
        "            guest: on, auth-fail: off",
        "            no sessions",
    ]
    shown = rows(proc.stdout)
    assert shown["temperature sensors"] == "none"
    assert shown["temperatures"] == "none"
    assert shown["flash partitions"] == "none"
    assert shown["sticky MAC flush, all ports"] == "platform status 3"
    assert shown["sticky MAC flush, te1/0/9"] == "platform status 3"
    assert shown["hostname (simulator's record)"] == "(none)"
    assert shown["hostname change to zel-demo-sw"] == (
        "not committed: no update record (status -1)")
    assert shown["last configuration backup"] == "never"
    assert shown["destination"] == "192.0.2.1, 30 hops max, 60 byte packets"
    assert shown["probe times"] == "in the platform's unit; * no reply"
    assert "    1  192.0.2.1              192.0.2.1        *  0.250" in lines
    assert shown["trace"] == "complete, 1 hop"
    assert shown["multicast traceroute to 239.1.1.1"] == "platform status 7"
    for line in lines:
        assert line == line.rstrip() and ", ," not in line and " ," not in line, line


def test_the_default_switch_reads_like_a_status_page():
    proc = run(DEMO, env=dict(os.environ, TZ="UTC"))
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert lines[lines.index("  gi1/0/1   link Up, AuthorizedBoth") + 1] == (
        "            802.1X mode code 2, MAB setting 0, EAP pass-through Disabled")
    shown = rows(proc.stdout)
    assert shown["temperature sensors"] == "more than one"
    assert shown["temperatures"] == "41.5, 38.25, 52 (in the platform's unit)"
    assert "  flash (sizes and usage in the platform's units)" in lines
    assert shown["3"] == "(no image)                       0     32768      0"
    assert shown["hostname change to zel-demo-sw"] == "committed (platform status 0)"
    assert shown["hostname change back"] == "committed (platform status 0)"
    assert shown["last configuration backup"] == "2024-11-18 02:30:00 UTC"
    assert shown["trace"] == "complete, 6 hops"


def test_json_report_follows_the_scenario_item_by_item(own_switch):
    proc = run(DEMO, "--scenario", own_switch, "--json")
    assert proc.returncode == 0, proc.stderr
    report = json.loads(proc.stdout)
    assert list(report["dot1x"]) == ["te1/1/1", "te1/1/2"]
    assert report["dot1x"]["te1/1/2"] == {
        "error": "CFunctionError('dump_tessel_802_1x_status', -1)"}
    assert list(report["ports"]) == ["te1/1/1", "lo"]
    assert report["ports"]["te1/1/1"] == {"tx_packets": 11, "tx_bytes": 22, "rx_packets": 33,
                                          "rx_bytes": 44}
    hardware = report["hardware"]
    assert hardware["temperatures"] == [55.5]
    assert hardware["power_supplies"] == {"error": "CFunctionError('get_psu_list', -1)"}
    trace = report["traceroute"]
    assert trace["target"] == "gw.edge"
    assert [hop["ipAddress"] for hop in trace["context"]["routes"]] == ["192.0.2.1"]
    assert list(trace["destinations"]) == ["198.51.100.7", "198.51.100.99"]
    assert [hop["time1"] for hop in trace["destinations"]["198.51.100.7"]["routes"]] == ["2.500"]
    assert trace["destinations"]["198.51.100.99"]["result"] == -1


def test_without_an_option_the_report_follows_zel_sim_scenario(own_switch):
    env = dict(os.environ, ZEL_SIM_SCENARIO=str(own_switch))
    report = json.loads(run(DEMO, "--json", env=env).stdout)
    assert list(report["dot1x"]) == ["te1/1/1", "te1/1/2"]
    assert list(report["ports"]) == ["te1/1/1", "lo"]


@pytest.mark.parametrize("content, message", [
    (None, "No such file or directory"),
    ("[nonsense]\n", "Object contains unknown field `nonsense` - at `$`"),
    ("x = = 1\n", "scenario "),
])
def test_bad_scenario_is_a_usage_error(tmp_path, content, message):
    path = tmp_path / "bad.toml"
    if content is not None:
        path.write_text(content)
    proc = run(DEMO, "--scenario", path, "--json")
    assert proc.returncode == 2 and proc.stdout == ""
    assert f"error: scenario {path}: " in proc.stderr and message in proc.stderr


def test_any_process_starts_in_the_scenario_of_zel_sim_scenario(scenario):
    env = dict(os.environ, ZEL_SIM_SCENARIO=str(scenario))
    proc = run("-c", "import zel.zel_util as z, zel_sim; "
                     "print(z.get_last_backup().timestamp(), z.psu_list()[0].name, "
                     "zel_sim.hostname().decode())", env=env)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["1700000000.0", "PSU", "7", "lab-sw"]
