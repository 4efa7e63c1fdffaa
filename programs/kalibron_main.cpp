#include <malloc.h>

#include <iostream>

#include "programs/cli.h"
#include "programs/heap_pages.h"

int main(int argc, char** argv)
{
    // A large table grows texts and work arrays by doubling (the SVG text,
    // the fits' matrices); glibc would map and unmap every step afresh, and a
    // short-lived run then spends most of its time on page faults. Keeping
    // freed memory in the heap lets later steps reuse it.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    // One heap for every thread, so the export's second thread writes into it too.
    mallopt(M_ARENA_MAX, 1);
    kalibron::offerHeapForHugePages();
    // The export is written byte for byte; no synchronisation with C stdio is needed.
    std::ios::sync_with_stdio(false);
    return kalibron::runCli(argc, argv, std::cin, std::cout, std::cerr);
}
