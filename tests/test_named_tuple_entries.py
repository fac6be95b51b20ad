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
