#include "platform/pages.h"

#include <malloc.h>
#include <sys/mman.h>

#include <atomic>

namespace strandel {

namespace {
std::atomic<size_t> inUse{0};
}

void *AllocatePages(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    void *p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    inUse += bytes;
    return p;
}

void FreePages(void *p, size_t bytes)
{
    if (!p)
        return;
    ::munmap(p, bytes);
    inUse -= bytes;
}

size_t PageBytesInUse() { return inUse.load(); }

void ReturnFreeMemory() { ::malloc_trim(0); }

void TuneHeapForPictures()
{
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    ::mallopt(M_ARENA_MAX, 2);
}

} // namespace strandel
