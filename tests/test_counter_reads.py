"""Port counters under hostile conditions: a name changed while the counters
are read, a fatal sys.excepthook, interrupts raised by the read, and counter
files that never end."""

import os
import socket
import sys
import threading

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
            def __init__(self, path, mode, *, opener):
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


# ---- counter paths held to their tree ------------------------------------------------

COUNTER_VALUES = dict(tx_packets="1\n", tx_bytes="2\n", rx_packets="3\n", rx_bytes="4\n")


@pytest.fixture
def net(tmp_path):
    """A counter tree rooted at tmp_path/net, with readable counter files
    wherever a name with a "." or ".." component would lead: the tree's own
    root, each port, and outside the tree."""
    with counter_tree(tmp_path / "net") as port:
        for name in ("", "eth0", "gi1/0"):
            port(name, **COUNTER_VALUES)
        for outside in (tmp_path / "elsewhere", tmp_path):
            (outside / "statistics").mkdir(parents=True)
            for counter, value in COUNTER_VALUES.items():
                (outside / "statistics" / counter).write_text(value)
        yield port


# Each name with a "." or ".." component, and a name that only has dots
# inside a component, which is read as any other.
@pytest.mark.parametrize("name, dotted", [
    ("..", "..."), ("../elsewhere", "..elsewhere"), (".", ".eth0"), ("./eth0", "eth0."),
    ("eth0/..", "eth0/..."), ("gi1/./0", "gi1/.0"), ("gi1/0/..", "gi1/0/x.."),
    (b"eth0/../../elsewhere", b"eth0.1"), (bytearray(b"../elsewhere"), bytearray(b"a..b")),
])
def test_name_with_dot_component_is_refused(zu, net, reports, capfd, name, dotted):
    raw = bytes(name.encode("latin-1") if isinstance(name, str) else name)
    message = f'port name {raw!r} has a "." or ".." path component'
    assert zu.system_port_traffic(name) == (0, 0, 0, 0)
    # The failure path of an unreadable counter, once for each counter.
    assert [(where, type(exc), str(exc)) for where, exc in reports] == [
        (WHERE, ValueError, message)] * 4
    assert capfd.readouterr().err.count(f"ValueError: {message}\n") == 4
    reports.clear()
    net(dotted, **COUNTER_VALUES)
    assert zu.system_port_traffic(dotted) == (1, 2, 3, 4)
    assert reports == []


def test_counter_path_that_is_no_regular_file_is_never_waited_on(zu, tree, reports):
    # A FIFO without a writer blocks open() until one comes; a device never
    # ends (/dev/zero) or is empty (/dev/null). None of them is a counter.
    root = tree("eth0", rx_bytes="40\n")
    statistics = root / "eth0" / "statistics"
    fifo = statistics / "tx_packets"
    os.mkfifo(fifo)
    (statistics / "tx_bytes").mkdir()
    (statistics / "rx_packets").symlink_to("/dev/zero")
    result = []
    reader = threading.Thread(target=lambda: result.append(zu.system_port_traffic("eth0")))
    reader.start()
    reader.join(timeout=10)
    blocked = reader.is_alive()
    if blocked:  # a writer comes, so that the reader ends
        os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
        reader.join()
    assert not blocked, "the counter read waited on a FIFO"
    assert result == [(0, 0, 0, 40)]
    path = os.fsencode(statistics)
    assert [(where, type(exc), str(exc)) for where, exc in reports] == [
        (WHERE, OSError, f"counter file is not a regular file: {path + b'/tx_packets'!r}"),
        # A directory is refused as before, by open itself.
        (WHERE, IsADirectoryError, f"[Errno 21] Is a directory: {path + b'/tx_bytes'!r}"),
        (WHERE, OSError, f"counter file is not a regular file: {path + b'/rx_packets'!r}"),
    ]



class Interrupting:
    """A standard error whose write raises what a signal handler raises
    while the traceback of a report is written."""

    def __init__(self, raised):
        self.raised, self.text = raised, []

    def write(self, text):
        self.text.append(text)
        if "Traceback" in text:
            raise self.raised

    def flush(self):
        pass


@pytest.mark.parametrize("raised", [KeyboardInterrupt(), SystemExit(143)], ids=repr)
class TestInterruptedReport:
    """What interrupts the report of an unreadable counter ends the call
    once the report is done, instead of being swallowed with the counter
    reading 0."""

    def test_raised_by_the_hook(self, zu, tree, monkeypatch, raised):
        tree("eth0", tx_bytes="20\n", rx_packets="30\n", rx_bytes="40\n")
        seen = []

        def hook(unraisable):
            seen.append(unraisable.exc_type)
            raise raised

        monkeypatch.setattr(sys, "unraisablehook", hook)
        with pytest.raises(type(raised)):
            zu.system_port_traffic("eth0")
        assert seen == [FileNotFoundError]  # the first counter only

    def test_raised_while_the_traceback_is_written(self, zu, tree, monkeypatch, reports, raised):
        tree("eth0", tx_bytes="20\n", rx_packets="30\n", rx_bytes="40\n")
        stderr = Interrupting(raised)
        monkeypatch.setattr(sys, "stderr", stderr)
        with pytest.raises(type(raised)):
            zu.system_port_traffic("eth0")
        # The report went on to the hook before the call ended.
        assert [type(exc) for _, exc in reports] == [FileNotFoundError]


def test_a_sigterm_handler_raising_in_the_hook_ends_the_call(python):
    proc = python("""
        import os, signal, sys, tempfile, time
        import zel.zel, zel.zel_util as zu
        zel.zel.set_stats_root(os.fsencode(tempfile.mkdtemp()))  # no counter file at all

        def on_sigterm(signum, frame):
            raise SystemExit(143)

        def hook(unraisable):
            os.kill(os.getpid(), signal.SIGTERM)
            for _ in range(1000):  # the handler runs in Python code
                time.sleep(0)
            print("hook returned")

        signal.signal(signal.SIGTERM, on_sigterm)
        sys.unraisablehook = hook
        try:
            zu.system_port_traffic("eth0")
        except SystemExit as stop:
            print("call ended", stop.code)
    """)
    assert proc.stdout == "call ended 143\n"


def test_a_failing_hook_is_reported_as_the_interpreter_reports_it(zu, tree, monkeypatch, capfd):
    import ctypes

    testcapi = pytest.importorskip("_testcapi")
    tree("eth0", tx_packets="10\n", tx_bytes="20\n", rx_packets="30\n")

    def hook(unraisable):
        raise ValueError("hook failed")

    monkeypatch.setattr(sys, "unraisablehook", hook)
    zu.system_port_traffic("eth0")
    module_text = capfd.readouterr().err
    # The same kind of error reported by the interpreter itself.
    try:
        open(b"/nonexistent/rx_bytes")
    except FileNotFoundError as error:
        ctypes.pythonapi.PyErr_DisplayException(ctypes.py_object(error))
        testcapi.err_writeunraisable(error, WHERE)
    interpreter_text = capfd.readouterr().err
    assert "Exception ignored in sys.unraisablehook" in module_text
    assert strip_frames(module_text) == strip_frames(interpreter_text)


def strip_frames(text):
    """The report without its frame lines and paths, which differ between
    the two errors."""
    return [line for line in text.splitlines()
            if not line.startswith(" ") and "No such file" not in line]


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


# Every way the counter reader refuses a counter path, the one given as
# tx_packets: refused by open(2), by the look at the open file, or before
# anything is opened.
@pytest.mark.parametrize("refusal", ["missing", "dangling link", "link loop", "socket", "fifo",
                                     "device", "directory", "dotted name"])
def test_no_refusal_leaves_a_descriptor_open(zu, tree, reports, tmp_path, refusal):
    root = tree("eth0", tx_bytes="2\n", rx_packets="3\n", rx_bytes="4\n")
    path = root / "eth0" / "statistics" / "tx_packets"
    if refusal == "dangling link":
        path.symlink_to(tmp_path / "none")
    elif refusal == "link loop":
        path.symlink_to(path)
    elif refusal == "socket":
        with socket.socket(socket.AF_UNIX) as server:
            server.bind(os.fsdecode(path))
    elif refusal == "fifo":
        os.mkfifo(path)
    elif refusal == "device":
        path.symlink_to("/dev/null")
    elif refusal == "directory":
        path.mkdir()
    name, expected = ("eth0/.", (0, 0, 0, 0)) if refusal == "dotted name" else ("eth0", (0, 2, 3, 4))
    assert zu.system_port_traffic(name) == expected  # warm-up
    before = open_descriptors()
    for _ in range(50):
        zu.system_port_traffic(name)
    assert open_descriptors() == before
    assert len(reports) == 51 * (4 if refusal == "dotted name" else 1)
