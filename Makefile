# The two entry points of the README: `make demo` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO ?= $(BUILD)/demo

.PHONY: setup build demo test format-check bench clean fuzz

setup:
	@tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# A generated log of six weeks of traffic (two months), analysed into $(DEMO),
# its numeric hosts placed in countries by a Terrabase file of demo ranges.
demo: build
	mkdir -p $(DEMO)
	$(BUILD)/tools/parva_genlog 60000 42 > $(DEMO)/access.log
	$(BUILD)/tools/parva_terrabase -v demo tools/demo-ranges.txt $(DEMO)/Terrabase.dat
	$(BUILD)/parvalyte -c tools/demo.conf -j -J Terrabase.dat -o $(DEMO) -n www.example.pl $(DEMO)/access.log
	@echo "Open $(DEMO)/index.html; the months' tables are also in $(DEMO)/*.tab (tab-separated, ISO-8859-2)."
	# The same traffic as a squid proxy and an IIS server log it: -F squid, -F w3c.
	mkdir -p $(DEMO)/squid $(DEMO)/w3c
	$(BUILD)/tools/parva_genlog 20000 10 7 | tools/sample_formats.py $(DEMO)
	$(BUILD)/parvalyte -q -c tools/demo.conf -F squid -o $(DEMO)/squid -n www.example.pl $(DEMO)/squid.log
	$(BUILD)/parvalyte -q -c tools/demo.conf -F w3c -o $(DEMO)/w3c -n www.example.pl $(DEMO)/w3c.log
	@echo "The squid and W3C runs: $(DEMO)/squid/index.html and $(DEMO)/w3c/index.html."

# Every test, in the release build and again under AddressSanitizer and UBSan
# (built by clang, whose UBSan also catches arithmetic on null pointers), the
# threaded parts under ThreadSanitizer, and the sources as clang-format lays
# them out.
test: build format-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPARVA_SANITIZE=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	# The tests of the threaded parts again under ThreadSanitizer.
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target parvalyte parva_genlog
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threads

# The expected files of the end-to-end cases rewritten from what $(BUILD)'s
# programs now write: review them with git diff before committing.
.PHONY: golden-update
golden-update: build
	tests/e2e/run_cases.sh $(BUILD) --update

format-check:
	@if command -v clang-format >/dev/null; then \
	    find src tests tools bench fuzz -name '*.cpp' -o -name '*.hpp' | xargs clang-format --dry-run --Werror; \
	else echo "clang-format is missing: layout not checked"; fi

bench: build
	$(BUILD)/bench/parva_bench
	bench/whole_program.sh $(BUILD)

# The libFuzzer targets, built by clang in build-fuzz, each run for
# FUZZ_SECONDS (default 60): fuzz/run.sh says more.
FUZZ_SECONDS ?= 60
fuzz: setup
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_BUILD=build-fuzz fuzz/run.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
