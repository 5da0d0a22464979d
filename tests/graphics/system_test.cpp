#include <gtest/gtest.h>

#include "graphics/rx32_system.h"

using namespace strandel;

TEST(Themes, ClassicWithoutAStyleThemedWithOne)
{
    SetThemeQuery({});
    {
        TThemeNexus nexus;
        EXPECT_FALSE(USE_THEMES);
        EXPECT_FALSE(ThemesActive());
    }
    bool active = true;
    SetThemeQuery([&] { return active; });
    {
        TThemeNexus nexus;
        EXPECT_TRUE(USE_THEMES);
        EXPECT_STREQ(ThemeClassName(SCROLLBAR_THEME), "SCROLLBAR");
        EXPECT_STREQ(ThemeClassName(GLOBALS_THEME), "GLOBALS");
        active = false; // the user switches to the classic look
        nexus.ThemeChanged();
        EXPECT_FALSE(USE_THEMES);
        // Handles of a theme that went away are not closed; users test USE_THEMES first.
        EXPECT_NE(SCROLLBAR_THEME, 0);
        active = true;
        nexus.ThemeChanged();
        EXPECT_TRUE(USE_THEMES);
    }
    EXPECT_EQ(SCROLLBAR_THEME, 0);
    EXPECT_EQ(GLOBALS_THEME, 0);
    SetThemeQuery({});
}
