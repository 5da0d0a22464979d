#include <vector>

#include <QGuiApplication>

#include <gtest/gtest.h>

#include "graphics/rx32.h"

using namespace strandel;

// fontconfig keeps its caches until the process ends; that is not ours to report.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

// Text needs the font database of a GUI application (offscreen in the tests).
class GuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (!qGuiApp) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "graphics_tests";
            static char *argv[] = {name, nullptr};
            app = new QGuiApplication(argc, argv);
        }
    }
    QGuiApplication *app = nullptr;
};
const auto *const guiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

std::vector<TColor32> Pixels(const TBitmap32 &b) { return {b.Bits(), b.Bits() + b.Width() * b.Height()}; }

// Pixels of varied alpha, so that a changed alpha byte shows.
void Pattern(TBitmap32 &b, int w, int h)
{
    b.SetSize(w, h);
    for (int i = 0; i < w * h; ++i)
        b.Bits()[i] = TColor32(i * 37 % 256) << 24 | 0x00204060;
}

int Changed(const std::vector<TColor32> &a, const std::vector<TColor32> &b)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

} // namespace

TEST(Text, TextoutKeepsEveryAlphaByte)
{
    TBitmap32 b;
    Pattern(b, 60, 20);
    const auto before = Pixels(b);
    b.Font().SetColor(0xFFFFFF);
    int changes = 0;
    b.OnChange = [&](TThreadPersistent *) { ++changes; };
    b.Textout(2, 2, "Wg");
    const auto after = Pixels(b);
    EXPECT_GT(Changed(before, after), 10);
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(after[i] >> 24, before[i] >> 24) << i;
    EXPECT_EQ(changes, 1);

    // Clipped output stays inside its rectangle.
    TBitmap32 c;
    c.SetSize(60, 20);
    c.Font().SetColor(0xFFFFFF);
    c.Textout(2, 2, MakeRect(0, 0, 8, 20), "WWWW");
    for (int y = 0; y < 20; ++y)
        for (int x = 8; x < 60; ++x)
            ASSERT_EQ(c.GetPixel(x, y), 0u) << x << "," << y;

    TBitmap32 empty;
    int emptyChanges = 0;
    empty.OnChange = [&](TThreadPersistent *) { ++emptyChanges; };
    empty.Textout(0, 0, "x");
    EXPECT_EQ(emptyChanges, 1);
}

TEST(Text, ExtentFollowsTheFont)
{
    TBitmap32 empty, sized;
    sized.SetSize(10, 10);
    const TPoint e = empty.TextExtent("Hello");
    EXPECT_GT(e.X, 0);
    EXPECT_GT(e.Y, 0);
    EXPECT_EQ(sized.TextExtent("Hello"), e);
    EXPECT_EQ(empty.TextWidth("Hello"), e.X);
    empty.Font().SetSize(24);
    EXPECT_GT(empty.TextHeight("Hello"), e.Y);

    // A size change after a Textout takes effect for the next one.
    TBitmap32 b;
    b.SetSize(200, 60);
    const std::vector<TColor32> blank(200 * 60, 0);
    b.Font().SetColor(0xFFFFFF);
    b.Textout(0, 0, "M");
    const int small = Changed(Pixels(b), blank);
    b.Clear(0);
    b.Font().SetSize(30);
    b.Textout(0, 0, "M");
    EXPECT_GT(Changed(Pixels(b), blank), small);
}

TEST(Text, RenderText)
{
    TBitmap32 b;
    b.SetSize(80, 50);
    b.Font().SetSize(30); // large enough for glyph stems of full coverage
    b.Clear(0xFF000000);
    const auto before = Pixels(b);
    b.RenderText(2, 2, "Hi", 0, 0x00FF0000); // alpha 0: nothing
    EXPECT_EQ(Pixels(b), before);

    b.RenderText(2, 2, "Hi", 0, 0xFFFF0000);
    bool fullRed = false;
    for (TColor32 p : Pixels(b)) {
        EXPECT_EQ(p & 0x0000FFFF, 0u); // only red over black
        fullRed |= (p & 0x00FFFFFF) == 0x00FF0000;
    }
    EXPECT_TRUE(fullRed);

    // Levels outside 0..4 behave as the nearest level.
    for (auto [level, same] : {std::pair{7, 4}, std::pair{-3, 0}}) {
        TBitmap32 x, y;
        for (TBitmap32 *t : {&x, &y}) {
            t->SetSize(80, 50);
            t->Clear(0xFF000000);
        }
        x.RenderText(1, 1, "Ab", level, 0xFF00FF00);
        y.RenderText(1, 1, "Ab", same, 0xFF00FF00);
        EXPECT_EQ(Pixels(x), Pixels(y)) << level;
        EXPECT_NE(Pixels(x), before) << level;
    }

    TBitmap32 empty;
    int changes = 0;
    empty.OnChange = [&](TThreadPersistent *) { ++changes; };
    empty.RenderText(0, 0, "x", 2, 0xFFFFFFFF);
    EXPECT_EQ(changes, 0);
}

// Antialiased text keeps the size of plain text whether the font carries pixels or points.
TEST(Text, RenderTextKeepsItsSizeAtEveryLevel)
{
    QFont inPoints = TFont().Font(), inPixels = inPoints;
    inPoints.setPointSize(20);
    inPixels.setPixelSize(26);
    for (const QFont &font : {inPoints, inPixels}) {
        SCOPED_TRACE(font.toString().toStdString());
        double ink[2] = {};
        for (int i = 0; i < 2; ++i) {
            TBitmap32 b;
            b.SetSize(160, 80);
            b.Clear(0xFF000000);
            b.Font().SetQtFont(font);
            b.RenderText(0, 0, "HW", i * 2, 0xFFFFFFFF);
            for (TColor32 p : Pixels(b))
                ink[i] += (p & 255) / 255.0;
        }
        EXPECT_GT(ink[0], 100);
        EXPECT_NEAR(ink[1] / ink[0], 1.0, 0.25);
    }
}
