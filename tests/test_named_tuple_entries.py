"""Instances of the module's named tuples are made directly only while the
class's __new__ and __init__ are the ones it was made with: a change made
on the class after any number of direct calls is honoured at the next
call, and undoing it brings the direct path back."""

import pytest
from python_calls import SHORTCUTS, direct_paths, python_calls


@direct_paths
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


@direct_paths
def test_other_class_attributes_leave_the_direct_path(zu):
    zu.PSU.note = "set after the class was made"
    try:
        assert python_calls(zu.psu_list)[1] == []
    finally:
        del zu.PSU.note


def test_a_change_after_a_thousand_others_is_honoured(python):
    # The interpreter stops reporting the changes of a class that has had a
    # thousand; the module relies on no report, and takes the direct path
    # again once the class is back as made (in a process of its own).
    proc = python("""
        import sys
        import zel.zel_util as zu

        def runs_new():
            codes = []
            sys.setprofile(lambda frame, event, arg: event == "call" and
                           codes.append(frame.f_code))
            zu.psu_list()
            sys.setprofile(None)
            return zu.PSU.__new__.__code__ in codes

        for i in range(1200):
            zu.PSU.note = i
            zu.PSU.note
            zu.psu_list()
        print(runs_new() is False)
        new = vars(zu.PSU)["__new__"]
        zu.PSU.__new__ = staticmethod(lambda cls, *values: "REPLACED")
        print(zu.psu_list() == ["REPLACED", "REPLACED"])
        zu.PSU.__new__ = new
        seen = []
        zu.PSU.__init__ = lambda self, *values: seen.append(values)
        supplies = zu.psu_list()
        print(seen == [tuple(s) for s in supplies])
        del zu.PSU.__init__
        print(runs_new() is False)
    """)
    direct = str(SHORTCUTS)  # without the speed layer, __new__ always runs
    assert proc.stdout.split() == [direct, "True", "True", direct], proc.stdout


def test_a_change_made_during_the_list_reaches_its_next_entries(zu):
    # A __new__ that rebinds text_ as it makes the first supply: the second
    # one's display name is made with the new text_, as the plain path does.
    descriptor, new = vars(zu.PSU)["__new__"], zu.PSU.__new__

    def meddling(cls, *values):
        zu.text_ = lambda b, *args: b.decode("latin-1").lower()
        return new(cls, *values)

    zu.PSU.__new__ = staticmethod(meddling)
    try:
        with pytest.raises(IndexError):  # "psu2".split("PSU") has no second part
            zu.psu_list()
    finally:
        zu.PSU.__new__ = descriptor
