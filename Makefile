# Every target is self-sufficient on a fresh clone: it creates the virtual
# environment with Python 3.12 when missing, installs what is needed, builds
# the simulator and the module, then runs.
VENV   := .venv
PY     := $(VENV)/bin/python
PIP    := $(PY) -m pip --disable-pip-version-check
READY  := $(VENV)/.ready
PIP_BUILD := $(PIP) install -q --no-build-isolation --no-deps

.PHONY: all build demo test typecheck wheel-check arm-check format format-check clean

all: test

$(READY): requirements-dev.txt
	@rm -rf $(VENV)
	py=$$(scripts/find-python3.12) && "$$py" -m venv $(VENV)
	$(PIP) install -q -r requirements-dev.txt
	@touch $@

# The simulator first: its preload puts the platform symbols into every
# interpreter of the environment, which the module resolves at import.
build: $(READY)
	$(PIP_BUILD) -Cbuild-dir=build/sim ./sim
	$(PIP_BUILD) -Cbuild-dir=build/zel .

demo: build
	$(PY) demo/status_report.py

test: build
	$(PY) -m pytest -q

# The stubs against the built module (stubtest), and a strictly typed client
# and the project's typed scripts against the stubs (mypy --strict).
typecheck: build
	$(PY) -W ignore::DeprecationWarning scripts/stubtest.py \
		--allowlist tests/typing/stubtest-allowlist.txt zel.zel_util
	$(PY) -m mypy --strict tests/typing/client.py scripts/stubtest.py

# The wheels as users build them, installed in fresh environments: the module
# with the simulator, and the module alone.
wheel-check: $(READY)
	scripts/wheel-check

# The record layouts and the module's sources compiled for the device's
# target (32-bit ARM) with the cross compiler; no link.
arm-check: $(READY)
	PATH="$(abspath $(VENV))/bin:$$PATH" scripts/arm-check

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

clean:
	rm -rf build $(VENV)
