"""zel_sim.expect_unraisable: a test expects the module's unraisable reports
(an unreadable counter file) instead of having them turned into errors by
pytest under filterwarnings = error."""

import pytest

SUITE = """
    import pytest
    import zel.zel_util as zu

    pytestmark = pytest.mark.zel_scenario('''
    extends = "default"
    [[port]]
    name = "p1"
    unreadable = ["rx_bytes", "tx_bytes"]
    ''')


    def test_reports_unexpected_fail_the_test():
        assert zu.system_port_traffic("p1").rx_bytes == 0


    def test_reports_expected_are_captured(zel_sim):
        with zel_sim.expect_unraisable(FileNotFoundError) as reports:
            assert zu.system_port_traffic("p1").rx_bytes == 0
        assert len(reports) == 2
        assert all(isinstance(e, FileNotFoundError) for e in reports.exceptions)
        assert "rx_bytes" in str(reports.exceptions[1])


    def test_a_block_without_the_reports_it_expects_fails(zel_sim):
        with pytest.raises(AssertionError, match="expected unraisable reports of OSError"):
            with zel_sim.expect_unraisable(OSError):
                pass
        with pytest.raises(AssertionError, match="FileNotFoundError"):
            with zel_sim.expect_unraisable(PermissionError):
                zu.system_port_traffic("p1")


    def test_without_types_anything_or_nothing_is_captured(zel_sim):
        with zel_sim.expect_unraisable() as reports:
            pass
        assert reports == []
"""


def test_expect_unraisable_under_filterwarnings_error(pytester):
    pytester.makepyfile(test_reports=SUITE)
    pytester.makeini("""
        [pytest]
        filterwarnings =
            error
            ignore:`pyramid.compat` is deprecated:DeprecationWarning
    """)
    result = pytester.runpytest_subprocess("-p", "no:cacheprovider", "-rA", timeout=120)
    result.assert_outcomes(passed=3, failed=1)
    result.stdout.fnmatch_lines(["FAILED *test_reports_unexpected_fail_the_test*"])
