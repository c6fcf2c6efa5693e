#!/bin/bash
# Times whole runs of the analyzer (pages, charts and all, default settings)
# on a generated log, plain, gzip and bzip2, beside the decompressors alone
# on the same files, in paired rounds; prints the medians, the ratios, the
# records per second and the peak memory.  Each run also once on one thread.
#
#   whole_program.sh BUILD_DIR [LINES] [ROUNDS]
set -eu
BIN=$(cd "$1" && pwd -P)
LINES=${2:-1000000}
ROUNDS=${3:-5}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

"$BIN/tools/parva_genlog" "$LINES" 30 1 > log
gzip -6 -k log
bzip2 -9 -k log

# seconds CMD...: the wall time of one run, its output thrown away.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
analyze() {
    rm -rf out && mkdir out
    "$BIN/parvalyte" -q -o out "$@"
}

plain_alone=(cat log)
if command -v analog > /dev/null; then
    mkdir analog-out
    printf '%s\n' 'ALL ON' 'ALLCHART ON' "OUTFILE $WORK/analog-out/report.html" \
        "CHARTDIR $WORK/analog-out/" "LOCALCHARTDIR $WORK/analog-out/" > analog.cfg
    plain_alone=(analog "+g$WORK/analog.cfg" "$WORK/log")
fi

echo "machine: $(nproc) cores; log: $LINES lines, $(stat -c %s log) bytes; plain beside ${plain_alone[0]}"
printf '%-8s %10s %10s %10s %12s %10s %10s\n' input run one-thread alone ratio records/s peak-MiB
for input in log log.gz log.bz2; do
    case $input in
    log) alone=("${plain_alone[@]}") ;;
    log.gz) alone=(zcat log.gz) ;;
    log.bz2) alone=(bzcat log.bz2) ;;
    esac
    : > runs
    : > alones
    : > singles
    for ((i = 0; i < ROUNDS; i++)); do
        seconds "${alone[@]}" >> alones
        seconds analyze "$input" >> runs
        seconds env PARVA_THREADS=1 "$BIN/parvalyte" -q -o out "$input" >> singles
    done
    run=$(median < runs)
    single=$(median < singles)
    base=$(median < alones)
    peak=$(/usr/bin/time -f %M "$BIN/parvalyte" -q -o out "$input" 2>&1 > /dev/null | tail -n 1)
    awk -v i="$input" -v r="$run" -v s="$single" -v b="$base" -v n="$LINES" -v p="$peak" \
        'BEGIN { printf "%-8s %10.3f %10.3f %10.3f %12.2f %10.0f %10.1f\n", i, r, s, b, r / b, n / r, p / 1024 }'
done
