#!/bin/bash
# Logs that real servers wrote, every one of the shared collection, each run
# through the program with its pages, every dump, every full listing page
# and incremental mode on: the run ends with status 0 (1 only for a log
# without one valid record, which it must say), no sanitizer reports
# anything, and the index page and a month page for every month with hits
# in the history are there, as are a whole history and a whole state.
#
# The collection is never copied into this repository.  A log of more than
# REALDATA_LINES lines (40000 unless set: every log of the collection today
# is read whole) is cut to its first lines in the scratch directory, and
# compressed again as it was, so that the sanitizer build stays within two
# minutes whatever joins the collection.
#
#   realdata_test.sh BUILD_DIR REALDATA_DIR
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
DATA=${2:-}
[ -n "$DATA" ] && [ -d "$DATA" ] || {
    echo "no real logs at '$DATA': skipped"
    exit 77
}
DATA=$(cd "$DATA" && pwd -P)
SCRATCH=$(mktemp -d /tmp/parva-realdata-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
export LC_ALL=C TZ=UTC
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
LINES=${REALDATA_LINES:-40000}

{
    for kind in Sites URLs Referrers Agents Users SearchStr; do
        printf 'Dump%s yes\nAll%s yes\n' $kind $kind
    done
    # Short top tables, so that the listing pages are needed.
    printf '%s\n' 'Incremental yes' 'DumpHeader yes' 'TopSites 3' 'TopKSites 2' 'TopURLs 3' \
        'TopKURLs 2' 'TopReferrers 3' 'TopAgents 3' 'TopSearch 3' 'TopUsers 2' 'TopEntry 2' \
        'TopExit 2' 'TopCountries 5'
} > real.conf

# The format of a log, by the folder it is kept in.
log_type() {
    case $1 in
    clf/*) echo clf ;;
    squid/*) echo squid ;;
    w3c/*) echo w3c ;;
    xferlog/*) echo ftp ;;
    *) return 1 ;;
    esac
}

# input NAME: the log to read, the file itself or its first LINES lines,
# compressed again the way it was.
input() {
    local name=$1 cat=cat zip=
    case $name in
    *.gz) cat=zcat zip=gzip ;;
    *.bz2) cat=bzcat zip=bzip2 ;;
    esac
    if [ "$($cat "$DATA/$name" | head -n $((LINES + 1)) | wc -l)" -le "$LINES" ]; then
        echo "$DATA/$name"
        return
    fi
    local cut
    cut=$SCRATCH/cut/$(basename "$name")
    mkdir -p "$SCRATCH/cut"
    if [ -n "$zip" ]; then
        $cat "$DATA/$name" | head -n "$LINES" | $zip -c > "$cut"
    else
        head -n "$LINES" "$DATA/$name" > "$cut"
    fi
    echo "$cut"
}

# The logs of which no line is a record for this program, by what their
# provenance notes say of them: no cs-uri-stem column (only cs-uri), no date
# column (times alone, twice), date-local and time-local instead of date and
# time, and a data line with more fields than its Fields line declares.
# Every other log must give status 0.
no_record_log() {
    case $1 in
    w3c/small/lnav-logfile_w3c.1.log | w3c/small/lnav-logfile_w3c.2.log | \
        w3c/small/plaso-iis_without_date.log | w3c/small/lnav-logfile_w3c.3.log | \
        w3c/small/lnav-logfile_w3c.5.log) return 0 ;;
    esac
    return 1
}

sanitizer_said() {
    grep -aEq 'AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|runtime error:|^==[0-9]+==' "$1"
}

status=0
checked=0
cd "$DATA" || exit 2
logs=$(find clf squid w3c xferlog -type f \( -name '*.log' -o -name '*.log.*' -o -name '*.gz' \
    -o -name '*.bz2' \) 2> /dev/null | sort)
cd "$SCRATCH" || exit 2
[ -n "$logs" ] || {
    echo "no logs in $DATA: skipped"
    exit 77
}
for name in $logs; do
    type=$(log_type "$name") || continue
    log=$(input "$name")
    dir=runs/$(echo "$name" | tr / _)
    mkdir -p "$dir"
    cp real.conf "$dir/pl-parvalyte.conf"
    (cd "$dir" && "$BIN/parvalyte" -q -F "$type" -n real.example "$log" > out 2> err)
    ran=$?
    problem=
    if sanitizer_said "$dir/err"; then
        problem="a sanitizer report"
    elif [ $ran -eq 1 ]; then
        # The one way to end with 1 here: not one valid record, and said so.
        if ! no_record_log "$name"; then
            problem="status 1 for a log with records"
        elif ! iconv -f ISO-8859-2 -t UTF-8 "$dir/out" | grep -qx 'Nie znalazłem prawidłowych rekordów!'; then
            problem="status 1 without the message of a log with no valid record"
        elif ls "$dir"/usage_*.html > /dev/null 2>&1; then
            problem="status 1, yet a month page"
        fi
    elif [ $ran -ne 0 ]; then
        problem="status $ran"
    elif no_record_log "$name"; then
        problem="status 0 for a log of which no line is a record"
    else
        [ -s "$dir/index.html" ] || problem="no index page"
        hist=$dir/parvalyte.hist
        if [ "$(head -c 11 "$hist" 2> /dev/null)" != "# Parvalyte" ] ||
            [ "$(grep -c '^[0-9]* [0-9]* [0-9]* ' "$hist")" -ne 120 ]; then
            problem="${problem:+$problem, }no whole history"
        fi
        grep -q '^# End Of Table - usernames$' "$dir/parvalyte.current" 2> /dev/null ||
            problem="${problem:+$problem, }no whole state"
        # Every month with hits in the history has its page; at least one does.
        months=$(awk '!/^#/ && $3 > 0 { printf "%04d%02d\n", $2, $1 }' "$hist" 2> /dev/null)
        [ -n "$months" ] || problem="${problem:+$problem, }no month with hits"
        for m in $months; do
            [ -s "$dir/usage_$m.html" ] || problem="${problem:+$problem, }no page for $m"
        done
    fi
    checked=$((checked + 1))
    if [ -n "$problem" ]; then
        echo "FAIL $name (-F $type): $problem"
        head -c 3000 "$dir/err"
        status=1
    else
        echo "ok   $name (-F $type): status $ran, $(ls "$dir"/usage_*.html 2> /dev/null | wc -l) month pages"
    fi
done
echo "$checked real logs read"
exit $status
