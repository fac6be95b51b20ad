"""An operation that reaches itself through a rebound module-level name
recurses as Python code would: RecursionError, not a C stack overflow."""

import pytest


@pytest.mark.parametrize("rebinding, call", [
    ("zu.system_temperatures = zu.has_temperature_sensor", "zu.has_temperature_sensor()"),
    ("zu.system_temperatures = zu.multiple_temperature_sensors",
     "zu.multiple_temperature_sensors()"),
    ("zu.bytes_ = zu.set_hostname", "zu.set_hostname('core')"),
    ("zu.bytes_ = zu.system_port_traffic", "zu.system_port_traffic('lo')"),
])
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
    assert lines[:3] == ["RecursionError: maximum recursion depth exceeded "
                         "while calling a Python object"] * 3
    assert lines[3] == "0 0 True"
