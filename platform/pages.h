#pragma once
// Large buffers taken straight from the system: they start zeroed, pages never written cost no
// memory, and a freed buffer goes back to the system at once instead of staying in the heap.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace strandel {

// Null when the system has no memory left (or bytes is 0).
void *AllocatePages(size_t bytes);
void FreePages(void *p, size_t bytes);
// Bytes of such buffers held now, by the whole program.
size_t PageBytesInUse();

struct PagesDeleter {
    size_t bytes = 0;
    void operator()(uint8_t *p) const { FreePages(p, bytes); }
};
using PageBuffer = std::unique_ptr<uint8_t[], PagesDeleter>;
inline PageBuffer MakePageBuffer(size_t bytes)
{
    return PageBuffer(static_cast<uint8_t *>(AllocatePages(bytes)), PagesDeleter{bytes});
}

// Hands the heap's free memory back to the system (after a view with its pictures closed).
void ReturnFreeMemory();

// Set once at start, before any thread: picture-sized blocks come from the system and go back to
// it when freed, and the many reader and decoding threads share a few heaps, so that closing
// views gives their memory back instead of leaving it spread over heaps of their own.
void TuneHeapForPictures();

} // namespace strandel
