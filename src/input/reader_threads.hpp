// How many threads the run may keep busy: PARVA_THREADS when it is set, else
// the processors online, from 1 to 64.  1 means no helper thread at all:
// every step runs on the calling thread (for comparing, and for machines
// where threads cost more than they bring).  A value that is no number counts
// as 0, and so as 1: the safe way to be wrong.
#pragma once

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

inline int
reader_threads()
{
    const char* forced = std::getenv("PARVA_THREADS");
    const long wanted = forced != nullptr ? std::atol(forced) : sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<int>(std::clamp(wanted, 1L, 64L));
}
