// The DNS pre-pass: the whole log is read once, the numeric client addresses
// that the cache lacks or holds too long are collected in dns_table, and
// forked children resolve them in parallel while the parent alone stores the
// names in the cache.
//
// Parent and child speak over two pipes per child, one message at a time in
// each direction: a request is the raw socket address of one entry (at most
// 128 bytes), a reply is the name without its zero byte (at most 255 bytes)
// or the request sent back when there is no name.  Both fit in one pipe
// write, so every read sees exactly one message.
#pragma once

#include <cstdint>

#include "tables/tables.hpp"

class log_reader;

/// The most children the pool starts, whatever DNSChildren says.
inline constexpr int resolver_children_max = 100;

/// Seconds a child may spend on one address, or on ending once its input is
/// closed, before it is killed: a reverse zone that never answers must not
/// hold the run.  Its address stays unresolved.
inline constexpr int resolver_reply_limit = 60;

/// Reads the open log to its end, resolves what the cache lacks and stores
/// it; the caller rewinds the log afterwards.  Prints the summary line, or
/// that there was nothing to resolve.  Returns 0, or 1 when the cache could
/// not be opened for writing (DNSCache is then forgotten).
int dns_prepass(log_reader& log);

/// Resolves the work list that starts at first (linked by work_next) with
/// DNSChildren children, at most resolver_children_max and never more than
/// the entries, and stores each answer.  Returns when every child has ended:
/// 0, or 1 when a pipe or a child could not be made (the rest of the list
/// stays unresolved, and the children already started are ended).
int run_resolver_pool(dnode* first, int reply_limit_seconds = resolver_reply_limit);

/// Adds the file status flags (O_NONBLOCK) to the descriptor.  Returns 0, or
/// 1 after saying which fcntl failed (unless the verbosity is 0).
int set_fl(int fd, int flags);

/// The pre-pass's closing line on standard output, when TimeMe is on or the
/// verbosity is 2: "N adres(ów) w S sekund", with the rate when it makes sense.
void print_dns_summary(std::uint64_t entries, double elapsed_seconds);
