# Helpers that every case's setup and cmd script can use.  The runner sources
# this file first, in the case's scratch directory, with BIN (the build
# directory) and E2E (this directory) set.

# step NAME CMD...: one command of a case that runs the programs more than
# once; its stdout, stderr and exit status go to NAME.out, NAME.err and
# NAME.status in the scratch directory, where the runner compares them.
step() {
    local name=$1
    shift
    "$@" > "$name.out" 2> "$name.err"
    echo $? > "$name.status"
}

# record DAY: a valid combined record at that day of October 2000, from host 10.0.0.DAY.
record() {
    printf '10.0.0.%d - - [%02d/Oct/2000:13:55:36 -0700] "GET /a.html HTTP/1.0" 200 2326 "-" "Mozilla/5.0"\n' "$1" "$1"
}

# clf_line HOST USER DATE REQUEST STATUS BYTES REFERRER AGENT: one combined record in +0000.
clf_line() {
    printf '%s - %s [%s +0000] "%s HTTP/1.0" %s %s "%s" "%s"\n' "$@"
}
