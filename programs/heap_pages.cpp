#include "programs/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "core/large_block.h"

namespace kalibron {

void offerHeapForHugePages()
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    constexpr int kStep = 64 << 20;
    mallopt(M_TOP_PAD, kStep);
    const auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    // A block larger than any free one makes the heap grow, by kStep more
    // (volatile: the compiler may not drop the pair of calls).
    void* volatile block = std::malloc(256 << 10);
    std::free(block);
    const auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t start = (before + kHugePage - 1) / kHugePage * kHugePage;
    if (after > start && ::madvise(reinterpret_cast<void*>(start), after - start, MADV_HUGEPAGE) == 0)
        takeLargeBlocksFromHeap();
}

} // namespace kalibron
