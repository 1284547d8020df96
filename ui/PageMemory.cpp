#include "ui/PageMemory.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>

PageBlock AllocatePageBlock(std::size_t size) {
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    return PageBlock(static_cast<char*>(block), PageBlockDeleter{size});
}

void PageBlockDeleter::operator()(char* block) const {
    munmap(block, size);
}

#else

PageBlock AllocatePageBlock(std::size_t size) {
    return PageBlock(new char[size], PageBlockDeleter{size});
}

void PageBlockDeleter::operator()(char* block) const {
    delete[] block;
}

#endif
