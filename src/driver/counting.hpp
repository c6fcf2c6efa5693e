// Filtering and counting of one clean record: include and ignore lists,
// response codes, the counting tables, the counters and the group rules.
#pragma once

#include "common/records.hpp"

/// Counts g_record, whose fields are final, at the record's day and hour.
/// Raises the ignored count or sets the good-record flag.
void account_record(const record_time& when, const text_lengths* lengths = nullptr);
