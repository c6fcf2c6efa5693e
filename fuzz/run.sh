#!/usr/bin/env bash
# Builds the libFuzzer targets in their own clang build directory and runs
# each in turn for FUZZ_SECONDS (default 60), niced, one at a time.
#
#   fuzz/run.sh                    every target
#   FUZZ_SECONDS=600 fuzz/run.sh state history
#
# Each target fuzzes a working corpus in the build directory, started from
# fuzz/corpus/<target>/ and fuzz/regressions/<target>/: what libFuzzer adds
# stays there, so the committed seeds grow only when someone copies new ones
# in.  Crashes, leaks and hangs (FUZZ_TIMEOUT, 10 s an input) go to
# $FUZZ_BUILD/crashes/<target>/; each run's log to $FUZZ_BUILD/logs/.  The
# status is 1 when any target found something in this run.  Inputs that took
# over 10 s without reaching the hang limit are kept there too (slow-unit-*)
# and counted apart: on a busy machine they are mostly the machine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
seconds=${FUZZ_SECONDS:-60}
# Seconds an input may take before it counts as a hang.  On a machine busy
# with other work the sanitizer's allocator alone can stall an input for
# longer than 10 s (seen while a build ran beside a niced fuzzer): raise it
# there, or the findings are such stalls.
jobs=${JOBS:-2}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(parse_line record_loop config_file history state text_helpers keep_import)
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DPARVA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
nice -n 10 cmake --build "$build" -j "$jobs" "${build_targets[@]}"

# The targets' scratch directories, all in one place that goes at the end
# (a target that crashes leaves its own behind).
scratch=$(mktemp -d /tmp/parva-fuzz-run.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export PARVA_FUZZ_SCRATCH=$scratch
# Leaks are findings; a report names its source lines.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# Inputs longer than a line, and logs of several lines.
max_len() {
    case $1 in
    record_loop | state) echo 16384 ;;
    parse_line) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

found=0
summary=()
for t in "${targets[@]}"; do
    corpus=$build/corpus/$t
    crashes=$build/crashes/$t
    log=$build/logs/$t.log
    mkdir -p "$corpus" "$crashes" "$build/logs"
    for seeds in "$root/fuzz/corpus/$t" "$root/fuzz/regressions/$t"; do
        if [ -d "$seeds" ]; then
            find "$seeds" -maxdepth 1 -type f ! -name '.*' -exec cp -n {} "$corpus/" \;
        fi
    done
    dict=()
    [ -f "$root/fuzz/$t.dict" ] && dict=("-dict=$root/fuzz/$t.dict")
    echo "== fuzz_$t: $seconds s, corpus $corpus"
    stamp=$build/logs/$t.started
    touch "$stamp"
    status=0
    nice -n 10 "$build/fuzz/fuzz_$t" "$corpus" "${dict[@]}" \
        -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_len="$(max_len "$t")" \
        -print_final_stats=1 -close_fd_mask=3 -artifact_prefix="$crashes/" >"$log" 2>&1 ||
        status=$?
    units=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    artifacts=$(find "$crashes" -type f -newer "$stamp" ! -name 'slow-unit-*' | wc -l)
    slow=$(find "$crashes" -type f -newer "$stamp" -name 'slow-unit-*' | wc -l)
    line=$(printf '%-14s executions %-10s cov %-6s findings %s  slow %s' "$t" "${units:-?}" "${cov:-?}" \
        "$artifacts" "$slow")
    if [ "$status" -ne 0 ] || [ "$artifacts" -ne 0 ]; then
        found=1
        line="$line  FOUND (status $status, see $log)"
    fi
    echo "$line"
    summary+=("$line")
done

echo
echo "== fuzzing summary ($seconds s a target)"
printf '%s\n' "${summary[@]}"
if [ "$found" -ne 0 ]; then
    echo "Findings are in $build/crashes/: minimise one with"
    echo "  $build/fuzz/fuzz_TARGET -minimize_crash=1 -runs=10000 -exact_artifact_path=OUT CRASH"
    echo "and save it under fuzz/regressions/TARGET/ with a name that says what it is."
fi
exit "$found"
