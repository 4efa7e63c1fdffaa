#include "core/large_block.h"

#include <sys/mman.h>

#include <cstdint>

namespace kalibron {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a block stays on the ordinary heap: rounding it up to a huge
// page would waste more than it saves.
constexpr std::size_t kLargeBlock = std::size_t{128} << 10;

bool fromHeap = false;

bool onHeap(std::size_t bytes) { return fromHeap || bytes < kLargeBlock; }

std::size_t mappedLength(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

} // namespace

void takeLargeBlocksFromHeap() { fromHeap = true; }

void* allocateLargeBlock(std::size_t bytes)
{
    if (onHeap(bytes))
        return ::operator new(bytes);
    const std::size_t length = mappedLength(bytes);
    // Map one huge page more than needed and trim both ends to the alignment.
    void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::uintptr_t tail = aligned + length;
    if (const std::uintptr_t end = start + length + kHugePage; end > tail)
        ::munmap(reinterpret_cast<void*>(tail), end - tail);
    void* block = reinterpret_cast<void*>(aligned);
    ::madvise(block, length, MADV_HUGEPAGE); // a hint: without huge pages the block still works
    return block;
}

void freeLargeBlock(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (onHeap(bytes))
        ::operator delete(block);
    else
        ::munmap(block, mappedLength(bytes));
}

} // namespace kalibron
