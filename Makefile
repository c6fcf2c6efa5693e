# The two entry points of the README: `make demo` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO ?= $(BUILD)/demo

.PHONY: setup build demo test bench clean

setup:
	@tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# A generated log of four weeks of traffic, analysed into $(DEMO).
demo: build
	mkdir -p $(DEMO)
	$(BUILD)/tools/parva_genlog 50000 28 > $(DEMO)/access.log
	$(BUILD)/parvalyte -o $(DEMO) -n www.example.pl $(DEMO)/access.log

# Every test, in the release build and again under AddressSanitizer and UBSan.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPARVA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/parva_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
