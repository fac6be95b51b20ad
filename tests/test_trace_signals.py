"""Signals during a traceroute: handled at the hop where they come, not when
the whole trace has run."""

import pytest


def test_interrupt_ends_the_trace_at_the_next_hop(python):
    proc = python("""
        import os, signal, threading, time
        import zel_sim
        from zel_sim import Step, records
        import zel.zel_util as zu

        zel_sim.script("init_trace_route", result=1,
                       record=records.trace_header("t", "192.0.2.9", 30, 3, 5, 60),
                       aux=records.trace_context(1500))
        hop = records.trace_response(1, "10.0.0.1", "h", [(1, -1, 1.0)])
        zel_sim.script("query_trace_route", *[Step(0, hop, 0.2)] * 9 + [Step(1, hop, 0.2)])
        zu.sleep = abs  # a builtin: no pause, and no Python code that could see the signal

        def interrupt_during_first_hop():
            while not zel_sim.calls("query_trace_route"):
                time.sleep(0.001)
            os.kill(os.getpid(), signal.SIGINT)

        threading.Thread(target=interrupt_during_first_hop).start()
        context = {}
        try:
            zu.get_diagnostic_data(context, "192.0.2.9")
        except KeyboardInterrupt:
            print("interrupted")
        print(len(zel_sim.calls("query_trace_route")), len(context["routes"]),
              len(zel_sim.calls("free_trace_route")), zel_sim.open_trace_contexts(),
              zel_sim.errors())
    """)
    interrupted, counts = proc.stdout.splitlines()
    assert interrupted == "interrupted"
    queries, routes, frees, still_open, errors = counts.split(" ", 4)
    assert 1 <= int(queries) <= 2 and int(routes) <= int(queries)
    assert (frees, still_open, errors) == ("1", "0", "[]")


@pytest.mark.parametrize("started", [1, 0])
def test_interrupt_while_the_trace_starts(python, started):
    # A context init_trace_route hands back is freed before the handler's
    # exception goes on; a trace that could not start has nothing to free.
    proc = python(f"""
        import os, signal, threading, time
        import zel_sim
        from zel_sim.testing import hop, script_trace
        import zel.zel_util as zu

        script_trace(hop(result=1), init_result={started}, init_delay=0.5)

        def interrupt_during_init():
            while not zel_sim.calls("init_trace_route"):
                time.sleep(0.001)
            os.kill(os.getpid(), signal.SIGINT)

        threading.Thread(target=interrupt_during_init).start()
        context = {{}}
        try:
            zu.get_diagnostic_data(context, "192.0.2.9")
        except KeyboardInterrupt:
            print("interrupted")
        print("context", context, "queries", len(zel_sim.calls("query_trace_route")),
              "frees", len(zel_sim.calls("free_trace_route")),
              "open", zel_sim.open_trace_contexts(), "errors", zel_sim.errors())
    """)
    assert proc.stdout == (f"interrupted\ncontext {{}} queries 0 frees {started} open 0 "
                           "errors []\n")


def test_interrupt_during_the_launch(python):
    # The launch's result is dropped for the handler's exception; its buffers
    # are freed as on any other exception.
    proc = python("""
        import os, signal, threading, time
        import zel_sim
        import zel.zel_util as zu

        zel_sim.script("api_mtraceroute", result=7, delay=0.2)

        def interrupt_during_launch():
            while not zel_sim.calls("api_mtraceroute"):
                time.sleep(0.001)
            os.kill(os.getpid(), signal.SIGINT)

        threading.Thread(target=interrupt_during_launch).start()
        try:
            zu.exec_mtraceroute("1", "239.1.1.1")
        except KeyboardInterrupt as error:
            print("interrupted", error.__traceback__.tb_next.tb_frame.f_code.co_name)
        else:
            print("not interrupted")
    """)
    assert proc.stdout == "interrupted zel.zel_util.exec_mtraceroute\n"
