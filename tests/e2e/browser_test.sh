#!/bin/bash
# The pages as a reader gets them: headless Chromium builds each page of a
# run, and page_check.py reads the documents it built.  One run on a
# generated log with every listing page (the tables, anchors, files linked
# and the Polish letters of the demo's configuration), one on a log whose
# names are hostile (their markup must come out as text).
#
#   browser_test.sh BUILD_DIR
set -u
BIN=$(cd "$1" && pwd -P) || exit 2
E2E=$(cd "$(dirname "$0")" && pwd -P)
ROOT=$(dirname "$(dirname "$E2E")")
command -v chromium > /dev/null || {
    echo "chromium is missing (tools/setup.sh installs it)" >&2
    exit 1
}
SCRATCH=$(mktemp -d /tmp/parva-browser-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
. "$E2E/case_lib.sh"

# The browser gets no network: its own namespace where one may be made,
# and in any case no name resolution and a proxy that answers nothing.
netless=()
unshare -rn true 2> /dev/null && netless=(unshare -rn)
dump_dom() {
    "${netless[@]}" chromium --headless --no-sandbox --disable-gpu --user-data-dir="$SCRATCH/profile" \
        --disable-background-networking --disable-component-update --no-pings \
        --dns-prefetch-disable --host-resolver-rules='MAP * ~NOTFOUND' --proxy-server=127.0.0.1:9 \
        --dump-dom "file://$1" 2> /dev/null
}

# check_report DIR [page_check.py options]: every page of DIR through the browser and the checker.
check_report() {
    local dir=$1 page doms=()
    shift
    for page in "$dir"/*.html; do
        dump_dom "$page" > "$page.dom"
        [ -s "$page.dom" ] || {
            echo "the browser built nothing from $page"
            return 1
        }
        doms+=("$page.dom")
    done
    python3 "$E2E/page_check.py" "$@" "$dir" "${doms[@]}"
}

status=0
mkdir generated hostile

# Every listing page, the demo's configuration (ISO-8859-2 declared).
"$BIN/tools/parva_genlog" 4000 11 > generated.log
{
    cat "$ROOT/tools/demo.conf"
    printf '%s\n' 'AllSites yes' 'AllURLs yes' 'AllReferrers yes' 'AllAgents yes' 'AllSearchStr yes' \
        'AllUsers yes' 'TopAgents 5' 'TopSearch 3' 'TopUsers 1'
} > generated.conf
"$BIN/parvalyte" -Q -c generated.conf -o generated -n www.example.pl generated.log || status=1
ls generated/usage_*.html > /dev/null 2>&1 || {
    echo "the generated run wrote no month page"
    status=1
}
for listing in site url ref agent search user; do
    ls generated/${listing}_*.html > /dev/null 2>&1 || {
        echo "no $listing listing page"
        status=1
    }
done
printf '%s\n' 'Wywołania' 'Całkowita liczba wywołań' > polish.txt
check_report "$SCRATCH/generated" --expect-text polish.txt || status=1

# Names that a client controls, each holding markup, quotes or ampersands.
{
    clf_line 10.0.0.1 '<script>document.title="x"</script>' 05/Mar/2024:10:00:00 \
        'GET /a.html?x=1&y="2"<img src=x onerror=alert(1)>' 200 100 \
        'javascript://%0Aalert(1)' 'Bot&Co/1.0 <b>bold</b>'
    clf_line 10.0.0.2 'a&amp;b' 05/Mar/2024:10:01:00 'GET /b.html' 200 100 \
        'http://www.google.com/search?q=%22tea%22%26%3Cscript%3E' 'x<y>z'
    clf_line 10.0.0.3 '"><i>' 05/Mar/2024:10:02:00 'GET /c.html' 200 100 \
        'http://evil.example/"><script>alert(2)</script>' 'JavaScript://q'
} > hostile.log
# Every kind in a top table and on a listing page, and in a dump, which
# keeps the names as they were counted: each of them must read the same on
# the pages.
for kind in Sites URLs Referrers Agents SearchStr Users; do
    printf 'All%s yes\nDump%s yes\n' $kind $kind
done > hostile.conf
printf '%s\n' 'LinkReferrer yes' 'StripCGI no' 'TopSites 1' 'TopURLs 1' 'TopReferrers 1' \
    'TopAgents 1' 'TopSearch 1' 'TopUsers 1' 'TopKSites 1' 'TopKURLs 1' 'TopEntry 1' 'TopExit 1' \
    'HTMLHead <META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=ISO-8859-2">' >> hostile.conf
"$BIN/parvalyte" -Q -c hostile.conf -o hostile -n www.example.pl hostile.log || status=1
cut -f 2- hostile/*.tab | sed 's/.*\t//' | sort -u > hostile.txt
grep -q '<script>' hostile.txt || {
    echo "the hostile names did not reach the dumps"
    status=1
}
# One request per host: no visit has an exit page.
check_report "$SCRATCH/hostile" --expect-text hostile.txt --unwritten TOPEXIT || status=1
grep -l 'document.title' hostile/*.dom | while read -r dom; do
    grep -q '<title>x</title>' "$dom" && echo "a script from the log ran in $dom"
done | grep . && status=1

[ $status -eq 0 ] && echo "pages read by the browser: all checks passed"
exit $status
