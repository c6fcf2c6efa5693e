#!/bin/bash
# A run that cannot write its state or its history (the disk is full) loses
# only what it could not write: the previous history stays byte for byte, the
# previous state is never written in place (a failed state is removed, so
# that no stale month is resumed), no work file stays behind, the run says
# what it lost (every page, chart and dump cut short by its name) and still
# ends normally, and the next run with room goes through.
#
# A file size limit (ulimit -f, with SIGXFSZ ignored so that a write past it
# fails with EFBIG) refuses writes as a full disk does, one file at a time:
# a limit above the history's size and below the state's fails the state
# alone, a smaller one both.  Where a mount namespace may be made, a small
# memory file system filled to the last byte gives the real ENOSPC too.
#
#   disk_full_test.sh BUILD_DIR
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
SCRATCH=$(mktemp -d /tmp/parva-full-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
export LC_ALL=C TZ=UTC
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

# Whether a limit can be set and a write past it fails instead of killing.
(
    trap '' XFSZ
    ulimit -f 1 && ! head -c 4096 /dev/zero > probe
) 2> /dev/null && [ "$(stat -c %s probe)" -le 1024 ] || {
    echo "no file size limit can be set here: skipped"
    exit 77
}
rm -f probe

# Three weeks of one month, in three pieces of a few days each.
"$BIN/tools/parva_genlog" 3000 20 5 > whole.log
sed -n 1,1000p whole.log > piece1.log
sed -n 1001,2000p whole.log > piece2.log
sed -n 2001,3000p whole.log > piece3.log
printf '%s\n' 'DumpSites yes' 'DumpURLs yes' 'AllURLs yes' > base.conf
{
    cat base.conf
    echo 'Incremental yes'
} > incremental.conf

state_lost='Błąd: Nie mogę zapisać danych z bieżącego uruchomienia'
history_lost='Błąd: Nie mogę zapisać pliku historii parvalyte.hist.new'
# The start of the message for a page, chart or dump cut short: its name and
# "!" follow.
cut_short='Błąd: Nie mogę zapisać pliku'
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# limited KIB DIR CONF LOG: the program in DIR, its files limited to KIB
# KiB; its standard error goes through a pipe, which no limit cuts, to
# DIR/err in UTF-8.  Sets ran to its exit status.
limited() {
    local kib=$1 dir=$2 conf=$3 log=$4
    (
        cd "$dir" || exit 2
        trap '' XFSZ
        ulimit -f "$kib" || exit 2
        exec "$BIN/parvalyte" -q -c "../$conf" "../$log"
    ) 2>&1 > /dev/null | iconv -f ISO-8859-2 -t UTF-8 > "$dir/err"
    ran=${PIPESTATUS[0]}
}

# previous DIR CONF: DIR holds what a run with room leaves after piece 1,
# and copies of its history and state under saved.*; the live state has a
# second name, kept.current, that shows whether it was ever written in place.
previous() {
    local dir=$1 conf=$2
    rm -rf "$dir" && mkdir "$dir"
    (cd "$dir" && "$BIN/parvalyte" -q -c "../$conf" ../piece1.log) || fail "$dir: the first run failed"
    cp "$dir/parvalyte.hist" "$dir/saved.hist"
    if [ -e "$dir/parvalyte.current" ]; then
        cp "$dir/parvalyte.current" "$dir/saved.current"
        ln "$dir/parvalyte.current" "$dir/kept.current"
    fi
}

# whole_history FILE: a header and 120 rows.
whole_history() {
    [ "$(head -c 11 "$1")" = "# Parvalyte" ] &&
        [ "$(grep -c '^[0-9]* [0-9]* [0-9]* ' "$1")" -eq 120 ] && [ "$(wc -l < "$1")" -eq 121 ]
}

# no_work_files DIR: no work file of the history or the state is left.
no_work_files() {
    local left
    left=$(compgen -G "$1/*.new"; compgen -G "$1/*.sav")
    [ -z "$left" ] || fail "$1: work files left: $left"
}

# said DIR TEXT...: DIR/err holds exactly these lines, besides those about
# files cut short.
said() {
    local dir=$1
    shift
    if [ $# -eq 0 ]; then
        : > "$dir/want"
    else
        printf '%s\n' "$@" > "$dir/want"
    fi
    grep -v "^$cut_short .*!\$" "$dir/err" > "$dir/err.rest"
    cmp -s "$dir/want" "$dir/err.rest" || {
        fail "$dir: the run said:"
        cat "$dir/err"
        echo "instead of:"
        cat "$dir/want"
    }
}

# told_cut DIR KIB: the files that the limit cut short (a write past the
# limit stops exactly at it) are the ones the run named as cut short.
told_cut() {
    local dir=$1 bytes=$(($2 * 1024))
    find "$dir" -maxdepth 1 -type f -size "${bytes}c" -printf '%f\n' | sort > "$dir/cut"
    # Dumps are named under their folder, "." here.
    sed -n "s/^$cut_short \(.*\)!\$/\1/p" "$dir/err" | sed 's|^\./||' | sort > "$dir/told"
    [ -s "$dir/cut" ] || fail "$dir: the limit cut no page short"
    cmp -s "$dir/cut" "$dir/told" || {
        fail "$dir: the files cut short were:"
        cat "$dir/cut"
        echo "but the run named:"
        cat "$dir/told"
    }
}

# old_state_untouched DIR: the previous state was removed, never rewritten.
old_state_untouched() {
    [ ! -e "$1/parvalyte.current" ] || fail "$1: a state the run could not write is still there"
    cmp -s "$1/kept.current" "$1/saved.current" || fail "$1: the previous state was written in place"
}

# next_run DIR CONF LOG: a run with room goes through and leaves whole files.
next_run() {
    local dir=$1 conf=$2 log=$3
    (cd "$dir" && "$BIN/parvalyte" -q -c "../$conf" "../$log") > /dev/null 2> "$dir/next.err" ||
        fail "$dir: the run with room failed"
    [ ! -s "$dir/next.err" ] || {
        fail "$dir: the run with room complained:"
        cat "$dir/next.err"
    }
    whole_history "$dir/parvalyte.hist" || fail "$dir: the history after the run with room is not whole"
    if grep -q Incremental "$conf"; then
        [ "$(head -c 26 "$dir/parvalyte.current")" = "# Parvalyte V2.23-08 Incre" ] &&
            grep -q '^# End Of Table - usernames$' "$dir/parvalyte.current" ||
            fail "$dir: the state after the run with room is not whole"
    fi
    no_work_files "$dir"
}

# The state (tens of KiB) does not fit in 8 KiB; the history (3 KiB) does.
previous state-only incremental.conf
[ "$(stat -c %s state-only/parvalyte.current)" -gt 8192 ] &&
    [ "$(stat -c %s state-only/parvalyte.hist)" -lt 8192 ] || fail "the files have unexpected sizes"
limited 8 state-only incremental.conf piece2.log
[ "$ran" -eq 0 ] || fail "state-only: status $ran"
said state-only "$state_lost"
old_state_untouched state-only
told_cut state-only 8
whole_history state-only/parvalyte.hist && ! cmp -s state-only/parvalyte.hist state-only/saved.hist ||
    fail "state-only: the history that fitted was not written whole"
no_work_files state-only
next_run state-only incremental.conf piece3.log

# Neither fits in 1 KiB.
previous both incremental.conf
limited 1 both incremental.conf piece2.log
[ "$ran" -eq 0 ] || fail "both: status $ran"
said both "$state_lost" "$history_lost"
old_state_untouched both
told_cut both 1
cmp -s both/parvalyte.hist both/saved.hist || fail "both: the previous history changed"
no_work_files both
next_run both incremental.conf piece3.log

# Without Incremental only the history is written.
previous history-only base.conf
limited 1 history-only base.conf piece2.log
[ "$ran" -eq 0 ] || fail "history-only: status $ran"
said history-only "$history_lost"
cmp -s history-only/parvalyte.hist history-only/saved.hist || fail "history-only: the previous history changed"
told_cut history-only 1
no_work_files history-only
next_run history-only base.conf piece3.log

# A file system with no byte left.  Removing the failed state gives back
# room, which the pages may take before the history comes: the history is
# then the previous one, told, or a new one, whole.
if unshare -rm true 2> /dev/null; then
    mkdir full left
    cat > full.sh << 'EOF'
set -u
mount -t tmpfs -o size=2m tmpfs full || exit 3
# A run with room first, its files kept outside; then the rest is filled.
mkdir full/run
cd full/run || exit 3
"$BIN/parvalyte" -q -c ../../incremental.conf ../../piece1.log || exit 4
cp parvalyte.hist ../../left/saved.hist
cp parvalyte.current ../../left/saved.current
ln parvalyte.current ../kept.current
head -c 4M /dev/zero > ../filler 2> /dev/null
"$BIN/parvalyte" -q -c ../../incremental.conf ../../piece2.log 2> ../../left/err > /dev/null
echo $? > ../../left/ran
cp -a . ../../left/failed
cp ../kept.current ../../left/
rm ../filler
"$BIN/parvalyte" -q -c ../../incremental.conf ../../piece3.log > /dev/null 2> ../../left/next.err
echo $? > ../../left/next.ran
cp -a . ../../left/next
EOF
    BIN=$BIN unshare -rm bash full.sh
    case $? in
    0)
        iconv -f ISO-8859-2 -t UTF-8 left/err > left/err.utf8
        [ "$(cat left/ran)" -eq 0 ] || fail "full: status $(cat left/ran)"
        grep -qxF "$state_lost" left/err.utf8 || fail "full: the lost state was not told"
        if grep -qxF "$history_lost" left/err.utf8; then
            cmp -s left/failed/parvalyte.hist left/saved.hist || fail "full: the previous history changed"
        else
            whole_history left/failed/parvalyte.hist || fail "full: the history is not whole"
        fi
        [ "$(grep -vxF -e "$state_lost" -e "$history_lost" left/err.utf8 |
            grep -cv "^$cut_short .*!\$")" -eq 0 ] || {
            fail "full: the run said more:"
            cat left/err.utf8
        }
        cmp -s left/kept.current left/saved.current || fail "full: the previous state was written in place"
        [ ! -e left/failed/parvalyte.current ] || fail "full: a state the run could not write is still there"
        no_work_files left/failed
        [ "$(cat left/next.ran)" -eq 0 ] && [ ! -s left/next.err ] || fail "full: the run with room failed"
        whole_history left/next/parvalyte.hist || fail "full: the history after the run with room is not whole"
        no_work_files left/next
        echo "a full file system: checked ($(grep -c . left/err.utf8) messages)"
        ;;
    3) echo "no memory file system may be mounted here: the full file system is not tried" ;;
    *) fail "full: the run with room before the full disk failed" ;;
    esac
else
    echo "no mount namespace may be made here: the full file system is not tried"
fi

[ $status -eq 0 ] && echo "every failed write left the previous files and said so"
exit $status
