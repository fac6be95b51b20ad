import pytest

from zel_platform_pool import PlatformPool


@pytest.fixture
def make_pool(zel_sim):
    """PlatformPool(...) whose workers start on the test's switch, closed
    after the test."""
    made = []

    def make(size=2, **options):
        pool = PlatformPool(size, **zel_sim.worker_setup(), **options)
        made.append(pool)
        return pool

    yield make
    for pool in made:
        pool.close()
