#include "report/report_file.hpp"

#include <sys/stat.h>

#include "common/catalog.hpp"
#include "common/messages.hpp"

std::FILE*
report_file_open(const char* path)
{
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        warn("%s %s (symlink)\n", msg::cant_open_file, path);
        return nullptr;
    }
    std::FILE* f = std::fopen(path, "w");
    if (f == nullptr)
        warn("%s %s!\n", msg::cant_open_file, path);
    return f;
}
