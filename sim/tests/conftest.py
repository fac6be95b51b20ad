import ctypes

import pytest

import zel_sim as control


@pytest.fixture(autouse=True)
def empty_platform(zel_sim):
    """Each test starts from an empty platform; the plugin's zel_sim fixture
    puts the start scenario back afterwards."""
    zel_sim.clear()
    return zel_sim


@pytest.fixture(scope="session")
def plat():
    """The platform functions, called the way the product module calls them."""
    lib = ctypes.CDLL(control.LIBRARY)
    lib.init_trace_route.restype = ctypes.c_void_p
    lib.init_trace_route.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_void_p]
    lib.query_trace_route.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    lib.free_trace_route.argtypes = [ctypes.c_void_p]
    lib.zel_query_update.restype = ctypes.c_void_p
    lib.zel_query_update.argtypes = [ctypes.c_void_p]
    lib.nCfg_obj_change.argtypes = [ctypes.c_int, ctypes.c_void_p]
    lib.backupts_GetTimeStamp.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_long)]
    lib.sms_do_flush.argtypes = [ctypes.c_int, ctypes.c_char_p]
    return lib
