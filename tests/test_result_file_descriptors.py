"""Result files: the descriptor of a reserved file is never left open."""

import io
import os
import sys
import types

import pytest
from zel_sim.testing import PrivateTmp


def open_fds():
    return len(os.listdir("/proc/self/fd"))


class FdopenFails(RuntimeError):
    pass


def test_descriptor_closed_when_fdopen_cannot_be_found(zu, tmp_path):
    # Without os.fdopen the descriptor is never handed over: the module
    # closes it before the AttributeError goes on.
    fake = PrivateTmp(tmp_path)
    zu.os = types.SimpleNamespace(open=fake.open, close=os.close, O_CREAT=os.O_CREAT,
                                  O_EXCL=os.O_EXCL, O_RDWR=os.O_RDWR)
    before = open_fds()
    for n in range(5):
        with pytest.raises(AttributeError):
            zu.get_safe_r_file()
    assert open_fds() == before
    # Each failure took its number for good, as any created file does.
    assert sorted(os.listdir(tmp_path)) == [f"mtraceroute_{n}" for n in range(5)]


def test_a_failing_fdopen_keeps_the_descriptor_it_was_given(zu, tmp_path):
    fake = PrivateTmp(tmp_path)
    given = []

    def fdopen(fd, mode):
        given.append(fd)
        raise FdopenFails(fd)

    fake.fdopen = fdopen
    zu.os = fake
    with pytest.raises(FdopenFails):
        zu.get_safe_r_file()
    [fd] = given
    os.close(fd)  # still open: the module did not close what it handed over


def test_a_descriptor_fdopen_took_is_never_closed_by_the_module(zu, tmp_path):
    # fdopen made a file object of the descriptor, which closed it as it was
    # freed, and someone else's file has the number by the time the error
    # arrives: that file must stay open.
    fake = PrivateTmp(tmp_path)
    strangers = []

    def fdopen(fd, mode):
        io.open(fd, mode).close()
        strangers.append((fd, os.open(os.devnull, os.O_RDONLY)))
        raise KeyboardInterrupt

    fake.fdopen = fdopen
    zu.os = fake
    with pytest.raises(KeyboardInterrupt):
        zu.get_safe_r_file()
    [(fd, stranger)] = strangers
    assert stranger == fd  # the number was given again
    os.fstat(stranger)  # still open
    os.close(stranger)


def test_an_interrupt_as_fdopen_returns_leaves_one_owner(zu, tmp_path, reports):
    zu.os = PrivateTmp(tmp_path)

    def interrupt_on_return(frame, event, arg):
        if frame.f_code is os.fdopen.__code__ and event == "return":
            raise KeyboardInterrupt
        return interrupt_on_return

    before = open_fds()
    sys.settrace(lambda frame, event, arg: interrupt_on_return)
    try:
        with pytest.raises(KeyboardInterrupt) as excinfo:
            zu.get_safe_r_file()
    finally:
        sys.settrace(None)
    # The tracer's frame, in the traceback, holds the file object made of the
    # descriptor: it closes the descriptor when the error is dropped, and
    # only then, whatever file opened meanwhile.
    stranger = os.open(os.devnull, os.O_RDONLY)
    del excinfo
    os.fstat(stranger)
    os.close(stranger)
    assert open_fds() == before
    assert reports == []
