"""Instances of the module's named tuples are made directly only while the
class's __new__ and __init__ are the ones it was made with: a change made
on the class after any number of direct calls is honoured at the next
call, and undoing it brings the direct path back."""

from python_calls import python_calls


def test_init_set_on_the_class_is_honoured(zu):
    assert python_calls(zu.psu_list)[1] == []
    seen = []

    def __init__(self, *values):
        seen.append(values)

    zu.PSU.__init__ = __init__
    try:
        supplies = zu.psu_list()
    finally:
        del zu.PSU.__init__
    assert seen == [tuple(s) for s in supplies]
    assert python_calls(zu.psu_list) == (supplies, [])


def test_other_class_attributes_leave_the_direct_path(zu):
    zu.PSU.note = "set after the class was made"
    try:
        assert python_calls(zu.psu_list)[1] == []
    finally:
        del zu.PSU.note


def test_a_change_after_a_thousand_others_is_honoured(python):
    # The interpreter reports only so many changes of one class; the module
    # must not take a later change for no change (in a process of its own:
    # the class stays off the direct path there).
    proc = python("""
        import zel.zel_util as zu
        for i in range(1200):
            zu.PSU.note = i
            zu.psu_list()
        seen = []
        zu.PSU.__init__ = lambda self, *values: seen.append(values)
        supplies = zu.psu_list()
        print(seen == [tuple(s) for s in supplies], len(seen))
    """)
    assert proc.stdout.split()[0] == "True", proc.stdout
