# Every target is self-sufficient on a fresh clone: it creates the virtual
# environment with Python 3.12 when missing, installs what is needed, builds
# the simulator and the module, then runs.
VENV   := .venv
PY     := $(VENV)/bin/python
PIP    := $(PY) -m pip --disable-pip-version-check
READY  := $(VENV)/.ready
PIP_BUILD := $(PIP) install -q --no-build-isolation --no-deps

.PHONY: all build demo test bench format format-check clean

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

# Time and instructions per call of every function, against a ctypes
# baseline and a do-nothing builtin (bench/README.md). QUICK=1: a fast smoke
# run; CHECK=1: fail when a performance target is missed.
bench: build
	@command -v valgrind >/dev/null || scripts/install-system-packages || true
	$(PY) -m bench.run $(if $(filter-out 0,$(QUICK)),--quick) $(if $(filter-out 0,$(CHECK)),--check)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

clean:
	rm -rf build $(VENV)
