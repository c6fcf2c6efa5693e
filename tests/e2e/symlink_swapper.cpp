// The helper of symlink_race_test.sh: swaps a name between a fresh regular
// file and a symbolic link to a victim, as fast as it can, until the stop file
// appears or a minute has passed, then prints how many swaps it made.
//
//   symlink_swapper VICTIM NAME STOP_FILE
//
// Each rename replaces the name whole, so the name always exists and is, at
// any moment, either a regular file or the link.
#include <cstdio>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <unistd.h>

static int
swap_once(const char* victim, const std::string& name, const std::string& link_name,
          const std::string& file_name)
{
    if (symlink(victim, link_name.c_str()) != 0 || rename(link_name.c_str(), name.c_str()) != 0)
        return 1;
    int fd = open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 1;
    close(fd);
    return rename(file_name.c_str(), name.c_str()) != 0;
}

int
main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: symlink_swapper VICTIM NAME STOP_FILE\n");
        return 2;
    }
    const char* victim = argv[1];
    const std::string name = argv[2];
    const std::string link_name = name + ".lnk";
    const std::string file_name = name + ".reg";
    const char* stop_file = argv[3];
    const std::time_t deadline = std::time(nullptr) + 60;

    unsigned long swaps = 0;
    for (;;) {
        if (swap_once(victim, name, link_name, file_name) != 0) {
            std::perror(name.c_str());
            return 1;
        }
        ++swaps;
        if (swaps % 4096 == 0 && (access(stop_file, F_OK) == 0 || std::time(nullptr) > deadline))
            break;
    }
    std::printf("%lu\n", swaps);
    return 0;
}
