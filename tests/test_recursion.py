"""An operation that reaches itself through a rebound module-level name
recurses as Python code would: RecursionError, not a C stack overflow, on
the main thread and on threads with small stacks, as web servers start
their workers."""

import pytest

SELF_REACHING = [
    ("zu.system_temperatures = zu.has_temperature_sensor", "zu.has_temperature_sensor()"),
    ("zu.system_temperatures = zu.multiple_temperature_sensors",
     "zu.multiple_temperature_sensors()"),
    ("zu.bytes_ = zu.set_hostname", "zu.set_hostname('core')"),
    ("zu.bytes_ = zu.system_port_traffic", "zu.system_port_traffic('lo')"),
]
# With Python code between the calls.
THROUGH_PYTHON = ("zu.bytes_ = lambda name: zu.set_hostname(name)", "zu.set_hostname('core')")

MESSAGE = "maximum recursion depth exceeded while calling a Python object"


@pytest.mark.parametrize("rebinding, call", SELF_REACHING)
def test_self_reaching_operation_raises_recursion_error(python, rebinding, call):
    proc = python(f"""
        import sys
        import zel.zel_util as zu
        saved = dict(vars(zu))
        {rebinding}
        for attempt in range(3):
            try:
                {call}
            except RecursionError as exc:
                print("RecursionError:", exc)
        vars(zu).update(saved)

        # The guard is left on every way out: after thousands of refused
        # calls, the interpreter's depth allowance is whole again.
        def nest(depth):
            return depth if depth == 0 else nest(depth - 1)
        print(nest(sys.getrecursionlimit() - 50), zu.set_hostname("core"), zu.has_temperature_sensor())
    """)
    lines = proc.stdout.splitlines()
    assert lines[:3] == [f"RecursionError: {MESSAGE}"] * 3
    assert lines[3] == "0 0 True"


# A worker thread's stack, in KiB; 0: the default. The recursion count alone
# lets an operation's frames fill more than 512 KiB; on the smallest stacks
# the calls that fit are still made.
@pytest.mark.parametrize("stack_kib", [64, 256, 512, 0])
@pytest.mark.parametrize("rebinding, call", SELF_REACHING + [THROUGH_PYTHON])
def test_self_reaching_operation_on_a_thread_stack(python, rebinding, call, stack_kib):
    proc = python(f"""
        import threading
        import zel.zel_util as zu
        {rebinding}
        outcome = []

        def worker():
            for attempt in range(2):
                try:
                    {call}
                except RecursionError as exc:
                    outcome.append(str(exc))
            # The thread carries on: a call that fits is made as ever.
            outcome.append(zu.get_cmdb_max_buff())

        threading.stack_size({stack_kib} * 1024)
        thread = threading.Thread(target=worker)
        thread.start()
        thread.join()
        print(outcome)
    """, check=False)
    assert proc.returncode == 0, proc.stderr[-2000:]
    # With Python code between the calls, the interpreter's own count may
    # stop the recursion first, with its own message.
    [first, second, max_buff] = eval(proc.stdout)
    assert first == second
    assert first in (MESSAGE, "maximum recursion depth exceeded")
    assert max_buff == 4095
