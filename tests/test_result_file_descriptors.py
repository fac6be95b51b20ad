"""Result files: the descriptor of a reserved file is never left open."""

import os

import pytest
from zel_sim.testing import PrivateTmp


def open_fds():
    return len(os.listdir("/proc/self/fd"))


class FdopenFails(RuntimeError):
    pass


def test_descriptor_closed_when_fdopen_fails(zu, tmp_path):
    fake = PrivateTmp(tmp_path)
    opened = []

    def fdopen(fd, mode):
        opened.append(fd)
        raise FdopenFails(fd)

    fake.fdopen = fdopen
    zu.os = fake
    before = open_fds()
    for n in range(5):
        with pytest.raises(FdopenFails):
            zu.get_safe_r_file()
    assert open_fds() == before
    assert len(opened) == 5
    # Each failure took its number for good, as any created file does.
    assert sorted(os.listdir(tmp_path)) == [f"mtraceroute_{n}" for n in range(5)]


def test_close_error_comes_with_the_fdopen_error(zu, tmp_path):
    fake = PrivateTmp(tmp_path)
    closed = []

    def fdopen(fd, mode):
        raise FdopenFails(fd)

    def close(fd):
        closed.append(fd)
        os.close(fd)
        raise OSError("close failed")

    fake.fdopen, fake.close = fdopen, close
    zu.os = fake
    with pytest.raises(OSError, match="^close failed$") as excinfo:
        zu.get_safe_r_file()
    assert type(excinfo.value.__context__) is FdopenFails
    assert len(closed) == 1
