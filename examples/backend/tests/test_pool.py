"""The back-end with its platform calls in a pool of worker processes,
whose workers start on the test's scenario and failures
(zel_sim.worker_setup); test_servers.py kills workers and lets calls
overrun under real servers."""

import os

import pytest
import webtest

import switch_backend
from zel_platform_pool import PlatformPool

pytestmark = pytest.mark.zel_scenario("../lab-switch.toml")


@pytest.fixture
def make_pool(zel_sim):
    made = []

    def make(size=2):
        made.append(PlatformPool(size, **zel_sim.worker_setup()))
        return made[-1]

    yield make
    for pool in made:
        pool.close()


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
