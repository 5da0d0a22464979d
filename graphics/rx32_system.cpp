#include "graphics/rx32_system.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace strandel {

bool HasMMXFrom(bool idFlagToggles, uint32_t eax, uint32_t edx)
{
    if (!idFlagToggles)
        return false;
    if (((eax >> 8) & 0xF) < 5)
        return false;
    return (edx >> 23) & 1;
}

bool HasMMX()
{
#if defined(__x86_64__)
    // Every x86-64 processor has CPUID (the identification flag always toggles).
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return HasMMXFrom(true, eax, edx);
#else
    return false;
#endif
}

} // namespace strandel
