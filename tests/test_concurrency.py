"""Many threads at once: no crash, no deadlock, consistent results, other
threads run while a platform call that releases the lock blocks, and a fork
made while other threads are inside the module leaves a usable child."""

import threading
import time

import pytest
from zel_sim import records
from zel_sim.testing import hops as trace_hops
from zel_sim.testing import script_trace

from calls import CASES, PORT, nothing

# Calls that succeed on the default scenario without any preparation.
PLAIN_CALLS = [call for name, setup, call in CASES
               if setup is nothing and ("/" not in name or name.endswith("/keyword"))]
JOIN_TIMEOUT = 60


def slow_trace(hops, delay):
    script_trace(*trace_hops(hops, [(1, -1, 1.0), (1, 1, 2.0), (2, 0, 0.0)], delay,
                             ip="10.1.{i}.1", host="r{i}"),
                 header=records.trace_header(b"dst", b"10.1.9.9", hops, 3, 5, 60),
                 reply_mtu=1400, init_delay=delay)


def run_threads(targets):
    errors = []

    def guarded(target):
        try:
            target()
        except BaseException as exc:  # reported to the main thread
            errors.append(exc)

    threads = [threading.Thread(target=guarded, args=(t,)) for t in targets]
    for t in threads:
        t.start()
    for t in threads:
        t.join(JOIN_TIMEOUT)
    assert not any(t.is_alive() for t in threads), "deadlock: threads still running"
    assert errors == []


def test_all_functions_from_many_threads_while_traces_run(zu, zel_sim):
    slow_trace(hops=6, delay=0.02)
    zu.sleep = lambda seconds: time.sleep(0.001)
    reference_status = zu.get_8021x_status(PORT)
    reference_sessions = zu.get_8021x_sessions(PORT)
    contexts = [{} for _ in range(3)]

    def trace(context):
        return lambda: zu.get_diagnostic_data(context, "10.1.9.9")

    def hammer():
        for _ in range(30):
            for call in PLAIN_CALLS:
                call(zu)
            assert zu.get_8021x_status(PORT) == reference_status
            assert zu.get_8021x_sessions(interface_name=PORT) == reference_sessions

    run_threads([trace(c) for c in contexts] + [hammer] * 4)
    for context in contexts:
        assert context["result"] == 1
        assert [hop["ttl"] for hop in context["routes"]] == [1, 2, 3, 4, 5, 6]
    assert zel_sim.open_trace_contexts() == 0
    assert zel_sim.errors() == []


@pytest.mark.parametrize("blocking", ["exec_mtraceroute", "get_diagnostic_data"])
def test_other_threads_run_while_the_platform_blocks(zu, zel_sim, blocking):
    if blocking == "exec_mtraceroute":
        zel_sim.script("api_mtraceroute", result=0, delay=0.5)
        call = lambda: zu.exec_mtraceroute("1", "232.0.0.1")  # noqa: E731
    else:
        slow_trace(hops=1, delay=0.5)
        call = lambda: zu.get_diagnostic_data({}, "10.1.9.9")  # noqa: E731
    progress = []
    done = threading.Event()

    def count():
        while not done.is_set():
            progress.append(zu.get_cmdb_max_buff())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.05)
    before = len(progress)
    call()
    done.set()
    counter.join(JOIN_TIMEOUT)
    # The counter thread kept running through the blocked call.
    assert len(progress) - before > 50


def test_result_files_from_several_processes(tmp_path, python):
    """Every number goes to exactly one caller, whatever the interleaving."""
    script = f"""
        import zel.zel_util as zu
        from zel_sim.testing import PrivateTmp
        zu.os = PrivateTmp({str(tmp_path)!r})
        print(" ".join(zu.get_safe_r_file() for _ in range(40)))
    """
    import subprocess
    import sys
    import textwrap

    procs = [subprocess.Popen([sys.executable, "-c", textwrap.dedent(script)],
                              stdout=subprocess.PIPE, text=True) for _ in range(4)]
    numbers = []
    for proc in procs:
        out, _ = proc.communicate(timeout=JOIN_TIMEOUT)
        assert proc.returncode == 0
        numbers += [int(n) for n in out.split()]
    assert sorted(numbers) == list(range(160))
    assert len(list(tmp_path.iterdir())) == 160


# Forks made one after the other from a thread while three others call the
# platform without the interpreter lock as fast as they can. A child that
# inherited a lock held by a thread it no longer has would wait for good:
# each child gets a deadline, and the first to miss it ends the run.
FORKS = 300
CHILD_DEADLINE = 20


def test_fork_while_other_threads_are_inside_the_module(python):
    proc = python(f"""
        import os, threading, time, traceback, warnings
        import zel_sim
        import zel.zel_util as zu
        from zel_sim import records
        from zel_sim.testing import hops, script_trace

        warnings.simplefilter("ignore", DeprecationWarning)  # fork() with threads
        zel_sim.script("api_mtraceroute", result=0)
        script_trace(*hops(2), header=records.trace_header(b"dst", b"10.1.9.9", 2, 3, 5, 60))
        zu.sleep = abs  # no pause between hops
        stop = threading.Event()
        running = threading.Barrier(4)

        def inside():
            running.wait()
            while not stop.is_set():
                zu.exec_mtraceroute("1", "232.0.0.1")
                zu.get_diagnostic_data({{}}, "10.1.9.9")
                zu.psu_list()

        def child():
            try:
                context = {{}}
                zu.get_diagnostic_data(context, "10.1.9.9")
                launched = zu.exec_mtraceroute("1", "232.0.0.1")
                ok = context["result"] == 1 and len(context["routes"]) == 2 and launched == 0
                os._exit(0 if ok and zu.psu_list() else 3)
            except BaseException:
                traceback.print_exc()
            os._exit(4)

        def wait(pid):
            deadline = time.monotonic() + {CHILD_DEADLINE}
            while time.monotonic() < deadline:
                done, status = os.waitpid(pid, os.WNOHANG)
                if done:
                    return f"exit {{os.waitstatus_to_exitcode(status)}}"
                time.sleep(0.001)
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            return "hung"

        def fork_repeatedly(outcome):
            running.wait()  # every worker past its start, which is no module's
            for i in range({FORKS}):
                pid = os.fork()
                if pid == 0:
                    child()
                end = wait(pid)
                if end != "exit 0":
                    outcome.append(f"child {{i}}: {{end}}")
                    return
            outcome.append("all children done")

        workers = [threading.Thread(target=inside) for _ in range(3)]
        for worker in workers:
            worker.start()
        outcome = []
        forker = threading.Thread(target=fork_repeatedly, args=(outcome,))
        forker.start()
        forker.join()
        stop.set()
        for worker in workers:
            worker.join()
        print(outcome)
    """)
    assert proc.stdout.splitlines() == [str(["all children done"])]
