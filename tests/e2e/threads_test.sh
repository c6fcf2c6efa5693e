#!/bin/bash
# The record loop and the reports' charts on one thread and on several give
# the same bytes: pages, charts, dumps, history, state, standard output and
# error, exit status.
# Ordinary and hostile logs of every format, plain and compressed, with
# Debug's messages and a month change inside them, each run with
# PARVA_THREADS=1 and with 2, 3 and 5 threads, under one frozen clock.
#
#   threads_test.sh BUILD_DIR
set -u
BIN=$(cd "$1" && pwd -P)
E2E=$(cd "$(dirname "$0")" && pwd -P)
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 1
export TZ=UTC LC_ALL=C
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

"$BIN/tools/parva_genlog" 30000 40 3 > ordinary.log
"$BIN/tools/parva_genlog" 12000 20 9 | python3 "$E2E/../../tools/sample_formats.py" "$SCRATCH"

# Lines that make every message of the loop, spread over several batches:
# a header, comments, blank and broken lines, bad dates, an oversized line,
# fields cut while parsing and while cleaning, and records out of time order
# (whose cleaning must stay silent).
long=$(head -c 3000 /dev/zero | tr '\0' r)
huge=$(head -c 9000 /dev/zero | tr '\0' x)
{
    echo 'format=%Ses->client.ip% - %Req->vars.auth-user% [%SYSDATE%] "%Req->reqpb.clf-request%"'
    head -n 5000 ordinary.log
    echo '# a comment'
    echo
    echo 'garbage that is no record'
    echo '10.0.0.1 - - [31/Feb/2024:10:00:00 +0000] "GET / HTTP/1.0" 200 1'
    echo "10.0.0.2 - - [01/Mar/2024:10:00:00 +0000] \"GET /$long HTTP/1.0\" 200 1 \"http://r.example/$long\" \"A\""
    echo "$huge"
    sed -n 5001,9000p ordinary.log
    echo "10.0.0.3 - - [01/Mar/2024:00:00:01 +0000] \"GET /late HTTP/1.0\" 200 1 \"http://r.example/$long\" \"A\""
    echo '10.0.0.4 - - [01/Mar/2024:10:00:00 +0000] "GET bad-url HTTP/1.0" 200 1 "-" "<script>x</script>"'
    sed -n '9001,$p' ordinary.log
} > hostile.log
awk 'NR % 3 == 0 { printf "Mon Mar  4 10:%02d:%02d 2024 1 10.0.%d.%d %d /pub/f%d.txt b _ %s r user%d ftp 0 * c\n", (NR / 60) % 60, NR % 60, NR % 200, NR % 250, NR * 7, NR % 50, (NR % 2 ? "o" : "i"), NR % 9; next }
     NR % 97 == 0 { print "broken ftp line"; next }
     { printf "Tue Mar  5 11:%02d:%02d 2024 2 host%d.example.pl %d /pub/g%d.iso b _ o a anonymous ftp 0 * c\n", (NR / 60) % 60, NR % 60, NR % 30, NR * 11, NR % 40 }' \
    ordinary.log | head -n 9000 > xfer.log
# The proxy and IIS logs get broken and oversized lines among their records.
for log in squid.log w3c.log; do
    awk -v huge="$huge" 'NR % 2500 == 7 { print "broken line" } NR % 5000 == 11 { print huge } { print }' \
        "$log" > "$log.new" && mv "$log.new" "$log"
done
# Halfway through, a W3C directive adds a column in front: the lines after it
# parse only when they are prepared after it, in log order, on any thread.
awk '/^#Fields:/ { fields = substr($0, 9) }
     NR == 6000 { print "#Fields: x-extra" fields; extra = 1 }
     extra && !/^#/ { print "- " $0; next }
     { print }' w3c.log > w3c.log.new && mv w3c.log.new w3c.log
gzip -k -6 ordinary.log
bzip2 -k -1 hostile.log

# run NAME THREADS ARGS...: one run in its own directory.
run() {
    local name=$1 threads=$2
    shift 2
    local dir=$name.$threads
    mkdir -p "$dir"
    (cd "$dir" && PARVA_THREADS=$threads faketime -f '2026-01-15 12:00:00' \
        "$BIN/parvalyte" -o . "$@" > stdout 2> stderr
    echo $? > status)
}

status=0
check() {
    local name=$1
    shift
    run "$name" 1 "$@"
    for threads in 2 3 5; do
        run "$name" $threads "$@"
        if ! diff -r "$name.1" "$name.$threads" > "$name.$threads.diff"; then
            echo "FAIL $name: $threads threads differ from one"
            head -n 20 "$name.$threads.diff"
            status=1
        fi
    done
    [ -s "$name.1/stderr" ] || [ "$name" = ordinary ] || [ "$name" = gzip ] || {
        echo "FAIL $name: no messages to compare"
        status=1
    }
}

check ordinary -n www.example.pl "$SCRATCH/ordinary.log"
check gzip -n www.example.pl "$SCRATCH/ordinary.log.gz"
check hostile -d -n www.example.pl "$SCRATCH/hostile.log"
check hostile-bzip2 -n www.example.pl "$SCRATCH/hostile.log.bz2"
check squid -d -F squid "$SCRATCH/squid.log"
check w3c -d -F w3c "$SCRATCH/w3c.log"
check ftp -d -F ftp "$SCRATCH/xfer.log"
check incremental -p -n www.example.pl "$SCRATCH/hostile.log"

# Charts behind symbolic links and a month page that cannot be opened: the
# messages about them keep their places among the progress lines (both
# streams into one file, unbuffered) however the charts are drawn.
blocked() {
    local case=$1 threads=$2
    local dir=blocked-$case.$threads
    mkdir "$dir"
    for chart in daily_usage_202404.png hourly_usage_202404.png ctry_usage_202404.png usage.png; do
        ln -s /nonexistent "$dir/$chart"
    done
    [ "$case" = page ] && mkdir "$dir/usage_202404.html"
    (cd "$dir" && PARVA_THREADS=$threads faketime -f '2026-01-15 12:00:00' \
        stdbuf -o0 "$BIN/parvalyte" -o . -n www.example.pl "$SCRATCH/ordinary.log" > output 2>&1
    echo $? > status)
}
for case in charts page; do
    blocked $case 1
    grep -q 'usage.png (symlink)' "blocked-$case.1/output" || {
        echo "FAIL blocked-$case: no messages to compare"
        status=1
    }
    for threads in 2 3; do
        blocked $case $threads
        if ! diff -r --no-dereference "blocked-$case.1" "blocked-$case.$threads"; then
            echo "FAIL blocked-$case: $threads threads differ from one"
            status=1
        fi
    done
done

# A machine that refuses threads, at the first one or at a later one (the
# reader, a preparer, a bzip2 decoder), still gets the same bytes.  Each
# thread's stack is made 1 GiB and the address space a little more than room
# for none, one, two or three of them.  The address and thread sanitizers
# reserve far more address space than that, so they do not try.
refused() {
    local kib=$1 name=$2
    shift 2
    local dir=$name.refused$kib
    mkdir "$dir"
    (
        cd "$dir" || exit 2
        ulimit -s 1048576 && ulimit -v "$kib" || exit 2
        PARVA_THREADS=5 exec faketime -f '2026-01-15 12:00:00' "$BIN/parvalyte" -o . "$@" \
            > stdout 2> stderr
    )
    echo $? > "$dir/status"
    if ! diff -r "$name.1" "$dir" > "$dir.diff"; then
        echo "FAIL $name: threads refused under $kib KiB differ from one thread"
        head -n 20 "$dir.diff"
        status=1
    fi
}
if grep -q -e __asan_init -e __tsan_init "$BIN/parvalyte"; then
    echo "threads refused: not tried under a sanitizer"
else
    for gib in 0 1 2 3; do
        kib=$(((gib * 1024 + 768) * 1024))
        refused $kib hostile -d -n www.example.pl "$SCRATCH/hostile.log"
        refused $kib hostile-bzip2 -n www.example.pl "$SCRATCH/hostile.log.bz2"
    done
fi

[ $status -eq 0 ] && echo "threads: every run the same"
exit $status
