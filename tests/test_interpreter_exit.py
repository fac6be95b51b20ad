"""Interpreter exit while daemon threads are inside the module: the
interpreter ends them from within their wait for the lock, and the process
must still exit cleanly."""

import pytest

THREADS = """
    {before}
    import threading, time
    import zel_sim
    from zel_sim import Step, records
    import zel.zel_util as zu

    zel_sim.script("api_mtraceroute", result=0, delay=0.01)
    zel_sim.script("init_trace_route", result=1, delay=0.01,
                   record=records.trace_header("t", "192.0.2.9", 30, 3, 5, 60),
                   aux=records.trace_context(1500))
    zel_sim.script("query_trace_route",
                   Step(0, records.trace_response(1, "10.0.0.1", "h", [(1, -1, 1.0)]), 0.01))

    class Drops:
        # A mapping that keeps nothing: what the module made is its own
        # alone. It lets the lock go too, so threads also end inside it.
        def __setitem__(self, key, value):
            time.sleep(0.001)

    def launch():
        while True:
            zu.exec_mtraceroute("1", "239.1.1.1")

    def trace():
        while True:
            zu.get_diagnostic_data(Drops(), "10.0.0.1")

    zu.sleep = lambda seconds: time.sleep(0.002)
    for _ in range(4):
        threading.Thread(target={target}, daemon=True).start()
    while len(zel_sim.calls()) < 40:  # every thread well inside its loop
        time.sleep(0.01)
    print("main thread ends")
"""


# Once a subinterpreter has existed, the interpreter's own check of whether a
# thread holds the lock answers yes on every thread (3.12): the module must
# not rely on it.
BEFORE = {"plain": "", "after-subinterpreter": "import _testcapi; _testcapi.run_in_subinterp('pass')"}


@pytest.mark.parametrize("before", sorted(BEFORE))
@pytest.mark.parametrize("target", ["launch", "trace"])
def test_daemon_threads_inside_the_module_at_exit(python, target, before):
    if before != "plain":
        pytest.importorskip("_testcapi")
    for _ in range(5):
        proc = python(THREADS.format(target=target, before=BEFORE[before]), check=False)
        assert (proc.returncode, proc.stdout) == (0, "main thread ends\n"), proc.stderr
        assert "Fatal Python error" not in proc.stderr
        assert "Sanitizer" not in proc.stderr
