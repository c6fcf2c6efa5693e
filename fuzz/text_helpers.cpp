// The text helpers on one text as the record loop hands each of them its
// field: every level of the agent rewriting, percent decoding, the page
// test, the search string of a referrer, the domain groups and the address
// kinds.  Each works on a buffer of exactly its field's size, so that a
// byte read or written past the field is out of bounds for the sanitizer.
// The first byte is the group level of group_domain_of (as a signed value).
#include "input/text_helpers.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/records.hpp"
#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"

namespace {

// The text cut to the field's capacity, in a buffer of the field's size.
std::unique_ptr<char[]>
field_of(const std::uint8_t* data, std::size_t size, std::size_t field_size)
{
    auto field = std::make_unique<char[]>(field_size);
    const std::size_t n = std::min(size, field_size - 1);
    std::memcpy(field.get(), data, n);
    field[n] = '\0';
    return field;
}

}  // namespace

PARVA_FUZZ_INITIALIZE_SCRATCH

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    s.verbosity = 0;
    s.search_case_i = (data[0] & 1) != 0;
    derive_settings(nullptr);
    const int level = static_cast<signed char>(data[0]);
    ++data;
    --size;

    constexpr std::size_t agent_size = sizeof log_record::agent;
    for (int l = 1; l <= 6; ++l) {
        auto agent = field_of(data, size, agent_size);
        mangle_agent_text(agent.get(), agent_size, l);
        if (std::memchr(agent.get(), '\0', agent_size) == nullptr)
            std::abort();  // the rewritten agent lost its end
    }

    auto url = field_of(data, size, sizeof log_record::request);
    unescape_url(url.get());
    is_page_url(url.get(), std::strlen(url.get()));

    // The referrer up to its query, the query decoded, as the record loop
    // cuts them.
    auto referrer = field_of(data, size, sizeof log_record::referrer);
    const auto* query_start = static_cast<const std::uint8_t*>(std::memchr(data, '?', size));
    if (query_start != nullptr) {
        referrer[std::min<std::size_t>(query_start - data, sizeof log_record::referrer - 1)] = '\0';
        auto query =
            field_of(query_start, size - (query_start - data), sizeof log_record::search_text);
        unescape_url(query.get());
        extract_search(query.get(), referrer.get());
    }

    auto host = field_of(data, size, sizeof log_record::host);
    const std::size_t host_length = std::strlen(host.get());
    for (const int levels : {level, -1, 0, 1, 2, INT_MAX}) {
        const char* domain = group_domain_of(host.get(), levels);
        if (domain < host.get() || domain > host.get() + host_length)
            std::abort();  // the domain is no tail of the host
    }
    ip_address_kind(host.get());
    hex_digit_value(static_cast<char>(level));

    return 0;
}
