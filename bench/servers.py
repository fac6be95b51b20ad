"""Web servers on the platform pool: the sample back-end (examples/backend)
under waitress and under gunicorn, 4 clients for 10 s per case, in one run.

    python -m bench.servers [--seconds 10] [--json bench/servers.json] [--no-readme]

Against the simulator, each case on a server of its own:
- /healthz p99 while another client's request waits on a 2-second platform
  call (the scenario slows get_temp_list, which /environment reads), over
  /healthz p99 with no platform traffic, the two in turns: the goal is at
  most 2; the same with the platform calls in the server's process, for
  contrast;
- dashboard throughput (/environment: temperatures and supplies, 20 ms per
  platform call), pool against in-process.
It writes the figures to bench/servers.json and their tables into the marked
blocks of bench/README.md and docs/backend.md (unless --no-readme).
"""

import argparse
import datetime
import http.client
import json
import os
import pathlib
import platform
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
BACKEND = HERE.parent / "examples" / "backend"
README = HERE / "README.md"
RESULTS = HERE / "servers.json"
BEGIN = "<!-- servers table: made by `python -m bench.servers` from bench/servers.json -->"
END = "<!-- end of servers table -->"
GUIDE = HERE.parent / "docs" / "backend.md"
GUIDE_BEGIN = "<!-- pool figures: made by `python -m bench.servers` from bench/servers.json -->"
GUIDE_END = "<!-- end of pool figures -->"

CLIENTS = 4
ROUNDS = 5  # /healthz alone and behind the slow call take turns, each 1/ROUNDS of the time
GOAL = 2.0  # /healthz p99 behind a slow call, at most this many times its p99 alone
SLOW_SCENARIO = 'extends = "{lab}"\n[slow]\nget_temp_list = 2.0\n'
DASHBOARD_SCENARIO = 'extends = "{lab}"\n[slow]\nget_temp_list = 0.02\nget_psu_list = 0.02\n'

# How each server runs the back-end: its command for a pool of `workers`
# platform workers per server process (0: in-process), what its log says
# once it listens, and the pool size per server process.
SERVERS = {
    "waitress": {
        "command": lambda workers: [sys.executable, "switch_backend.py", "--port", "0",
                                    "--workers", str(workers), "--timeout", "30"],
        "listening": r"serving on (http://[\d.:]+)",
        "pool": 4, "threads": "4 threads (waitress's default), 1 process",
    },
    "gunicorn": {
        "command": lambda workers: [sys.executable, "-m", "gunicorn", "-b", "127.0.0.1:0",
                                    "-w", "2", "-k", "gthread", "--threads", "4",
                                    f"switch_backend:served_app(workers={workers}, timeout=30)"],
        "listening": r"Listening at: (http://[\d.:]+)",
        "pool": 2, "threads": "2 processes × 4 threads (gthread)",
    },
}


class Server:
    """One server process on a scenario, stopped (SIGTERM) on exit."""

    def __init__(self, kind, workers, scenario, workdir):
        self.spec = SERVERS[kind]
        self.log_path = pathlib.Path(workdir) / f"{kind}-{workers}.log"
        env = {**os.environ, "ZEL_SIM_SCENARIO": str(scenario)}
        with self.log_path.open("w") as log:
            self.process = subprocess.Popen(self.spec["command"](workers), cwd=BACKEND,
                                            env=env, stdout=log, stderr=subprocess.STDOUT)

    def __enter__(self):
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and self.process.poll() is None:
            found = re.search(self.spec["listening"], self.log_path.read_text())
            if found:
                self.address = found.group(1).removeprefix("http://")
                client(self.address, lambda: "/environment", time.monotonic() + 1, [])  # warm
                return self
            time.sleep(0.1)
        raise RuntimeError(f"the server did not start:\n{self.log_path.read_text()}")

    def __exit__(self, *exc_info):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def client(address, next_path, deadline, seen):
    """Requests next_path() until deadline, appending (path, status,
    seconds) to seen. A connection per request, as gunicorn's processes
    then share the requests (a kept-alive one stays with one process)."""
    host, port = address.rsplit(":", 1)
    while time.monotonic() < deadline:
        path = next_path()
        start = time.perf_counter()
        connection = http.client.HTTPConnection(host, int(port), timeout=60)
        try:
            connection.request("GET", path, headers={"Connection": "close"})
            answer = connection.getresponse()
            answer.read()
        finally:
            connection.close()
        seen.append((path, answer.status, time.perf_counter() - start))


def load(server, paths, seconds):
    """CLIENTS clients for seconds, client i requesting paths[i] again and
    again; every (path, status, seconds) answered."""
    deadline = time.monotonic() + seconds
    seen = []
    threads = [threading.Thread(target=client, args=(server.address, lambda p=p: p, deadline,
                                                     seen)) for p in paths]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return seen


def p99_ms(seen, path):
    times = sorted(t for p, _, t in seen if p == path)
    return 1000 * times[max(0, -(-len(times) * 99 // 100) - 1)] if times else None


def per_second(seen, path, seconds):
    return sum(1 for p, status, _ in seen if p == path and status == 200) / seconds


def measure(kind, seconds, scenarios, workdir, log):
    """The figures of one server kind."""
    pool = SERVERS[kind]["pool"]
    healthz, slow = ["/healthz"] * CLIENTS, ["/environment"] + ["/healthz"] * (CLIENTS - 1)
    row = {"server": kind, "pool": pool, "threads": SERVERS[kind]["threads"]}
    log(f"{kind}: /healthz alone and behind a 2-second platform call, on the pool")
    with Server(kind, pool, scenarios["slow"], workdir) as server:
        alone, behind = [], []
        # In turns, so that the load of the machine weighs on both alike.
        for _ in range(ROUNDS):
            alone += load(server, healthz, seconds / ROUNDS)
            behind += load(server, slow, seconds / ROUNDS)
        row["healthz_p99_ms"] = p99_ms(alone, "/healthz")
        row["behind_slow_p99_ms"] = p99_ms(behind, "/healthz")
    log(f"{kind}: /healthz behind a 2-second platform call, in-process")
    with Server(kind, 0, scenarios["slow"], workdir) as server:
        row["in_process_behind_slow_p99_ms"] = p99_ms(load(server, slow, seconds), "/healthz")
    for where, workers in (("pool", pool), ("in_process", 0)):
        log(f"{kind}: dashboard throughput, {where.replace('_', '-')}")
        with Server(kind, workers, scenarios["dashboard"], workdir) as server:
            seen = load(server, ["/environment"] * CLIENTS, seconds)
            row[f"dashboard_{where}_per_s"] = per_second(seen, "/environment", seconds)
    row["behind_slow_ratio"] = row["behind_slow_p99_ms"] / row["healthz_p99_ms"]
    row["dashboard_ratio"] = row["dashboard_pool_per_s"] / row["dashboard_in_process_per_s"]
    return row


COLUMNS = [  # (heading, key, decimals)
    ("pool workers per process", "pool", 0),
    ("/healthz p99 alone, ms", "healthz_p99_ms", 1),
    ("behind a 2 s call, pool, ms", "behind_slow_p99_ms", 1),
    ("ratio (goal ≤ 2)", "behind_slow_ratio", 2),
    ("behind a 2 s call, in-process, ms", "in_process_behind_slow_p99_ms", 1),
    ("dashboard req/s, pool", "dashboard_pool_per_s", 1),
    ("dashboard req/s, in-process", "dashboard_in_process_per_s", 1),
    ("pool × in-process", "dashboard_ratio", 2),
]


def render(report):
    lines = [f"{report['machine']}, {report['cpus']} CPUs, CPython {report['python']}, "
             f"{report['seconds']:g} s per case, {CLIENTS} clients, run of {report['date']}.",
             "", "| server | " + " | ".join(h for h, _, _ in COLUMNS) + " | threads |",
             "|---|" + "---:|" * len(COLUMNS) + "---|"]
    for row in report["servers"]:
        cells = [f"{row[key]:.{decimals}f}" for _, key, decimals in COLUMNS]
        lines.append(f"| {row['server']} | " + " | ".join(cells) + f" | {row['threads']} |")
    return "\n".join(lines)


GUIDE_ROW = ("| {label} | {healthz_p99_ms:.0f} ms | {behind_slow_p99_ms:.0f} ms | "
             "{behind_slow_ratio:.2f} | {in_process_behind_slow_p99_ms:.0f} ms | "
             "{dashboard_pool_per_s:.0f} req/s | {dashboard_in_process_per_s:.0f} req/s "
             "({dashboard_ratio:.1f}× less) |")


def guide_table(report):
    """The figures as docs/backend.md shows them, in its words."""
    lines = ["| Server, pool workers per process | `/healthz` p99 alone | behind a 2-second call: "
             "pool | ratio | in-process | dashboard, 20 ms per call: pool | in-process |",
             "|---|---:|---:|---:|---:|---:|---:|"]
    lines += [GUIDE_ROW.format(label=f"{row['server']}: {row['threads']}, {row['pool']} workers",
                               **row) for row in report["servers"]]
    return "\n".join(lines)


def with_table(text, report, begin=BEGIN, end=END, table=render):
    """text with its block between begin and end replaced by table(report)."""
    start, stop = text.index(begin), text.index(end) + len(end)
    return text[:start] + f"{begin}\n{table(report)}\n{end}" + text[stop:]


def with_guide_table(text, report):
    return with_table(text, report, GUIDE_BEGIN, GUIDE_END, guide_table)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=10.0, help="per case")
    parser.add_argument("--json", default=str(RESULTS))
    parser.add_argument("--no-readme", action="store_true",
                        help="leave bench/README.md and docs/backend.md alone")
    parser.add_argument("--servers", nargs="*", default=list(SERVERS), choices=list(SERVERS))
    options = parser.parse_args(argv)

    def log(text):
        print(text, file=sys.stderr, flush=True)

    with tempfile.TemporaryDirectory(prefix="zel-bench-servers-") as workdir:
        scenarios = {}
        for name, text in (("slow", SLOW_SCENARIO), ("dashboard", DASHBOARD_SCENARIO)):
            scenarios[name] = pathlib.Path(workdir) / f"{name}.toml"
            scenarios[name].write_text(text.format(lab=BACKEND / "lab-switch.toml"))
        rows = [measure(kind, options.seconds, scenarios, workdir, log)
                for kind in options.servers]
    report = {"date": datetime.datetime.now().isoformat(timespec="seconds"),
              "python": sys.version.split()[0], "machine": platform.machine(),
              "cpus": os.cpu_count(), "seconds": options.seconds, "servers": rows}
    with open(options.json, "w") as f:
        json.dump(report, f, indent=1)
    print(render(report))
    if not options.no_readme:
        README.write_text(with_table(README.read_text(), report))
        GUIDE.write_text(with_guide_table(GUIDE.read_text(), report))
        print(f"tables written to {README.relative_to(HERE.parent)} and "
              f"{GUIDE.relative_to(HERE.parent)}")
    missed = [row["server"] for row in rows if row["behind_slow_ratio"] > GOAL]
    if missed:
        print(f"goal missed (/healthz p99 behind a slow call over alone > {GOAL:g}): "
              f"{', '.join(missed)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
