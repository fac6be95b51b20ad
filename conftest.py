"""Settings of the whole test run (tests/ and sim/tests/).

In CI, Hypothesis draws the same examples on every run, so that a red run
names a fault the next run reproduces and a green one does not depend on
luck; developers' runs keep drawing new examples and keep what they find in
.hypothesis/."""

import os

from hypothesis import settings

settings.register_profile("ci", derandomize=True, print_blob=True)
if os.environ.get("CI"):
    settings.load_profile("ci")
