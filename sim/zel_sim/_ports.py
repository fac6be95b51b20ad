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


def _fresh_directory() -> pathlib.Path:
    global _directory
    if _directory is None:
        _directory = pathlib.Path(tempfile.mkdtemp(prefix="zel-sim-ports-"))
        atexit.register(shutil.rmtree, _directory, True)
    else:
        for entry in _directory.iterdir():
            shutil.rmtree(entry) if entry.is_dir() else entry.unlink()
    return _directory


def serve(ports: list[Port]) -> None:
    """Writes the counter files of these ports (replacing those of the
    previous scenario) and points the stand-in's paths at them."""
    stand_in = _stand_in()
    if not ports:
        if _directory is not None:
            _fresh_directory()
        if stand_in is not None:
            stand_in.set_scenario_ports(None, [])
        return
    root = _fresh_directory()
    for port in ports:
        statistics = root / port.name / "statistics"
        statistics.mkdir(parents=True, exist_ok=True)
        for counter in COUNTERS:
            if counter not in port.unreadable:  # the module finds no file
                (statistics / counter).write_text(f"{getattr(port, counter)}\n")
    if stand_in is not None:
        stand_in.set_scenario_ports(os.fsencode(root), [p.name for p in ports])


def reset_paths() -> None:
    stand_in = _stand_in()
    if stand_in is None:
        return
    stand_in.set_stats_root(None)
    for variable in _VARIABLES:
        stand_in.set_counter_file(variable, None)
