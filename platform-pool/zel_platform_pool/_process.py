"""One worker process, as the pool sees it: started as a fresh interpreter
(never a fork of the server, whose threads and locks it must not inherit),
asked one request at a time, killed when it overruns."""

from __future__ import annotations

import pathlib
import pickle
import signal
import subprocess
import sys
from collections.abc import Sequence
from typing import Any

from ._channel import channel_pair
from ._errors import PlatformTimeout, WorkerDied, WorkerStartError
from ._worker import filters_of_this_process

# Initializers, each with its arguments, run in order in every new worker.
Initializers = Sequence[tuple[Any, tuple[Any, ...]]]

_PACKAGE_ROOT = str(pathlib.Path(__file__).resolve().parent.parent)


def interpreter_options() -> list[str]:
    """The options this interpreter runs with that a worker must share:
    -W (the filters set in code follow at start), -X, -O, -B, -s."""
    options = [f"-W{option}" for option in sys.warnoptions]
    options += [f"-X{name}" if value is True else f"-X{name}={value}"
                for name, value in sys._xoptions.items()]
    options += ["-O"] * sys.flags.optimize
    options += ["-B"] * sys.flags.dont_write_bytecode + ["-s"] * sys.flags.no_user_site
    return options


def _command(fd: int) -> list[str]:
    code = (f"import sys; sys.path.insert(0, {_PACKAGE_ROOT!r}); "
            f"from zel_platform_pool._worker import main; main({fd})")
    return [sys.executable, *interpreter_options(), "-c", code]


class WorkerProcess:
    def __init__(self, initializers: Initializers, start_timeout: float, purpose: str) -> None:
        """Starts the worker and waits until it is ready; raises
        WorkerStartError naming purpose (the function it is started for)."""
        self.channel, theirs = channel_pair()
        try:
            self.process = subprocess.Popen(_command(theirs.fileno()), pass_fds=[theirs.fileno()],
                                            stdin=subprocess.DEVNULL)
        finally:
            theirs.close()
        self.pid = self.process.pid
        try:
            self._set_up(initializers, start_timeout, purpose)
        except BaseException:
            self.kill()
            raise

    def _set_up(self, initializers: Initializers, start_timeout: float, purpose: str) -> None:
        try:
            for message in (sys.path, filters_of_this_process(), list(initializers)):
                self.channel.send(message)
            reply = self.answer(start_timeout, purpose)
        except (OSError, PlatformTimeout, WorkerDied) as error:
            raise WorkerStartError(f"a platform worker for {purpose}() could not be started: "
                                   f"{error}", purpose) from error
        if reply[0] != "ready":
            raise WorkerStartError(f"a platform worker for {purpose}() could not be started: "
                                   f"{reply[1]!r}", purpose) from reply[1]

    def request(self, message: Any, function: str) -> None:
        self.request_bytes(pickle.dumps(message, pickle.HIGHEST_PROTOCOL), function)

    def request_bytes(self, data: bytes, function: str) -> None:
        try:
            self.channel.send_bytes(data)
        except OSError:
            raise self._died(function) from None

    def answer(self, timeout: float | None, function: str) -> Any:
        """The worker's next message; PlatformTimeout when none comes within
        timeout (the worker is then killed), WorkerDied when it ended."""
        if not self.channel.ready(timeout):
            self.kill()
            raise PlatformTimeout(f"{function}() did not answer within {timeout:g} s: its worker "
                                  f"was stopped and is replaced", function, float(timeout or 0))
        try:
            return self.channel.receive()
        except EOFError:
            raise self._died(function) from None

    def _died(self, function: str) -> WorkerDied:
        self.kill()
        code = self.process.returncode
        how = (f"killed by {signal.Signals(-code).name}" if code < 0
               else f"exited with status {code}")
        return WorkerDied(f"the platform worker running {function}() died ({how}); the next "
                          f"call starts another", function)

    def alive(self) -> bool:
        return self.process.poll() is None

    def stop(self, grace: float) -> None:
        """Closes the channel, which ends the worker once it is idle; kills
        it when it has not ended within grace seconds."""
        self.channel.close()
        try:
            self.process.wait(grace)
        except subprocess.TimeoutExpired:
            self.kill()

    def kill(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.channel.close()

    def forget(self) -> None:
        """In a forked child: lets go of the parent's worker without
        touching it (closing our copy of the channel's descriptor only)."""
        self.channel.close()
        self.process.returncode = 0  # never waited for here: not our child
