#include "driver/run.hpp"

int
main(int argc, char** argv)
{
    return run_parvalyte(argc, argv);
}
