"""The display name of a supply is made directly from the record's bytes
while text_ is pyramid's own; it must equal what text_, str.split and the
indexing give, failures included."""

import pyramid.compat
import pytest
import zel_sim
from zel_sim import records

NAMES = [b"PSU1", b"PSU 2", b"PSU", b"PSUPSU1", b"xPSUyPSUz", b"PSU1PSU2PSU3", b"PSPSU1",
         b"PSU\xe9\xff", b"PSU1\x00PSU2", b"psu1", b"", b"P" * 111, b"PSU" + b"1" * 109]


def outcome(zu):
    try:
        return [tuple(p) for p in zu.psu_list()]
    except Exception as exc:
        return type(exc), str(exc)


@pytest.mark.parametrize("raw", NAMES)
def test_direct_name_equals_split_name(zu, raw):
    zel_sim.script("get_psu_list", result=0, record=records.psu_list([(raw, 1, 0)]))
    direct = outcome(zu)
    zu.text_ = lambda value: pyramid.compat.text_(value)
    assert outcome(zu) == direct


def test_missing_separator_is_the_interpreters_index_error(zu):
    zel_sim.script("get_psu_list", result=0, record=records.psu_list([(b"fan", 1, 0)]))
    assert outcome(zu) == (IndexError, "list index out of range")
