"""The HTTP answer of every error of a platform call, and the Pyramid
exception view that gives it; an exception of the back-end's own code has
none."""

import pytest
import webtest
from pyramid.config import Configurator
from zel_sim import records

import zel.zel_util as zu
from zel_platform_pool import (InProcess, PlatformBusy, PlatformTimeout, PoolClosed, WorkerDied,
                               WorkerStartError, http_answer)

PLATFORM = InProcess()


def raised(function, *args):
    try:
        PLATFORM.call(function, *args)
    except Exception as error:
        return error
    raise AssertionError(f"{function} raised nothing")


def unreadable_supply_name():
    import zel_sim
    zel_sim.script("get_psu_list", result=0, record=records.psu_list([("psu1", 1, 1)]))
    return raised("psu_list")


def undecodable_image():
    import zel_sim
    zel_sim.script("get_flash_list", result=0, record=records.flash_list(
        [dict(partition=1, image=b"\xff\xfe", tot_size=1, used_size=1, usage=1, active=0)]))
    return raised("get_flashs")


ERRORS = {  # the error, made as a real call makes it, and its status
    "no memory": (lambda: zu.CFunctionError("PyMem_Malloc"), 503),
    "platform failure": (lambda: raised("get_8021x_status", "nowhere"), 502),
    "unreadable supply": (unreadable_supply_name, 502),
    "undecodable image": (undecodable_image, 502),
    "wrong type": (lambda: raised("get_8021x_status", None), 400),
    "not Latin-1": (lambda: raised("get_8021x_status", "\u0100"), 400),
    "empty r_file": (lambda: raised("exec_mtraceroute", "", "232.1.1.1"), 400),
    "beyond 32 bits": (lambda: raised("exec_mtraceroute", "0", "232.1.1.1", 2 ** 31), 400),
    "timeout": (lambda: PlatformTimeout("late", "psu_list", 2.0), 504),
    "busy": (lambda: PlatformBusy("busy", "psu_list"), 503),
    "worker died": (lambda: WorkerDied("died", "psu_list"), 503),
    "worker cannot start": (lambda: WorkerStartError("no start", "psu_list"), 503),
    "closed": (lambda: PoolClosed("closed", "psu_list"), 503),
}


@pytest.mark.parametrize("name", ERRORS)
def test_each_error_has_its_status(name, zel_sim):
    make, status = ERRORS[name]
    assert http_answer(make())[0] == status


def test_the_bodies_name_what_failed(zel_sim):
    assert http_answer(raised("get_8021x_status", "nowhere")) == (
        502, {"error": "platform call failed", "function": "dump_tessel_802_1x_status",
              "code": -1})
    assert http_answer(zu.CFunctionError("PyMem_Malloc")) == (
        503, {"error": "the switch is short of memory, try again"})
    assert http_answer(PlatformTimeout("late", "psu_list", 2.0)) == (
        504, {"error": "the platform did not answer in time", "function": "psu_list",
              "seconds": 2.0})
    assert http_answer(raised("get_8021x_status", None)) == (
        400, {"error": "expected bytes, NoneType found"})


def test_the_same_exceptions_of_the_backends_own_code_have_no_answer():
    for error in (ValueError("x"), TypeError("x"), IndexError("x"), KeyError("x")):
        assert http_answer(error) is None


def failing_view(request):
    if request.matchdict["what"] == "platform":
        return PLATFORM.call("get_8021x_status", "nowhere")
    if request.matchdict["what"] == "argument":
        return PLATFORM.call("get_8021x_status", "\u0100")
    raise ValueError("a bug of the back-end")


def test_the_pyramid_view_answers_platform_errors_only(zel_sim):
    with Configurator() as config:
        config.include("zel_platform_pool.pyramid")
        config.add_route("failing", "/{what}")
        config.add_view(failing_view, route_name="failing", renderer="json")
        app = webtest.TestApp(config.make_wsgi_app())
    assert app.get("/platform", status=502).json["function"] == "dump_tessel_802_1x_status"
    assert app.get("/argument", status=400).json["error"].startswith("'latin-1' codec")
    with pytest.raises(ValueError, match="a bug of the back-end"):
        app.get("/bug")
    app.get("/a/b", status=404)  # Pyramid's own answers stay
