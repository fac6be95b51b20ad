"""Simulated per-port counter files.

The ports a scenario lists get counter files in a private directory of this
process (``<directory>/<name>/statistics/<counter>``, as the kernel lays
them out), and the zel.zel stand-in's path function points those names
there; every other name keeps the kernel's files under /sys/class/net.

A port name is what the module passes for a str: its Latin-1 bytes, which
also name its files. The directory belongs to the process that made it: only
that process removes it (at exit), and a forked child that serves ports makes
one of its own. Beside it in the temporary folder lies a lock file, locked
while the maker (or a child still reading its files) lives: a process that
makes a directory first removes those whose lock nobody holds, left by
processes that ended without running their exit handlers (os._exit, a
signal).
"""

from __future__ import annotations

import atexit
import fcntl
import os
import pathlib
import shutil
import tempfile
from collections.abc import Iterable
from types import ModuleType
from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from .scenario import Port

COUNTERS = ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes")
_VARIABLES = ("SYS_CLASS_NET_STATS_TX_PKTS", "SYS_CLASS_NET_STATS_TX_BYTES",
              "SYS_CLASS_NET_STATS_RX_PKTS", "SYS_CLASS_NET_STATS_RX_BYTES")

PREFIX = "zel-sim-ports-"
LOCK_SUFFIX = ".lock"
# A file name's limit, and a bound on the whole name that keeps a counter
# file's path within what the path function composes (4096 bytes).
NAME_PART_MAX = 255
NAME_MAX = 1024

_directory: pathlib.Path | None = None
_owner: int | None = None  # the process that made _directory
_lock_fd: int | None = None
_served: list[Port] = []


def name_problem(name: str) -> str | None:
    """What makes name unusable as a port's name (its counter files under
    the directory), or None."""
    parts = name.split("/")
    if "\0" in name or name.startswith("/") or any(p in ("", ".", "..") for p in parts):
        return (f"`name` {name!r} is not a port name (no empty, '.' or '..' parts, no "
                "leading '/', no NUL)")
    try:
        raw = name.encode("latin-1")
    except UnicodeEncodeError:
        return (f"`name` = {name!r} cannot be written in latin-1 (the module passes a port "
                "name as its Latin-1 bytes)")
    if len(raw) > NAME_MAX:
        return f"`name` is {len(raw)} bytes long: a port name has at most {NAME_MAX}"
    for part in raw.split(b"/"):
        if len(part) > NAME_PART_MAX:
            return (f"`name` has a part of {len(part)} bytes: a file name, and so each part "
                    f"between '/', has at most {NAME_PART_MAX}")
    return None


def name_schema() -> dict[str, object]:
    """The JSON Schema of a port name: what name_problem refuses, but for
    the bytes of a name, which a schema counts in characters (the same in
    Latin-1)."""
    part = r"(?!\.\.?(/|$))[\u0001-\u002e\u0030-\u00ff]{1,%d}" % NAME_PART_MAX
    return {"type": "string", "maxLength": NAME_MAX, "pattern": f"^{part}(/{part})*$"}


def clash(names: Iterable[str]) -> tuple[str, str] | None:
    """The first port name whose directory would stand where another port
    has a counter file ("a/statistics/tx_packets" beside "a"), with what is
    wrong; or None."""
    given = list(dict.fromkeys(names))
    for name in given:
        parts = name.split("/")
        for end in range(1, len(parts) - 1):
            owner = "/".join(parts[:end])
            if owner in given and parts[end] == "statistics" and parts[end + 1] in COUNTERS:
                return name, (f"port {name!r} would be a directory where port {owner!r} has "
                              f"its counter file statistics/{parts[end + 1]}")
    return None


def file_name(name: str) -> str:
    """The name's part of its counter files' paths: its Latin-1 bytes."""
    return os.fsdecode(name.encode("latin-1"))


def _stand_in() -> ModuleType | None:
    """The zel.zel stand-in, or None in a process that has another zel.zel
    (or none): that process keeps its own paths."""
    try:
        import zel.zel  # type: ignore[import-untyped]
    except ImportError:
        return None
    module: ModuleType = zel.zel
    return module if hasattr(module, "set_scenario_ports") else None


def directory() -> pathlib.Path | None:
    return _directory


def _try_lock(path: str) -> int | None:
    """An open descriptor of path holding its exclusive lock, or None when
    another process holds it (or the file is gone)."""
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOFOLLOW | os.O_CLOEXEC)
    except OSError:
        return None
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        os.close(fd)
        return None
    return fd


def _remove(directory: str, lock: str) -> None:
    shutil.rmtree(directory, ignore_errors=True)
    try:
        os.unlink(lock)
    except OSError:
        pass


def remove_stale(folder: str) -> None:
    """Removes the directories of folder whose lock nobody holds: their
    makers ended without removing them."""
    try:
        names = os.listdir(folder)
    except OSError:
        return
    for name in names:
        if not (name.startswith(PREFIX) and name.endswith(LOCK_SUFFIX)):
            continue
        lock = os.path.join(folder, name)
        fd = _try_lock(lock)
        if fd is not None:
            try:
                _remove(lock[:-len(LOCK_SUFFIX)], lock)
            finally:
                os.close(fd)


def _make_directory() -> tuple[pathlib.Path, int]:
    """A new directory with its lock file, the lock held."""
    folder = tempfile.gettempdir()
    remove_stale(folder)
    while True:
        fd, lock = tempfile.mkstemp(prefix=PREFIX, suffix=LOCK_SUFFIX, dir=folder)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            # Another process may have taken the new file for stale and
            # removed it between its making and the lock: make another.
            ours = os.path.samestat(os.fstat(fd), os.stat(lock, follow_symlinks=False))
        except OSError:
            ours = False
        if ours:
            path = lock[:-len(LOCK_SUFFIX)]
            try:
                os.mkdir(path, 0o700)
                return pathlib.Path(path), fd
            except FileExistsError:  # not made beside this lock file: leave it alone
                os.unlink(lock)
            except BaseException:
                os.unlink(lock)
                os.close(fd)
                raise
        os.close(fd)


def _remove_own() -> None:
    """At exit: the directory, in the process that made it only (a forked
    child runs its parent's exit handlers too)."""
    global _lock_fd
    if _directory is None or _owner != os.getpid() or _lock_fd is None:
        return
    _remove(str(_directory), str(_directory) + LOCK_SUFFIX)
    os.close(_lock_fd)
    _lock_fd = None


atexit.register(_remove_own)


def _own_directory() -> pathlib.Path:
    """This process's directory, made on first use (in a forked child, its
    own, not the parent's)."""
    global _directory, _owner, _lock_fd
    if _directory is None or _owner != os.getpid():
        _directory, _lock_fd = _make_directory()
        _owner = os.getpid()
    return _directory


def _prune(directory: pathlib.Path, files: set[pathlib.Path], dirs: set[pathlib.Path]) -> None:
    """Removes everything under directory but these files and directories:
    what the previous scenario left and the next one does not write. (The
    files kept are rewritten in place: removing directories is the slow part
    of a scenario change, which every test fixture makes.)"""
    for entry in directory.iterdir():
        if entry.is_dir() and not entry.is_symlink():
            if entry in dirs:
                _prune(entry, files, dirs)
            else:
                shutil.rmtree(entry)
        elif entry.is_symlink() or entry not in files:
            entry.unlink()


def _write(path: pathlib.Path, text: str) -> None:
    """Writes the file unless it holds the text already (reading is cheap,
    writing is not)."""
    try:
        if path.read_text() == text:
            return
    except FileNotFoundError:
        pass
    path.write_text(text)


def _serve(ports: list[Port]) -> None:
    stand_in = _stand_in()
    if not ports and (_directory is None or _owner != os.getpid()):
        if stand_in is not None:
            stand_in.set_scenario_ports(None, [])
        return
    root = _own_directory()
    files = {root / file_name(port.name) / "statistics" / counter
             for port in ports for counter in COUNTERS if counter not in port.unreadable}
    dirs = {parent for path in files for parent in path.parents if root in parent.parents}
    _prune(root, files, dirs)
    for port in ports:
        statistics = root / file_name(port.name) / "statistics"
        statistics.mkdir(parents=True, exist_ok=True)
        for counter in COUNTERS:
            if counter not in port.unreadable:  # the module finds no file
                _write(statistics / counter, f"{getattr(port, counter)}\n")
    if stand_in is not None:
        if ports:
            stand_in.set_scenario_ports(os.fsencode(root),
                                        [p.name.encode("latin-1") for p in ports])
        else:
            stand_in.set_scenario_ports(None, [])


def serve(ports: list[Port]) -> None:
    """Writes the counter files of these ports (replacing those of the
    previous scenario) and points the stand-in's paths at them. When that
    fails (the file system refuses), the previous ports are served again
    before the error propagates."""
    global _served
    try:
        _serve(ports)
    except BaseException:
        try:
            _serve(_served)
        except Exception:
            pass
        raise
    _served = list(ports)


def served() -> list[Port]:
    """The ports whose counter files serve() wrote last."""
    return list(_served)


def stats_root() -> str | None:
    """The statistics root a test set in the stand-in (None: the kernel's,
    which leaves the scenario's ports theirs)."""
    stand_in = _stand_in()
    root: str | None = None if stand_in is None else stand_in.stats_root()
    return None if root == "/sys/class/net" else root


def set_stats_root(root: str | None) -> None:
    stand_in = _stand_in()
    if stand_in is not None:
        stand_in.set_stats_root(root)


def reset_paths() -> None:
    stand_in = _stand_in()
    if stand_in is None:
        return
    stand_in.set_stats_root(None)
    for variable in _VARIABLES:
        stand_in.set_counter_file(variable, None)
