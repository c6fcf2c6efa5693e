#!/bin/bash
# parva_terrabase on small range lists: the tables it writes proved with
# Berkeley DB's own verify and dump tools and looked up the way the analyzer
# does (first key at or above the address); bad lists and symbolic links
# refused without leaving or touching any table.
#
#   terrabase_tool_test.sh TOOLS_BUILD_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)/parva_terrabase
[ -x "$BIN" ] || {
    echo "no $BIN" >&2
    exit 2
}
for tool in db5.3_verify db5.3_dump perl; do
    command -v $tool > /dev/null || {
        echo "$tool is missing (tools/setup.sh installs it)" >&2
        exit 2
    }
done
perl -MDB_File -e 1 || {
    echo "perl's DB_File is missing" >&2
    exit 2
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
export LC_ALL=C
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

passed=0
failed=0
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*"
}
ok() { passed=$((passed + 1)); }

# run ARGS...: the tool's status in rc, its output in got.out and got.err.
run() {
    rc=0
    "$BIN" "$@" > got.out 2> got.err || rc=$?
}
# dumped HEX...: db5.3_dump -p's lines for these keys and data, given in hex.
dumped() {
    perl -e 'for (@ARGV) { print " ", join("", map { my $n = hex; $n >= 0x20 && $n < 0x7f && $n != 0x5c ? chr $n : sprintf "\\%02x", $n } /../g), "\n" }' "$@"
}
# records FILE: the key and data lines of the file's dump.
records() { { db5.3_dump -p "$1" || echo "no dump of $1"; } | sed '1,/^HEADER=END$/d;/^DATA=END$/d'; }
# lookup FILE ADDRESS...: for each address, the first two data bytes of the
# first record at or above it, IPv4 and ::ffff:a.b.c.d taken as ::a.b.c.d, or
# "none" past the last record.
lookup() {
    perl -MDB_File -MFcntl -MSocket=inet_pton,AF_INET,AF_INET6 -e '
        my $file = shift;
        tie my %h, "DB_File", $file, O_RDONLY, 0644, $DB_BTREE or die "$file: $!";
        my $db = tied %h;
        for my $text (@ARGV) {
            my $k = $text =~ /:/ ? inet_pton(AF_INET6, $text) : "\0" x 12 . inet_pton(AF_INET, $text);
            substr($k, 10, 2) = "\0\0" if substr($k, 0, 12) eq "\0" x 10 . "\xff\xff";
            my $v;
            print $db->seq($k, $v, R_CURSOR) == 0 ? substr($v, 0, 2) : "none", "\n";
        }' "$@"
}
sound() { db5.3_verify -q "$1" && db5.3_dump "$1" | grep -qx 'type=btree'; }

# ---- a list of IPv4 and IPv6 ranges with gaps, blanks, a CR and a mapped range
{
    printf '# first,last,cc\n'
    printf '1.0.0.0,1.0.0.255,AU\n'
    printf '  1.0.1.0 ,\t1.0.3.255 , cn \r\n'
    printf '\n'
    printf '1.0.8.0,1.0.15.255,CN\n'
    printf '::ffff:1.0.16.0,::ffff:1.0.16.255,Jp\n'
    printf '2001:200::,2001:200:ffff:ffff:ffff:ffff:ffff:ffff,JP\n'
    printf '2001:DB8::,2001:db8::ff,pl'
} > list.txt
z12=000000000000000000000000
run -v 'test list 2024-03' list.txt table
[ $rc -eq 0 ] && [ "$(cat got.out)" = "6 ranges, 4 gaps written to table" ] && [ ! -s got.err ] &&
    [ ! -e table.new ] && ok || fail "list: status $rc, $(cat got.out got.err)"
sound table && ok || fail "list: no sound B-tree"
dumped $z12'00000000' 2d2d00$(printf 'test list 2024-03' | od -An -v -tx1 | tr -d ' \n') \
    $z12'00ffffff' 2d2d00 $z12'010000ff' 617500 $z12'010003ff' 636e00 \
    $z12'010007ff' 2d2d00 $z12'01000fff' 636e00 $z12'010010ff' 6a7000 \
    200101ffffffffffffffffffffffffff 2d2d00 20010200ffffffffffffffffffffffff 6a7000 \
    20010db7ffffffffffffffffffffffff 2d2d00 20010db80000000000000000000000ff 706c00 > want.dump
records table > got.dump
cmp -s want.dump got.dump && ok || {
    fail "list: records as dumped"
    diff want.dump got.dump || true
}
# Each range's edges, the gaps below, between and after them, and the two
# forms of an IPv4 address.
lookup table :: 0.0.0.1 0.255.255.255 1.0.0.0 1.0.0.255 1.0.1.0 1.0.3.255 1.0.4.0 1.0.7.255 \
    1.0.8.0 1.0.16.0 ::ffff:1.0.16.200 1.0.16.255 1.0.17.0 255.255.255.255 2001:1ff:: \
    2001:200:: 2001:200:abcd::1 2001:201:: 2001:db8:: 2001:db8::ff 2001:db8::100 > got.look || true
printf '%s\n' -- -- -- au au cn cn -- -- cn jp jp jp -- -- -- jp jp -- pl pl none > want.look
cmp -s want.look got.look && ok || {
    fail "list: look-ups"
    diff want.look got.look || true
}

# ---- standard input, the default version, and the low edge: the all-zero key
# holds the version, so neither the range of ::0 alone nor a gap below 0.0.0.1
# may take it.
run - low < <(printf '0.0.0.0,0.0.0.0,us\n0.0.0.1,0.0.0.1,US\n0.0.0.3,0.0.0.3,us\n')
[ $rc -eq 0 ] && [ "$(cat got.out)" = "2 ranges, 1 gaps written to low" ] &&
    grep -q '^parva_terrabase: (standard input):1: ' got.err && ok || fail "low: status $rc, $(cat got.out got.err)"
dumped $z12'00000000' 2d2d00$(printf unversioned | od -An -v -tx1 | tr -d ' \n') \
    $z12'00000001' 757300 $z12'00000002' 2d2d00 $z12'00000003' 757300 > want.dump
records low > got.dump
sound low && cmp -s want.dump got.dump && ok || {
    fail "low: records as dumped"
    diff want.dump got.dump || true
}
run - one < <(printf '::1,::5,de\n')
dumped $z12'00000000' 2d2d00$(printf unversioned | od -An -v -tx1 | tr -d ' \n') $z12'00000005' 646500 > want.dump
records one > got.dump
[ $rc -eq 0 ] && cmp -s want.dump got.dump && ok || fail "a range from ::1 has no gap record"

# ---- bad lists: status 1, the line named, no table written, the old one kept
cp table kept || touch kept
# refused NAME LINE TEXT: list.bad, whose line LINE is wrong, is refused with TEXT.
refused() {
    run list.bad table
    if [ $rc -eq 1 ] && grep -qF "parva_terrabase: list.bad:$2: $3" got.err && [ ! -s got.out ] &&
        [ ! -e table.new ] && cmp -s kept table; then
        ok
    else
        fail "$1: status $rc, $(cat got.err)"
    fi
}
good=$'1.0.0.0,1.0.0.255,AU\n1.0.1.0,1.0.1.255,CN\n'
printf '%s1.0.0.128,1.0.0.200,AU\n' "$good" > list.bad
refused unsorted 3 'range overlaps or precedes the one before (line 2)'
printf '%s1.0.1.255,1.0.2.0,AU\n' "$good" > list.bad
refused overlapping 3 'range overlaps or precedes the one before (line 2)'
printf '2001:db8::,2001:db8::ff,PL\n\n1.0.0.0,1.0.0.255,AU\n' > list.bad
refused ipv4-after-ipv6 3 'range overlaps or precedes the one before (line 1)'
printf '%s1.0.3.0,1.0.2.0,AU\n' "$good" > list.bad
refused first-above-last 3 'first address above the last'
printf '%s1.0.2.0,1.0.2.256,AU\n' "$good" > list.bad
refused bad-ipv4 3 "not an address: '1.0.2.256'"
printf '%s2001:db8:::1,2001:db8::ff,PL\n' "$good" > list.bad
refused bad-ipv6 3 "not an address: '2001:db8:::1'"
printf '%s,1.0.2.255,AU\n' "$good" > list.bad
refused empty-address 3 "not an address: ''"
printf '1.0.2.0\0junk,1.0.2.255,AU\n' > list.bad
refused nul-in-address 1 "not an address: '1.0.2.0\\x00junk'"
printf '%s1.0.2.0,1.0.2.255\033]0;x\a,AU\n' "$good" > list.bad
refused control-bytes-shown-escaped 3 "not an address: '1.0.2.255\\x1b]0;x\\x07'"
for code in A1 AUS A '' '-'; do
    printf '%s1.0.2.0,1.0.2.255,%s\n' "$good" "$code" > list.bad
    refused "code '$code'" 3 'country code must be two letters'
done
printf '%s1.0.2.0,2001:db8::,AU\n' "$good" > list.bad
refused mixed-families 3 'first and last address are of different families'
printf '%s::ffff:255.255.255.255,2001:db8::,AU\n' "$good" > list.bad
refused mapped-to-ipv6 3 'first and last address are of different families'
for line in '1.0.2.0,1.0.2.255' '1.0.2.0,1.0.2.255,AU,extra' '1.0.2.0 1.0.2.255 AU'; do
    printf '%s%s\n' "$good" "$line" > list.bad
    refused "fields '$line'" 3 'expected first,last,cc'
done
{
    printf '%s' "$good"
    head -c 70000 /dev/zero | tr '\0' 9
    printf ',1.0.2.255,AU\n'
} > list.bad
refused long-line 3 'line too long'
run - table < <(printf '1.0.0.0,1.0.0.255,AU\n1.0.0.0,1.0.0.255,AU\n')
[ $rc -eq 1 ] && grep -qF 'parva_terrabase: (standard input):2: range overlaps' got.err &&
    [ ! -e table.new ] && cmp -s kept table && ok || fail "bad standard input: status $rc, $(cat got.err)"
printf '%s1.0.0.0,1.0.0.255,AU\n' "$good" > list.bad
run list.bad fresh
[ $rc -eq 1 ] && [ ! -e fresh ] && [ ! -e fresh.new ] && ok || fail "a refused list leaves no table"
run missing.txt fresh
[ $rc -eq 1 ] && grep -qF 'missing.txt' got.err && [ ! -e fresh ] && ok || fail "missing input: status $rc"
# A long comment is passed over whole: its tail is no line of its own.
{
    printf '#'
    head -c 100000 /dev/zero | tr '\0' x
    printf ',1.0.0.0,1.0.0.255,AU\n%s' "$good"
} > list.long
run list.long fresh
[ $rc -eq 0 ] && [ "$(cat got.out)" = "2 ranges, 1 gaps written to fresh" ] && ok || fail "long comment: status $rc, $(cat got.err)"

# ---- symbolic links: never written through, never replaced
printf 'precious\n' > victim
ln -s victim link
run list.txt link
[ $rc -eq 1 ] && grep -qF 'link' got.err && [ "$(cat victim)" = precious ] && [ -L link ] &&
    [ ! -e link.new ] && ok || fail "a link at OUTPUT: status $rc"
ln -s nowhere dangling
run list.txt dangling
[ $rc -eq 1 ] && [ ! -e nowhere ] && [ -L dangling ] && ok || fail "a dangling link at OUTPUT: status $rc"
ln -s victim table.new
run list.txt table
[ $rc -eq 1 ] && [ "$(cat victim)" = precious ] && [ -L table.new ] && cmp -s kept table && ok ||
    fail "a link at OUTPUT.new: status $rc"
rm table.new
# A regular .new is what a killed run leaves: it goes, and the table is built.
printf 'half a table\n' > table.new
run -v 'test list 2024-03' list.txt table
records table > got.dump
records kept > want.dump
[ $rc -eq 0 ] && [ ! -e table.new ] && cmp -s want.dump got.dump && ok || fail "a stale OUTPUT.new: status $rc"
mkdir dir.new
run list.txt dir
[ $rc -eq 1 ] && [ -d dir.new ] && [ ! -e dir ] && ok || fail "a directory at OUTPUT.new: status $rc"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
