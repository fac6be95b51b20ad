"""The control package's exceptions, importable without the scenario code."""


class ScenarioError(ValueError):
    """A scenario that cannot be used. The message names the scenario (its
    file, or what it was given as) and what is wrong where."""

    def __init__(self, source: str, problem: str) -> None:
        super().__init__(f"scenario {source}: {problem}")
        self.source = source
        self.problem = problem


# Shown, and found by pickle, under the package that exports it.
ScenarioError.__module__ = "zel_sim"
