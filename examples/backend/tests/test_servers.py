"""The back-end served for real on 127.0.0.1, by waitress and by gunicorn
(sync, gthread, --preload), its platform calls in pools: workers start
under the server's warning filters, a call past its timeout answers 504, a
worker killed mid-call ends that response only, and SIGTERM stops the
server with every process it started."""

import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import time
import urllib.error
import urllib.request

import pytest

BACKEND = pathlib.Path(__file__).resolve().parent.parent
DEADLINE = 60.0  # seconds: only a hang takes this long

# The lab switch, with a port whose 802.1X state takes 30 s and a trace
# whose hops take a second each.
SLOW_SWITCH = """
extends = "{lab}"
[[dot1x]]
interface = "gi1/0/9"
delay = 30.0
[traceroute]
{hops}
"""
HOP = '[[traceroute.hop]]\nip = "10.0.{i}.1"\ndelay = 1.0\n'

# The application's warning filters, set in code as docs/backend.md shows;
# the interpreter runs with -W error.
STRICT_SERVER = """
import runpy, sys, warnings
warnings.filterwarnings("ignore", "'cgi' is deprecated", DeprecationWarning)
warnings.filterwarnings("ignore", "pkg_resources is deprecated")
warnings.filterwarnings("ignore", "Deprecated call to `pkg_resources.declare_namespace",
                        DeprecationWarning)
warnings.filterwarnings("ignore", "`pyramid.compat` is deprecated", DeprecationWarning)
sys.argv[0] = "switch_backend.py"
runpy.run_path("switch_backend.py", run_name="__main__")
"""


def parent_of(pid):
    try:
        return int(pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])
    except (OSError, ValueError, IndexError):
        return None


def descendants(pid):
    """Every process below pid."""
    below, found = {pid}, []
    for entry in sorted(pathlib.Path("/proc").iterdir(), key=lambda p: p.name):
        if entry.name.isdigit() and parent_of(int(entry.name)) in below:
            below.add(int(entry.name))
            found.append(int(entry.name))
    return found


def running(pid):
    try:
        state = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except OSError:
        return False
    return state != "Z"


def ended(pids):
    deadline = time.monotonic() + DEADLINE
    while any(running(pid) for pid in pids) and time.monotonic() < deadline:
        time.sleep(0.05)
    return [pid for pid in pids if running(pid)]


class Server:
    """A server process, its log in a file (not a pipe, which its workers
    would keep open), its address read from that log."""

    def __init__(self, tmp_path, args, scenario):
        self.log_path = tmp_path / "server.log"
        self.log = self.log_path.open("w")
        env = {**os.environ, "ZEL_SIM_SCENARIO": str(scenario)}
        env.pop("PYTHONWARNINGS", None)
        self.process = subprocess.Popen(args, cwd=BACKEND, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.url = None

    def wait_for_address(self, pattern):
        deadline = time.monotonic() + DEADLINE
        while time.monotonic() < deadline and self.process.poll() is None:
            found = re.search(pattern, self.log_path.read_text())
            if found:
                self.url = found.group(1)
                return
            time.sleep(0.05)
        raise AssertionError(f"the server did not start:\n{self.log_path.read_text()}")

    def get(self, path):
        """(status, body) of GET path."""
        try:
            with urllib.request.urlopen(self.url + path, timeout=DEADLINE) as answer:
                return answer.status, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, error.read()

    def stop(self):
        """SIGTERM; the exit status, and what is left running of the
        processes the server had started."""
        started = descendants(self.process.pid)
        self.process.send_signal(signal.SIGTERM)
        status = self.process.wait(DEADLINE)
        return status, ended(started)

    def close(self):
        for pid in [self.process.pid, *descendants(self.process.pid)]:
            if running(pid):
                os.kill(pid, signal.SIGKILL)
        self.process.wait()
        self.log.close()


@pytest.fixture
def slow_switch(tmp_path):
    path = tmp_path / "slow-switch.toml"
    path.write_text(SLOW_SWITCH.format(lab=BACKEND / "lab-switch.toml",
                                       hops="".join(HOP.format(i=i) for i in range(10))))
    return path


@pytest.fixture
def serve(tmp_path, slow_switch):
    servers = []

    def start(args, address_pattern):
        servers.append(Server(tmp_path, args, slow_switch))
        servers[-1].wait_for_address(address_pattern)
        return servers[-1]

    yield start
    for server in servers:
        server.close()


def test_waitress_with_strict_warnings(serve):
    server = serve([sys.executable, "-W", "error", "-c", STRICT_SERVER, "--port", "0",
                    "--workers", "1", "--timeout", "5"], r"serving on (http://\S+)")
    # The worker imported the module under -W error and the filters set in code.
    status, body = server.get("/environment")
    assert status == 200 and json.loads(body)["supplies"] == {"PSU 1": "ok", "PSU 2": "fault"}
    status, body = server.get("/dot1x/gi1/0/9")
    assert (status, json.loads(body)["seconds"]) == (504, 5.0)

    # A worker killed mid-call: the streamed trace it was running ends with
    # an error line; the next request gets a new worker.
    with urllib.request.urlopen(server.url + "/traceroute/10.9.9.9", timeout=DEADLINE) as trace:
        assert json.loads(trace.readline())["ttl"] == 1
        (worker,) = descendants(server.process.pid)
        os.kill(worker, signal.SIGKILL)
        last = json.loads(trace.read().splitlines()[-1])
    assert "WorkerDied" in last["error"] and "get_diagnostic_data()" in last["error"]
    assert server.get("/dot1x/gi1/0/3")[0] == 200

    assert server.stop() == (0, [])


@pytest.mark.parametrize("options", [["-k", "sync"], ["-k", "gthread", "--threads", "4"],
                                     ["-k", "gthread", "--threads", "4", "--preload"]],
                         ids=["sync", "gthread", "gthread-preload"])
def test_gunicorn(serve, options):
    # The application factory reads the platform as it makes the application:
    # with --preload in the master, before it forks the server's workers.
    server = serve([sys.executable, "-m", "gunicorn", "-b", "127.0.0.1:0", "-w", "2", *options,
                    "switch_backend:served_app(workers=1)"], r"Listening at: (http://\S+)")
    answers = [server.get(path) for path in ("/environment", "/dot1x/gi1/0/3") * 3]
    assert [status for status, _ in answers] == [200] * 6, server.log_path.read_text()
    assert server.stop() == (0, []), server.log_path.read_text()
