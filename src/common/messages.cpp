#include "common/messages.hpp"

#include <cstdarg>
#include <cstdio>

#include "common/settings.hpp"

bool
warnings_enabled()
{
    return g_settings.verbosity >= 1;
}

bool
progress_enabled()
{
    return g_settings.verbosity >= 2;
}

void
warn(const char* fmt, ...)
{
    if (!warnings_enabled())
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
}

void
progress(const char* fmt, ...)
{
    if (!progress_enabled())
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stdout, fmt, args);
    va_end(args);
}
