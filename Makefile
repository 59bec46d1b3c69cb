# Thin wrapper over CMake: a Release build in build/.
BUILD_DIR := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release
ifeq ($(CI),true)
CMAKE_FLAGS += -DTELVA_WERROR=ON
endif

.PHONY: all deps configure run test bench clean

all: configure
	cmake --build $(BUILD_DIR) -j 2

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

run: all
	$(BUILD_DIR)/telva examples/rocksalt.inp rocksalt.lst
	@echo "Listing written to rocksalt.lst"

test: all
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j 2

bench: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) -DTELVA_BENCH=ON >/dev/null
	cmake --build $(BUILD_DIR) -j 2 --target telva telva_bench
	bench/run.sh

clean:
	rm -rf $(BUILD_DIR)
