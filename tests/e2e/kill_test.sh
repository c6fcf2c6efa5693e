#!/bin/bash
# Runs killed at random moments leave a complete history, a complete state
# file, old or new, and a DNS cache that Berkeley DB's own tools accept: many
# incremental runs over a growing log, each writing its pages and dumps and
# resolving the log's new addresses in a pre-pass with resolver children
# first, each killed with SIGKILL somewhere between its start and its end,
# each followed by a check with db5.3_verify and with the program itself on
# a copy of what it left.
#
# Every numeric host of the log is rewritten into one of many spellings of
# 127.0.0.1, which the hosts file answers: no query leaves the machine.  Each
# slice of the log brings spellings of its own, so that every run has new
# addresses for its children.  The programs run in a network namespace of
# their own where one may be made; where none may and the hosts file does
# not answer that address, the runs go without the pre-pass.
#
#   kill_test.sh BUILD_DIR [RUNS]
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
RUNS=${2:-40}
SCRATCH=$(mktemp -d /tmp/parva-kill-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

"$BIN/tools/parva_genlog" 60000 3 > generated.log
total=$(wc -l < generated.log)
awk -v total="$total" '
    $1 ~ /^[0-9.]+$/ || $1 ~ /:/ {
        i = int((NR - 1) * 200 / total) * 5 + length($1) % 5
        z = "0000000000"
        s = "127." substr(z, 1, i % 10) "0." substr(z, 1, int(i / 10) % 10) "0." substr(z, 1, int(i / 100)) "1"
        $0 = s substr($0, length($1) + 1)
    }
    { print }' generated.log > full.log
rm generated.log

netless=()
dns=yes
if unshare -rn true 2> /dev/null; then
    netless=(unshare -rn)
elif ! grep -Eq '^127\.0\.0\.1[[:space:]]+[^[:space:]]' /etc/hosts ||
    ! grep -Eq '^hosts:[[:space:]]*files' /etc/nsswitch.conf 2> /dev/null; then
    echo "the hosts file does not answer 127.0.0.1 and unshare -rn is refused: no DNS pre-pass"
    dns=
fi
if [ -n "$dns" ]; then
    for tool in db5.3_verify db5.3_dump; do
        command -v $tool > /dev/null || {
            echo "$tool is missing (tools/setup.sh installs it)" >&2
            exit 2
        }
    done
fi

{
    printf '%s\n' 'Incremental yes' 'AllURLs yes' 'AllSites yes' 'TopURLs 5'
    for kind in Sites URLs Referrers Agents Users SearchStr; do
        echo "Dump$kind yes"
    done
    [ -n "$dns" ] && printf '%s\n' 'DNSCache dns.db' 'DNSChildren 4'
} > pl-parvalyte.conf
mkdir report check
cp pl-parvalyte.conf report/
RANDOM=7

# How long a whole run takes here, in milliseconds: the kills fall within it.
start=$(date +%s%N)
(cd report && cp ../full.log access.log &&
    "${netless[@]}" "$BIN/parvalyte" -q -i -b -o ../check access.log > /dev/null 2>&1)
span=$((($(date +%s%N) - start) / 1000000 + 1))
rm -rf check/* report/access.log

# complete DIR: the history, state and DNS cache in DIR are whole: the
# history has its header and 120 rows, Berkeley DB verifies the cache, and
# the program reads all three without a complaint.
complete() {
    local dir=$1
    if [ -e "$dir/parvalyte.hist" ]; then
        [ "$(head -c 11 "$dir/parvalyte.hist")" = "# Parvalyte" ] || return 1
        [ "$(grep -c '^[0-9]* [0-9]* ' "$dir/parvalyte.hist")" -eq 120 ] || return 1
    fi
    # A run killed before its pre-pass opened the cache leaves none.
    if [ -n "$dns" ] && [ -e "$dir/dns.db" ]; then
        db5.3_verify -q "$dir/dns.db" || {
            echo "db5.3_verify refuses the DNS cache"
            return 1
        }
    fi
    rm -rf check && mkdir check
    cp -a "$dir"/. check/
    : > check/empty.log
    (cd check && timeout 30 "${netless[@]}" "$BIN/parvalyte" -c pl-parvalyte.conf -q empty.log > out 2> err)
    [ $? -ne 124 ] || {
        echo "a run on what was left did not end within 30 s"
        # Berkeley DB makes a new database under a temporary name first,
        # and waits for whoever it takes to be making it.
        compgen -G 'check/__db.*'
        return 1
    }
    # An empty log has no valid record (status 1); a torn state, history or
    # cache would be told on standard error.
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
    # Every third run makes its cache anew, as the first run ever does.
    [ -n "$dns" ] && [ $((run % 3)) -eq 0 ] && rm -f report/dns.db
    (cd report && exec "${netless[@]}" "$BIN/parvalyte" -q access.log > /dev/null 2>&1) &
    pid=$!
    # Somewhere in the run, its writes at the end included.
    delay=$((RANDOM % (span * run / RUNS + 5)))
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    [ $? -eq 137 ] && killed=$((killed + 1))
    complete report || {
        echo "run $run: the history, the state or the DNS cache is not whole"
        exit 1
    }
done

# kill_when_made PATTERN MOST WHAT: runs on a cache made anew, each killed
# up to MOST milliseconds after a file matching PATTERN appears in report/.
kill_when_made() {
    local pattern=$1 most=$2 what=$3 delay
    for _ in 1 2 3 4; do
        rm -f report/dns.db
        (cd report && exec "${netless[@]}" "$BIN/parvalyte" -q access.log > /dev/null 2>&1) &
        pid=$!
        while kill -0 "$pid" 2> /dev/null && ! compgen -G "report/$pattern" > /dev/null; do
            :
        done
        delay=$((RANDOM % (most + 1)))
        sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
        kill -KILL "$pid" 2> /dev/null
        wait "$pid" 2> /dev/null
        complete report || {
            echo "a run killed while it $what left what the next one cannot use"
            exit 1
        }
    done
}
if [ -n "$dns" ]; then
    # Killed while its cache is being made: when Berkeley DB's temporary file
    # for it appears (the random kills rarely fall there).
    kill_when_made '__db.*' 0 "made its DNS cache"
    # The pre-pass writes a copy beside the cache and renames it over at its
    # end: these kills fall between the copy's appearing and a while after,
    # its last writes and the rename included.
    kill_when_made 'dns.db.next' $((span / 2 + 5)) "wrote its DNS cache"
fi

# Whatever was killed, the next run goes through.
(cd report && "${netless[@]}" "$BIN/parvalyte" -q access.log) || {
    echo "the run after the killed ones failed"
    status=1
}
complete report || status=1

# The cache after that run holds every address of the log, each under the
# name 127.0.0.1 has here, and Berkeley DB's dump reads it all.  Without a
# name nothing is stored: unresolved addresses are not kept.
if [ -n "$dns" ]; then
    name=$("${netless[@]}" getent hosts 127.0.0.1 | awk '{ print tolower($2); exit }')
    cut -d' ' -f1 report/access.log | grep '^127\.' | sort -u > logged
    [ -n "$name" ] || : > logged
    if ! db5.3_dump -p report/dns.db > dump.txt; then
        echo "db5.3_dump cannot read the DNS cache"
        status=1
    else
        sed '1,/^HEADER=END$/d; /^DATA=END$/,$d' dump.txt > records
        awk 'NR % 2 == 1 { print substr($0, 2) }' records | sort > cached
        if ! cmp -s cached logged; then
            echo "the DNS cache does not hold exactly the log's addresses:"
            diff cached logged | head -5
            status=1
        elif [ -n "$name" ] && awk 'NR % 2 == 0' records | grep -vqF "$name"; then
            echo "a cached address has another name than $name"
            status=1
        else
            echo "the DNS cache holds the $(wc -l < logged) addresses of the log"
        fi
    fi
fi
echo "$RUNS runs, $killed killed before their end"
[ $status -eq 0 ] && echo "every history, state and DNS cache left was whole"
exit $status
