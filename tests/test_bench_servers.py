"""bench/README.md carries the table of the web-server figures that
bench/servers.json holds, as `python -m bench.servers` writes it."""

import json
import pathlib

from bench import servers

ROOT = pathlib.Path(__file__).resolve().parent.parent


def test_the_readme_shows_the_figures_of_the_results_file():
    report = json.loads((ROOT / "bench" / "servers.json").read_text())
    readme = (ROOT / "bench" / "README.md").read_text()
    assert servers.with_table(readme, report) == readme, \
        "bench/README.md: run python -m bench.servers (or make bench) to write its table"
    assert {row["server"] for row in report["servers"]} == set(servers.SERVERS)


def test_the_guide_shows_the_same_figures():
    report = json.loads((ROOT / "bench" / "servers.json").read_text())
    guide = (ROOT / "docs" / "backend.md").read_text()
    assert servers.with_guide_table(guide, report) == guide, \
        "docs/backend.md: run python -m bench.servers (or make bench) to write its figures"
