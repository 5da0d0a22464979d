#include "platform/pages.h"

#include <malloc.h>
#include <sys/mman.h>

namespace strandel {

void *AllocatePages(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    void *p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void FreePages(void *p, size_t bytes)
{
    if (p)
        ::munmap(p, bytes);
}

void ReturnFreeMemory() { ::malloc_trim(0); }

void TuneHeapForPictures()
{
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    ::mallopt(M_ARENA_MAX, 2);
}

} // namespace strandel
