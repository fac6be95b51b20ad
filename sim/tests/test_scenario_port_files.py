"""The counter files of scenario ports are rewritten in place by each
scenario change: whatever a test did to them, the next scenario's values are
what the files hold, and nothing of another scenario stays."""

import os

import pytest

import zel_sim

import zel.zel_util as zu

NESTED = """
[[port]]
name = "gi1/0/1"
tx_packets = 1
[[port]]
name = "gi1/0/2"
tx_packets = 2
"""


def test_changed_files_and_strays_are_undone(tmp_path):
    zel_sim.load_scenario(NESTED)
    directory = zel_sim.port_directory()
    statistics = directory / "gi1/0/1" / "statistics"
    (statistics / "tx_packets").write_text("7\n")  # same size as "1\n"
    assert zu.system_port_traffic("gi1/0/1").tx_packets == 7
    (statistics / "rx_bytes").unlink()
    (statistics / "extra").write_text("x")
    (directory / "gi1/0/2" / "statistics" / "tx_bytes").unlink()
    (directory / "gi1/0/2" / "statistics" / "tx_bytes").symlink_to(tmp_path / "target")
    (directory / "stray").mkdir()
    zel_sim.load_scenario(NESTED)
    assert zu.system_port_traffic("gi1/0/1") == (1, 0, 0, 0)
    assert zu.system_port_traffic("gi1/0/2") == (2, 0, 0, 0)
    assert sorted(p.name for p in statistics.iterdir()) == [
        "rx_bytes", "rx_packets", "tx_bytes", "tx_packets"]
    assert not (directory / "gi1/0/2" / "statistics" / "tx_bytes").is_symlink()
    assert not (tmp_path / "target").exists()
    assert sorted(p.name for p in directory.iterdir()) == ["gi1"]


def test_another_scenario_leaves_only_its_own_ports():
    zel_sim.load_scenario(NESTED)
    directory = zel_sim.port_directory()
    zel_sim.load_scenario('[[port]]\nname = "gi1/0/2"\nrx_bytes = 5\n')
    assert sorted(str(p.relative_to(directory)) for p in directory.rglob("*")
                  if p.is_file()) == [f"gi1/0/2/statistics/{c}" for c in (
                      "rx_bytes", "rx_packets", "tx_bytes", "tx_packets")]
    assert zu.system_port_traffic("gi1/0/2") == (0, 0, 0, 5)
    zel_sim.load_scenario('[system]\nhostname = "none"\n')
    assert os.listdir(directory) == []


# ---- who removes the directory ------------------------------------------------------


def python(code, tmp_path):
    """A process of its own, with tmp_path as its temporary folder."""
    import subprocess
    import sys
    import textwrap

    env = {k: v for k, v in os.environ.items() if k not in ("ZEL_SIM_SCENARIO",
                                                           "ZEL_SIM_PRELOAD")}
    return subprocess.run([sys.executable, "-W", "ignore::DeprecationWarning", "-c",
                           textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=60, env=dict(env, TMPDIR=str(tmp_path)))


def left(tmp_path):
    return sorted(name for name in os.listdir(tmp_path) if name.startswith("zel-sim-ports-"))


def test_a_forked_child_leaves_the_parents_counter_files_alone(tmp_path):
    proc = python("""
        import os, sys, zel_sim
        import zel.zel_util as zu
        zel_sim.load_scenario('[[port]]\\nname = "gi1"\\ntx_packets = 5\\n')
        mine = zel_sim.port_directory()
        for own_scenario in (False, True):
            pid = os.fork()
            if pid == 0:
                if own_scenario:  # served from a directory of the child's own
                    zel_sim.load_scenario('[[port]]\\nname = "gi1"\\ntx_packets = 6\\n')
                    print(zel_sim.port_directory() != mine, zu.system_port_traffic("gi1")[0])
                sys.exit(0)  # exit handlers run
            os.waitpid(pid, 0)
            print(mine.is_dir(), zu.system_port_traffic("gi1").tx_packets, flush=True)
        print(len(os.listdir(os.path.dirname(mine))))
    """, tmp_path)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["True", "5", "True", "6", "True", "5", "2"]
    assert proc.stderr == "" and left(tmp_path) == []


@pytest.mark.parametrize("end", ["os._exit(0)", "os.kill(os.getpid(), signal.SIGKILL)",
                                 "os.kill(os.getpid(), signal.SIGTERM)"])
def test_an_abrupt_exit_leaves_nothing_once_the_next_process_starts(tmp_path, end):
    start = """
        import os, signal, zel_sim
        zel_sim.load_scenario('[[port]]\\nname = "gi1"\\n')
        print(os.path.basename(zel_sim.port_directory()), flush=True)
    """
    ended = python(start + f"    {end}\n", tmp_path)
    assert left(tmp_path) == [ended.stdout.strip(), ended.stdout.strip() + ".lock"]
    # A process that lives keeps its own, and removes the dead one's.
    alive = python(start + "    print(sorted(os.listdir(zel_sim.port_directory().parent)))\n",
                   tmp_path)
    name = alive.stdout.split()[0]
    assert alive.stdout.splitlines()[1] == str([name, name + ".lock"])
    assert left(tmp_path) == []
