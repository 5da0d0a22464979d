// The preview control: zoom layout, fit modes, page numbers, links and what it paints.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "previewfixtures.h"
#include "report/forms/preview.h"
#include "report/output/printer.h"

using namespace strandel;
using namespace strandel::test;

namespace {

void Move(QWidget *w, QPoint at)
{
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void Press(QWidget *w, QPoint at)
{
    QMouseEvent e(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

TEST(Preview, ZoomNumbersOfA4At96Dpi)
{
    auto printer = MakeReport(1);
    TPgxPreview preview;
    // A zoom set before binding lays out without a printer (Letter); binding lays it out again.
    preview.SetZoom(50);
    EXPECT_EQ(preview.Image()->size(), QSize(112, 144));
    preview.SetPgxPrinter(printer.get());
    EXPECT_EQ(preview.Image()->size(), QSize(401, 565));
    EXPECT_EQ(preview.Image()->Zoom(), 50);
    EXPECT_TRUE(printer->ShowingPreview());

    preview.SetZoom(100);
    EXPECT_EQ(preview.Image()->size(), QSize(798, 1127)); // 794 x 1123 and the frame

    struct Case { int asked; bool accepted; };
    for (Case c : {Case{1, false}, Case{2001, false}, Case{2, true}, Case{2000, true}}) {
        preview.ZoomToFit();
        const int before = preview.Zoom();
        preview.SetZoom(c.asked);
        EXPECT_EQ(preview.Zoom(), c.accepted ? c.asked : before) << c.asked;
        EXPECT_EQ(preview.ZoomState(), c.accepted ? TPgxZoomState::pgxZoomOther : TPgxZoomState::pgxZoomToFit) << c.asked;
    }
}

TEST(Preview, FitModesFollowTheControlsSize)
{
    auto printer = MakeReport(1);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.resize(600, 400);
    preview.show();

    preview.ZoomToFit(); // 600 / 794 * 95 = 71.8, 400 / 1123 * 95 = 33.8
    EXPECT_EQ(preview.Zoom(), 34);
    EXPECT_EQ(preview.ZoomState(), TPgxZoomState::pgxZoomToFit);
    QCoreApplication::processEvents();
    // Narrower than the view: centred.
    EXPECT_EQ(preview.Image()->x(), (preview.viewport()->width() - preview.Image()->width()) / 2);

    preview.resize(1200, 2400); // the state survives a resize: 143.6 against 203.0
    EXPECT_EQ(preview.Zoom(), 144);
    EXPECT_EQ(preview.ZoomState(), TPgxZoomState::pgxZoomToFit);

    preview.resize(600, 400);
    preview.ZoomToWidth(); // 600 / 794 * 90 = 68.0
    EXPECT_EQ(preview.Zoom(), 68);
    EXPECT_EQ(preview.ZoomState(), TPgxZoomState::pgxZoomToWidth);
    preview.resize(300, 400);
    EXPECT_EQ(preview.Zoom(), 34); // 34.0
    EXPECT_EQ(preview.ZoomState(), TPgxZoomState::pgxZoomToWidth);

    preview.SetZoom(200); // wider than the view: at the left, scrolled
    QCoreApplication::processEvents();
    EXPECT_EQ(preview.Image()->x(), 0);
    EXPECT_GT(preview.horizontalScrollBar()->maximum(), 0);
    preview.resize(400, 400);
    EXPECT_EQ(preview.Zoom(), 200);
}

TEST(Preview, FitWithoutAPrinterOrWithNoPaperUsesLetter)
{
    TPgxPreview unbound;
    unbound.ZoomToFit(); // 250 / 215.9 * 95 = 110.0, 250 / 279.4 * 95 = 85.0
    EXPECT_EQ(unbound.Zoom(), 85);
    unbound.ZoomToWidth();
    EXPECT_EQ(unbound.Zoom(), 110);

    // A custom paper of no size must not be divided by.
    auto printer = std::make_unique<TPgxPrinter>();
    printer->SetScreenPpi(96);
    printer->Settings().SetPaperSize(TPgxPaperSize::Custom);
    printer->Settings().SetPaperWidth(0);
    printer->Settings().SetPaperLength(0);
    printer->BeginDoc();
    printer->NewPage();
    printer->EndDoc();
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.ZoomToFit();
    EXPECT_EQ(preview.Zoom(), 85);
    preview.ZoomToWidth();
    EXPECT_EQ(preview.Zoom(), 110);
    EXPECT_EQ(preview.Image()->size(), QSize(241, 311)); // 237.49 and 307.34 at 110 %
}

TEST(Preview, PageNumbersStayWithinTheDocument)
{
    auto printer = MakeReport(3);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.SetZoom(300);
    EXPECT_EQ(preview.PageNumber(), 1);
    ASSERT_TRUE(preview.Image()->ImageOK());

    preview.show();
    preview.verticalScrollBar()->setValue(200);
    preview.SetPageNumber(3);
    EXPECT_EQ(preview.PageNumber(), 3);
    EXPECT_EQ(preview.Image()->PageNumber(), 3);
    EXPECT_TRUE(preview.Image()->Page()->ContainsText(QStringLiteral("Page 3 of the test"), true));
    EXPECT_EQ(preview.verticalScrollBar()->value(), 0);

    for (int n : {0, -1, 4})
        preview.SetPageNumber(n);
    EXPECT_EQ(preview.PageNumber(), 3);
    EXPECT_TRUE(preview.Image()->Page()->ContainsText(QStringLiteral("Page 3 of the test"), true));

    // Another document starts at its first page.
    auto other = MakeReport(2);
    preview.SetPgxPrinter(other.get());
    EXPECT_EQ(preview.PageNumber(), 1);
    EXPECT_TRUE(preview.Image()->Page()->ContainsText(QStringLiteral("Page 1 of the test"), true));
    EXPECT_FALSE(printer->ShowingPreview());
    EXPECT_TRUE(other->ShowingPreview());
}

TEST(Preview, APageShowsOnceTheRunFinishesIt)
{
    auto printer = std::make_unique<TPgxPrinter>();
    printer->SetScreenPpi(96);
    printer->Settings().SetPaperSize(TPgxPaperSize::A4);
    TPgxPreview preview;
    preview.SetZoom(50);
    std::vector<int> available, progress;
    preview.OnPageAvailable = [&](TPgxPreview *sender, int n) { EXPECT_EQ(sender, &preview); available.push_back(n); };
    preview.OnProgressUpdate = [&](TPgxPreview *, int p) { progress.push_back(p); };

    // Bound before the document begins, as the report does: an empty frame.
    preview.SetPgxPrinter(printer.get());
    EXPECT_FALSE(preview.Image()->ImageOK());
    printer->BeginDoc();
    printer->NewPage();
    DrawTestPage(*printer, 1);
    printer->SetProgress(40);
    QCoreApplication::processEvents();
    EXPECT_FALSE(preview.Image()->ImageOK());
    EXPECT_EQ(progress, std::vector<int>{40});

    printer->NewPage(); // page 1 is finished
    QCoreApplication::processEvents();
    EXPECT_TRUE(preview.Image()->ImageOK());
    EXPECT_EQ(available, std::vector<int>{1});
    // Once the document has its paper the page is laid out at the printer's factor.
    EXPECT_EQ(preview.Image()->size(), QSize(401, 565));

    // Leaving a busy printer cancels its run.
    preview.SetPgxPrinter(nullptr);
    EXPECT_TRUE(printer->Cancelled());
    EXPECT_FALSE(printer->ShowingPreview());
    printer->AbortDoc();
}

TEST(Preview, APrinterThatGoesLeavesThePreviewUnbound)
{
    auto printer = MakeReport(1);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    printer.reset();
    EXPECT_EQ(preview.PgxPrinter(), nullptr);
    preview.SetPageNumber(1);
    preview.ZoomToFit();
    EXPECT_EQ(preview.Zoom(), 85);
}

TEST(Preview, HyperlinkHitTestAtTheZoom)
{
    auto printer = MakeReport(2); // page 2 links {100, 100, 300, 140}
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.SetZoom(50);
    preview.SetPageNumber(2);
    ASSERT_TRUE(preview.Image()->HyperlinksOK());

    struct Case { int x, y; bool hit; };
    const Case cases[] = {
        {50, 50, true},   // the top-left corner, edges count
        {150, 70, true},  // the bottom-right corner
        {151, 70, false}, // 302: beyond the right edge
        {49, 60, false},  // 98
        {100, 60, true},
        {100, 71, false}, // 142
    };
    for (const Case &c : cases)
        EXPECT_EQ(preview.Image()->Hyperlink(c.x, c.y), c.hit ? LinkOfPage(2) : QString()) << c.x << "," << c.y;

    preview.SetPageNumber(1); // page 1 has none
    EXPECT_EQ(preview.Image()->Hyperlink(50, 50), QString());
}

TEST(Preview, MouseOverLinksAndClicks)
{
    auto printer = MakeReport(2);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.SetZoom(100);
    preview.SetPageNumber(2);
    preview.show();
    TPgxPreviewImage *img = preview.Image();

    struct Event { QObject *sender; TPgxHyperlinkEventType type; QString link; };
    std::vector<Event> events;
    bool handle = true;
    preview.SetOnHyperlink([&](QObject *sender, TPgxHyperlinkEventType t, const QString &link, bool &handled) {
        events.push_back({sender, t, link});
        handled = handle;
    });
    std::vector<QUrl> opened;
    SetHyperlinkUrlOpener([&](const QUrl &u) { opened.push_back(u); return true; });

    Move(img, {10, 10});
    EXPECT_TRUE(events.empty());
    Move(img, {150, 120});
    Move(img, {160, 125}); // still on the link: no second event
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, TPgxHyperlinkEventType::heCursorMoveOver);
    EXPECT_EQ(events[0].link, LinkOfPage(2));
    EXPECT_EQ(events[0].sender, printer.get());
    EXPECT_EQ(img->cursor().shape(), Qt::PointingHandCursor);

    Press(img, {160, 125}); // handled: the handler keeps it
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].type, TPgxHyperlinkEventType::heGoto);
    EXPECT_TRUE(opened.empty());
    handle = false;
    Press(img, {160, 125});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.invalid/2")));

    Move(img, {10, 10});
    Move(img, {20, 10}); // away once, not on every move
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[3].type, TPgxHyperlinkEventType::heCursorMoveAway);
    EXPECT_EQ(events[3].link, QString());
    EXPECT_NE(img->cursor().shape(), Qt::PointingHandCursor);

    // Without a handler a click on a link still follows it.
    preview.SetOnHyperlink(nullptr);
    Move(img, {150, 120});
    Press(img, {150, 120});
    EXPECT_EQ(opened.size(), 2u);
    SetHyperlinkUrlOpener(nullptr);
}

TEST(Preview, ClicksOnThePageReachTheControl)
{
    auto printer = MakeReport(1);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.show();
    int clicks = 0;
    QPoint down;
    QObject::connect(&preview, &TPgxPreview::Click, [&] { ++clicks; });
    QObject::connect(&preview, &TPgxPreview::MouseDown, [&](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { down = {x, y}; });
    QTest::mouseClick(preview.Image(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(down, QPoint(30, 40));
}

TEST(Preview, GrabbedPixelsShowThePage)
{
    auto printer = MakeReport(2);
    TPgxPreview preview;
    preview.SetPgxPrinter(printer.get());
    preview.SetZoom(50);
    TPgxPreviewImage *img = preview.Image();
    // The page's block (50, 50)-(300, 200) at half size; its colour differs from page to page.
    const QImage one = img->grab().toImage();
    EXPECT_EQ(QColor(one.pixel(80, 60)), QColor(PageColour(1)));
    EXPECT_EQ(QColor(one.pixel(10, 10)), QColor(Qt::white));
    EXPECT_EQ(QColor(one.pixel(0, 100)), QColor(Qt::black));             // the frame
    EXPECT_EQ(QColor(one.pixel(one.width() - 1, 100)), QColor(Qt::black)); // the shadow
    preview.SetPageNumber(2);
    const QImage two = img->grab().toImage();
    EXPECT_EQ(QColor(two.pixel(80, 60)), QColor(PageColour(2)));

    // An unbound control paints nothing of a page.
    TPgxPreview empty;
    const QImage none = empty.Image()->grab().toImage();
    EXPECT_NE(QColor(none.pixel(0, 10)), QColor(Qt::black));
}
