"""The HTTP answers of platform calls' errors (each kind's status is
checked against the guide's table by tests/test_docs.py), and the Pyramid
exception view that gives them; an exception of the back-end's own code has
none."""

import pytest
import webtest
from pyramid.config import Configurator

import zel.zel_util as zu
from zel_platform_pool import InProcess, PlatformBusy, PlatformTimeout, WorkerDied, http_answer

PLATFORM = InProcess()


def raised(function, *args):
    try:
        PLATFORM.call(function, *args)
    except Exception as error:
        return error
    raise AssertionError(f"{function} raised nothing")


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
    assert http_answer(PlatformBusy("busy", "psu_list")) == (
        503, {"error": "the platform is busy, try again", "function": "psu_list"})
    assert http_answer(WorkerDied("died", "psu_list"))[1]["error"] == \
        "the platform worker restarted, try again"


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
