"""One worker process for the platform calls that hold the interpreter lock:
replaced after it breaks, shut down with the server."""

import concurrent.futures
import multiprocessing
import threading
from concurrent.futures.process import BrokenProcessPool


class PlatformWorker:
    def __init__(self, **options):
        """options: further arguments of ProcessPoolExecutor (initializer, ...)."""
        self._options = {"max_workers": 1, "mp_context": multiprocessing.get_context("spawn"),
                         **options}
        self._lock = threading.Lock()
        self._pool = None

    def call(self, function, *args):
        """function(*args) in the worker process. Raises BrokenProcessPool when
        the worker died; the next call starts a new one."""
        pool = self._running()
        try:
            return pool.submit(function, *args).result()
        except BrokenProcessPool:
            self._forget(pool)
            raise

    def shutdown(self):
        """Stops the worker, waiting for the call under way."""
        with self._lock:
            pool, self._pool = self._pool, None
        if pool is not None:
            pool.shutdown(wait=True, cancel_futures=True)

    def _running(self):
        with self._lock:
            if self._pool is None:
                self._pool = concurrent.futures.ProcessPoolExecutor(**self._options)
            return self._pool

    def _forget(self, broken):
        with self._lock:
            if self._pool is broken:
                self._pool = None
        broken.shutdown(wait=False, cancel_futures=True)
