#!/bin/bash
# Runs killed at random moments leave a complete history and a complete
# state file, old or new: many incremental runs over a growing log, each
# killed with SIGKILL somewhere between its start and its end, each followed
# by a check with the program itself on a copy of what it left.
#
#   kill_test.sh BUILD_DIR [RUNS]
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
RUNS=${2:-40}
SCRATCH=$(mktemp -d /tmp/parva-kill-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2

"$BIN/tools/parva_genlog" 60000 3 > full.log
total=$(wc -l < full.log)
printf 'Incremental yes\nDumpSites yes\nDumpURLs yes\nAllURLs yes\nTopURLs 5\n' > pl-parvalyte.conf
mkdir report check
cp pl-parvalyte.conf report/
RANDOM=7

# How long a whole run takes here, in milliseconds: the kills fall within it.
start=$(date +%s%N)
(cd report && cp ../full.log access.log && "$BIN/parvalyte" -q -i -b -o ../check access.log > /dev/null 2>&1)
span=$((($(date +%s%N) - start) / 1000000 + 1))
rm -rf check/* report/access.log

# complete DIR: the history and state in DIR are whole: the history has its
# header and 120 rows, and the program reads both without a complaint.
complete() {
    local dir=$1
    if [ -e "$dir/parvalyte.hist" ]; then
        [ "$(head -c 11 "$dir/parvalyte.hist")" = "# Parvalyte" ] || return 1
        [ "$(grep -c '^[0-9]* [0-9]* ' "$dir/parvalyte.hist")" -eq 120 ] || return 1
    fi
    rm -rf check && mkdir check
    cp -a "$dir"/. check/
    : > check/empty.log
    (cd check && "$BIN/parvalyte" -c pl-parvalyte.conf -q empty.log > out 2> err)
    # An empty log has no valid record (status 1); a torn state or history
    # would be told on standard error.
    [ ! -s check/err ] || {
        cat check/err
        return 1
    }
}

status=0
killed=0
for run in $(seq 1 "$RUNS"); do
    # The log grows by a random piece; the run reads it all again.
    lines=$((total * run / RUNS))
    head -n "$lines" full.log > report/access.log
    (cd report && exec "$BIN/parvalyte" -q access.log > /dev/null 2>&1) &
    pid=$!
    # Somewhere in the run, its writes at the end included.
    delay=$((RANDOM % (span * run / RUNS + 5)))
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    [ $? -eq 137 ] && killed=$((killed + 1))
    complete report || {
        echo "run $run: the history or the state is not whole"
        status=1
        break
    }
done

# Whatever was killed, the next run goes through.
(cd report && "$BIN/parvalyte" -q access.log) || {
    echo "the run after the killed ones failed"
    status=1
}
complete report || status=1
echo "$RUNS runs, $killed killed before their end"
[ $status -eq 0 ] && echo "every history and state left was whole"
exit $status
