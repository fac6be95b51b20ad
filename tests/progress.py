"""The progress of a long run, for a person at a terminal and for a CI log:
a line per test file, begun when its first test starts (how far the run is:
the share of tests done and the time taken; the file and its number of
tests) and ended with what the file gave, instead of minutes of bare dots.
Passing tests print nothing; a failure, error or skip keeps its letter.

`make test` loads it: pytest -q -p tests.progress -o console_output_style=classic."""

from __future__ import annotations

import collections
import time

import pytest


def clock(seconds: float) -> str:
    minutes, seconds = divmod(int(seconds), 60)
    return f"{minutes}:{seconds:02d}"


class Progress:
    def __init__(self, reporter):
        self.reporter = reporter
        self.started = time.monotonic()
        self.sizes: collections.Counter[str] = collections.Counter()
        self.done = 0
        self.path = None
        self.path_started = 0.0
        self.outcomes: collections.Counter[str] = collections.Counter()

    def pytest_collection_finish(self, session):
        self.sizes.update(item.nodeid.split("::")[0] for item in session.items)
        self.reporter.write_line(f"==> {len(session.items)} tests in {len(self.sizes)} files, "
                                 f"collected in {clock(time.monotonic() - self.started)}")

    def pytest_runtest_logstart(self, nodeid):
        path = nodeid.split("::")[0]
        if path == self.path:
            return
        self.end_file()
        self.path, self.path_started = path, time.monotonic()
        share = 100 * self.done // max(sum(self.sizes.values()), 1)
        self.reporter.ensure_newline()
        size = self.sizes[path]
        self.reporter.write(f"[{share:3d}% {clock(time.monotonic() - self.started):>6}] "
                            f"{path} ({size} test{'s' * (size != 1)}) ", flush=True)

    def pytest_runtest_logreport(self, report):
        if report.when == "call" or report.outcome != "passed":
            self.outcomes[report.outcome] += 1

    def pytest_runtest_logfinish(self):
        self.done += 1

    @pytest.hookimpl(tryfirst=True)
    def pytest_report_teststatus(self, report):
        if report.when == "call" and report.passed and not hasattr(report, "wasxfail"):
            return "passed", "", ""
        return None

    def pytest_sessionfinish(self):
        self.end_file()

    def end_file(self):
        if self.path is None:
            return
        said = ", ".join(f"{count} {outcome}" for outcome, count in sorted(self.outcomes.items()))
        # After the letters of what did not pass, if any.
        gap = " " if set(self.outcomes) - {"passed"} else ""
        self.reporter.write(f"{gap}{said or 'nothing run'} in "
                            f"{time.monotonic() - self.path_started:.1f} s\n", flush=True)
        self.path = None
        self.outcomes.clear()


@pytest.hookimpl(trylast=True)
def pytest_configure(config):
    reporter = config.pluginmanager.get_plugin("terminalreporter")
    if reporter is not None:
        config.pluginmanager.register(Progress(reporter), "zel-progress")
