// The one parsed log line: fixed-capacity fields, emptied before every parse.
#pragma once

#include <cstddef>

#include "common/types.hpp"

/// The longest name each counting table keeps, in characters; longer names
/// are cut to it, and the record loop cuts the referrer and URL fields to it.
inline constexpr std::size_t host_name_capacity = 255;
inline constexpr std::size_t url_name_capacity = 2047;
inline constexpr std::size_t referrer_name_capacity = 255;
inline constexpr std::size_t agent_name_capacity = 127;
inline constexpr std::size_t search_name_capacity = 127;
inline constexpr std::size_t user_name_capacity = 63;
inline constexpr std::size_t dns_name_capacity = 255;

/// Capacity of the line buffer: 4095 characters, the newline included, and a NUL.
inline constexpr std::size_t line_capacity = 4096;

struct log_record {
    char host[host_name_capacity + 1];  // client host name or address, as logged
    char date_text[29];                 // "[dd/Mon/yyyy:hh:mm:ss zone]"
    char request[4096];                 // quoted method and URL; the bare URL after the record loop
    int status;                         // response code, 0 when absent
    u64 bytes;                          // bytes transferred, 0 when absent
    char referrer[1024];                // with its quotes in common/combined logs
    char agent[agent_name_capacity + 1];  // with its quotes in common/combined logs
    char search_text[256];                // the query part the record loop cuts from the referrer
    char user[user_name_capacity + 1];    // authenticated or ident user name
    // Known to hold no "%", so that there is nothing to unescape: set by a
    // parser that saw it while copying the text.
    bool plain_request;
    bool plain_referrer;
};

/// Empties the record before a parse.  The fixed-position date field and the
/// small fields are zeroed whole; the long texts only lose their first byte,
/// since nothing reads them beyond their end.
inline void
clear_record(log_record& r)
{
    r.host[0] = '\0';
    __builtin_memset(r.date_text, 0, sizeof r.date_text);
    r.request[0] = '\0';
    r.request[1] = '\0';
    r.status = 0;
    r.bytes = 0;
    r.referrer[0] = '\0';
    r.agent[0] = '\0';
    r.search_text[0] = '\0';
    r.user[0] = '\0';
    r.plain_request = false;
    r.plain_referrer = false;
}

/// The record every parser fills and the record loop reads, one per thread:
/// a thread that prepares records ahead of the counting parses into its own.
extern thread_local log_record g_record;

/// What the referrer table may write over a referrer of "-", its NUL included:
/// every referrer the counting reads has room for it.
inline constexpr std::size_t direct_referrer_room = sizeof "- (Direct Request)";

/// A record's final fields as the counting reads them.  The counting may
/// replace the host, so it has its own array; the other texts stay where they
/// were cleaned or packed, and the tables may write over them only within
/// their lengths (or within direct_referrer_room).
struct counted_record {
    char host[host_name_capacity + 1];
    char* request;
    char* referrer;
    char* agent;
    char* search_text;
    char* user;
    int status;
    u64 bytes;
};

/// The counting's view of a cleaned record: its host copied, its other
/// texts where they are.
inline void
view_record(log_record& r, counted_record& c)
{
    const std::size_t n = __builtin_strlen(r.host);
    __builtin_memcpy(c.host, r.host, n + 1);
    c.request = r.request;
    c.referrer = r.referrer;
    c.agent = r.agent;
    c.search_text = r.search_text;
    c.user = r.user;
    c.status = r.status;
    c.bytes = r.bytes;
}

/// The lengths of a record's texts that the counting reads whole, when
/// whoever filled the record knew them; the host may still change, so it is
/// measured again.
struct text_lengths {
    std::size_t request, referrer, agent, user;
};

/// Date and time of a record, as read from its date_text.
struct record_time {
    int day, month, year, hour, minute, second;
};
