# A hand-counted log over two months, with groups, hidden entries, ignored
# and included records and lines out of time order: the dump files prove
# every count.  (The index alias makes /index.html count as /.)
. "$(dirname "$0")/lib.sh"

cat > pl-parvalyte.conf <<'CONF'
DumpSites yes
DumpURLs yes
DumpReferrers yes
DumpAgents yes
DumpUsers yes
DumpSearchStr yes
DumpHeader yes
GroupSite *.lan LAN
GroupURL /docs/* Docs
HideSite pc2.lan
IgnoreSite bot.example
IncludeURL /keep
CONF

line() {  # host user date request status bytes referrer agent
    printf '%s - %s [%s +0000] "%s HTTP/1.0" %s %s "%s" "%s"\n' "$@"
}
{
    line pc1.lan anna 05/Jan/2024:10:00:00 "GET /index.html" 200 1000 - "Mozilla/5.0 (X11)"
    line pc1.lan anna 05/Jan/2024:10:05:00 "GET /logo.gif" 200 2048 http://pc1.lan/index.html "Mozilla/5.0 (X11)"
    line pc2.lan - 05/Jan/2024:10:10:00 "GET /docs/a.html" 200 3072 "https://www.google.com/search?q=Tea+Pot" "Mozilla/5.0 (X11)"
    line bot.example - 05/Jan/2024:10:20:00 "GET /index.html" 200 500 - Bot/1.0
    line bot.example - 05/Jan/2024:10:21:00 "GET /keep" 200 500 - Bot/1.0
    line 10.0.0.1 - 05/Jan/2024:08:00:00 "GET /old.html" 200 100 - "Mozilla/5.0 (X11)"
    line 10.0.0.1 - 05/Jan/2024:09:30:00 "GET /fold.html" 200 100 - "Mozilla/5.0 (X11)"
    line 10.0.0.1 - 06/Jan/2024:12:00:00 "GET /missing.html" 404 200 - "Mozilla/5.0 (X11)"
    line pc1.lan anna 06/Jan/2024:12:30:00 "GET /index.html" 304 - - "Mozilla/5.0 (X11)"
    line pc1.lan - 06/Jan/2024:13:00:00 "GET /big.zip" 206 10240 - Wget/1.21
    line pc1.lan anna 01/Feb/2024:09:00:00 "GET /index.html" 200 1000 - "Mozilla/5.0 (X11)"
    line pc3.lan - 01/Feb/2024:09:10:00 "GET /docs/b.html" 200 1000 "https://www.bing.com/search?q=tea+pot" Wget/1.21
    line pc3.lan - 01/Feb/1989:09:20:00 "GET /" 200 1 - x
    echo "garbage"
} > access.log

tab=$(printf '\t')
t() { printf '%s\n' "$@" | sed "s/|/$tab/g"; }

case_name=two-months
run "$BIN/parvalyte" -q -T access.log
expect_status 0
expect_file out.txt "14 zapisów (2 opuszczono, 2 zły(ch)) w 1 sekund, 14/sec
"
expect_file err.txt "Błąd: Pomijam rekord (błędna data): [01/feb/1989:09:20:00 +0000] [13]
Pomijam błędny zapis (14)
"

case_name=january
expect_file url_202401.tab "$(t 'Wywołania|KB|URL' '2|1|/' '1|10|/big.zip' '1|3|/docs/a.html' \
    '1|0|/fold.html' '1|0|/keep' '1|2|/logo.gif')
"
expect_file site_202401.tab "$(t 'Wywołania|Pliki|KB|Wizyty|Nazwa hosta' '4|3|13|2|pc1.lan' \
    '2|1|0|2|10.0.0.1' '1|1|0|1|bot.example' '1|1|3|1|pc2.lan')
"
expect_file ref_202401.tab "$(t 'Wywołania|Odnośniki' '6|- (Direct Request)' \
    '1|http://pc1.lan/index.html' '1|https://www.google.com/search')
"
expect_file agent_202401.tab "$(t 'Wywołania|Przeglądarka' '6|Mozilla/5.0 (X11)' '1|Bot/1.0' \
    '1|Wget/1.21')
"
expect_file user_202401.tab "$(t 'Wywołania|Pliki|KB|Wizyty|Użytkownik' '3|2|3|2|anna')
"
expect_file search_202401.tab "$(t 'Wywołania|Wyszukiwany ciąg znaków' '1|tea pot')
"

case_name=february
expect_file url_202402.tab "$(t 'Wywołania|KB|URL' '1|1|/' '1|1|/docs/b.html')
"
expect_file site_202402.tab "$(t 'Wywołania|Pliki|KB|Wizyty|Nazwa hosta' '1|1|1|1|pc1.lan' \
    '1|1|1|1|pc3.lan')
"
expect_file ref_202402.tab "$(t 'Wywołania|Odnośniki' '1|- (Direct Request)' \
    '1|https://www.bing.com/search')
"
expect_file search_202402.tab "$(t 'Wywołania|Wyszukiwany ciąg znaków' '1|tea pot')
"

case_name=empty-kind
# A month without users writes no user dump and leaves an older one alone.
printf 'old\n' > user_202403.tab
line h.example - 05/Mar/2024:10:00:00 "GET /a.html" 200 1 - x > march.log
run "$BIN/parvalyte" -q march.log
expect_status 0
expect_file user_202403.tab "old
"
[ -e search_202403.tab ] && fail "empty-kind: a search dump without search strings"

case_name=dump-path
printf 'DumpPath %s\nDumpSites yes\nDumpExtension txt\n' "no/such/dir" > pl-parvalyte.conf
run "$BIN/parvalyte" -q march.log
expect_status 0
expect_file err.txt "Błąd: Nie mogę otworzyć pliku no/such/dir/site_202403.txt!
"
mkdir dumps
ln -s /dev/null dumps/site_202403.txt
printf 'DumpPath dumps\nDumpSites yes\nDumpExtension txt\n' > pl-parvalyte.conf
run "$BIN/parvalyte" -q march.log
expect_file err.txt "Błąd: Nie mogę otworzyć pliku dumps/site_202403.txt (symlink)
"

finish
