"""A server's pool stops with it, leaving no process behind: on SIGTERM,
at a normal exit, and even when the server is killed outright (each worker
ends once its channel closes)."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest
from pool_testing import children, ended_within, running

SERVER = textwrap.dedent("""
    import sys, time
    from zel_platform_pool import PlatformPool

    pool = PlatformPool(2)
    pool.start()
    print("ready", flush=True)
    if sys.argv[1] != "exit":
        time.sleep(600)
""")


@pytest.mark.parametrize("how, status", [("sigterm", 0), ("exit", 0), ("sigkill", -9)])
def test_no_worker_outlives_the_server(how, status):
    server = subprocess.Popen([sys.executable, "-c", SERVER, how], stdout=subprocess.PIPE,
                              text=True)
    workers = []
    try:
        assert server.stdout.readline() == "ready\n"
        workers = children(server.pid)
        assert len(workers) == 2 and all(running(pid) for pid in workers)
        if how != "exit":
            server.send_signal(signal.SIGTERM if how == "sigterm" else signal.SIGKILL)
        assert server.wait(timeout=60) == status
        assert ended_within(workers)
    finally:
        for pid in [server.pid, *workers]:
            if running(pid):
                os.kill(pid, signal.SIGKILL)
        server.wait()
        server.stdout.close()
