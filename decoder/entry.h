#pragma once
// The decoder entry behind RUviviz.
#include <cstdint>

namespace strandel::lumaset {

int32_t DecodeEntry(intptr_t handle, intptr_t dec_opt, intptr_t param1, intptr_t param2);

} // namespace strandel::lumaset
