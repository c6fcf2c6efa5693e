#include "common/catalog.hpp"

#include "common/latin2.hpp"

namespace msg {

const char* const cant_open_log = "Błąd: Nie mogę otworzyć pliku logu"_pl;
const char* const oversized_record = "Błąd: Pomijam zbyt duży zapis logu"_pl;
const char* const cut_host = "Ostrzeżenie: Obcinam, przekroczona wielkość nazwy hosta"_pl;
const char* const cut_user = "Ostrzeżenie: Obcinam, przekroczona długość nazwy użytkownika"_pl;
const char* const cut_date = "Ostrzeżenie: Obcinam, przekroczona wielkość pola daty"_pl;
const char* const cut_request = "Ostrzeżenie: Obcinam, przekroczona wielkość pola żądania"_pl;
const char* const cut_referrer = "Ostrzeżenie: Obcinam, przekroczona wielkość pola odnośnika"_pl;

const char* const string_too_long = "Ostrzeżenie: Napis przekracza dopuszczalną wielkość"_pl;
const char* const cant_open_config = "Błąd: Nie mogę otworzyć pliku konfiguracyjnego"_pl;
const char* const bad_keyword = "Ostrzeżenie: Błędne słowo kluczowe"_pl;

const char* const usage = "Użycie"_pl;
const char* const usage_arguments = "[opcje] [plik logu]"_pl;

// In the order of the usage text; -M and -Z have no line.
const char* const help_lines[] = {
    "-h        = wyświetla te informacje"_pl,
    "-V        = wyświetla informacje o wersji"_pl,
    "-v        = be verbose"_pl,
    "-d        = wyświetla dodatkowe informacje"_pl,
    "-F typ    = typ logu.  typ= (clf | ftp | squid | w3c)"_pl,
    "-f        = zignoruj błędy czasu kolejnych wywołań"_pl,
    "-i        = pomija plik historii"_pl,
    "-p        = zachowuje stan (przyrostowy)"_pl,
    "-b        = ignore state (incremental)"_pl,
    "-q        = wyłącza komunikaty informacyjne"_pl,
    "-Q        = wyłącza wszystkie komunikaty"_pl,
    "-Y        = wyłącza wykres krajów"_pl,
    "-G        = wyłącza wykres godzinny"_pl,
    "-H        = wyłącza statystykę godzinną"_pl,
    "-L        = wyłącza kolorowe słupki ledendy"_pl,
    "-l num    = włącza num linii w tle wykresów"_pl,
    "-m num    = czas pojedynczej wizyty (seconds)"_pl,
    "-T        = wyświetla informacje czasowe"_pl,
    "-c plik   = używa pliku konfiguracyjnego 'plik'"_pl,
    "-n nazwa  = używana nazwa hosta"_pl,
    "-o katalog= katalog używany do zapisu"_pl,
    "-t nazwa  = tytuł 'nazwa' dla raportu"_pl,
    "-a nazwa  = ukrywa program klienta 'nazwa'"_pl,
    "-r nazwa  = ukrywa odnośnik 'nazwa'"_pl,
    "-s nazwa  = ukrywa lokalizację 'nazwa'"_pl,
    "-u nazwa  = ukrywa URL 'nazwa'"_pl,
    "-x nazwa  = stosuje pliki o rozszerzeniu 'nazwa'"_pl,
    "-O nazwa  = Omit page 'nazwa'"_pl,
    "-P nazwa  = strony o rozszerzeniu 'nazwa'"_pl,
    "-I nazwa  = inna nazwa plików index.*: 'nazwa'"_pl,
    "-K num    = num months in summary table"_pl,
    "-k num    = num months in summary graph"_pl,
    "-A num    = wyświetla num najczęstszych przeglądarek"_pl,
    "-C num    = wyświetla num najczęstszych krajów"_pl,
    "-R num    = wyświetla num najczęstszych odnośników"_pl,
    "-S num    = wyświetla num najczęstszych lokalizacji"_pl,
    "-U num    = wyświetla num najczęstszych URLi"_pl,
    "-e num    = wyświetla num najczęstszych stron wejściowych"_pl,
    "-E num    = wyświetla num najczęstszych stron wyjściowych"_pl,
    "-g num    = grupuj domeny do poziomu 'num'"_pl,
    "-X        = ukryj pojedyncze lokalizacje"_pl,
    "-z dir    = Use country flags in 'dir'"_pl,
    "-D nazwa  = używaj pliku buforującego DNS 'nazwa'"_pl,
    "-N num    = liczba procesów DNS (0=wyłącz)"_pl,
    "-j        = Enable native Terrabase lookups"_pl,
    "-J nazwa  = Use Terrabase database 'nazwa'"_pl,
    "-w        = Enable GeoIP lookups"_pl,
    "-W nazwa  = Use GeoIP database 'nazwa'"_pl,
};
const std::size_t help_line_count = sizeof help_lines / sizeof help_lines[0];

const char* const using_log = "Używam pliku logu"_pl;
const char* const cant_change_dir = "Błąd: Nie mogę zmienić katalogu na"_pl;
const char* const no_dns_cache = "Nie podano pliku buforującego, przerywam działanie..."_pl;
const char* const dns_searching = "Przeszukuję DNS"_pl;
const char* const using_dns_cache = "Wykorzystuję plik buforujący DNS"_pl;
const char* const writing_output_in = "Tworzę wynik w"_pl;
const char* const current_directory = "bieżącym katalogu"_pl;
const char* const report_for_host = "Raport tworzony dla hosta"_pl;
const char* const ignoring_history = "Ignoruję poprzednią historię..."_pl;
const char* const cant_read_state = "Błąd: Nie mogę odczytać danych z poprzedniego uruchomienia"_pl;
const char* const cant_write_state = "Błąd: Nie mogę zapisać danych z bieżącego uruchomienia"_pl;
const char* const no_memory_top_countries =
    "Nie mogę przydzielić pamięci, najczęstsze kraje anulowane!"_pl;
const char* const no_valid_records = "Nie znalazłem prawidłowych rekordów!"_pl;
const char* const reading_word = "Czytam:"_pl;
const char* const records_word = "zapisów"_pl;
const char* const bad_word = "zły(ch)"_pl;
const char* const ignored_word = "opuszczono"_pl;
const char* const in_word = "w"_pl;
const char* const seconds_word = "sekund"_pl;

const char* const skipping_netscape_header = "Pomijam nagłówek rekordu Netscepe'a"_pl;
const char* const skipping_bad_record = "Pomijam błędny zapis"_pl;
const char* const skipping_bad_date = "Błąd: Pomijam rekord (błędna data)"_pl;

const char* const cant_add_url = "Błąd w trakcie dodawania kolejnego URLa, pomijam"_pl;
const char* const cant_add_user = "Błąd w trakcie dodawania kolejnego użytkownika, pomijam"_pl;
const char* const cant_add_referrer = "Błąd w trakcie dodawania kolejnego odnośnika, pomijam"_pl;
const char* const cant_add_daily_host =
    "Błąd w trakcie dodawania kolejnego hosta (dzienne), pomijam"_pl;
const char* const cant_add_monthly_host =
    "Błąd w trakcie dodawania kolejnego hosta (miesięczne), pomijam"_pl;
const char* const cant_add_agent = "Błąd w trakcie dodawania kolejnego przeglądarki, pomijam"_pl;
const char* const cant_add_search =
    "Błąd w trakcie dodawania kolejnego szukanego słowa, pomijam"_pl;

const char* const generating_report = "Generuję raport dla"_pl;
const char* const daily_chart_title = "Raport Dzienny - "_pl;
const char* const hourly_chart_title = "Raport Godzinowy - "_pl;
const char* const cant_open_file = "Błąd: Nie mogę otworzyć pliku"_pl;
const char* const cant_write_file = "Błąd: Nie mogę zapisać pliku"_pl;
const char* const no_memory_top_urls =
    "Nie mogę przydzielić pamięci, najczęstsze URLe anulowane!"_pl;
const char* const no_memory_top_sites =
    "Nie mogę przydzielić pamięci, najczęstsze lokalizacje anulowane!"_pl;
const char* const no_memory_top_referrers =
    "Nie mogę przydzielić pamięci, najczęstsze odnośniki anulowane!"_pl;
const char* const no_memory_top_search =
    "Nie mogę przydzielić pamięci, najczęściej szukane słowa anulowane!"_pl;
const char* const no_memory_top_users =
    "Nie mogę przydzielić pamięci, najczęstsze połączenia użytkowników anulowane!"_pl;
const char* const no_memory_top_agents =
    "Nie mogę przydzielić pamięci, najczęściej używane przeglądarki anulowane!"_pl;
const char* const hits_heading = "Wywołania"_pl;
const char* const files_heading = "Pliki"_pl;
const char* const kb_heading = "KB"_pl;
const char* const visits_heading = "Wizyty"_pl;
const char* const host_heading = "Nazwa hosta"_pl;
const char* const url_heading = "URL"_pl;
const char* const referrers_heading = "Odnośniki"_pl;
const char* const agent_heading = "Przeglądarka"_pl;
const char* const user_heading = "Użytkownik"_pl;
const char* const search_heading = "Wyszukiwany ciąg znaków"_pl;

const char* const top_first = "Pierwsze"_pl;
const char* const top_of_total = "z ogólnej liczby"_pl;
const char* const top_ranked_by = "uszeregowane wg"_pl;
const char* const top_sites_noun = "lokalizacji"_pl;
const char* const top_urls_noun = "URLi"_pl;
const char* const top_entry_noun = "stron wejściowych"_pl;
const char* const top_exit_noun = "stron wyjściowych"_pl;
const char* const top_referrers_noun = "odnośników"_pl;
const char* const top_search_noun = "szukanych ciągów znaków"_pl;
const char* const top_users_noun = "użytkowników"_pl;
const char* const top_agents_noun = "przeglądarek"_pl;
const char* const view_all_sites = "Podgląd wszystkich lokalizacji"_pl;
const char* const view_all_urls = "Podgląd wszystkich URL'i"_pl;
const char* const view_all_referrers = "Podgląd wszystkich odnośników"_pl;
const char* const view_all_search = "Podgląd wszystkich ciągów znaków"_pl;
const char* const view_all_users = "Podgląd wszystkich użytkowników"_pl;
const char* const view_all_agents = "Podgląd wszystkich przeglądarek"_pl;

const char* const daily_stats_link = "Statystyki dzienne"_pl;
const char* const hourly_stats_link = "Statystyki godzinne"_pl;
const char* const urls_link = "URL'e"_pl;
const char* const entry_link = "Wejścia"_pl;
const char* const exit_link = "Wyjścia"_pl;
const char* const search_link = "Poszukiwane"_pl;
const char* const users_link = "Użytkownicy"_pl;
const char* const agents_link = "Przeglądarki"_pl;
const char* const countries_link = "Kraje"_pl;
const char* const sites_heading = "Lokalizacje"_pl;
const char* const pages_heading = "Strony"_pl;
const char* const all_word = "Wszystkie"_pl;
const char* const average_word = "Średnio"_pl;
const char* const maximum_word = "Maks."_pl;
const char* const month_statistics = "Statystyka w miesiącu:"_pl;
const char* const total_hits = "Całkowita liczba wywołań"_pl;
const char* const total_files = "Całkowita liczba plików"_pl;
const char* const total_kb = "Całkowita liczba KB"_pl;
const char* const total_sites = "Całkowita liczba unikalnych lokalizacji"_pl;
const char* const total_urls = "Całkowita liczba unikalnych URLi"_pl;
const char* const total_referrers = "Całkowita liczba unikalnych odnośników"_pl;
const char* const total_users = "Całkowita liczba unikalnych użytkowników"_pl;
const char* const total_agents = "Całkowita liczba unikalnych przeglądarek"_pl;
const char* const hits_per_hour = "Wywołań na godzinę"_pl;
const char* const hits_per_day = "Wywołań dziennie"_pl;
const char* const files_per_day = "Plików dziennie"_pl;
const char* const pages_per_day = "Stron dziennie"_pl;
const char* const sites_per_day = "Lokalizacji dziennie"_pl;
const char* const visits_per_day = "Wizyt dziennie"_pl;
const char* const kb_per_day = "Kilobajtów dziennie"_pl;
const char* const hits_by_response = "Wywołania według kodu odpowiedzi"_pl;
const char* const daily_statistics = "Dzienne statystyki - "_pl;
const char* const day_heading = "Dzień"_pl;
const char* const hourly_statistics = "Godzinowe statystyki - "_pl;
const char* const hour_heading = "Godzina"_pl;

const char* const period_shown = "Prezentowany okres"_pl;
const char* const generated_at = "Wygenerowano"_pl;
const char* const month_summary = "Sumarycznie w miesiącu:"_pl;

const char* const generating_summary = "Generuję raport sumaryczny"_pl;
const char* const summary_title = "Raport sumaryczny"_pl;
const char* const month_heading = "Miesiąc"_pl;
const char* const daily_average = "Średnio dziennie"_pl;
const char* const month_totals = "Ogólnie w miesiącu: "_pl;
const char* const grand_total = "Suma"_pl;

const char* const no_history = "Nie znalazłem pliku historii..."_pl;
const char* const reading_history = "Czytam plik historii..."_pl;
const char* const bad_history_line = "Błąd: Pomijam błędny zapis historii"_pl;
const char* const cant_write_history = "Błąd: Nie mogę zapisać pliku historii"_pl;
const char* const saving_history = "Zapisuję informację historii..."_pl;

const char* const saving_state = "Zapisuję dane z bieżącego uruchomienia..."_pl;
const char* const no_state = "Nie znalazłem danych z poprzedniego uruchomienia..."_pl;
const char* const reading_state = "Czytam dane z poprzedniego uruchomienia..."_pl;

const char* const other_slice = "Inne"_pl;

const char* const error_opening_file = "Error opening file"_pl;
const char* const lookups_disabled = "lookups disabled"_pl;
const char* const using_word = "Using"_pl;
const char* const country_chart_title = "Odwołania wg krajów - "_pl;
const char* const countries_noun = "krajów"_pl;
const char* const country_heading = "Kraj"_pl;

const char* const cant_open_dns_cache = "Błąd: Nie mogę otworzyć pliku buforującego DNS"_pl;
const char* const cant_lock_dns_cache = "Błąd: Nie mogę zablokować pliku buforującego DNS"_pl;
const char* const no_addresses = "Brak adresów IP do przetworzenia"_pl;
const char* const addresses_word = "adres(ów)"_pl;

const char* const default_report_title = "Statystyki serwera dla"_pl;

const char* const month_name[13] = {
    ""_pl,         "styczeń"_pl, "luty"_pl,     "marzec"_pl,   "kwiecień"_pl,    "maj"_pl,
    "czerwiec"_pl, "lipiec"_pl,  "sierpień"_pl, "wrzesień"_pl, "październik"_pl, "listopad"_pl,
    "grudzień"_pl,
};
const char* const month_short[13] = {
    ""_pl,    "Sty"_pl, "Lut"_pl, "Mar"_pl, "Kwi"_pl, "Maj"_pl, "Cze"_pl,
    "Lip"_pl, "Sie"_pl, "Wrz"_pl, "Paź"_pl, "Lis"_pl, "Gru"_pl,
};

const char* const response_description[41] = {
    "Niezdefiniowany kod odpowiedzi"_pl,
    "Code 100 - Kontynuuj"_pl,
    "Code 101 - Zmieniam protokoły"_pl,
    "Code 200 - OK"_pl,
    "Code 201 - Utworzono"_pl,
    "Code 202 - Zaakceptowano"_pl,
    "Code 203 - Niewiarygodna informacja"_pl,
    "Code 204 - Brak zawartości"_pl,
    "Code 205 - Kasuję zawartość"_pl,
    "Code 206 - Częściowa zawartość"_pl,
    "Code 300 - Wielokrotny wybór"_pl,
    "Code 301 - Przeniesiono na stałe"_pl,
    "Code 302 - Przeniesiono tymczasowo"_pl,
    "Code 303 - Zobacz inne"_pl,
    "Code 304 - Niezmodyfikowany"_pl,
    "Code 305 - Użyj proxy"_pl,
    "Code 307 - Tymczasowe przekierowanie"_pl,
    "Code 400 - Błędne żądanie"_pl,
    "Code 401 - Nieautoryzowany"_pl,
    "Code 402 - Żądana zapłata"_pl,
    "Code 403 - Zakazane"_pl,
    "Code 404 - Nie znaleziono"_pl,
    "Code 405 - Nieuznawana metoda"_pl,
    "Code 406 - Nie akceptowane"_pl,
    "Code 407 - Niezbędna autentykacja przez proxy"_pl,
    "Code 408 - Czas zapytania minął"_pl,
    "Code 409 - Konflikt"_pl,
    "Code 410 - Już niedostępne"_pl,
    "Code 411 - Wymagana długość"_pl,
    "Code 412 - Warunki niespełnione"_pl,
    "Code 413 - Zapytanie za duże"_pl,
    "Code 414 - Zapytanie URI za długie"_pl,
    "Code 415 - Nieobsługiwany typ nośnika"_pl,
    "Code 416 - Zapytanie-Zakres niedostępny"_pl,
    "Code 417 - Warunek niespełniony"_pl,
    "Code 500 - Wewnętrzny błąd serwera"_pl,
    "Code 501 - Niezaimplementowane"_pl,
    "Code 502 - Zła brama"_pl,
    "Code 503 - Serwis niedostępny"_pl,
    "Code 504 - Upłynął czas bramkowania"_pl,
    "Code 505 - Nieobsługiwana wersja HTTP"_pl,
};

// Descriptions of the 280 country rows, in row order.
const char* const country_description[280] = {
    "Nieznany"_pl,
    "Komercyjna (com)"_pl,
    "Edukacyjna (edu)"_pl,
    "Rządowa USA (gov)"_pl,
    "Międzynarodowa (int)"_pl,
    "Wojskowa USA (mil)"_pl,
    "Sieć (net)"_pl,
    "Organizacja niekomercyjna (org)"_pl,
    "Generic Business (biz)"_pl,
    "Catalan Community (cat)"_pl,
    "Professional (pro)"_pl,
    "Ind. Contact Data (tel)"_pl,
    "Air Transport Industry (aero)"_pl,
    "Asia Pacific Community (asia)"_pl,
    "Cooperative Association (coop)"_pl,
    "Generic TLD (info)"_pl,
    "Human Resources (jobs)"_pl,
    "Generic Mobile TLD (mobi)"_pl,
    "Individual (name)"_pl,
    "Stara Arpanet (arpa)"_pl,
    "Sieć NATO"_pl,
    "Museums (museum)"_pl,
    "Travel Ind. (travel)"_pl,
    "Wyspa Wniebowstąpienia"_pl,
    "Andora"_pl,
    "Zjednoczone Emiraty Arabskie"_pl,
    "Afganistan"_pl,
    "Antigua i Barbuda"_pl,
    "Anguilla"_pl,
    "Albania"_pl,
    "Armenia"_pl,
    "Antyle Holenderskie"_pl,
    "Angola"_pl,
    "Antarktyda"_pl,
    "Argentyna"_pl,
    "Samoa Amerykańskie"_pl,
    "Austria"_pl,
    "Australia"_pl,
    "Aruba"_pl,
    "Wyspy Alandzkie"_pl,
    "Azerbejdżan"_pl,
    "Bośnia i Hercegowina"_pl,
    "Barbados"_pl,
    "Bangladesz"_pl,
    "Belgia"_pl,
    "Burkina Faso"_pl,
    "Bułgaria"_pl,
    "Bahrajn"_pl,
    "Burundi"_pl,
    "Benin"_pl,
    "Saint-Barthélemy"_pl,
    "Bermudy"_pl,
    "Brunei"_pl,
    "Boliwia"_pl,
    "Brazylia"_pl,
    "Bahamy"_pl,
    "Bhutan"_pl,
    "Wyspa Bouveta"_pl,
    "Botswana"_pl,
    "Białoruś"_pl,
    "Belize"_pl,
    "Kanada"_pl,
    "Wyspy Kokosowe"_pl,
    "Demokratyczna Republika Konga"_pl,
    "Republika Środkowoafrykańska"_pl,
    "Kongo"_pl,
    "Szwajcaria"_pl,
    "Wybrzeże Kości Słoniowej"_pl,
    "Wyspy Cooka"_pl,
    "Chile"_pl,
    "Kamerun"_pl,
    "Chiny"_pl,
    "Kolumbia"_pl,
    "Kostaryka"_pl,
    "Kuba"_pl,
    "Republika Zielonego Przylądka"_pl,
    "Wyspa Bożego Narodzenia"_pl,
    "Cypr"_pl,
    "Czechy"_pl,
    "Niemcy"_pl,
    "Dżibuti"_pl,
    "Dania"_pl,
    "Dominika"_pl,
    "Dominikana"_pl,
    "Algieria"_pl,
    "Ekwador"_pl,
    "Estonia"_pl,
    "Egipt"_pl,
    "Sahara Zachodnia"_pl,
    "Erytrea"_pl,
    "Hiszpania"_pl,
    "Etiopia"_pl,
    "European Union"_pl,
    "Finlandia"_pl,
    "Fidżi"_pl,
    "Falklandy"_pl,
    "Mikronezja"_pl,
    "Wyspy Owcze"_pl,
    "Francja"_pl,
    "Gabon"_pl,
    "Wielka Brytania"_pl,
    "Grenada"_pl,
    "Gruzja"_pl,
    "Gujana Francuska"_pl,
    "Guernsey"_pl,
    "Ghana"_pl,
    "Gibraltar"_pl,
    "Grenlandia"_pl,
    "Gambia"_pl,
    "Gwinea"_pl,
    "Gwadelupa"_pl,
    "Gwinea Równikowa"_pl,
    "Grecja"_pl,
    "Georgia Południowa i Sandwich Południowy"_pl,
    "Gwatemala"_pl,
    "Guam"_pl,
    "Gwinea Bissau"_pl,
    "Gujana"_pl,
    "Hongkong"_pl,
    "Wyspy Heard i McDonalda"_pl,
    "Honduras"_pl,
    "Chorwacja"_pl,
    "Haiti"_pl,
    "Węgry"_pl,
    "Indonezja"_pl,
    "Irlandia"_pl,
    "Izrael"_pl,
    "Wyspa Man"_pl,
    "Indie"_pl,
    "Brytyjskie Terytorium Oceanu Indyjskiego"_pl,
    "Irak"_pl,
    "Iran"_pl,
    "Islandia"_pl,
    "Włochy"_pl,
    "Jersey"_pl,
    "Jamajka"_pl,
    "Jordania"_pl,
    "Japonia"_pl,
    "Kenia"_pl,
    "Kirgistan"_pl,
    "Kambodża"_pl,
    "Kiribati"_pl,
    "Komory"_pl,
    "Saint Kitts i Nevis"_pl,
    "Korea Północna"_pl,
    "Korea Południowa"_pl,
    "Kuwejt"_pl,
    "Kajmany"_pl,
    "Kazachstan"_pl,
    "Laos"_pl,
    "Liban"_pl,
    "Saint Lucia"_pl,
    "Liechtenstein"_pl,
    "Sri Lanka"_pl,
    "Liberia"_pl,
    "Lesotho"_pl,
    "Litwa"_pl,
    "Luksemburg"_pl,
    "Łotwa"_pl,
    "Libia"_pl,
    "Maroko"_pl,
    "Monako"_pl,
    "Mołdawia"_pl,
    "Czarnogóra"_pl,
    "Saint-Martin"_pl,
    "Madagaskar"_pl,
    "Wyspy Marshalla"_pl,
    "Macedonia"_pl,
    "Mali"_pl,
    "Mjanma"_pl,
    "Mongolia"_pl,
    "Makau"_pl,
    "Mariany Północne"_pl,
    "Martynika"_pl,
    "Mauretania"_pl,
    "Montserrat"_pl,
    "Malta"_pl,
    "Mauritius"_pl,
    "Malediwy"_pl,
    "Malawi"_pl,
    "Meksyk"_pl,
    "Malezja"_pl,
    "Mozambik"_pl,
    "Namibia"_pl,
    "Nowa Kaledonia"_pl,
    "Niger"_pl,
    "Norfolk"_pl,
    "Nigeria"_pl,
    "Nikaragua"_pl,
    "Holandia"_pl,
    "Norwegia"_pl,
    "Nepal"_pl,
    "Nauru"_pl,
    "Niue"_pl,
    "Nowa Zelandia"_pl,
    "Oman"_pl,
    "Panama"_pl,
    "Peru"_pl,
    "Polinezja Francuska"_pl,
    "Papua-Nowa Gwinea"_pl,
    "Filipiny"_pl,
    "Pakistan"_pl,
    "Polska"_pl,
    "Saint-Pierre i Miquelon"_pl,
    "Pitcairn"_pl,
    "Portoryko"_pl,
    "Palestyna"_pl,
    "Portugalia"_pl,
    "Palau"_pl,
    "Paragwaj"_pl,
    "Katar"_pl,
    "Reunion"_pl,
    "Rumunia"_pl,
    "Serbia"_pl,
    "Rosja"_pl,
    "Rwanda"_pl,
    "Arabia Saudyjska"_pl,
    "Wyspy Salomona"_pl,
    "Seszele"_pl,
    "Sudan"_pl,
    "Szwecja"_pl,
    "Singapur"_pl,
    "Wyspa Świętej Heleny"_pl,
    "Słowenia"_pl,
    "Svalbard i Jan Mayen"_pl,
    "Słowacja"_pl,
    "Sierra Leone"_pl,
    "San Marino"_pl,
    "Senegal"_pl,
    "Somalia"_pl,
    "Surinam"_pl,
    "Wyspy Świętego Tomasza i Książęca"_pl,
    "ZSRR (były)"_pl,
    "Salwador"_pl,
    "Syria"_pl,
    "Suazi"_pl,
    "Turks i Caicos"_pl,
    "Czad"_pl,
    "Francuskie Terytoria Południowe"_pl,
    "Togo"_pl,
    "Tajlandia"_pl,
    "Tadżykistan"_pl,
    "Tokelau"_pl,
    "Timor-Leste"_pl,
    "Turkmenistan"_pl,
    "Tunezja"_pl,
    "Tonga"_pl,
    "Wschodni Timor"_pl,
    "Turcja"_pl,
    "Trynidad i Tobago"_pl,
    "Tuvalu"_pl,
    "Tajwan"_pl,
    "Tanzania"_pl,
    "Ukraina"_pl,
    "Uganda"_pl,
    "Wielka Brytania"_pl,
    "Dalekie Wyspy Mniejsze Stanów Zjednoczonych"_pl,
    "Stany Zjednoczone"_pl,
    "Urugwaj"_pl,
    "Uzbekistan"_pl,
    "Watykan"_pl,
    "Saint Vincent i Grenadyny"_pl,
    "Wenezuela"_pl,
    "Brytyjskie Wyspy Dziewicze"_pl,
    "Wyspy Dziewicze Stanów Zjednoczonych"_pl,
    "Wietnam"_pl,
    "Vanuatu"_pl,
    "Wallis i Futuna"_pl,
    "Samoa"_pl,
    "Jemen"_pl,
    "Majotta"_pl,
    "Jugosławia"_pl,
    "Republika Południowej Afryki"_pl,
    "Zambia"_pl,
    "Zimbabwe"_pl,
    "Anonymous Proxy"_pl,
    "Satellite Provider"_pl,
    "Other"_pl,
    "Asia/Pacific Region"_pl,
    "Local Network (lan)"_pl,
};

}  // namespace msg
