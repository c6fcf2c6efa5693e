#!/bin/bash
# parvakeep's commands on scratch caches under a frozen clock: every text and
# status compared byte for byte, and the files proved with Berkeley DB's own
# verify and dump tools.
#
#   parvakeep_test.sh BUILD_DIR
set -u
BIN=$(cd "$1" && pwd)/parvakeep
[ -x "$BIN" ] || {
    echo "no $BIN" >&2
    exit 2
}
for tool in faketime db5.3_verify db5.3_dump db5.3_load perl; do
    command -v $tool > /dev/null || {
        echo "$tool is missing (tools/setup.sh installs it)" >&2
        exit 2
    }
done
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 2
export LC_ALL=C TZ=UTC
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
CLOCK='2024-03-01 12:00:00'
NOW=1709294400
DAY=86400

passed=0
failed=0
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*"
}
keep() { faketime -f "$CLOCK" "$BIN" "$@"; }

# check NAME STATUS STDOUT STDERR ARGS...: parvakeep ARGS gives exactly these.
check() {
    local name=$1 status=$2
    printf '%s' "$3" > want.out
    printf '%s' "$4" > want.err
    shift 4
    keep "$@" > got.out 2> got.err
    local rc=$?
    if [ $rc -eq "$status" ] && cmp -s want.out got.out && cmp -s want.err got.err; then
        passed=$((passed + 1))
    else
        fail "$name: status $rc"
        diff want.out got.out | head -n 10
        diff want.err got.err | head -n 10
    fi
}
# sorted TEXT...: the lines sorted, for outputs in the database's own order.
sorted() { printf '%s' "$@" | sort; }
# value FILE KEY: the stored bytes of a key in hex, as db5.3_dump shows them.
value() { db5.3_dump "$1" | awk -v k=" $(printf '%s' "$2" | od -An -v -tx1 | tr -d ' \n')" 'p { print substr($0, 2); exit } $0 == k { p = 1 }'; }
# record TIME FLAG NAME: the bytes a record of these should be, in hex.
record() { perl -e '($t, $f, $n) = @ARGV; print unpack("H*", pack("q<l<a" . (((length($n) + 24) & ~7) - 12), $t, $f, $n))' "$@"; }
verified() {
    if db5.3_verify -q "$1" && db5.3_dump "$1" | grep -qx 'type=hash'; then
        passed=$((passed + 1))
    else
        fail "$1 is no sound hash database"
    fi
}

# ---- command line, create, add, find
usage=$'Usage: parvakeep [options] cache-file\n\nOptions:\n -h         This help display\n -V         Version information\n -v         be verbose\n -a addr    Add DNS record\n -c         Create new cache file\n -d addr    Delete DNS record\n -f addr    Find DNS record\n -i name    Import cache from file\n -l         List cache file contents\n -n name    hostname (used for add)\n -p num     Purge after num days\n -s         Display cache file stats/info\n -t num     TTL value (for add and stats)\n -x name    Export cache to tab file\n\nIf no options are specified, the default\naction is to list the cache file contents.\n\n'
check usage 0 "$usage" "" -q
check help 0 "$usage" "" -h cache
notice='Copyright 2026 The Parvalyte developers.  Free to use, change and share.'
check version 0 $'PARVAKEEP - Parvalyte (DNS) Cache file Manager V1.00-04\n'"$notice"$'\n\n' "" -V -v
keep -v -V > got.out
grep -q '^System  : .* (.*)$' got.out && grep -qx 'DB Ver. : V5\.3\.[0-9]*' got.out &&
    grep -qx 'Mod Date: 26-Aug-2013' got.out && passed=$((passed + 1)) || fail "long version"
check create 0 $'Cache file cache created successfully\n' "" -c -v cache
check create-again 1 "" $'Error: cache: File exists\n' -c cache
verified cache
# A creation killed before Berkeley DB renamed its "__db." file into place
# must not hold up the next one (it used to wait 100 s and fail).
echo cut > __db.fresh
check create-after-a-kill 0 "" "" -c fresh
verified fresh
check add 0 $'10.0.0.1 sucessfully added to cache file\n' "" -v -a 10.0.0.1 -n Host.Example.PL cache
check add-permanent 0 "" "" -t 0 -a 10.0.0.2 cache
check add-twice 1 "" $'Error: 10.0.0.1 already exists in cache!\n' -a 10.0.0.1 cache
check add-empty 1 "" $'Error: No IP address specified!\n' -a "" cache
check add-long 1 "" $'Error: IP address too long!\n' -a "$(printf '1%.0s' $(seq 48))" cache
check add-missing 1 "" $'Error: none: No such file or directory\n' -a 10.0.0.3 none
check p-word-is-the-file 1 "" $'Error: 30: No such file or directory\n' -p 30 cache
[ "$(value cache 10.0.0.1)" = "$(record $NOW 0 host.example.pl)" ] && [ "$(value cache 10.0.0.2)" = "$(record 0 1 10.0.0.2)" ] &&
    passed=$((passed + 1)) || fail "added records as stored"
check find 0 $'10.0.0.1        [00d:00h:00m] host.example.pl\n' "" -f 10.0.0.1 cache
check find-verbose 0 $'Address  : 10.0.0.1\nHostname : host.example.pl\nResolved : Yes\nTimestamp: Fri Mar  1 12:00:00 2024\nTTL age  : 00d:00h:00m\n\n' "" -v -f 10.0.0.1 cache
check find-permanent 0 $'Address  : 10.0.0.2\nHostname : 10.0.0.2\nResolved : No\nTimestamp: N/A\nTTL age  : Permanent\n' "" -v -f 10.0.0.2 cache
check find-missing 0 $'9.9.9.9 not found!\n' "" -f 9.9.9.9 cache

# ---- import, list, stats, export
long=$(printf 'a%.0s' $(seq 290)).example.pl
{
    printf '# address, time, unresolved, name\n'
    printf '10.1.0.1\t%d\t0\tfresh.example.pl\n' $NOW
    printf '10.1.0.2\t%d\t0\told.example.pl\n' $((NOW - 10 * DAY))
    printf '10.1.0.3\t%d\t1\t10.1.0.3\n' $((NOW - 3 * DAY - 3600 - 60))
    printf '2001:DB8::1\t0\t0\tPerm.Example.PL\n'
    printf '10.1.0.4\t%d\t0\t%s\n' $((NOW - 8 * DAY)) "$long"
    # The rest of an overlong comment is no record of its own.
    printf '#%s10.1.0.5\t0\t0\tsneaky\n' "$(printf 'x%.0s' $(seq 4094))"
} > in.tab
check import 0 $'5 records imported into \'cache\' from file \'in.tab\'\n' "" -v -i in.tab cache
check import-overlong-comment 0 $'10.1.0.5 not found!\n' "" -f 10.1.0.5 cache
[ "$(value cache 10.1.0.4)" = "$(record $((NOW - 8 * DAY)) 0 "${long: -255}")" ] &&
    passed=$((passed + 1)) || fail "a long name keeps its last 255 characters"
list=$(sorted "10.0.0.1        [00d:00h:00m] host.example.pl" $'\n' "10.0.0.2        [-permanent-] 10.0.0.2" $'\n' \
    "10.1.0.1        [00d:00h:00m] fresh.example.pl" $'\n' "10.1.0.2        [10d:00h:00m] old.example.pl" $'\n' \
    "10.1.0.3        [03d:01h:01m] 10.1.0.3" $'\n' "10.1.0.4        [08d:00h:00m] ${long: -255}" $'\n' \
    "2001:DB8::1     [-permanent-] Perm.Example.PL" $'\n')
[ "$(keep cache | sort)" = "$list" ] && passed=$((passed + 1)) || fail "list"
keep -v -l cache > got.out
[ "$(head -n 4 got.out)" = $'Parvalyte DNS Cache file listing generated Fri Mar  1 12:00:00 2024\n\nIP Address         TTL Age    Hostname\n--------------- ------------- -----------------------------------------------' ] &&
    [ "$(tail -n 2 got.out)" = "$(printf -- '-%.0s' $(seq 77))"$'\nFilename: cache  (7 records)' ] &&
    [ "$(sed '1,4d;$d' got.out | sed '$d' | sort)" = "$list" ] && passed=$((passed + 1)) || fail "verbose list"
stats=$'Report generated on: Fri Mar  1 12:00:00 2024\nDNS Cache Filename : cache\nTotal Records      : 7\nTotal Resolved     : 5\nTotal Unresolved   : 2\nTotal Permanent    : 2\nNewest Record age  : 00d:00h:00m\nOldest Record age  : 10d:00h:00m\n'
check stats 0 "$stats"$'Total over 07 days : 2\n\n' "" -s cache
check stats-ttl-above-99 0 "$stats"$'Total over 99 days : 0\n\n' "" -t 150 -s cache
check stats-negative-ttl 0 "$stats"$'Total over 07 days : 2\n\n' "" -t -5 -s cache
check export 0 $'7 records exported from \'cache\' to file \'out.tab\'\n' "" -v -x out.tab cache
[ "$(sort out.tab)" = "$(grep -v '^#' in.tab | sed "s/$long/${long: -255}/" | cat - <(printf '10.0.0.1\t%d\t0\thost.example.pl\n10.0.0.2\t0\t1\t10.0.0.2\n' $NOW) | sort)" ] &&
    passed=$((passed + 1)) || fail "exported lines"
check reimport 0 "" "" -c -i out.tab copy
[ "$(db5.3_dump copy | sed '1,/HEADER=END/d' | paste - - | sort)" = "$(db5.3_dump cache | sed '1,/HEADER=END/d' | paste - - | sort)" ] &&
    passed=$((passed + 1)) || fail "an export imports back to the same records"
echo victim > victim
ln -s victim link
check export-link 1 "" $'Error: File is a symlink: link\n' -x link cache
check export-onto-cache 1 "" $'Error: Bad export filename: ./cache\n' -x ./cache cache
[ "$(cat victim)" = victim ] && passed=$((passed + 1)) || fail "the link's target was written"
verified cache
printf '10.2.0.1\t0\t0\tok\n\n10.2.0.2\t0\t0\tlate\n' > bad.tab
check import-empty-line 1 "" $'Error reading tab file bad.tab\n' -i bad.tab cache
printf '%s\t0\t0\tname\n' "$(printf '1%.0s' $(seq 48))" > bad.tab
check import-long-address 1 "" $'Error reading tab file bad.tab\n' -i bad.tab cache
check import-no-file 1 "" $'Error: File not found: none.tab\n' -i none.tab cache

# ---- delete, purge
check delete 0 $'10.2.0.1 sucessfully deleted from cache file\n' "" -v -d 10.2.0.1 cache
check delete-again 1 $'10.2.0.1 not found in cache!\n' "" -d 10.2.0.1 cache
check delete-imported-case 0 "" "" -d 2001:DB8::1 cache
touch cache.new
check purge-leftover 1 "" $'Error: cache.new: File exists\n' -p cache
rm cache.new
cp cache purged
echo cut > __db.purged.new
check purge-after-a-killed-creation 0 "" "" -p3650 purged
verified purged
coproc locker { perl -e 'use Fcntl; open(my $f, "+<", $ARGV[0]) or die; my $l = pack("ssx4qqix4", F_WRLCK, 0, 0, 0, 0); fcntl($f, F_SETLK, $l) or die; print "locked\n"; $| = 1; <STDIN>' cache; }
read -r -u "${locker[0]}" line
[ "$line" = locked ] || fail "no lock held for the locked purge"
check purge-locked 1 $'Error: Unable to lock cache file: Resource temporarily unavailable\n' "" -p cache
eval "exec ${locker[1]}>&-"
wait
keep -v -p7 cache > got.out
[ "$(head -n 1 got.out; tail -n 1 got.out)" = $'Purging records over 7 days from \'cache\'\n2 of 6 records purged from \'cache\'' ] &&
    [ "$(sed '1d;$d' got.out | sort)" = $'Purging 10.1.0.2         [10d:00h:00m]\nPurging 10.1.0.4         [08d:00h:00m]' ] &&
    [ ! -e cache.new ] && [ "$(keep cache | wc -l)" -eq 4 ] && passed=$((passed + 1)) || fail "purge"
verified cache
check purge-none 0 $'Purging records over 30 days from \'cache\'\n0 of 4 records purged from \'cache\'\n' "" -v -p30 cache
check add-permanent-named 0 "" "" -t 0 -a 10.3.0.1 -n later cache
printf '10.3.0.2\t%d\t0\tahead\n' $((NOW + DAY)) > ahead.tab
keep -i ahead.tab cache && keep -p cache && [ "$(keep cache | grep -c '^10\.3\.0\.')" -eq 1 ] &&
    passed=$((passed + 1)) || fail "a time ahead expires in a purge, a permanent record stays"

# ---- a damaged file: a key too long to show, values too short or too long
key60=$(printf '9%.0s' $(seq 60))
printf '%s\n%s\n10.9.0.1\nabc\n10.9.0.2\n%s\n' "$key60" "$(record $((NOW - DAY)) 0 x | sed 's/../\\&/g')" \
    "$(printf '\\00%.0s' $(seq 12); printf 'n%.0s' $(seq 288))" | db5.3_load -T -t hash damaged
check damaged-stats 0 $'Report generated on: Fri Mar  1 12:00:00 2024\nDNS Cache Filename : damaged\nTotal Records      : 3\nTotal Resolved     : 1\nTotal Unresolved   : 0\nTotal Permanent    : 0\nNewest Record age  : 01d:00h:00m\nOldest Record age  : 01d:00h:00m\nTotal over 07 days : 0\nRecord Size Errors : 2\n\n' "" -s damaged
keep damaged > got.out
[ $? -eq 0 ] && [ "$(grep -c "^${key60:0:47} \[01d:00h:00m\] x\$" got.out)" -eq 1 ] && [ "$(wc -l < got.out)" -eq 3 ] &&
    passed=$((passed + 1)) || fail "damaged list"
keep -x damaged.tab damaged 2> got.err
[ $? -eq 1 ] && [ "$(wc -l < got.err)" -eq 2 ] && [ "$(cat damaged.tab)" = "$(printf '10.9.0.2\t0\t0\t'; printf 'n%.0s' $(seq 259))" ] &&
    passed=$((passed + 1)) || fail "damaged export: only the record a line can carry, and a failure"
keep -p damaged && [ "$(value damaged "$key60")" = "$(record $((NOW - DAY)) 0 x)" ] && [ "$(value damaged 10.9.0.2 | wc -c)" -eq 601 ] &&
    passed=$((passed + 1)) || fail "a purge keeps long keys and values whole"

# ---- export then import: a new cache with the same records, byte for byte
for i in $(seq 1 600); do
    printf '10.%d.%d.%d\t%d\t%d\thost-%d.example.org\n' $((i / 250)) $((i % 250)) $((i % 7)) $((NOW - i * 977)) $((i % 2)) $i
done > many.tab
keep -c -i many.tab bulk && keep -x many-out.tab bulk && keep -c -i many-out.tab bulk-copy &&
    [ "$(db5.3_dump -p bulk | sed '1,/HEADER=END/d' | paste - - | sort)" = \
        "$(db5.3_dump -p bulk-copy | sed '1,/HEADER=END/d' | paste - - | sort)" ] &&
    [ "$(sort many.tab)" = "$(sort many-out.tab)" ] && passed=$((passed + 1)) || fail "export then import"
verified bulk-copy

# ---- hostile import files: never a crash, only the messages and statuses
head -c 100000000 /dev/urandom > noise.tab
keep -i noise.tab bulk > /dev/null 2> got.err
rc=$?
[ $rc -le 1 ] && passed=$((passed + 1)) || fail "100 MB of noise: status $rc"
verified bulk
{
    printf '%s\t1\t0\tx\n' "$(head -c 1000000 /dev/zero | tr '\0' 9)"
    printf '10.0.0.1\t1\t0\t%s\n' "$(head -c 1000000 /dev/zero | tr '\0' n)"
    printf '10.0.0.1 1 0 no-tabs\n'
} > long.tab
for line in 1 2 3; do
    sed -n "${line}p" long.tab > one.tab
    keep -i one.tab bulk > /dev/null 2>&1
    rc=$?
    [ $rc -le 1 ] && passed=$((passed + 1)) || fail "hostile import line $line: status $rc"
done
verified bulk

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
