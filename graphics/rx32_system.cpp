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

namespace strandel {

bool USE_THEMES = false;
HTHEME SCROLLBAR_THEME = 0;
HTHEME GLOBALS_THEME = 0;

namespace {
std::function<bool()> &ThemeQuery()
{
    static std::function<bool()> query;
    return query;
}
bool themeLibraryLoaded = false;
constexpr HTHEME kScrollbarHandle = 1, kGlobalsHandle = 2;
} // namespace

void SetThemeQuery(std::function<bool()> themeActive) { ThemeQuery() = std::move(themeActive); }

bool LoadThemeLibrary()
{
    if (!themeLibraryLoaded)
        themeLibraryLoaded = bool(ThemeQuery());
    return themeLibraryLoaded;
}

void UnloadThemeLibrary() { themeLibraryLoaded = false; }

bool ThemesActive() { return themeLibraryLoaded && ThemeQuery() && ThemeQuery()(); }

void OpenThemeHandles()
{
    USE_THEMES = false;
    if (LoadThemeLibrary()) {
        USE_THEMES = ThemesActive();
        if (USE_THEMES) {
            SCROLLBAR_THEME = kScrollbarHandle;
            GLOBALS_THEME = kGlobalsHandle;
        }
    }
}

void CloseThemeHandles()
{
    if (ThemesActive()) {
        SCROLLBAR_THEME = 0;
        GLOBALS_THEME = 0;
    }
    UnloadThemeLibrary();
}

const char *ThemeClassName(HTHEME theme)
{
    switch (theme) {
    case kScrollbarHandle: return "SCROLLBAR";
    case kGlobalsHandle: return "GLOBALS";
    default: return "";
    }
}

TThemeNexus::TThemeNexus() { OpenThemeHandles(); }
TThemeNexus::~TThemeNexus() { CloseThemeHandles(); }

void TThemeNexus::ThemeChanged()
{
    CloseThemeHandles();
    OpenThemeHandles();
}

} // namespace strandel
