"""The back-end's views against the lab switch, through WebTest, with
platform failures injected; nothing here but pytest, WebTest and the
simulator's plugin."""

import json

import pytest
import webtest
from zel_sim.testing import hops, script_trace

import switch_backend
import zel.zel_util as zu

# Every test of this file runs on the lab switch (relative to this file).
pytestmark = pytest.mark.zel_scenario("../lab-switch.toml")


def test_dot1x_of_a_port(app, zel_sim):
    assert app.get("/dot1x/gi1/0/3").json == {
        "port": "AuthorizedBoth", "link": "Up", "users": ["lab.tester"]}
    assert zel_sim.calls("dump_tessel_802_1x_status")[0].args == (b"gi1/0/3",)


def test_dot1x_platform_failure_is_502_naming_the_function(app, zel_sim):
    with zel_sim.failing("dump_tessel_802_1x_status", -1, key="gi1/0/3"):
        answer = app.get("/dot1x/gi1/0/3", status=502)
        assert answer.json == {"error": "platform call failed",
                               "function": "dump_tessel_802_1x_status", "code": -1}
        app.get("/dot1x/gi1/0/1", status=200)
    app.get("/dot1x/gi1/0/3", status=200)


def test_no_memory_for_the_record_is_503(app, monkeypatch):
    def short_of_memory(interface):
        raise zu.CFunctionError("PyMem_Malloc")

    monkeypatch.setattr(zu, "get_8021x_status", short_of_memory)
    answer = app.get("/dot1x/gi1/0/3", status=503)
    assert answer.json == {"error": "the switch is short of memory, try again"}


def test_a_name_latin1_cannot_encode_is_400(app):
    assert app.get("/dot1x/gi%C4%80", status=400).json["error"].startswith("'latin-1'")


def test_environment(app):
    assert app.get("/environment").json == {
        "temperatures": [71.5, 68.0], "supplies": {"PSU 1": "ok", "PSU 2": "fault"}}


def test_healthz_shows_the_flag_read_when_the_application_was_made(zel_sim):
    zel_sim.script("is_diag_debug_enabled", result=1)
    app = webtest.TestApp(switch_backend.make_app())
    zel_sim.script("is_diag_debug_enabled", result=0)
    assert app.get("/healthz").json == {"ok": True, "diag_debug": 1}
    assert len(zel_sim.calls("is_diag_debug_enabled")) == 1


def test_a_temperature_failure_does_not_hide_a_supply_fault(app, zel_sim):
    with zel_sim.failing("get_temp_list", -1):
        body = app.get("/environment", status=200).json
    assert body["temperatures"] == {"error": "platform call failed",
                                    "function": "get_temp_list", "code": -1}
    assert body["supplies"]["PSU 2"] == "fault"


def test_both_failing_is_502(app, zel_sim):
    with zel_sim.failing("get_temp_list", -1), zel_sim.failing("get_psu_list", 5):
        body = app.get("/environment", status=502).json
    assert body["supplies"]["code"] == 5


@pytest.mark.zel_scenario("""
extends = "../lab-switch.toml"
[hardware]
temperatures = []
""")
def test_a_switch_without_sensors(app):
    assert app.get("/environment").json["temperatures"] == []


def test_hostname_is_set_and_committed(app, zel_sim):
    assert zel_sim.hostname() == b"lab-access-sw"
    assert app.post_json("/hostname", {"hostname": "core-7"}).json["hostname"] == "core-7"
    assert zel_sim.hostname() == b"core-7"


def test_hostname_bad_requests_are_400(app, zel_sim):
    assert app.post("/hostname", "not json", status=400).json["error"]
    assert "int" in app.post_json("/hostname", {"hostname": 7}, status=400).json["error"]
    with zel_sim.failing("zel_query_update", 0):  # no update record: nothing committed
        app.post_json("/hostname", {"hostname": "core-7"}, status=502)
    assert zel_sim.hostname() == b"lab-access-sw"


def test_traffic_of_the_lab_port(app):
    assert app.get("/traffic/gi1/0/48").json == {
        "tx_packets": 1200, "tx_bytes": 96000, "rx_packets": 800, "rx_bytes": 64000}


@pytest.mark.zel_scenario("""
extends = "../lab-switch.toml"
[[port]]
name = "gi1/0/48"
unreadable = ["rx_bytes"]
""")
def test_an_unreadable_counter_counts_0_and_is_reported(app, zel_sim):
    with zel_sim.expect_unraisable(FileNotFoundError) as reports:
        assert app.get("/traffic/gi1/0/48").json["rx_bytes"] == 0
    assert len(reports) == 1 and "rx_bytes" in str(reports.exceptions[0])


# ---- the streamed traceroute ---------------------------------------------------------

HOPS = 4


def scripted_trace():
    script_trace(*hops(HOPS, delay=0.1))


def test_traceroute_streams_every_hop_then_the_result(app, zel_sim):
    scripted_trace()
    answer = app.get("/traceroute/ns1.example.net")
    assert answer.content_type == "application/x-ndjson"
    lines = [json.loads(line) for line in answer.body.splitlines()]
    assert [hop["ttl"] for hop in lines[:-1]] == list(range(1, HOPS + 1))
    assert lines[-1] == {"result": 1}
    assert zel_sim.open_trace_contexts() == 0


def test_traceroute_reaches_the_client_hop_by_hop(zel_sim):
    scripted_trace()
    request = webtest.TestRequest.blank("/traceroute/ns1.example.net")
    status, headers, body = request.call_application(switch_backend.make_app())
    first = next(iter(body))
    # The first hop is at the client while the platform has more to answer.
    assert json.loads(first)["ttl"] == 1
    assert len(zel_sim.calls("query_trace_route")) < HOPS
    rest = list(body)
    body.close()
    assert json.loads(rest[-1]) == {"result": 1} and len(rest) == HOPS


def test_a_trace_that_cannot_start_ends_with_an_error_line(app, zel_sim):
    with zel_sim.failing("init_trace_route", 0):
        lines = app.get("/traceroute/10.9.9.9").body.splitlines()
    assert json.loads(lines[-1]) == {
        "error": "the traceroute to 10.9.9.9 could not be started"}
