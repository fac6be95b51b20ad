"""The control package's exceptions, importable without the scenario code."""

from __future__ import annotations

from collections.abc import Sequence


class ScenarioError(ValueError):
    """A scenario that cannot be used. The message names the scenario (its
    file, or what it was given as) and what is wrong where: one problem on
    the same line, several each on a line of its own. `problems` lists
    them."""

    def __init__(self, source: str, problem: str | Sequence[str]) -> None:
        problems = [problem] if isinstance(problem, str) else list(problem)
        text = problems[0] if len(problems) == 1 else f"{len(problems)} problems:" + "".join(
            f"\n  {p}" for p in problems)
        super().__init__(f"scenario {source}: {text}")
        self.source = source
        self.problem = text
        self.problems = problems

    def __reduce__(self) -> tuple[type[ScenarioError], tuple[str, list[str]]]:
        return (ScenarioError, (self.source, self.problems))


# Shown, and found by pickle, under the package that exports it.
ScenarioError.__module__ = "zel_sim"
