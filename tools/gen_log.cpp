// Writes a generated combined-format log to standard output.
// usage: parva_genlog [lines] [days] [seed]
#include <cstdio>
#include <cstdlib>

#include "traffic_generator.hpp"

int
main(int argc, char** argv)
{
    traffic_options options;
    if (argc > 1)
        options.lines = std::strtoull(argv[1], nullptr, 10);
    if (argc > 2)
        options.days = std::atoi(argv[2]);
    if (argc > 3)
        options.seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    if (options.days < 1 || options.days > 300) {
        std::fprintf(stderr, "parva_genlog: days must be 1 to 300\n");
        return 1;
    }
    write_traffic(stdout, options);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
