"""The back-end with its platform calls in a pool of worker processes: the
workers start on the test's scenario and failures (zel_sim.worker_setup),
and a worker that dies or overruns is replaced, its request answered 503
or 504."""

import os
import pathlib
import signal
import threading
import time

import pytest
import webtest
from zel_sim import Step, records

import switch_backend
from zel_platform_pool import PlatformPool

pytestmark = pytest.mark.zel_scenario("../lab-switch.toml")

SLOW = 30.0  # seconds: past any timeout these tests set, never waited for


@pytest.fixture
def make_pool(zel_sim):
    made = []

    def make(size=2, timeout=2 * SLOW):
        made.append(PlatformPool(size, timeout=timeout, **zel_sim.worker_setup()))
        return made[-1]

    yield make
    for pool in made:
        pool.close()


def slow_port(zel_sim):
    """gi1/0/3's 802.1X state takes SLOW seconds (in workers started from now)."""
    zel_sim.script("dump_tessel_802_1x_status", Step(1, records.dot1x_status(name="gi1/0/3"),
                                                     SLOW), key="gi1/0/3")


def test_the_workers_start_on_the_tests_scenario(make_pool):
    pool = make_pool()
    app = webtest.TestApp(switch_backend.make_app(pool))
    assert app.get("/environment").json == {
        "temperatures": [71.5, 68.0], "supplies": {"PSU 1": "ok", "PSU 2": "fault"}}
    assert pool.call(os.getpid) != os.getpid()


def test_the_workers_start_with_the_failures_of_the_block(make_pool, zel_sim):
    with zel_sim.failing("get_temp_list", -1):
        pool = make_pool()
        app = webtest.TestApp(switch_backend.make_app(pool))
        body = app.get("/environment").json
        assert body["temperatures"]["function"] == "get_temp_list"
    # The platform calls ran in a worker: this process's log has none.
    assert zel_sim.calls("get_temp_list") == []
    assert len(pool.call(zel_sim.calls, "get_temp_list")) == 1


def test_a_worker_killed_mid_call_answers_503_and_is_replaced(make_pool, zel_sim):
    slow_port(zel_sim)
    pool = make_pool(1)
    app = webtest.TestApp(switch_backend.make_app(pool))
    first = pool.call(os.getpid)
    killer = threading.Timer(0.5, os.kill, (first, signal.SIGKILL))
    killer.start()
    assert app.get("/dot1x/gi1/0/3", status=503).json == {
        "error": "the platform worker restarted, try again", "function": "get_8021x_status"}
    killer.join()
    assert app.get("/environment").json["supplies"] == {"PSU 1": "ok", "PSU 2": "fault"}
    assert pool.call(os.getpid) != first


def test_a_worker_that_died_idle_is_replaced_without_an_error(make_pool):
    pool = make_pool(1)
    app = webtest.TestApp(switch_backend.make_app(pool))
    worker = pool.call(os.getpid)
    os.kill(worker, signal.SIGKILL)
    while pathlib.Path(f"/proc/{worker}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z":
        time.sleep(0.01)  # until it is dead (a zombie: the pool has not waited for it yet)
    assert app.get("/dot1x/gi1/0/3", status=200).json["users"] == ["lab.tester"]


def test_a_call_past_the_timeout_answers_504(make_pool, zel_sim):
    slow_port(zel_sim)
    app = webtest.TestApp(switch_backend.make_app(make_pool(1, timeout=1.0)))
    assert app.get("/dot1x/gi1/0/3", status=504).json == {
        "error": "the platform did not answer in time", "function": "get_8021x_status",
        "seconds": 1.0}
    assert app.get("/dot1x/gi1/0/1", status=200)
