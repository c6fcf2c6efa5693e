// Large working memory straight from the system, in whole huge pages: one
// page fault for each two megabytes instead of one for each four kilobytes.
#pragma once

#include <cstddef>

inline constexpr std::size_t huge_page = 2 * 1024 * 1024;

/// bytes rounded up to whole huge pages.
constexpr std::size_t
whole_huge_pages(std::size_t bytes)
{
    return (bytes + huge_page - 1) & ~(huge_page - 1);
}

/// Zeroed memory of bytes (whole huge pages) at a huge page boundary, marked
/// for huge pages before anything touches it; nullptr when there is none.
void* map_huge_pages(std::size_t bytes);

/// Gives back what map_huge_pages gave for that size.
void unmap_huge_pages(void* memory, std::size_t bytes);

/// Makes the pages of the bytes at memory present, all in one call: each page
/// fault costs a trip into the kernel, which a virtual machine makes dear.
/// Without the kernel's support the pages fault in as they are touched.
void populate_pages(void* memory, std::size_t bytes);
