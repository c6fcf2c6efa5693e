#include "report/report_file.hpp"

#include <cerrno>

#include "common/catalog.hpp"
#include "common/messages.hpp"

owned_file
report_file_open(const char* path)
{
    owned_file f = open_for_writing(path);
    if (!f) {
        if (errno == ELOOP)
            warn("%s %s (symlink)\n", msg::cant_open_file, path);
        else
            warn("%s %s!\n", msg::cant_open_file, path);
    }
    return f;
}

bool
report_file_close(owned_file& f, const char* path)
{
    if (close_written(f))
        return true;
    warn("%s %s!\n", msg::cant_write_file, path);
    return false;
}
