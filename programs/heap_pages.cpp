#include "programs/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "core/large_block.h"

namespace kalibron {

namespace {

// The block below the heap's first huge page boundary, held for the life of
// the process (a leak checker sees it reachable).
void* volatile heapFiller = nullptr;

} // namespace

void offerHeapForHugePages()
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    constexpr std::uintptr_t kChunkHeader = 16;
    constexpr int kStep = 64 << 20;
    mallopt(M_TOP_PAD, kStep);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t next = end - mallinfo2().keepcost; // where the next block would lie
    const std::uintptr_t start = (end + kHugePage - 1) / kHugePage * kHugePage;
    // A block larger than any free one makes the heap grow, by kStep more
    // (volatile: the compiler may not drop the pair of calls).
    void* volatile block = std::malloc(256 << 10);
    std::free(block);
    const auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    if (after <= start || ::madvise(reinterpret_cast<void*>(start), after - start, MADV_HUGEPAGE) != 0)
        return;
    takeLargeBlocksFromHeap();
    // The heap below the first huge page boundary cannot be backed by a huge
    // page. A block that fills it up to the boundary, kept and never touched
    // (so it costs no memory), makes every later block come from above it.
    // Only now, after the advice: a page above the boundary touched before
    // it (the heap's end marker) would keep that huge page from forming.
    if (start - next > 2 * kChunkHeader)
        heapFiller = std::malloc(start - next - kChunkHeader);
}

} // namespace kalibron
