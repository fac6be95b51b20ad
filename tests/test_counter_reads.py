"""Port counters under hostile conditions: a name changed while the counters
are read, a fatal sys.excepthook, interrupts raised by the read, and counter
files that never end."""

import os
import sys

import pytest
from zel_sim.testing import counter_tree

import zel.zel

WHERE = "zel.zel_util.system_port_stat"
LINE_ROOM = 64  # characters of a counter line, its newline included


@pytest.fixture
def tree(tmp_path):
    """A statistics tree in a temporary directory; port(name, **files) writes
    one port's counter files (str contents; a `path` value: a link to it)."""
    with counter_tree(tmp_path) as port:
        yield port


def test_bytearray_name_resized_between_counters(zu, tree, monkeypatch, capfd):
    # The missing first counter runs the hook between two counters; the hook
    # moves the name's buffer and hands the freed memory to another name.
    tree("eth0", tx_bytes="20\n", rx_packets="30\n", rx_bytes="40\n")
    tree("eth1", tx_packets="1\n", tx_bytes="2\n", rx_packets="3\n", rx_bytes="4\n")
    name = bytearray(b"eth0")
    others = []

    def resize(unraisable):
        name.extend(b"/" * 4096)
        others.extend(bytearray(b"eth1") for _ in range(64))

    monkeypatch.setattr(sys, "unraisablehook", resize)
    assert zu.system_port_traffic(name) == (0, 20, 30, 40)
    assert len(name) == 4100  # the hook ran: the counters are those of the name as passed
    assert capfd.readouterr().err.count("FileNotFoundError") == 1


def test_fatal_excepthook_does_not_end_the_process(python):
    # Daemons often make sys.excepthook fatal; a counter report is no
    # unhandled exception and never goes through it.
    proc = python("""
        import os, sys, tempfile
        import zel.zel, zel.zel_util as zu
        zel.zel.set_stats_root(os.fsencode(tempfile.mkdtemp()))  # no counter file at all
        def fatal(*exc_info):
            raise SystemExit(3)
        sys.excepthook = fatal
        reports = []
        sys.unraisablehook = lambda u: reports.append(type(u.exc_value).__name__)
        try:
            result = zu.system_port_traffic("eth0")
        finally:
            print("finally ran")
        print(tuple(result), reports)
    """)
    assert proc.stdout.splitlines() == [
        "finally ran", "(0, 0, 0, 0) " + str(["FileNotFoundError"] * 4)]
    err = proc.stderr
    assert err.count("Traceback (most recent call last):\n") == 4
    assert err.count(WHERE) == 4
    assert err.count("FileNotFoundError: [Errno 2] No such file or directory: b'") == 4


def test_interrupts_raised_by_the_read_propagate(python):
    # open is fixed when the module loads: a stand-in bound before the import
    # raises from the read what the caller must see.
    python("""
        import builtins, os, sys, traceback
        # Imported before open is replaced: it keeps the open it finds, and
        # since 3.13 linecache imports it only when a traceback is read.
        import tokenize
        log, reports = [], []

        class CounterFile:
            def __init__(self, path, mode):
                self.stat = os.path.basename(path).decode()
            def __enter__(self):
                return self
            def readline(self, size):
                log.append(self.stat)
                raise RAISED("from the read")
            def __exit__(self, exc_type, exc, tb):
                log.append(exc_type.__name__)

        real_open, builtins.open = builtins.open, CounterFile
        import zel.zel_util as zu
        builtins.open = real_open
        sys.unraisablehook = lambda u: reports.append(u)
        sys.stderr = open(os.devnull, "w")

        for RAISED in (KeyboardInterrupt, SystemExit, GeneratorExit):
            log.clear()
            try:
                zu.system_port_traffic("eth0")
            except RAISED as error:
                names = [f.name for f in traceback.extract_tb(error.__traceback__)]
                assert names[1:] == ["zel.zel_util.system_port_traffic",
                                     "zel.zel_util.system_port_stat", "readline"], names
            else:
                raise AssertionError(f"{RAISED.__name__} was swallowed")
            # The file was closed, and no other counter was read.
            assert log == ["tx_packets", RAISED.__name__], log
        assert reports == [], reports
    """)


def test_counter_lines_are_bounded(zu, tree, reports):
    tree("eth0",
         tx_packets=" " * (LINE_ROOM - 6) + "12345\n",  # the longest line read
         tx_bytes=" " * (LINE_ROOM - 5) + "12345\n",  # one character more
         rx_packets="1" * 100 + "\n",
         rx_bytes="7" * LINE_ROOM)  # the room filled, no newline
    assert zu.system_port_traffic("eth0") == (12345, 0, 0, 0)
    assert [(where, type(exc), str(exc)) for where, exc in reports] == [
        (WHERE, ValueError, f"counter file line longer than {LINE_ROOM} characters")] * 2 + [
        (WHERE, OverflowError, "int too big to convert")]


def test_endless_counter_file_is_read_no_further_than_its_room(python, tmp_path):
    # A counter path that leads to /dev/zero: one bounded read, then the
    # counter is unreadable like any other. Without the bound the read would
    # take all memory; outside AddressSanitizer (whose shadow mappings exceed
    # any limit) the child's address space is capped so that it cannot.
    statistics = tmp_path / "eth0" / "statistics"
    statistics.mkdir(parents=True)
    (statistics / "tx_bytes").symlink_to("/dev/zero")
    for counter, value in (("tx_packets", 10), ("rx_packets", 30), ("rx_bytes", 40)):
        (statistics / counter).write_text(f"{value}\n")
    proc = python(f"""
        import os, resource, sys
        if "libasan" not in os.environ.get("LD_PRELOAD", ""):
            with open("/proc/self/status") as status:
                size = next(int(line.split()[1]) * 1024 for line in status
                            if line.startswith("VmSize:"))
            resource.setrlimit(resource.RLIMIT_AS, (size + (256 << 20), resource.RLIM_INFINITY))
        import zel.zel, zel.zel_util as zu
        zel.zel.set_stats_root({os.fsencode(tmp_path)!r})
        reports = []
        sys.unraisablehook = lambda u: reports.append(u.exc_value)
        print(tuple(zu.system_port_traffic("eth0")))
        print([(type(e).__name__, str(e)) for e in reports])
    """)
    assert proc.stdout.splitlines() == [
        "(10, 0, 30, 40)",
        str([("ValueError", f"counter file line longer than {LINE_ROOM} characters")])]
