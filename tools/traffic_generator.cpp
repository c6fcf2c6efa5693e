#include "traffic_generator.hpp"

#include <cstdint>

namespace {

// A small fast generator with a fixed sequence on every platform.
class rng {
  public:
    explicit rng(unsigned seed) : state_(0x9E3779B97F4A7C15ULL ^ seed) {}
    std::uint64_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }

  private:
    std::uint64_t state_;
};

const char* const pages[] = {
    "/",
    "/index.html",
    "/about.html",
    "/contact.html",
    "/products/",
    "/products/index.html",
    "/products/kettle.html",
    "/products/teapot.html",
    "/products/mugs.html",
    "/blog/",
    "/blog/2024/03/spring-tea.html",
    "/blog/2024/02/brewing-guide.html",
    "/blog/2024/01/green-or-black.html",
    "/cgi-bin/search.cgi?q=oolong",
    "/cgi-bin/cart.cgi?add=17",
    "/pl/o-nas.html",
    "/docs/manual.htm",
};
const char* const assets[] = {
    "/images/logo.gif",   "/images/banner.jpg", "/images/kettle.png",
    "/images/teapot.png", "/css/site.css",      "/js/site.js",
    "/favicon.ico",       "/images/bg.gif",     "/downloads/catalogue.pdf",
};
const char* const missing[] = {
    "/wp-login.php", "/old/page.html", "/images/missing.gif", "/robots.txt", "/.env",
};
const char* const agents[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/120.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_2) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.2 Safari/605.1.15",
    "Mozilla/5.0 (X11; Linux x86_64; rv:122.0) Gecko/20100101 Firefox/122.0",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Mobile/15E148",
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "Opera/9.80 (X11; Linux x86_64) Presto/2.12.388 Version/12.16",
    "curl/8.5.0",
    "Wget/1.21.4",
};
const char* const searches[] = {
    "https://www.google.com/search?q=green+tea+kettle",
    "https://www.google.pl/search?q=czajnik+do+herbaty&hl=pl",
    "https://www.bing.com/search?q=best+teapot",
    "https://search.yahoo.com/search?p=oolong+brewing",
    "https://duckduckgo.com/?q=tea+mugs",
    "https://www.google.de/search?hl=de&q=Teekanne%20kaufen",
};
const char* const sites[] = {
    "https://news.example.org/tea-week",
    "https://forum.example.net/thread/1234",
    "http://blog.example.com/links.html",
};
const char* const users[] = {"-", "-", "-", "-", "-", "-", "-", "anna", "piotr"};
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // 2024

template <typename T, std::size_t N>
const T&
pick(rng& r, const T (&items)[N])
{
    return items[r.below(N)];
}

void
write_host(std::FILE* out, rng& r, unsigned visitor)
{
    // A steady population of visitors: most return, a few come once.
    switch (visitor % 10) {
    case 0: std::fprintf(out, "host%u.dsl.example.pl", visitor); break;
    case 1: std::fprintf(out, "2001:db8::%x", visitor); break;
    case 2: std::fprintf(out, "crawl-%u.search.example.com", visitor % 50); break;
    default:
        std::fprintf(out, "%u.%u.%u.%u", 10 + visitor % 200, (visitor / 200) % 256,
                     (visitor * 13) % 256, 1 + (visitor * 31) % 254);
    }
    (void)r;
}

// One visitor's stay: a page, then the images and styles it pulls in with the
// page as their referrer, then perhaps another page, until the visitor leaves.
struct session {
    unsigned visitor = 0;
    const char* agent = "";
    const char* user = "-";
    char page[64] = "/";
    int assets_left = 0;
    bool active = false;
};

void
start_session(session& s, rng& r)
{
    s.visitor = r.below(5000);
    s.agent = pick(r, agents);
    s.user = pick(r, users);
    s.assets_left = 0;
    s.page[0] = '\0';
    s.active = true;
}

// The next page of a visit: the site's own pages, the catalogue's long tail,
// or now and then one that does not exist.
int
next_page(session& s, rng& r, unsigned long long& size)
{
    const unsigned kind = r.below(100);
    size = 2000 + r.below(30000);
    if (kind < 35) {
        // Catalogue items: a few are popular, most are seen now and then.
        const unsigned item = r.chance(40) ? r.below(200) : r.below(22000);
        std::snprintf(s.page, sizeof s.page, "/catalogue/item-%u.html", item);
    } else if (kind < 94) {
        std::snprintf(s.page, sizeof s.page, "%s", pick(r, pages));
    } else {
        std::snprintf(s.page, sizeof s.page, "%s", pick(r, missing));
        size = 200 + r.below(300);
        return r.chance(80) ? 404 : 403;
    }
    return r.chance(8) ? 304 : 200;
}

}  // namespace

void
write_traffic(std::FILE* out, const traffic_options& options)
{
    rng r(options.seed);
    const long long span = static_cast<long long>(options.days) * 86400;
    const unsigned long long lines = options.lines == 0 ? 1 : options.lines;
    session sessions[48];
    for (unsigned long long i = 0; i < lines; ++i) {
        // Time runs forward evenly through the span, so the log is in order.
        long long t = static_cast<long long>(static_cast<double>(i) / static_cast<double>(lines) *
                                             static_cast<double>(span));
        int day_of_year = static_cast<int>(t / 86400) + 60;  // 1 March 2024 is day 60
        int seconds = static_cast<int>(t % 86400);
        int month = 0;
        while (month < 11 && day_of_year >= month_days[month])
            day_of_year -= month_days[month++];
        const int hour = seconds / 3600;
        const int minute = (seconds / 60) % 60;
        const int second = seconds % 60;

        session& s = sessions[r.below(sizeof sessions / sizeof sessions[0])];
        if (!s.active || (s.assets_left == 0 && r.chance(30)))
            start_session(s, r);

        const char* url;
        const char* method = "GET";
        int status = 200;
        unsigned long long size;
        char referrer[128];
        if (s.assets_left > 0) {
            --s.assets_left;
            url = pick(r, assets);
            size = 300 + r.below(200000);
            if (r.chance(15)) {
                status = 304;
                size = 0;
            } else if (r.chance(2)) {
                status = 206;
            }
            std::snprintf(referrer, sizeof referrer, "https://www.example.pl%s", s.page);
        } else {
            const bool first = s.page[0] == '\0';
            char previous[64];
            std::snprintf(previous, sizeof previous, "%s", s.page);
            status = next_page(s, r, size);
            url = s.page;
            s.assets_left = status == 200 ? static_cast<int>(r.below(9)) : 0;
            if (r.chance(3))
                method = "POST";
            const unsigned from = r.below(100);
            if (!first)
                std::snprintf(referrer, sizeof referrer, "https://www.example.pl%s", previous);
            else if (from < 45)
                std::snprintf(referrer, sizeof referrer, "-");
            else if (from < 85)
                std::snprintf(referrer, sizeof referrer, "%s", pick(r, searches));
            else
                std::snprintf(referrer, sizeof referrer, "%s", pick(r, sites));
        }

        write_host(out, r, s.visitor);
        std::fprintf(out, " - %s [%02d/%s/2024:%02d:%02d:%02d +0100] ", s.user, day_of_year + 1,
                     months[month], hour, minute, second);
        std::fprintf(out, "\"%s %s HTTP/1.1\" %d ", method, url, status);
        if (size == 0 || status == 304)
            std::fputs("-", out);
        else
            std::fprintf(out, "%llu", size);
        std::fprintf(out, " \"%s\" \"%s\"\n", referrer, s.agent);
    }
}
