#include <iostream>

#include "programs/cli.h"

int main(int argc, char** argv)
{
    // The export is written byte for byte; no synchronisation with C stdio is needed.
    std::ios::sync_with_stdio(false);
    return kalibron::runCli(argc, argv, std::cin, std::cout, std::cerr);
}
