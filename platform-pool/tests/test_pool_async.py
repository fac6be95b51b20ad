"""The await forms: the event loop keeps running while a call or a trace
waits on a worker."""

import asyncio

import pytest
from zel_sim import Step, records
from zel_sim.testing import hops, script_trace

import zel.zel_util as zu
from zel_platform_pool import PlatformBusy


async def with_ticker(awaitable):
    """(what awaitable gives, how often a 10 ms ticker ran meanwhile)."""
    ticks = 0

    async def ticker():
        nonlocal ticks
        while True:
            await asyncio.sleep(0.01)
            ticks += 1

    ticking = asyncio.create_task(ticker())
    try:
        return await awaitable, ticks
    finally:
        ticking.cancel()


def test_acall_leaves_the_loop_running(make_pool, zel_sim):
    zel_sim.script("get_temp_list", Step(0, records.temp_list([40.0]), 1.0))
    pool = make_pool(1)
    pool.start()
    result, ticks = asyncio.run(with_ticker(pool.acall("system_temperatures")))
    # A loop blocked for the platform's second would have ticked once at most.
    assert result == (40.0,) and ticks >= 10
    with pytest.raises(zu.CFunctionError):
        asyncio.run(pool.acall("get_8021x_status", "nowhere"))


def test_acall_of_a_full_pool_is_busy_at_once(make_pool):
    pool = make_pool(1, max_waiting=0)
    with pool.trace("10.0.0.1"):
        with pytest.raises(PlatformBusy):
            asyncio.run(pool.acall("psu_list"))


async def collected(states):
    return [state async for state in states]


def test_atrace_yields_each_state_while_the_loop_runs(make_pool, zel_sim):
    script_trace(*hops(3, delay=0.2))
    pool = make_pool(1)
    pool.start()
    states, ticks = asyncio.run(with_ticker(collected(pool.atrace("10.0.0.1"))))
    assert [len(state.get("routes", [])) for state in states] == [0, 1, 2, 3]
    assert states[-1]["result"] == 1 and ticks >= 10
