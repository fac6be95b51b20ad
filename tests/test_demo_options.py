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


def test_text_report_goes_on_after_a_failing_section(scenario):
    proc = run(DEMO, "--scenario", scenario)
    assert proc.returncode == 0, proc.stderr
    assert "this section failed: CFunctionError('get_temp_list', -1)" in proc.stdout
    assert "== Configuration" in proc.stdout


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
