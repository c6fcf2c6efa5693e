#include "common/messages.hpp"

#include <cstdarg>
#include <cstdio>

#include "common/settings.hpp"

namespace {
thread_local std::FILE* diag = nullptr;
thread_local std::FILE* progress_to = nullptr;
}  // namespace

std::FILE*
diag_stream()
{
    return diag != nullptr ? diag : stderr;
}

void
set_diag_stream(std::FILE* stream)
{
    diag = stream;
}

std::FILE*
progress_stream()
{
    return progress_to != nullptr ? progress_to : stdout;
}

void
set_progress_stream(std::FILE* stream)
{
    progress_to = stream;
}

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
    std::vfprintf(diag_stream(), fmt, args);
    va_end(args);
}

void
progress(const char* fmt, ...)
{
    if (!progress_enabled())
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(progress_stream(), fmt, args);
    va_end(args);
}

std::FILE*
open_message_stream(void* self, ssize_t (*write)(void*, const char*, std::size_t))
{
    cookie_io_functions_t io{};
    io.write = write;
    std::FILE* stream = fopencookie(self, "w", io);
    if (stream != nullptr)
        std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}
