"""Function objects are pickled and copied by name, as builtins are."""

import copy
import multiprocessing
import pickle

import pytest

import zel.zel_util as zu
from operations import OPERATIONS


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trip_gives_the_same_object(protocol):
    for name in OPERATIONS:
        fn = getattr(zu, name)
        data = pickle.dumps(fn, protocol)
        assert pickle.loads(data) is fn
        assert name.encode() in data and b"zel.zel_util" in data


def test_copies_are_the_object_itself():
    structure = {"handlers": [zu.psu_list, (zu.get_diagnostic_data, {"n": 1})]}
    deep = copy.deepcopy(structure)
    assert deep == structure and deep is not structure
    assert deep["handlers"][0] is zu.psu_list
    assert deep["handlers"][1][0] is zu.get_diagnostic_data
    assert deep["handlers"][1][1] is not structure["handlers"][1][1]
    for name in OPERATIONS:
        fn = getattr(zu, name)
        assert copy.copy(fn) is fn and copy.deepcopy(fn) is fn


def test_reduce_is_the_name():
    assert zu.set_hostname.__reduce__() == "set_hostname"
    assert zu.set_hostname.__reduce_ex__(2) == "set_hostname"


def test_handed_to_a_process_pool():
    with multiprocessing.get_context("fork").Pool(1) as pool:
        assert pool.apply(zu.get_cmdb_max_buff) == 4095
        assert pool.apply(zu.psu_list) == zu.psu_list()
