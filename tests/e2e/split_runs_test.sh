#!/bin/bash
# A log read in one run and the same log read with Incremental on in many
# runs give the same pages, charts, dumps and history: for 2, 3 and 10
# disjoint pieces cut at random lines (always between two different
# seconds, since a run skips what is not newer than the state's time; a cut
# exactly at the month change included), and for a log that grows, each run
# reading it again from its start.
#
#   split_runs_test.sh BUILD_DIR
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
SCRATCH=$(mktemp -d /tmp/parva-split-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
command -v faketime > /dev/null || {
    echo "faketime is missing (tools/setup.sh installs it)"
    exit 1
}
# One frozen clock for every run, so that the time stamps agree.
run() { TZ=UTC faketime -f '2026-01-15 12:00:00' "$BIN/parvalyte" -q -n www.example.pl "$@"; }

# Six weeks over two months, in visits, with groups and hidden entries.
"$BIN/tools/parva_genlog" 12000 45 9 > whole.log
{
    for kind in Sites URLs Referrers Agents Users SearchStr; do
        printf 'Dump%s yes\nAll%s yes\n' $kind $kind
    done
    printf '%s\n' 'GroupURL /blog/* Blog' 'HideURL *.css' 'GroupReferrer google Google' \
        'HideAgent curl*' 'GroupAgent Mozilla Mozilla' 'TopURLs 10' 'TopSites 10'
} > base.conf
cp base.conf pieces.conf
echo 'Incremental yes' >> pieces.conf
mkdir whole
run -c base.conf -o whole whole.log || exit 1

lines=$(wc -l < whole.log)
# The line numbers after which a cut may fall: the next line has a later second.
cut -d'[' -f2 whole.log | cut -d' ' -f1 | awk 'NR > 1 && $0 != last { print NR - 1 } { last = $0 }' > cuts
march_end=$(grep -n '/Mar/' whole.log | tail -1 | cut -d: -f1)
RANDOM=11
status=0

# same NAME DIR: DIR holds what whole/ holds, but for the state file.
same() {
    if diff -r -x parvalyte.current whole "$2" > "$1.diff"; then
        echo "$1: same as the whole log"
    else
        echo "$1: differs from the whole log:"
        head -20 "$1.diff"
        status=1
    fi
}

for n in 2 3 10; do
    # n - 1 distinct cuts, the month change among them for three pieces.
    {
        [ $n -eq 3 ] && echo "$march_end"
        shuf -n $((n * 3)) --random-source=<(yes $n) cuts
    } | awk '!seen[$0]++' | head -n $((n - 1)) | sort -n > points
    dir=pieces$n
    mkdir $dir
    cp pieces.conf $dir/
    from=1
    for to in $(cat points) "$lines"; do
        sed -n "${from},${to}p" whole.log > $dir/piece.log
        # A piece of lines that are no records ends with status 1, and changes nothing.
        (cd $dir && run -c pieces.conf piece.log)
        from=$((to + 1))
    done
    rm $dir/piece.log $dir/pieces.conf
    same "$n pieces" $dir
done

# A growing log: every run reads all of it again, up to a later line.
mkdir growing
cp pieces.conf growing/
for to in $(shuf -n 6 --random-source=<(yes grow) cuts | sort -n) "$lines"; do
    head -n "$to" whole.log > growing/access.log
    (cd growing && run -c pieces.conf access.log)
done
rm growing/access.log growing/pieces.conf
same "growing log" growing

exit $status
