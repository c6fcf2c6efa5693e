# Logs of every kind are read whole and counted: plain, gzip, bzip2, standard input.
. "$(dirname "$0")/lib.sh"

{
    record 1
    record 2
    echo '# a comment'
    echo 'not a record'
    printf '10.0.0.9 - - [09/Oct/1989:13:55:36 -0700] "GET / HTTP/1.0" 200 1\n'
    printf '10.0.0.3 - - [03/Oct/2000:13:55:36 -0700] "GET /x HTTP/1.0" 200 1 "-" "last line"'
} > mixed.log
gzip -c mixed.log > mixed.log.gz
bzip2 -c mixed.log > mixed.log.bz2

expected_err="Pomijam błędny zapis (4)
Błąd: Pomijam rekord (błędna data): [09/oct/1989:13:55:36 -0700] [5]
"
for name in mixed.log mixed.log.gz mixed.log.bz2; do
    case_name=$name
    run "$BIN/parvalyte" -q -T "$name"
    expect_status 0
    expect_file out.txt "6 zapisów (1 opuszczono, 2 zły(ch)) w 1 sekund, 6/sec
"
    expect_file err.txt "$expected_err"
done

case_name=stdin
"$BIN/parvalyte" -q -T - < mixed.log > out.txt 2> err.txt
status=$?
expect_status 0
expect_file out.txt "6 zapisów (1 opuszczono, 2 zły(ch)) w 1 sekund, 6/sec
"
"$BIN/parvalyte" -q -T < mixed.log > out2.txt 2>/dev/null
cmp -s out.txt out2.txt || fail "stdin: no operand means standard input"

case_name=announce-kind
run "$BIN/parvalyte" -n x mixed.log.gz
expect_line out.txt "Używam pliku logu mixed.log.gz (gzip-clf)"
run "$BIN/parvalyte" -n x -F w mixed.log.bz2
expect_line out.txt "Używam pliku logu mixed.log.bz2 (bzip-w3c)"
"$BIN/parvalyte" -n x < mixed.log > out.txt 2>/dev/null
expect_line out.txt "Używam pliku logu STDIN (clf)"

case_name=concatenated-compressed
cat mixed.log.gz mixed.log.gz > twice.log.gz
cat mixed.log.bz2 mixed.log.bz2 > twice.log.bz2
for name in twice.log.gz twice.log.bz2; do
    run "$BIN/parvalyte" -Q -T "$name"
    # The first copy's last line has no newline, so it joins the second copy's
    # first line; the second copy's day-2 record is then too old and skipped.
    expect_file out.txt "11 zapisów (3 opuszczono, 4 zły(ch)) w 1 sekund, 11/sec
"
done

case_name=oversized
{
    printf '10.0.0.1 - - [01/Oct/2000:13:55:36 -0700] "GET /%s HTTP/1.0" 200 1\n' "$(head -c 10000 /dev/zero | tr '\0' x)"
    record 2
} > long.log
run "$BIN/parvalyte" -q -T long.log
expect_status 0
expect_file out.txt "2 zapisów (1 zły(ch)) w 1 sekund, 2/sec
"
expect_file err.txt "Błąd: Pomijam zbyt duży zapis logu
"

finish
