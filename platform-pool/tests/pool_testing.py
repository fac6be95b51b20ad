"""What the pool's tests share: slowed platform calls and process checks."""

import pathlib
import time

from zel_sim import Step, records

# Long enough never to pass on a loaded machine before a test is done with
# the call; a test that waits for it to end is a test of a hang.
SLOW = 30.0


def slow_temperatures(zel_sim, seconds=SLOW):
    """get_temp_list answers after seconds (in workers started from now)."""
    zel_sim.script("get_temp_list", Step(0, records.temp_list([40.0]), seconds))


def running(pid):
    try:
        state = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except OSError:
        return False
    return state != "Z"


def ended_within(pids, seconds=30.0):
    """Whether every process of pids has ended within seconds."""
    deadline = time.monotonic() + seconds
    while any(running(pid) for pid in pids) and time.monotonic() < deadline:
        time.sleep(0.02)
    return not any(running(pid) for pid in pids)


def appeared(path, seconds=60.0):
    """Whether path exists within seconds."""
    deadline = time.monotonic() + seconds
    while not path.exists() and time.monotonic() < deadline:
        time.sleep(0.01)
    return path.exists()


def children(pid):
    """The processes whose parent is pid."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            stat = (entry / "stat").read_text()
        except (OSError, ValueError):
            continue
        if entry.name.isdigit() and int(stat.rsplit(")", 1)[1].split()[1]) == pid:
            found.append(int(entry.name))
    return found
