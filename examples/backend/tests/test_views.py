"""The back-end's views against the lab switch, with platform failures
injected; nothing here but pytest and the simulator's plugin."""

import pytest

import switch_backend

# Every test of this file runs on the lab switch (relative to this file).
pytestmark = pytest.mark.zel_scenario("../lab-switch.toml")


def test_dot1x_of_a_port(zel_sim):
    assert switch_backend.dot1x("gi1/0/3") == (
        200, {"port": "AuthorizedBoth", "link": "Up", "users": ["lab.tester"]})
    assert zel_sim.calls("dump_tessel_802_1x_status")[0].args == (b"gi1/0/3",)


def test_dot1x_platform_failure_is_503(zel_sim):
    with zel_sim.failing("dump_tessel_802_1x_status", -1, key="gi1/0/3"):
        assert switch_backend.dot1x("gi1/0/3") == (
            503, {"error": "platform", "function": "dump_tessel_802_1x_status", "code": -1})
        assert switch_backend.dot1x("gi1/0/1")[0] == 200
    assert switch_backend.dot1x("gi1/0/3")[0] == 200


def test_environment():
    assert switch_backend.environment() == (
        200, {"temperatures": [71.5, 68.0], "supplies": {"PSU 1": "ok", "PSU 2": "fault"}})


def test_a_temperature_failure_does_not_hide_a_supply_fault(zel_sim):
    with zel_sim.failing("get_temp_list", -1):
        status, body = switch_backend.environment()
    assert status == 200
    assert body["temperatures"] == {"error": "platform", "function": "get_temp_list", "code": -1}
    assert body["supplies"]["PSU 2"] == "fault"


def test_both_failing_is_503(zel_sim):
    with zel_sim.failing("get_temp_list", -1), zel_sim.failing("get_psu_list", 5):
        assert switch_backend.environment()[0] == 503


@pytest.mark.zel_scenario("""
extends = "../lab-switch.toml"
[hardware]
temperatures = []
""")
def test_a_switch_without_sensors():
    assert switch_backend.environment()[1]["temperatures"] == []


def test_traffic_of_the_lab_port():
    assert switch_backend.traffic("gi1/0/48") == (
        200, {"tx_packets": 1200, "tx_bytes": 96000, "rx_packets": 800, "rx_bytes": 64000})
