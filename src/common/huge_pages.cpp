#include "common/huge_pages.hpp"

#include <cstdint>

#include <sys/mman.h>

void*
map_huge_pages(std::size_t bytes)
{
    const std::size_t room = bytes + huge_page;
    void* p = mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const auto aligned = (start + huge_page - 1) & ~(huge_page - 1);
    if (aligned != start)
        munmap(p, aligned - start);
    if (const std::size_t tail = start + room - (aligned + bytes); tail != 0)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void
unmap_huge_pages(void* memory, std::size_t bytes)
{
    munmap(memory, bytes);
}

void
populate_pages(void* memory, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    // Whole pages only: the bytes around them may be another's.
    constexpr std::uintptr_t page = 4096;
    const auto start = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(page - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)memory;
    (void)bytes;
#endif
}
