// Buffers of a few MiB that are filled soon after start-up. On the machines this was
// measured on, the first touch of each 4 KiB page costs some 10 µs, so a 4 MiB buffer
// costs 10 ms before it holds a byte; backed by 2 MiB pages it costs two faults. A
// static buffer gets them by being declared alignas(huge_page_bytes) with a size
// rounded by in_huge_pages, and by one call of use_huge_pages before its first use.
#pragma once

#include <sys/mman.h>

#include <cstddef>

constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

constexpr std::size_t in_huge_pages(std::size_t bytes) noexcept
{
    return (bytes + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
}

// Asks the kernel for huge pages behind [buffer, buffer + bytes): both ends on huge
// page boundaries. Where it has none to lend, the buffer keeps small pages.
inline void use_huge_pages(void* buffer, std::size_t bytes) noexcept
{
    static_cast<void>(madvise(buffer, bytes, MADV_HUGEPAGE));
}
