#pragma once
// Large blocks of memory for the list cells, taken from the system whole and
// made resident in one go: a million-row list would otherwise pay a page fault
// for every 4 KiB it fills. The one place with system calls for memory.

#include <cstddef>
#include <memory>

struct PageBlockDeleter {
    std::size_t size = 0;
    void operator()(char* block) const;
};

using PageBlock = std::unique_ptr<char[], PageBlockDeleter>;

// A block of `size` bytes, contents unspecified. Throws std::bad_alloc.
PageBlock AllocatePageBlock(std::size_t size);
