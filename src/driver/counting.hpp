// Filtering and counting of one clean record: include and ignore lists,
// response codes, the counting tables, the counters and the group rules.
#pragma once

#include "common/records.hpp"

/// Counts the record, whose fields are final, at the record's day and hour
/// (lengths: of its texts, when they are known).  Raises the ignored count or
/// sets the good-record flag.
void account_record(const record_time& when, counted_record& r,
                    const text_lengths* lengths = nullptr);
