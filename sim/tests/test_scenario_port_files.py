"""The counter files of scenario ports are rewritten in place by each
scenario change: whatever a test did to them, the next scenario's values are
what the files hold, and nothing of another scenario stays."""

import os

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
