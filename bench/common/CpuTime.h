#pragma once

// Shared by the benchmarks, included by relative path: header-only, so no library of its own.

#include <sys/resource.h>

namespace brelta::bench {

// CPU seconds (user + system) of this process (RUSAGE_SELF) or of its finished children (RUSAGE_CHILDREN):
// on a shared machine a fairer measure than wall time.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace brelta::bench
