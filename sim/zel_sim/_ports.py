"""Simulated per-port counter files.

The ports a scenario lists get counter files in a private directory of this
process (``<directory>/<name>/statistics/<counter>``, as the kernel lays
them out), and the zel.zel stand-in's path function points those names
there; every other name keeps the kernel's files under /sys/class/net.
"""

from __future__ import annotations

import atexit
import os
import pathlib
import shutil
import tempfile
from types import ModuleType
from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from .scenario import Port

COUNTERS = ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes")
_VARIABLES = ("SYS_CLASS_NET_STATS_TX_PKTS", "SYS_CLASS_NET_STATS_TX_BYTES",
              "SYS_CLASS_NET_STATS_RX_PKTS", "SYS_CLASS_NET_STATS_RX_BYTES")

_directory: pathlib.Path | None = None
_served: list[Port] = []


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


def _own_directory() -> pathlib.Path:
    global _directory
    if _directory is None:
        _directory = pathlib.Path(tempfile.mkdtemp(prefix="zel-sim-ports-"))
        atexit.register(shutil.rmtree, _directory, True)
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


def serve(ports: list[Port]) -> None:
    """Writes the counter files of these ports (replacing those of the
    previous scenario) and points the stand-in's paths at them."""
    global _served
    _served = list(ports)
    stand_in = _stand_in()
    if not ports and _directory is None:
        if stand_in is not None:
            stand_in.set_scenario_ports(None, [])
        return
    root = _own_directory()
    files = {root / port.name / "statistics" / counter
             for port in ports for counter in COUNTERS if counter not in port.unreadable}
    dirs = {parent for path in files for parent in path.parents if root in parent.parents}
    _prune(root, files, dirs)
    for port in ports:
        statistics = root / port.name / "statistics"
        statistics.mkdir(parents=True, exist_ok=True)
        for counter in COUNTERS:
            if counter not in port.unreadable:  # the module finds no file
                _write(statistics / counter, f"{getattr(port, counter)}\n")
    if stand_in is not None:
        if ports:
            stand_in.set_scenario_ports(os.fsencode(root), [p.name for p in ports])
        else:
            stand_in.set_scenario_ports(None, [])


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
