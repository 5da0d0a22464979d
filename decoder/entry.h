#pragma once
// The decoder entry behind RUviviz.
#include <cstdint>

namespace strandel::lumaset {

int32_t DecodeEntry(intptr_t handle, intptr_t dec_opt, intptr_t param1, intptr_t param2);

// Forgets the current instance (tests start from a clean process state with it).
void ResetCurrentInstance();

} // namespace strandel::lumaset
