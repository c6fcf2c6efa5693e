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
    "/images/logo.gif",  "/images/banner.jpg",  "/images/kettle.png", "/images/teapot.png",
    "/css/site.css",     "/js/site.js",         "/favicon.ico",       "/images/bg.gif",
    "/downloads/catalogue.pdf",
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
    case 0:
        std::fprintf(out, "host%u.dsl.example.pl", visitor);
        break;
    case 1:
        std::fprintf(out, "2001:db8::%x", visitor);
        break;
    case 2:
        std::fprintf(out, "crawl-%u.search.example.com", visitor % 50);
        break;
    default:
        std::fprintf(out, "%u.%u.%u.%u", 10 + visitor % 200, (visitor / 200) % 256,
                     (visitor * 13) % 256, 1 + (visitor * 31) % 254);
    }
    (void)r;
}

}  // namespace

void
write_traffic(std::FILE* out, const traffic_options& options)
{
    rng r(options.seed);
    const long long span = static_cast<long long>(options.days) * 86400;
    const unsigned long long lines = options.lines == 0 ? 1 : options.lines;
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

        const unsigned visitor = r.below(5000);
        write_host(out, r, visitor);
        std::fprintf(out, " - %s [%02d/%s/2024:%02d:%02d:%02d +0100] ", pick(r, users),
                     day_of_year + 1, months[month], hour, minute, second);

        const unsigned kind = r.below(100);
        const char* url;
        int status = 200;
        unsigned long long size;
        char item[64];
        if (kind < 15) {
            // A long tail of catalogue pages: most are seen a few times a month.
            std::snprintf(item, sizeof item, "/catalogue/item-%u.html", r.below(20000));
            url = item;
            size = 4000 + r.below(20000);
        } else if (kind < 45) {
            url = pick(r, pages);
            size = 2000 + r.below(30000);
            if (r.chance(8)) {
                status = 304;
                size = 0;
            }
        } else if (kind < 92) {
            url = pick(r, assets);
            size = 300 + r.below(200000);
            if (r.chance(15)) {
                status = 304;
                size = 0;
            } else if (r.chance(2)) {
                status = 206;
            }
        } else {
            url = pick(r, missing);
            status = r.chance(80) ? 404 : 403;
            size = 200 + r.below(300);
        }
        const char* method = r.chance(3) ? "POST" : (r.chance(2) ? "HEAD" : "GET");
        std::fprintf(out, "\"%s %s HTTP/1.1\" %d ", method, url, status);
        if (size == 0)
            std::fputs("-", out);
        else
            std::fprintf(out, "%llu", size);

        const unsigned from = r.below(100);
        if (from < 35)
            std::fputs(" \"-\"", out);
        else if (from < 55)
            std::fprintf(out, " \"%s\"", pick(r, searches));
        else if (from < 62)
            std::fprintf(out, " \"%s\"", pick(r, sites));
        else
            std::fprintf(out, " \"https://www.example.pl%s\"", pick(r, pages));
        std::fprintf(out, " \"%s\"\n", pick(r, agents));
    }
}
