#pragma once
// Processor test. The visual-styles handles of this unit live with the themed controls.
#include <cstdint>

namespace strandel {

// Whether the processor has the multimedia extension that selects the vector blend set.
bool HasMMX();

// The decision of HasMMX from what the processor reports: whether the identification
// flag could be toggled, and CPUID function 1's EAX and EDX.
bool HasMMXFrom(bool idFlagToggles, uint32_t eax, uint32_t edx);

} // namespace strandel
