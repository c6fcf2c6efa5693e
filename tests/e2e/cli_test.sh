# The command line: usage, version, exit statuses and their messages.
. "$(dirname "$0")/lib.sh"

case_name=version
run "$BIN/parvalyte" -V
expect_status 1
[ "$(head -c 20 out.txt)" = "Parvalyte V2.23-08 (" ] || fail "version: banner"
grep -q "Mod date" out.txt && fail "version: long form without -d"
[ "$(tail -c 2 out.txt | od -An -c | tr -d ' ')" = '\n\n' ] || fail "version: empty last line"

case_name=version-debug
run "$BIN/parvalyte" -d -V
expect_status 1
expect_line out.txt "Mod date: 26-Aug-2013  Options: DNS/Terrabase BZip2 GeoIP "
expect_line out.txt "Default config dir: /usr/local/etc"

case_name=usage
run "$BIN/parvalyte" -h
expect_status 1
[ "$(wc -l < out.txt)" -eq 49 ] || fail "usage: $(wc -l < out.txt) lines"
expect_line out.txt "Użycie: $BIN/parvalyte [opcje] [plik logu]"
expect_line out.txt "-o katalog= katalog używany do zapisu"

case_name=empty-log
: > empty.log
run "$BIN/parvalyte" -n test empty.log
expect_status 1
expect_line out.txt "Nie znalazłem prawidłowych rekordów!"

case_name=comments-only
printf '# one\n# two\n' > comments.log
run "$BIN/parvalyte" -q comments.log
expect_status 1
expect_file out.txt "Nie znalazłem prawidłowych rekordów!
"
expect_file err.txt ""

case_name=silent-no-records
run "$BIN/parvalyte" -Q comments.log
expect_status 1
expect_file out.txt ""

case_name=symlink
record 1 > real.log
ln -s real.log link.log
run "$BIN/parvalyte" link.log
expect_status 9
expect_file err.txt "Błąd: Nie mogę otworzyć pliku logu link.log (symlink)
"
run "$BIN/parvalyte" -Q link.log
expect_status 9
expect_file err.txt ""

case_name=missing-logs
run "$BIN/parvalyte" absent.log.gz
expect_status 2
expect_file err.txt "Błąd: Nie mogę otworzyć pliku logu absent.log.gz (2)
"
run "$BIN/parvalyte" absent.log.bz2
expect_status 2
run "$BIN/parvalyte" absent.log
expect_status 1
expect_file err.txt "Błąd: Nie mogę otworzyć pliku logu absent.log
"

case_name=output-dir
run "$BIN/parvalyte" -o no/such/dir real.log
expect_status 1
expect_file err.txt "Błąd: Nie mogę zmienić katalogu na no/such/dir
"

case_name=resolve-only-needs-a-cache
run "$BIN/parvalookup" real.log
expect_status 1
expect_file err.txt "Nie podano pliku buforującego, przerywam działanie...
"

case_name=progress-lines
mkdir -p report
run "$BIN/parvalyte" -o report -n www.example.org -i real.log
expect_status 0
expect_file err.txt ""
sed 1d out.txt > rest.txt
expect_file rest.txt "Używam pliku logu real.log (clf)
Tworzę wynik w report
Raport tworzony dla hosta 'www.example.org'
Ignoruję poprzednią historię...
Generuję raport dla październik 2000
1 zapisów w 1 sekund, 1/sec
"
run "$BIN/parvalyte" -F squid -n '' real.log
expect_line out.txt "Używam pliku logu real.log (squid)"
expect_line out.txt "Tworzę wynik w bieżącym katalogu"
grep -q "Raport tworzony" out.txt && fail "progress-lines: empty host name announced"

case_name=quiet
run "$BIN/parvalyte" -q real.log
expect_status 0
expect_file out.txt ""
run "$BIN/parvalyte" -q -T real.log
expect_file out.txt "1 zapisów w 1 sekund, 1/sec
"

case_name=config-file
printf 'HostName from.conf\nNoSuchKeyword 1\n' > pl-parvalyte.conf
run "$BIN/parvalyte" real.log
expect_line out.txt "Ostrzeżenie: Błędne słowo kluczowe 'NoSuchKeyword' (pl-parvalyte.conf)"
expect_line out.txt "Raport tworzony dla hosta 'from.conf'"
run "$BIN/parvalyte" -n from.cmdline real.log
expect_line out.txt "Raport tworzony dla hosta 'from.cmdline'"
rm pl-parvalyte.conf

finish
