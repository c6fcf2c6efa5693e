#include "common/messages.hpp"

#include <cstdarg>
#include <cstdio>

#include "common/settings.hpp"

bool
warnings_enabled()
{
    return g_settings.verbosity >= 1;
}

void
warn(const char* fmt, ...)
{
    if (g_settings.verbosity < 1)
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
}

void
progress(const char* fmt, ...)
{
    if (g_settings.verbosity < 2)
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stdout, fmt, args);
    va_end(args);
}
