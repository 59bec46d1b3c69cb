# Thin wrapper over CMake: a Release build in build/.
BUILD_DIR := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE=/usr/bin/python3
ifeq ($(CI),true)
CMAKE_FLAGS += -DTELVA_WERROR=ON
endif

# The same sources with AddressSanitizer and UndefinedBehaviorSanitizer, and
# the libFuzzer target, each in a build folder of its own.
SANITIZE_DIR := build-sanitize
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 300

.PHONY: all deps configure run test sanitize fuzz fuzz-cif bench clean

all: configure
	cmake --build $(BUILD_DIR) -j 2

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

run: all
	$(BUILD_DIR)/telva examples/rocksalt.inp rocksalt.lst
	@echo "Listing written to rocksalt.lst"

test: all sanitize
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j 2
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j 2

sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) $(CMAKE_FLAGS) -DCMAKE_CXX_COMPILER=g++ -DTELVA_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_DIR) -j 2

# Fuzzes for FUZZ_SECONDS from the seed corpus; new inputs go to
# $(FUZZ_DIR)/corpus, failing ones to $(FUZZ_DIR)/artifacts (copy them to
# fuzz/regressions once fixed).
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTELVA_FUZZ=ON -DTELVA_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_DIR) -j 2 --target telva_fuzz
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/artifacts
	$(FUZZ_DIR)/telva_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=25 -rss_limit_mb=2048 \
	  -max_len=8192 -dict=fuzz/telva.dict -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ \
	  $(FUZZ_DIR)/corpus fuzz/corpus fuzz/regressions

# The same for the converter: CIF text through the whole conversion.
fuzz-cif: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTELVA_FUZZ=ON -DTELVA_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_DIR) -j 2 --target telva_cif_fuzz
	mkdir -p $(FUZZ_DIR)/cif_corpus $(FUZZ_DIR)/artifacts
	$(FUZZ_DIR)/telva_cif_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=25 -rss_limit_mb=2048 \
	  -max_len=8192 -dict=fuzz/cif.dict -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ \
	  $(FUZZ_DIR)/cif_corpus fuzz/cif_corpus fuzz/cif_regressions

bench: deps
	@tools/install-deps.sh --bench
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) -DTELVA_BENCH=ON >/dev/null
	cmake --build $(BUILD_DIR) -j 2 --target telva telva_bench ewald_timing telva-map telva_map_bench telva_python telva-order pme_validation
	bench/run.sh

# The manual: the programs and the Python module first (its pages show their
# help texts and its API is read from the module's docstrings), then Sphinx
# with warnings as errors; build/docs/html/index.html is its first page.
.PHONY: docs
docs: configure
	cmake --build $(BUILD_DIR) -j 2 --target telva telva-cif telva-map telva-order telva_python
	/usr/bin/python3 -m sphinx -E -W --keep-going -b html -d $(BUILD_DIR)/docs/doctrees docs $(BUILD_DIR)/docs/html
	@echo "Manual written to $(BUILD_DIR)/docs/html/index.html"

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)

# The Debian package $(BUILD_DIR)/telva_VERSION_ARCH.deb of everything built (CPack).
.PHONY: package
package: all
	cmake --build $(BUILD_DIR) --target package

# pip install . into a fresh venv, offline, the extension built from nothing
# (minutes; not part of make test).
.PHONY: test-pip
test-pip: all
	TELVA_PIP_TEST=1 ctest --test-dir $(BUILD_DIR) -L pip --output-on-failure
