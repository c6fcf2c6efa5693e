// A deterministic generator of realistic combined-format web traffic, for the
// sample report and the benchmark.  The same arguments give the same bytes.
#pragma once

#include <cstdio>

struct traffic_options {
    unsigned long long lines = 20000;  // records to write
    int days = 28;                     // span of the log, from 1 March 2024
    unsigned seed = 1;
};

/// Writes the log to the stream, one combined-format line per record.
void write_traffic(std::FILE* out, const traffic_options& options);
