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
# SHORTCUTS=0 builds the module without its speed layer (every function on
# its plain path), in an environment and build folder of its own:
# `make test SHORTCUTS=0` runs the whole suite on that build.
SHORTCUTS ?= 1
# The default interpreter and build keep the plain names; another one
# suffixes them.
VERSION_SUFFIX := $(if $(filter 3.12,$(PYTHON)),,-$(PYTHON))
LAYER_SUFFIX   := $(if $(filter 0,$(SHORTCUTS)),-plain,)
SUFFIX         := $(LAYER_SUFFIX)$(VERSION_SUFFIX)
LAYER_ENV      := ZEL_SHORTCUTS=$(if $(filter 0,$(SHORTCUTS)),OFF,ON)
ifeq ($(SANITIZE),1)
VENV      := .venv-asan$(SUFFIX)
BUILD     := build/asan$(SUFFIX)
BUILD_ENV := ZEL_SANITIZE=ON $(LAYER_ENV)
RUN_ENV   := LD_PRELOAD="$(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libubsan.so) $(shell g++ -print-file-name=libstdc++.so.6)" \
             PYTHONMALLOC=malloc \
             ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1 \
             UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 \
             $(LAYER_ENV)
else
VENV      := .venv$(SUFFIX)
BUILD     := build$(subst -,/,$(SUFFIX))
BUILD_ENV := $(LAYER_ENV)
RUN_ENV   := $(LAYER_ENV)
endif

PY     := $(VENV)/bin/python
PIP    := $(PY) -m pip --disable-pip-version-check
READY  := $(VENV)/.ready
# Builds run without the simulator's preload: an instrumented simulator would
# need the sanitizer runtime in pip and the compilers too. -v: the compile
# steps reach scripts/install-project as they run. The module's build also
# installs its counterpart with the other SHORTCUTS setting, which the suite
# compares it with (zel_counterpart.zel_util).
PIP_BUILD := env ZEL_SIM_PRELOAD=0 $(BUILD_ENV) $(PIP) install -v --no-build-isolation --no-deps

# Each project is reinstalled only when its sources changed: its stamp in the
# environment is named by a hash of the names and contents of the files it
# is built from (caches and the simulator's tests left out; the simulator
# also compiles against the record layouts of include/). Removing
# $(VENV)/.installed-* forces a reinstall.
source_hash = $(shell find $(1) -name '.*' -prune -o -name __pycache__ -prune -o \
                  $(2) -type f -print0 2>/dev/null | sort -z | xargs -0 sha1sum | sha1sum | cut -c1-16)
SIM_SOURCES := sim include
SIM_STAMP := $(VENV)/.installed-sim-$(call source_hash,$(SIM_SOURCES),-path sim/tests -prune -o -path sim/build -prune -o)
ZEL_STAMP := $(VENV)/.installed-zel-$(call source_hash,CMakeLists.txt pyproject.toml README.md cmake zel include stubs)
POOL_STAMP := $(VENV)/.installed-pool-$(call source_hash,platform-pool,-path platform-pool/tests -prune -o -path platform-pool/build -prune -o -name '*.egg-info' -prune -o)

.PHONY: all build demo test places test-32 test-arm sanitize typecheck public-api-check wheel-check arm-check bench bench-table format format-check clean

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
build: $(ZEL_STAMP) $(POOL_STAMP)
	@echo "==> simulator, module and platform pool installed in $(VENV), up to date with their sources"

$(SIM_STAMP): $(READY)
	@scripts/install-project "simulator (sim/)" $(BUILD)/sim-install.log \
	    $(PIP_BUILD) -Cbuild-dir=$(BUILD)/sim ./sim
	@rm -f $(VENV)/.installed-sim-* && touch $@

$(ZEL_STAMP): $(READY) | $(SIM_STAMP)
	@scripts/install-project "module zel.zel_util" $(BUILD)/zel-install.log \
	    env ZEL_COUNTERPART=ON $(PIP_BUILD) -Cbuild-dir=$(BUILD)/zel .
	@rm -f $(VENV)/.installed-zel-* && touch $@

# Pure Python: no compile steps to show.
$(POOL_STAMP): $(READY) | $(ZEL_STAMP)
	@scripts/install-project "platform pool (platform-pool/)" $(BUILD)/pool-install.log \
	    $(PIP_BUILD) ./platform-pool
	@rm -f $(VENV)/.installed-pool-* && touch $@

demo: build
	$(PY) demo/status_report.py

# T: the tests to run instead of the whole suite (files, folders, test ids),
# e.g. `make test T=tests/test_config_queries.py`. A line per test file says
# how far the run is and what the file gave (tests/progress.py).
PROGRESS := -p tests.progress -o console_output_style=classic
test: build
	$(RUN_ENV) $(PY) -m pytest -q $(PROGRESS) $(T)

# The checks that name each place a function of the module needs (README.md,
# "Adding a function"), every failure naming the file to change and what to
# write there: seconds, where the whole suite takes minutes.
PLACE_TESTS := tests/test_function_places.py tests/test_reference.py tests/test_typing.py \
    tests/test_bench_result_floor.py tests/test_document_lists.py \
    tests/test_scenario_diff.py::test_the_guide_shows_what_diff_prints \
    tests/test_speed_layer_equivalence.py::test_every_function_with_parameters_has_its_call \
    sim/tests/test_scenario.py::test_the_default_scenario_documents_every_key
STUB_HINT := stubs/zel-stubs/zel_util.pyi: write the def of each name stubtest reports above as \
    the module has it (parameters, defaults), with its docstring
# stubtest runs once the module imports: the failing import is pytest's to name.
places: build
	@status=0; $(RUN_ENV) $(PY) -m pytest -q --tb=line $(PLACE_TESTS) || status=1; \
	if $(RUN_ENV) $(PY) -c 'import zel.zel_util' 2>/dev/null; then \
	    echo "==> stubtest: stubs/zel-stubs/zel_util.pyi against the built module"; \
	    $(RUN_ENV) $(PY) -m mypy.stubtest zel.zel_util || { echo "$(STUB_HINT)"; status=1; }; \
	fi; \
	exit $$status

sanitize:
	$(MAKE) test SANITIZE=1 PYTHON=$(PYTHON) SHORTCUTS=$(SHORTCUTS)

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
	BUILD_PYTHON=$(abspath $(PY)) scripts/test-arm $(PROGRESS) $(TESTS)
else
test-arm:
	$(MAKE) --no-print-directory test-arm PYTHON=3.13
endif

# The stubs against the built module (stubtest), a strictly typed client
# against the stubs, one against the simulator's control package and pytest
# plugin, the control package's own sources and the platform pool's
# (mypy --strict).
typecheck: build
	$(PY) -m mypy.stubtest zel.zel_util
	$(PY) -m mypy --strict tests/typing/client.py
	$(PY) -m mypy --strict tests/typing/sim_client.py
	cd sim && $(abspath $(PY)) -m mypy --strict zel_sim zel_sim_pytest.py
	cd platform-pool && $(abspath $(PY)) -m mypy --strict zel_platform_pool

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
# target is missed; then the sample back-end is measured under waitress and
# gunicorn on the platform pool (bench/servers.py), its table also going
# into bench/README.md. On another interpreter (PYTHON=3.13) or build
# (SHORTCUTS=0) the figures go to bench/results-3.13.json (-plain, ...) and
# only the terminal: bench/README.md shows those of the default build.
BENCH_JSON := bench/results$(SUFFIX).json
bench: build
	@command -v valgrind >/dev/null || scripts/install-system-packages || true
	$(PY) -m bench.run $(if $(filter-out 0,$(QUICK)),--quick) $(if $(filter-out 0,$(CHECK)),--check) --json $(BENCH_JSON); \
	status=$$?; \
	if [ "$(filter-out 0,$(QUICK))$(SUFFIX)" = "" ] && [ $$status -ne 2 ]; then $(MAKE) --no-print-directory bench-table || exit $$?; fi; \
	$(PY) -m bench.servers $(if $(filter-out 0,$(QUICK)),--seconds 2) \
	    $(if $(filter-out 0,$(QUICK))$(SUFFIX),--no-readme --json $(BUILD)/servers.json) || exit $$?; \
	exit $$status

# The table of bench/results.json into bench/README.md.
bench-table: $(READY)
	$(PY) -m bench.table

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

clean:
	rm -rf build sim/build .venv .venv-asan .venv-3.* .venv-asan-3.* .venv-plain* .venv-asan-plain* .venv-32 .venv-armhf
