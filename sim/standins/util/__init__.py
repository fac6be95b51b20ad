"""Shared utilities of the management back-end.

Stand-in installed with the simulator, whose pytest plugin makes pytest
rewrite the packages of its distribution: PYTEST_DONT_REWRITE, as it is
usually imported before pytest starts.
"""
