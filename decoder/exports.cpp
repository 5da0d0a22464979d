// Pulls the exported entry points (defined in the core's entry unit) into the shared library.
#include "decoder/lumaset.h"

namespace {
[[gnu::used]] void *const exportAnchor[] = {reinterpret_cast<void *>(&DllRegisterServer),
                                             reinterpret_cast<void *>(&DllUnregisterServer),
                                             reinterpret_cast<void *>(&DllCanUnloadNow),
                                             reinterpret_cast<void *>(&DllGetClassObject)};
}
