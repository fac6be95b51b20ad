# Every target is self-sufficient on a fresh clone: it creates the virtual
# environment with Python 3.12 when missing, installs what is needed, builds
# the simulator and the module, then runs.
#
# PYTHON=3.13 (any 3.X) does the same against that interpreter, in an
# environment and build folders of its own (`.venv-3.13`, `build/3.13`):
# `make test PYTHON=3.13` runs the whole suite on it.
#
# `make sanitize` runs the whole suite against a build of the module and the
# simulator instrumented with AddressSanitizer and UndefinedBehaviorSanitizer,
# in an environment of its own. The interpreter is not instrumented: the
# sanitizer runtime is preloaded and PYTHONMALLOC=malloc routes the
# interpreter's allocations through it, so reads past a record are caught.
SANITIZE ?= 0
PYTHON ?= 3.12
# The default interpreter keeps the plain names; another one suffixes them.
VERSION_SUFFIX := $(if $(filter 3.12,$(PYTHON)),,-$(PYTHON))
ifeq ($(SANITIZE),1)
VENV      := .venv-asan$(VERSION_SUFFIX)
BUILD     := build/asan$(VERSION_SUFFIX)
BUILD_ENV := ZEL_SANITIZE=ON
RUN_ENV   := LD_PRELOAD="$(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libubsan.so) $(shell g++ -print-file-name=libstdc++.so.6)" \
             PYTHONMALLOC=malloc \
             ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1 \
             UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
else
VENV      := .venv$(VERSION_SUFFIX)
BUILD     := build$(subst -,/,$(VERSION_SUFFIX))
BUILD_ENV :=
RUN_ENV   :=
endif

PY     := $(VENV)/bin/python
PIP    := $(PY) -m pip --disable-pip-version-check
READY  := $(VENV)/.ready
# Builds run without the simulator's preload: an instrumented simulator would
# need the sanitizer runtime in pip and the compilers too. -v: the compile
# steps reach scripts/install-project as they run.
PIP_BUILD := env ZEL_SIM_PRELOAD=0 $(BUILD_ENV) $(PIP) install -v --no-build-isolation --no-deps

# Each project is reinstalled only when its sources changed: its stamp in the
# environment is named by a hash of the names and contents of the files it
# is built from (caches and the simulator's tests left out). Removing
# $(VENV)/.installed-* forces a reinstall.
source_hash = $(shell find $(1) -name '.*' -prune -o -name __pycache__ -prune -o \
                  $(2) -type f -print0 2>/dev/null | sort -z | xargs -0 sha1sum | sha1sum | cut -c1-16)
SIM_STAMP := $(VENV)/.installed-sim-$(call source_hash,sim,-path sim/tests -prune -o -path sim/build -prune -o)
ZEL_STAMP := $(VENV)/.installed-zel-$(call source_hash,CMakeLists.txt pyproject.toml README.md cmake zel include stubs)

.PHONY: all build demo test test-32 test-arm sanitize typecheck public-api-check wheel-check arm-check bench bench-table format format-check clean

all: test

$(READY): requirements-dev.txt
	@rm -rf $(VENV)
	@echo "==> creating $(VENV) with Python $(PYTHON)"
	py=$$(scripts/find-python $(PYTHON)) && "$$py" -m venv $(VENV)
	@echo "==> installing the development requirements (requirements-dev.txt)"
	$(PIP) install --progress-bar off -r requirements-dev.txt
	@touch $@

# The simulator first: its preload puts the platform symbols into every
# interpreter of the environment, which the module resolves at import.
build: $(ZEL_STAMP)
	@echo "==> simulator and module installed in $(VENV), up to date with their sources"

$(SIM_STAMP): $(READY)
	@scripts/install-project "simulator (sim/)" $(BUILD)/sim-install.log \
	    $(PIP_BUILD) -Cbuild-dir=$(BUILD)/sim ./sim
	@rm -f $(VENV)/.installed-sim-* && touch $@

$(ZEL_STAMP): $(READY) | $(SIM_STAMP)
	@scripts/install-project "module zel.zel_util" $(BUILD)/zel-install.log \
	    $(PIP_BUILD) -Cbuild-dir=$(BUILD)/zel .
	@rm -f $(VENV)/.installed-zel-* && touch $@

demo: build
	$(PY) demo/status_report.py

test: build
	$(RUN_ENV) $(PY) -m pytest -q

sanitize:
	$(MAKE) test SANITIZE=1 PYTHON=$(PYTHON)

# The whole suite on a 32-bit interpreter, as the device runs the module:
# Debian's i386 CPython 3.13 in a Debian root made once per machine, the
# module and the simulator built there with ARM's unsigned `char`
# (scripts/test-32; needs root).
test-32:
	scripts/test-32

# The whole suite on 32-bit ARM, the device's instruction set, under user-mode
# emulation: Debian's armhf CPython 3.13 in a Debian root made once per
# machine, with the module and the simulator cross-compiled here by the 3.13
# environment's build tools (scripts/test-arm; needs root). TESTS: what
# pytest runs instead of the whole suite.
ifeq ($(PYTHON),3.13)
test-arm: $(READY)
	BUILD_PYTHON=$(abspath $(PY)) scripts/test-arm $(TESTS)
else
test-arm:
	$(MAKE) --no-print-directory test-arm PYTHON=3.13
endif

# The stubs against the built module (stubtest), a strictly typed client
# against the stubs, one against the simulator's control package and pytest
# plugin, and the control package's own sources (mypy --strict).
typecheck: build
	$(PY) -m mypy.stubtest zel.zel_util
	$(PY) -m mypy --strict tests/typing/client.py
	$(PY) -m mypy --strict tests/typing/sim_client.py
	cd sim && $(abspath $(PY)) -m mypy --strict zel_sim zel_sim_pytest.py

# The built module imports no private CPython symbol beyond what public
# macros expand to, and its sources name no private API (nm and grep).
public-api-check: build
	scripts/public-api-check $$($(PY) -c 'import importlib.util as u; print(u.find_spec("zel.zel_util").origin)')

# The wheels as users build them, installed in fresh environments: the module
# with the simulator, and the module alone.
wheel-check: $(READY)
	scripts/wheel-check

# The record layouts and the module's sources compiled for the device's
# target (32-bit ARM) with the cross compiler; no link.
arm-check: $(READY)
	PATH="$(abspath $(VENV))/bin:$$PATH" scripts/arm-check

# Time and instructions per call of every function, against a ctypes
# baseline, a do-nothing builtin and the interpreter's own creation of an
# equal result (bench/README.md). QUICK=1: a fast smoke run, whose figures
# stay out of bench/README.md; CHECK=1: fail when a performance target is missed.
# A full run puts its table into bench/README.md (bench-table), also when a
# target is missed. On another interpreter (PYTHON=3.13) the figures go to
# bench/results-3.13.json and only the terminal: bench/README.md shows 3.12's.
BENCH_JSON := bench/results$(VERSION_SUFFIX).json
bench: build
	@command -v valgrind >/dev/null || scripts/install-system-packages || true
	$(PY) -m bench.run $(if $(filter-out 0,$(QUICK)),--quick) $(if $(filter-out 0,$(CHECK)),--check) --json $(BENCH_JSON); \
	status=$$?; \
	if [ "$(filter-out 0,$(QUICK))$(VERSION_SUFFIX)" = "" ] && [ $$status -ne 2 ]; then $(MAKE) --no-print-directory bench-table || exit $$?; fi; \
	exit $$status

# The table of bench/results.json into bench/README.md.
bench-table: $(READY)
	$(PY) -m bench.table

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

clean:
	rm -rf build sim/build .venv .venv-asan .venv-3.* .venv-asan-3.* .venv-32 .venv-armhf
