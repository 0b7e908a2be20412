# Development set-up: a project .venv, the dependencies from pyproject.toml,
# the extension modules built in place and the sources put on the path.
PYTHON ?= $(shell for p in python3.12 $$HOME/.pyenv/versions/3.12*/bin/python3.12 /usr/local/bin/python3.12 /usr/bin/python3.12; do \
	$$p -c 'import sys; sys.exit(sys.version_info[:2] != (3, 12))' 2>/dev/null && { echo $$p; break; }; done)
VENV := .venv
VPY := $(VENV)/bin/python
BUILD := build
CMAKE_FLAGS ?=

.PHONY: install build demo test bench asan-test clean

install: $(VENV)/.deps-installed build

$(VENV)/.deps-installed: pyproject.toml
	@test -n "$(PYTHON)" || { echo "python3.12 not found"; exit 1; }
	test -x $(VPY) || $(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -c "import tomllib; p = tomllib.load(open('pyproject.toml', 'rb'))['project']; \
		print('\n'.join(p['dependencies'] + p['optional-dependencies']['test'] + p['optional-dependencies']['dev']))" \
		> $(VENV)/requirements.txt
	$(VPY) -m pip install -q -r $(VENV)/requirements.txt
	$(VPY) -c "import pathlib, site; pathlib.Path(site.getsitepackages()[0], 'tarvo_encoder_dev.pth').write_text(str(pathlib.Path('src').resolve()))"
	touch $@

# The lock keeps concurrent builds in one checkout from interleaving; -k 0
# builds every module that compiles even when another one fails.
build: $(VENV)/.deps-installed
	@mkdir -p $(BUILD)
	flock $(BUILD)/.lock sh -c '$(VENV)/bin/cmake -S . -B $(BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
		-DPython_EXECUTABLE=$(abspath $(VPY)) -DTARVO_WERROR=ON $(CMAKE_FLAGS) > $(BUILD)/configure.log && $(VENV)/bin/cmake --build $(BUILD) -j2 -- -k 0'

demo: install
	$(VPY) examples/demo.py

test: install
	$(VPY) -m pytest

# The whole suite against ASan/UBSan builds of the extension modules, in
# a tree of their own: the modules in src/ stay the plain ones. CPython frees
# not everything at exit by design, hence no leak detection.
ASAN_BUILD := build-asan
asan-test: $(VENV)/.deps-installed
	@mkdir -p $(ASAN_BUILD) && echo "*" > $(ASAN_BUILD)/.gitignore
	$(VENV)/bin/cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
		-DPython_EXECUTABLE=$(abspath $(VPY)) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTARVO_SANITIZE=ON -DTARVO_COPY_MODULES_TO_SRC=OFF > $(ASAN_BUILD)/configure.log
	$(VENV)/bin/cmake --build $(ASAN_BUILD) -j2
	rm -rf $(ASAN_BUILD)/pkg
	cp -r src $(ASAN_BUILD)/pkg
	find $(ASAN_BUILD)/pkg -name '*.so' -delete
	$(VENV)/bin/cmake --install $(ASAN_BUILD) --prefix $(ASAN_BUILD)/pkg > /dev/null
	LD_PRELOAD="$$($(CC) -print-file-name=libasan.so) $$($(CC) -print-file-name=libubsan.so)" \
		ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		PYTHONPATH=$(abspath $(ASAN_BUILD))/pkg $(VPY) -m pytest tests -p no:cacheprovider

# The peers of the benchmarks come from the `bench` extra of pyproject.toml,
# each on its own: one that does not install leaves its comparisons out (the
# benchmark says so) instead of stopping every benchmark.
$(VENV)/.bench-installed: pyproject.toml $(VENV)/.deps-installed
	$(VPY) -c "import tomllib; print('\n'.join(tomllib.load(open('pyproject.toml', 'rb'))['project']['optional-dependencies']['bench']))" \
		> $(VENV)/bench-requirements.txt
	while read -r requirement; do \
		$(VPY) -m pip install -q "$$requirement" || echo "bench: $$requirement did not install, its comparisons are left out"; \
	done < $(VENV)/bench-requirements.txt
	touch $@

bench: install $(VENV)/.bench-installed
	for b in benchmarks/bench_*.py; do $(VPY) $$b || exit 1; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
