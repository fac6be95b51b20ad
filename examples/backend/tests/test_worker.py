"""The back-end with its platform calls in a worker process: the worker
starts on the test's scenario and failures (zel_sim.worker_setup), is
replaced after it dies, and stops with the server on SIGTERM."""

import os
import pathlib
import signal
import subprocess
import sys
import time
import urllib.request

import pytest
import webtest

import switch_backend
from platform_worker import PlatformWorker

pytestmark = pytest.mark.zel_scenario("../lab-switch.toml")

BACKEND = pathlib.Path(__file__).resolve().parent.parent


@pytest.fixture
def worker(zel_sim):
    worker = PlatformWorker(**zel_sim.worker_setup())
    yield worker
    worker.shutdown()


def test_the_worker_starts_on_the_tests_scenario(worker):
    app = webtest.TestApp(switch_backend.make_app(worker))
    assert app.get("/environment").json == {
        "temperatures": [71.5, 68.0], "supplies": {"PSU 1": "ok", "PSU 2": "fault"}}
    assert worker.call(os.getpid) != os.getpid()


def test_the_worker_starts_with_the_failures_of_the_block(worker, zel_sim):
    app = webtest.TestApp(switch_backend.make_app(worker))
    with zel_sim.failing("get_temp_list", -1):
        body = app.get("/environment").json
        assert body["temperatures"]["function"] == "get_temp_list"
    # The platform calls ran in the worker: this process's log has none.
    assert zel_sim.calls("get_temp_list") == []
    assert len(worker.call(zel_sim.calls, "get_temp_list")) == 1


def test_a_dead_worker_answers_503_once_then_a_new_one_takes_over(worker, zel_sim):
    app = webtest.TestApp(switch_backend.make_app(worker))
    with zel_sim.failing("get_psu_list", 9):
        assert app.get("/environment").json["supplies"]["code"] == 9
        first = worker.call(os.getpid)
    os.kill(first, signal.SIGKILL)
    assert app.get("/dot1x/gi1/0/3", status=503).json == {
        "error": "the platform worker restarted, try again"}
    # The new worker starts on the switch as it is now, without the block.
    assert app.get("/environment").json["supplies"] == {"PSU 1": "ok", "PSU 2": "fault"}
    assert worker.call(os.getpid) != first


def children(pid):
    """The processes whose parent is pid."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            stat = (entry / "stat").read_text()
        except (OSError, ValueError):
            continue
        if entry.name.isdigit() and int(stat.rsplit(")", 1)[1].split()[1]) == pid:
            found.append(int(entry.name))
    return found


def running(pid):
    try:
        state = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except OSError:
        return False
    return state != "Z"


def test_sigterm_stops_the_server_with_its_worker(tmp_path):
    env = {**os.environ, "ZEL_SIM_SCENARIO": str(BACKEND / "lab-switch.toml")}
    errors = (tmp_path / "stderr").open("w+")  # not a pipe: the helpers would keep it open
    server = subprocess.Popen([sys.executable, "switch_backend.py", "--port", "0"], cwd=BACKEND,
                              env=env, stdout=subprocess.PIPE, stderr=errors, text=True)
    helpers = []
    try:
        url = server.stdout.readline().split()[-1]
        with urllib.request.urlopen(url + "/environment", timeout=60) as answer:
            assert answer.status == 200
        helpers = children(server.pid)  # the worker and the resource tracker
        assert len(helpers) == 2 and all(running(pid) for pid in helpers)
        server.send_signal(signal.SIGTERM)
        assert server.wait(timeout=60) == 0, errors.seek(0) or errors.read()
        deadline = time.monotonic() + 30
        while any(running(pid) for pid in helpers) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert not [pid for pid in helpers if running(pid)]
    finally:
        for pid in [server.pid, *helpers]:
            if running(pid):
                os.kill(pid, signal.SIGKILL)
        server.wait()
        server.stdout.close()
        errors.close()
