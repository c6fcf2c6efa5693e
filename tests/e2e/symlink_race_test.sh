#!/bin/bash
# A dump file is never written through a symbolic link, even when the link
# appears between the program's look at the name and its opening of it.
#
#   symlink_race_test.sh BUILD_DIR SWAPPER [RUNS]
#
# While SWAPPER (symlink_swapper.cpp) swaps the dump's name between a regular
# file and a link to a victim file outside the directory, as fast as it can,
# parvalyte runs RUNS times (1000 unless given).  A program that checks the name first and opens it afterwards loses
# the race now and then, and truncates the victim; one that refuses links in
# the open itself never does.
set -u
BIN=$(cd "$1" && pwd) || exit 2
SWAPPER=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
[ -x "$SWAPPER" ] || {
    echo "no swapper $2" >&2
    exit 2
}
RUNS=${3:-1000}
export LC_ALL=C TZ=UTC

# Renames on a memory file system are several times faster than on a disk,
# and every swap more is one more chance to hit the window.
place=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && place=/dev/shm
tmp=$(mktemp -d -p "$place") || exit 2
racer=
cleanup() {
    [ -n "$racer" ] && kill "$racer" 2> /dev/null && wait "$racer" 2> /dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir "$tmp/run"
cd "$tmp/run" || exit 2

printf 'DumpSites yes\n' > pl-parvalyte.conf
for day in $(seq 1 28); do
    printf '10.0.0.%d - - [%02d/Oct/2000:13:55:36 +0000] "GET /a.html HTTP/1.0" 200 2326 "-" "Mozilla/5.0"\n' "$day" "$day"
done > access.log
victim_text='the victim: nothing may write here'
printf '%s\n' "$victim_text" > "$tmp/victim"

# The swapper and the program on cores of their own race truly side by side.
pin0=
pin1=
if command -v taskset > /dev/null && [ "$(nproc)" -ge 2 ]; then
    pin0="taskset -c 0"
    pin1="taskset -c 1"
fi
$pin1 "$SWAPPER" "$tmp/victim" site_200010.tab "$tmp/stop" > "$tmp/swaps" &
racer=$!

# The victim is read with the shell's own read, so that a run costs one
# process; the runs stop early on a machine too slow for them all in 40 s.
hits=0
crashes=0
runs=0
SECONDS=0
while [ $runs -lt "$RUNS" ] && [ $SECONDS -lt 40 ]; do
    $pin0 "$BIN/parvalyte" -Q access.log > /dev/null 2>&1
    [ $? -ge 128 ] && crashes=$((crashes + 1))
    runs=$((runs + 1))
    text=
    IFS= read -r text < "$tmp/victim"
    if [ "$text" != "$victim_text" ]; then
        hits=$((hits + 1))
        printf '%s\n' "$victim_text" > "$tmp/victim"
    fi
done
touch "$tmp/stop"
wait "$racer"
racer_status=$?
racer=
swaps=$(cat "$tmp/swaps")
echo "$runs runs, $swaps swaps of the dump's name"
if [ $racer_status -ne 0 ] || [ "${swaps:-0}" -lt $runs ]; then
    echo "FAIL: the helper that swaps the name did not keep running"
    exit 1
fi
[ $crashes -eq 0 ] || echo "FAIL: $crashes runs ended by a signal"
[ $hits -eq 0 ] || echo "FAIL: $hits of $runs runs wrote through the link to the victim"
[ $crashes -eq 0 ] && [ $hits -eq 0 ] || exit 1
echo "1 passed, 0 failed"
