# Helpers for the end-to-end scripts: each runs the built programs in a
# scratch directory and compares what they print, byte for byte.
# The scripts are called with the build directory as their first argument.
set -u
BIN=$(cd "$1" && pwd)
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 1
export LC_ALL=C TZ=UTC
failures=0

# run CMD...: runs a command, keeping its stdout, stderr and status.
run() {
    "$@" > out.txt 2> err.txt
    status=$?
}

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect_status N: the last run ended with status N.
expect_status() {
    [ "$status" -eq "$1" ] || fail "${case_name:-}: status $status, expected $1"
}

# latin2 TEXT: the text (written as UTF-8) in the program's ISO-8859-2 bytes.
latin2() {
    printf '%s' "$1" | iconv -f UTF-8 -t ISO-8859-2
}

# expect_file FILE TEXT: the file holds exactly the text (UTF-8 here, ISO-8859-2 there).
expect_file() {
    if ! cmp -s "$1" <(latin2 "$2"); then
        fail "${case_name:-}: $1 differs"
        diff <(printf '%s' "$2") <(iconv -f ISO-8859-2 -t UTF-8 "$1") | head -20
    fi
}

# expect_line FILE TEXT: some line of the file is exactly the text.
expect_line() {
    grep -qxF -- "$(latin2 "$2")" "$1" || {
        fail "${case_name:-}: no line '$2' in $1"
        iconv -f ISO-8859-2 -t UTF-8 "$1" | head -20
    }
}

finish() {
    [ "$failures" -eq 0 ] && echo "all passed"
    exit $((failures > 0))
}

# A valid combined record at the given day of October 2000.
record() {
    printf '10.0.0.%d - - [%02d/Oct/2000:13:55:36 -0700] "GET /a.html HTTP/1.0" 200 2326 "-" "Mozilla/5.0"\n' "$1" "$1"
}
