// Keeps the exported entry points in the shared library (they live in the core's entry unit).
#include "decoder/lumaset.h"

extern "C" {
LUMASET_EXPORT void *LumasetExportAnchor[] = {reinterpret_cast<void *>(&DllRegisterServer),
                                               reinterpret_cast<void *>(&DllUnregisterServer),
                                               reinterpret_cast<void *>(&DllCanUnloadNow),
                                               reinterpret_cast<void *>(&DllGetClassObject)};
}
