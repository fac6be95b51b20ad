"""Pickled messages over one end of a socket pair, each a length and its
bytes: the whole conversation between the pool and a worker."""

from __future__ import annotations

import pickle
import select
import socket
import struct
from typing import Any

_LENGTH = struct.Struct("!Q")


class Channel:
    def __init__(self, sock: socket.socket) -> None:
        self._sock = sock
        # poll, not select: a server's descriptors may be numbered past 1024.
        self._poller = select.poll()
        self._poller.register(sock, select.POLLIN)

    def fileno(self) -> int:
        return self._sock.fileno()

    def send(self, message: Any) -> None:
        self.send_bytes(pickle.dumps(message, pickle.HIGHEST_PROTOCOL))

    def send_bytes(self, data: bytes) -> None:
        """Raises OSError (BrokenPipeError) when the other end is gone."""
        self._sock.sendall(_LENGTH.pack(len(data)) + data)

    def ready(self, timeout: float | None) -> bool:
        """Whether a message (or the end of the conversation) can be read
        within timeout seconds (None: waits as long as it takes)."""
        milliseconds = None if timeout is None else max(0, round(timeout * 1000))
        return bool(self._poller.poll(milliseconds))

    def receive(self) -> Any:
        """The next message; EOFError when the other end is gone. Waits for
        it: call ready() first to bound the wait."""
        (length,) = _LENGTH.unpack(self._exactly(_LENGTH.size))
        return pickle.loads(self._exactly(length))

    def _exactly(self, count: int) -> bytes:
        chunks, missing = [], count
        while missing:
            try:
                chunk = self._sock.recv(min(missing, 1 << 20))
            except ConnectionResetError:
                chunk = b""
            if not chunk:
                raise EOFError("the other end of the channel is gone")
            chunks.append(chunk)
            missing -= len(chunk)
        return b"".join(chunks)

    def close(self) -> None:
        self._sock.close()


def channel_pair() -> tuple[Channel, socket.socket]:
    """The pool's channel, and the socket the worker's end is made from."""
    ours, theirs = socket.socketpair()
    return Channel(ours), theirs
