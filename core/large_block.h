#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace kalibron {

// Memory for the few arrays that span hundreds of kilobytes to megabytes:
// the per-position arrays of the store and the plot scene. A fresh block is
// mapped on its own, aligned to 2 MiB and offered to the kernel for
// transparent huge pages, so touching it first costs a handful of page
// faults instead of one per 4 KiB (on a virtual machine each fault costs
// microseconds; a large table touches some 15 MB per calculation). Smaller
// requests go to operator new.
void* allocateLargeBlock(std::size_t bytes);
void freeLargeBlock(void* block, std::size_t bytes) noexcept;

// For a process whose heap is itself backed by huge pages (the command-line
// tool's): large blocks then come from the heap too, packed together, rather
// than each on huge pages of its own that the kernel must clear whole. Call
// before the first large block is allocated.
void takeLargeBlocksFromHeap();

template <class T> struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U> LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {} // NOLINT: rebinding

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(allocateLargeBlock(n * sizeof(T)));
    }
    void deallocate(T* block, std::size_t n) noexcept { freeLargeBlock(block, n * sizeof(T)); }

    template <class U> bool operator==(const LargeBlockAllocator<U>&) const noexcept { return true; }
};

// A vector whose storage comes from LargeBlockAllocator.
template <class T> using LargeVector = std::vector<T, LargeBlockAllocator<T>>;

} // namespace kalibron
