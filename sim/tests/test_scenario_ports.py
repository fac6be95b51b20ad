"""Port counters of a scenario, served as counter files of their own."""

import os
import pathlib

import pytest

import zel_sim
import zel.zel

PORTS = '''
[[port]]
name = "gi1/0/1"
tx_packets = 1
tx_bytes = 2
rx_packets = 3
rx_bytes = 18446744073709551615
[[port]]
name = "lag 7"
'''


@pytest.fixture
def zu():
    import zel.zel_util

    return zel.zel_util


def test_every_scenario_port_reads_its_counters(zu, capfd):
    zel_sim.load_scenario(PORTS)
    assert zu.system_port_traffic("gi1/0/1") == (1, 2, 3, 2**64 - 1)
    assert zu.system_port_traffic("lag 7") == (0, 0, 0, 0)
    assert capfd.readouterr().err == ""
    directory = zel_sim.port_directory()
    assert sorted(zel.zel.scenario_ports()) == ["gi1/0/1", "lag 7"]
    assert (directory / "gi1/0/1" / "statistics" / "rx_bytes").read_text() == \
        "18446744073709551615\n"


def test_the_default_switch_has_counters_for_its_ports(zu):
    zel_sim.reset()
    for index in range(1, 5):
        assert zu.system_port_traffic(f"gi1/0/{index}") is not None
    assert zu.system_port_traffic("gi1/0/1").rx_bytes > 0


def test_other_names_keep_the_kernels_files(zu):
    zel_sim.load_scenario(PORTS)
    loopback = pathlib.Path("/sys/class/net/lo/statistics/rx_bytes")
    if loopback.exists():
        assert zu.system_port_traffic("lo").rx_bytes >= 0
    assert zel.zel.stats_root() == "/sys/class/net"


def test_a_new_scenario_replaces_the_files_and_clear_drops_them(zu, capfd):
    zel_sim.load_scenario(PORTS)
    directory = zel_sim.port_directory()
    zel_sim.load_scenario('[[port]]\nname = "gi2"\ntx_packets = 9\n')
    assert zel_sim.port_directory() == directory
    assert sorted(p.name for p in directory.iterdir()) == ["gi2"]
    assert zu.system_port_traffic("gi2").tx_packets == 9
    zel_sim.clear()
    assert zel.zel.scenario_ports() == [] and list(directory.iterdir()) == []


def test_a_test_root_wins_and_reset_counter_paths_undoes_it(zu, tmp_path):
    zel_sim.load_scenario(PORTS)
    statistics = tmp_path / "gi1/0/1" / "statistics"
    statistics.mkdir(parents=True)
    for counter in ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes", "other"):
        (statistics / counter).write_text("5\n")
    zel.zel.set_stats_root(os.fsencode(tmp_path))
    zel.zel.set_counter_file("SYS_CLASS_NET_STATS_TX_PKTS", "other")
    assert zu.system_port_traffic("gi1/0/1") == (5, 5, 5, 5)
    zel_sim.reset_counter_paths()
    assert zu.system_port_traffic("gi1/0/1") == (1, 2, 3, 2**64 - 1)


def test_load_start_scenario_restores_the_start_switch_and_counter_paths(zu, tmp_path):
    zel_sim.load_scenario(PORTS)
    zel.zel.set_stats_root(os.fsencode(tmp_path))
    assert zel_sim.load_start_scenario() is zel_sim.start_scenario()
    assert zel.zel.stats_root() == "/sys/class/net"
    assert zu.system_port_traffic("gi1/0/1") == zu.system_port_traffic("gi1/0/1") != (0, 0, 0, 0)
    assert zel_sim.hostname() == zel_sim.start_scenario().system.hostname.encode()
