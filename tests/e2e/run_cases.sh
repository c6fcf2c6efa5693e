#!/bin/bash
# Runs the end-to-end cases of cases/NAME/ and compares what the programs
# wrote with what the case expects, byte for byte.
#
#   run_cases.sh BUILD_DIR [--update] [CASE...]
#
# A case folder holds:
#   cmd        the command, a bash script run in a fresh scratch directory
#              with $BIN (the build directory) and $E2E (this directory) set
#              and case_lib.sh sourced; standard input is empty
#   input/     optional: files copied into the scratch directory first
#   setup      optional: a bash script that writes further inputs there
#   filter     optional: sed expressions for bytes that depend on the machine
#   expected/  status, stdout and stderr of cmd, and files/ with every file
#              the run left in the scratch directory that was not an input
#              as it was (an input the run rewrote counts as written)
#
# Every run has the same clock and place: faketime frozen at $CLOCK, TZ=UTC,
# LC_ALL=C, and an environment of only those, PATH and the sanitizers'
# options.  The build directory and the scratch directory are replaced by
# @BIN@ and @SCRATCH@ in everything compared, and the machine's node name in
# a page title and in links to the site by @NODE@.  --update rewrites expected/
# from what the programs now write, for review in git diff.  Differences are
# shown as UTF-8 (the programs write ISO-8859-2).
set -u

CLOCK='2026-01-15 12:00:00'
NODE=$(uname -n)
CASE_TIMEOUT=30

usage() {
    echo "usage: $0 BUILD_DIR [--update] [CASE...]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
BIN=$(cd "$1" 2> /dev/null && pwd -P) || {
    echo "no build directory $1" >&2
    exit 2
}
shift
update=0
names=()
for arg in "$@"; do
    case $arg in
    --update) update=1 ;;
    -*) usage ;;
    *) names+=("$arg") ;;
    esac
done

E2E=$(cd "$(dirname "$0")" && pwd -P)
CASES=$E2E/cases
for tool in faketime iconv timeout; do
    command -v "$tool" > /dev/null || {
        echo "$tool is missing (tools/setup.sh installs it)" >&2
        exit 2
    }
done
[ -x "$BIN/parvalyte" ] || {
    echo "no $BIN/parvalyte" >&2
    exit 2
}

if [ ${#names[@]} -eq 0 ]; then
    for dir in "$CASES"/*/; do
        [ -f "$dir/cmd" ] && names+=("$(basename "$dir")")
    done
fi

# sed_escape TEXT: the text as a basic regular expression matching itself.
sed_escape() {
    printf '%s' "$1" | sed 's/[]\/$*.^[]/\\&/g'
}

# The fixed clock is a preloaded library, which a sanitized build refuses to
# start beside unless told that the order of libraries does not matter here.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
UBSAN_OPTIONS=${UBSAN_OPTIONS:-}

# in_case DIR SCRIPT: runs a case's script in DIR under the fixed clock.
in_case() {
    (cd "$1" && exec timeout "$CASE_TIMEOUT" env -i PATH="$PATH" HOME="$1" \
        BIN="$BIN" E2E="$E2E" TZ=UTC LC_ALL=C \
        ASAN_OPTIONS="$ASAN_OPTIONS" UBSAN_OPTIONS="$UBSAN_OPTIONS" \
        faketime -f "$CLOCK" bash -c '. "$E2E/case_lib.sh" && . "$1"' case "$2")
}

# list_files DIR: the regular files and symbolic links under DIR, relative, sorted.
list_files() {
    (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
}

# same_entry A B: both are the same symbolic link, or the same bytes.
same_entry() {
    if [ -L "$1" ] || [ -L "$2" ]; then
        [ -L "$1" ] && [ -L "$2" ] && [ "$(readlink "$1")" = "$(readlink "$2")" ]
    else
        cmp -s "$1" "$2"
    fi
}

# normalize FROM TO: a file as compared, machine-dependent bytes replaced.
normalize() {
    if [ -L "$1" ]; then
        cp -P "$1" "$2"
    else
        LC_ALL=C sed -f "$tmp/normalize.sed" "$1" > "$2"
    fi
}

# is_binary FILE: the file holds a NUL byte, so it is no text to diff.
is_binary() {
    [ "$(tr -d '\000' < "$1" | wc -c)" -ne "$(wc -c < "$1")" ]
}

# show FILE: a file's text as UTF-8, at most 20 lines.
show() {
    if [ -L "$1" ]; then
        echo "    symbolic link to $(readlink "$1")"
    elif is_binary "$1"; then
        echo "    binary, $(wc -c < "$1") bytes"
    else
        iconv -f ISO-8859-2 -t UTF-8 "$1" | head -n 20 | sed 's/^/    /'
    fi
}

# show_diff EXPECTED ACTUAL LABEL: the difference of two versions of a file.
show_diff() {
    if [ -L "$1" ] || [ -L "$2" ] || is_binary "$1" || is_binary "$2"; then
        echo "  expected:"
        show "$1"
        echo "  written:"
        show "$2"
        return
    fi
    diff -u --label "expected/$3" --label "written/$3" \
        <(iconv -f ISO-8859-2 -t UTF-8 "$1") <(iconv -f ISO-8859-2 -t UTF-8 "$2") |
        head -n 40
}

# run_case NAME: runs one case; 0 when it wrote what it expects (or, with
# --update, when its expected files could be written).
run_case() {
    local name=$1 dir=$CASES/$1 failed=0 f
    if [ ! -f "$dir/cmd" ]; then
        echo "FAIL $name: no case $dir/cmd"
        return 1
    fi
    tmp=$(mktemp -d) || return 1
    tmp=$(cd "$tmp" && pwd -P)
    mkdir "$tmp/run" "$tmp/inputs" "$tmp/got" "$tmp/got/files"

    if [ -d "$dir/input" ]; then
        cp -a "$dir/input/." "$tmp/run/"
    fi
    if [ -f "$dir/setup" ] && ! in_case "$tmp/run" "$dir/setup" > "$tmp/setup.log" 2>&1; then
        echo "FAIL $name: setup failed"
        sed 's/^/    /' "$tmp/setup.log" | head -n 20
        rm -rf "$tmp"
        return 1
    fi
    cp -a "$tmp/run/." "$tmp/inputs/"

    in_case "$tmp/run" "$dir/cmd" < /dev/null > "$tmp/stdout" 2> "$tmp/stderr"
    echo $? > "$tmp/got/status"
    if [ "$(cat "$tmp/got/status")" -eq 124 ]; then
        echo "FAIL $name: still running after $CASE_TIMEOUT s"
        failed=1
    fi

    {
        printf 's/%s/@BIN@/g\n' "$(sed_escape "$BIN")"
        printf 's/%s/@SCRATCH@/g\n' "$(sed_escape "$tmp/run")"
        # A run without a host name reports for the machine's own node name.
        printf 's/ dla %s\\([ <]\\)/ dla @NODE@\\1/g\n' "$(sed_escape "$NODE")"
        printf 's/\\(http[s]*:\\/\\/\\)%s\\//\\1@NODE@\\//g\n' "$(sed_escape "$NODE")"
        [ -f "$dir/filter" ] && cat "$dir/filter"
    } > "$tmp/normalize.sed"
    normalize "$tmp/stdout" "$tmp/got/stdout"
    normalize "$tmp/stderr" "$tmp/got/stderr"
    while IFS= read -r f; do
        if [ -e "$tmp/inputs/$f" ] || [ -L "$tmp/inputs/$f" ]; then
            same_entry "$tmp/inputs/$f" "$tmp/run/$f" && continue
        fi
        mkdir -p "$(dirname "$tmp/got/files/$f")"
        normalize "$tmp/run/$f" "$tmp/got/files/$f"
    done < <(list_files "$tmp/run")
    while IFS= read -r f; do
        if [ ! -e "$tmp/run/$f" ] && [ ! -L "$tmp/run/$f" ]; then
            echo "FAIL $name: the run removed its input $f"
            failed=1
        fi
    done < <(list_files "$tmp/inputs")

    local differs=0 expected=$dir/expected
    while IFS= read -r f; do
        if [ ! -e "$expected/$f" ] && [ ! -L "$expected/$f" ]; then
            differs=1
            [ $update -eq 1 ] && continue
            echo "FAIL $name: $f was written and is not expected"
            show "$tmp/got/$f"
        elif [ ! -e "$tmp/got/$f" ] && [ ! -L "$tmp/got/$f" ]; then
            differs=1
            [ $update -eq 1 ] && continue
            echo "FAIL $name: $f is expected and was not written"
        elif ! same_entry "$expected/$f" "$tmp/got/$f"; then
            differs=1
            [ $update -eq 1 ] && continue
            echo "FAIL $name: $f differs"
            show_diff "$expected/$f" "$tmp/got/$f" "$f"
        fi
    done < <({
        list_files "$tmp/got"
        [ -d "$expected" ] && list_files "$expected"
    } | LC_ALL=C sort -u)

    if [ $update -eq 1 ]; then
        if [ $differs -eq 1 ]; then
            rm -rf "$expected"
            cp -a "$tmp/got" "$expected"
            rmdir "$expected/files" 2> /dev/null
            echo "updated $name"
        fi
    elif [ $differs -eq 1 ]; then
        failed=1
    fi
    rm -rf "$tmp"
    return $failed
}

passed=0
failures=0
for name in "${names[@]}"; do
    if run_case "$name"; then
        passed=$((passed + 1))
    else
        failures=$((failures + 1))
    fi
done
echo "e2e: $passed passed, $failures failed"
[ $failures -eq 0 ]
