"""Calls through the pool: results and exceptions as in this process, a
worker that dies or overruns replaced, a full pool busy at once."""

import os
import pathlib
import signal
import threading
import warnings

import pytest
from pool_testing import SLOW, appeared, ended_within, running, slow_temperatures

import zel.zel_util as zu
from zel_platform_pool import PlatformBusy, PlatformTimeout, PoolClosed, WorkerDied


def test_results_and_exceptions_arrive_as_in_this_process(make_pool, zel_sim):
    zel_sim.script("dump_tessel_802_1x_status", result=-3, key="gi9/9")
    pool = make_pool()
    assert pool.call("psu_list") == zu.psu_list() and type(pool.call(zu.psu_list)[0]) is zu.PSU
    assert pool.call("get_8021x_status", interface_name="gi1/0/1") == \
        zu.get_8021x_status("gi1/0/1")
    with pytest.raises(zu.CFunctionError) as failure:
        pool.call("get_8021x_status", "gi9/9")
    assert failure.value.args == ("dump_tessel_802_1x_status", -3)
    assert (failure.value.function, failure.value.code) == ("dump_tessel_802_1x_status", -3)
    with pytest.raises(UnicodeEncodeError) as bad:
        pool.call("set_hostname", "\u0100")
    assert bad.value.args == ("latin-1", "\u0100", 0, 1, "ordinal not in range(256)")
    with pytest.raises(TypeError, match=r"^get_cmdb_max_buff\(\) takes no arguments \(1 given\)$"):
        pool.call("get_cmdb_max_buff", 1)
    with pytest.raises(AttributeError, match="zel.zel_util has no function 'psu_lst'"):
        pool.call("psu_lst")
    assert pool.call(os.getpid) != os.getpid()


def call_ending_with_the_pool(pool):
    try:
        pool.call("system_temperatures")
    except WorkerDied:  # killed by close()
        pass


def test_a_slow_call_does_not_delay_a_call_a_free_worker_takes(make_pool, zel_sim):
    slow_temperatures(zel_sim)
    pool = make_pool(2, timeout=2 * SLOW)
    pool.start()
    slow = threading.Thread(target=call_ending_with_the_pool, args=(pool,), daemon=True)
    slow.start()
    assert pool.call("psu_list") == zu.psu_list()
    assert slow.is_alive()
    pool.close(grace=0)


def announce_then_read_temperatures(path):  # runs in the worker
    pathlib.Path(path).touch()
    return zu.system_temperatures()


def test_a_worker_killed_mid_call_fails_that_call_only(make_pool, zel_sim, tmp_path):
    slow_temperatures(zel_sim)
    pool = make_pool(1, timeout=2 * SLOW)
    first = pool.call(os.getpid)
    started, failures = tmp_path / "started", []

    def call():
        try:
            pool.call(announce_then_read_temperatures, str(started))
        except WorkerDied as error:
            failures.append(error)

    caller = threading.Thread(target=call)
    caller.start()
    assert appeared(started)
    os.kill(first, signal.SIGKILL)
    caller.join(SLOW)
    assert [str(error) for error in failures] == [
        "the platform worker running announce_then_read_temperatures() died (killed by "
        "SIGKILL); the next call starts another"]
    assert pool.call(os.getpid) not in (first, os.getpid())


def test_a_call_past_its_timeout_kills_its_worker(make_pool, zel_sim):
    slow_temperatures(zel_sim)
    pool = make_pool(1, timeout=1.0)
    first = pool.call(os.getpid)
    with pytest.raises(PlatformTimeout) as late:
        pool.call("system_temperatures")
    assert str(late.value) == ("system_temperatures() did not answer within 1 s: its worker "
                               "was stopped and is replaced")
    assert (late.value.function, late.value.seconds) == ("system_temperatures", 1.0)
    assert not running(first)
    assert pool.call("psu_list") == zu.psu_list()


def test_a_full_pool_is_busy_at_once(make_pool, zel_sim):
    pool = make_pool(1, max_waiting=0)
    states = pool.trace("10.0.0.1")  # takes the only worker until closed
    with pytest.raises(PlatformBusy, match=r"^psu_list\(\): every platform worker is busy and "
                                           r"0 calls are waiting already$"):
        pool.call("psu_list")
    states.close()
    assert pool.call("psu_list") == zu.psu_list()


def test_a_waiting_call_gives_up_after_the_timeout(make_pool, zel_sim):
    pool = make_pool(1, timeout=0.5)
    with pool.trace("10.0.0.1"):
        with pytest.raises(PlatformBusy, match=r"no platform worker became free within 0.5 s"):
            pool.call("psu_list")


def test_workers_start_with_the_parents_warning_filters(make_pool):
    with warnings.catch_warnings():
        warnings.filterwarnings("error", "platform pool test", UserWarning)
        pool = make_pool(1)
        with pytest.raises(UserWarning, match="platform pool test"):
            pool.call(warnings.warn, "platform pool test")
    assert pool.call(warnings.warn, "other text") is None


def set_marker(value):  # an initializer of the workers
    os.environ["POOL_TEST_MARKER"] = value


def test_an_initializer_and_the_simulators_setup_both_run(zel_sim):
    from zel_platform_pool import PlatformPool

    with zel_sim.failing("get_temp_list", -1):
        pool = PlatformPool(1, initializer=set_marker, initargs=("set",))
        pool.add_initializer(**zel_sim.worker_setup())
        with pool:
            assert pool.call(os.getenv, "POOL_TEST_MARKER") == "set"
            with pytest.raises(zu.CFunctionError):
                pool.call("system_temperatures")


def test_close_ends_every_worker_and_refuses_later_calls(make_pool):
    pool = make_pool(2)
    pool.start()
    pids = {pool.call(os.getpid) for _ in range(4)}
    pool.close()
    assert pids and ended_within(pids)
    with pytest.raises(PoolClosed, match=r"^psu_list\(\): the platform pool is closed$"):
        pool.call("psu_list")
