"""A pool made and used before a fork works in the child, which starts
workers of its own and never waits on the parent's."""

import os
import time

from pool_testing import ended_within

import zel.zel_util as zu


def child_outcome(pool, parents_worker, report):
    """What the forked child checks: its own worker answers."""
    worker = pool.call(os.getpid)
    os.write(report, f"{worker}\n".encode())
    ok = worker not in (parents_worker, os.getpid()) and pool.call("psu_list") == zu.psu_list()
    return 0 if ok else 2


def waited(pid, seconds=60.0):
    """The child's exit status; None when it hangs past seconds (then killed)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.02)
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    return None


def test_the_child_of_a_fork_starts_its_own_workers(make_pool, zel_sim):
    pool = make_pool(1)
    parents_worker = pool.call(os.getpid)
    states = pool.trace("10.0.0.1")  # the parent's only worker is taken during the fork
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        status = 1
        try:
            status = child_outcome(pool, parents_worker, write_end)
        finally:
            os._exit(status)
    os.close(write_end)
    assert waited(pid) == 0
    with os.fdopen(read_end) as report:
        childs_worker = int(report.read())
    # The child left by os._exit, closing nothing: its worker ended by itself.
    assert ended_within([childs_worker])
    assert list(states)[-1]["result"] == 1  # the parent's worker went on with its trace
    assert pool.call(os.getpid) == parents_worker
