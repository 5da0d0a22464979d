#pragma once
// Processor test and theme handles.
#include <cstdint>
#include <functional>

namespace strandel {

// Whether the processor has the multimedia extension that selects the vector blend set.
bool HasMMX();

// The decision of HasMMX from what the processor reports: whether the identification
// flag could be toggled, and CPUID function 1's EAX and EDX.
bool HasMMXFrom(bool idFlagToggles, uint32_t eax, uint32_t edx);

// Theme handles. There is no visual-styles library here: the widget layer tells whether
// the application draws with a themed style (from its QStyle); without that answer the
// classic look is used. A handle names the theme class it was opened for.
using HTHEME = intptr_t;
extern bool USE_THEMES;
extern HTHEME SCROLLBAR_THEME;
extern HTHEME GLOBALS_THEME;

// Installs (or, with an empty function, removes) the question "is a theme active?".
void SetThemeQuery(std::function<bool()> themeActive);
bool LoadThemeLibrary();
void UnloadThemeLibrary();
bool ThemesActive();
void OpenThemeHandles();
void CloseThemeHandles();
// The class name ("SCROLLBAR", "GLOBALS") of an open handle; empty for others.
const char *ThemeClassName(HTHEME theme);

// Reopens the handles when the theme changes; one instance lives for the whole program.
class TThemeNexus
{
public:
    TThemeNexus();
    ~TThemeNexus();
    TThemeNexus(const TThemeNexus &) = delete;
    TThemeNexus &operator=(const TThemeNexus &) = delete;
    // The widget layer calls this on a style or theme change event.
    void ThemeChanged();
};

} // namespace strandel
