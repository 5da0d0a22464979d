#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>

#include <cstring>
#include <random>

#include "decoder/dsp.h"
#include "graphics/widgets/rx32_image.h"
#include "platform/jpeg.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"
#include "viewer/base/vieweroptions.h"

using namespace strandel;

namespace {

// Pictures with detail in every column, so a shifted copy never matches by chance.
std::vector<uint8_t> MakeJpeg(int w, int h, uint32_t seed, bool noise = false, int quality = 90)
{
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c;
            if (noise)
                c = rng() & 0xFFFFFF;
            else
                c = uint32_t((x * 7 + seed * 40) & 0xFF) << 16 | uint32_t((y * 5 + x / 3) & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF);
            pixels[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000u | c;
        }
    std::vector<uint8_t> out;
    EXPECT_TRUE(JpegEncode(pixels.data(), w, h, w, quality, out));
    return out;
}

JpegImage Decoded(const std::vector<uint8_t> &jpeg)
{
    JpegImage image;
    EXPECT_TRUE(JpegDecode(jpeg.data(), jpeg.size(), image));
    return image;
}

struct Record {
    FrameRecordHeader header;
    DvrRecordStream stream;
};

void InsertBlock(std::vector<uint8_t> &data, size_t at)
{
    ASSERT_LT(at, data.size());
    data.insert(data.begin() + std::ptrdiff_t(at), size_t(kInsertedBlockSize), uint8_t(0xEE));
}

// Part 0 as a recorder builds it: prefix and first area, then for two fields a prefixed second
// area; with blocks, each area of more than 65440 bytes carries an inserted block.
Record MakeRecord(const std::vector<uint8_t> &a, const std::vector<uint8_t> *b, uint8_t sizeCode, uint8_t ch,
                  uint8_t ch2 = 0, bool blocks = false)
{
    Record r;
    std::vector<uint8_t> &d = r.stream.data;
    d.assign(kJpegRecordPrefix, 0x11);
    d.insert(d.end(), a.begin(), a.end());
    if (blocks && d.size() > kInsertedBlockAt)
        InsertBlock(d, kInsertedBlockAt);
    const size_t f = d.size();
    if (b) {
        d.insert(d.end(), kJpegRecordPrefix, 0x22);
        d.insert(d.end(), b->begin(), b->end());
        if (blocks && d.size() > f + kInsertedBlockAt)
            InsertBlock(d, f + kInsertedBlockAt);
    }
    r.header.channel = ch;
    r.header.channel2 = ch2;
    r.header.event = 0x01;
    r.header.event2 = 0x06;
    std::memcpy(r.header.text[0].data(), "Gate", 4);
    std::memcpy(r.header.text[1].data(), "Yard", 4);
    r.header.sizeCode = sizeCode;
    r.header.time = {20, 26, 12, 10, 13, 45, 7};
    r.header.partSize[0] = uint32_t(d.size());
    r.header.jpegLength = uint32_t(f);
    return r;
}

// Whether bitmap row dy, columns 0..n-1, equals the reference row sy from column sx.
bool RowMatches(const TBitmap32 &bitmap, int dy, const JpegImage &ref, int sy, int sx, int n)
{
    const uint32_t *a = bitmap.GetScanLine(dy);
    const uint32_t *b = &ref.pixels[size_t(sy) * size_t(ref.width) + size_t(sx)];
    return std::memcmp(a, b, size_t(n) * 4) == 0;
}

QString Text(const QLabel *label) { return label->text(); }

class Options {
public:
    explicit Options(uint8_t title = 0, uint8_t time = 0, uint8_t event = 0) : saved_(GetViewerOptions())
    {
        GetViewerOptions().showChannelTitle = title;
        GetViewerOptions().showDateTime = time;
        GetViewerOptions().showEvent = event;
    }
    ~Options() { GetViewerOptions() = saved_; }

private:
    ViewerOptions saved_;
};

// A view that records what the panes ask of it.
class StandInView : public TfrmDvrWin {
public:
    int current = 0;
    std::vector<int> selected;
    std::vector<QPoint> popups;
    std::vector<std::vector<uint8_t>> sent;
    int GetCurrentChannel() const override { return current; }
    void SelectChannel(int channel) override { selected.push_back(channel); }
    void ShowPopupMenu(const QPoint &at) override { popups.push_back(at); }
};

class CommandView : public TfrmDvrWin {
public:
    std::vector<std::vector<uint8_t>> sent;
    void SendCommand(uint8_t cmd, const uint8_t *data, int length) override
    {
        std::vector<uint8_t> v{cmd};
        v.insert(v.end(), data, data + length);
        sent.push_back(v);
    }
};

QImage Grab(QWidget &w)
{
    w.show();
    QCoreApplication::processEvents();
    return w.grab().toImage();
}

} // namespace

TEST(DvrCh, TwoFieldsAreWovenInto708x476)
{
    const auto a = MakeJpeg(720, 240, 1), b = MakeJpeg(720, 240, 2);
    const JpegImage ra = Decoded(a), rb = Decoded(b);
    Record r = MakeRecord(a, &b, 0, 1);
    TfrmDvrCh pane(nullptr, 1);
    pane.ShowFrame(&r.header, &r.stream);
    const TBitmap32 &bm = pane.FullBitmap();
    ASSERT_EQ(bm.Width(), 708);
    ASSERT_EQ(bm.Height(), 476);
    for (int y = 0; y < 238; ++y) {
        ASSERT_TRUE(RowMatches(bm, 2 * y, ra, y, 0, 708)) << y;
        ASSERT_TRUE(RowMatches(bm, 2 * y + 1, rb, y, 0, 708)) << y;
    }
    EXPECT_TRUE(pane.IsShowing());
    EXPECT_EQ(Text(pane.lblTimeFore), "2026/12/10  13:45:07");
    EXPECT_EQ(Text(pane.lblEventFore), "A  ");
    EXPECT_EQ(Text(pane.lblChFore), "Gate");
}

TEST(DvrCh, FieldsOfDifferentSizesAreWovenWithinBoth)
{
    // A short or narrow second field is copied only where it has rows and columns.
    const auto a = MakeJpeg(720, 240, 12), b = MakeJpeg(352, 120, 13);
    const JpegImage rb = Decoded(b);
    Record r = MakeRecord(a, &b, 0, 1);
    TfrmDvrCh pane(nullptr, 1);
    pane.ShowFrame(&r.header, &r.stream);
    const TBitmap32 &bm = pane.FullBitmap();
    ASSERT_EQ(bm.Height(), 476);
    EXPECT_TRUE(RowMatches(bm, 1, rb, 0, 0, 352));
    EXPECT_TRUE(RowMatches(bm, 239, rb, 119, 0, 352));
}

TEST(DvrCh, SideBySideChannelsTakeTheirHalf)
{
    const auto jpeg = MakeJpeg(720, 240, 3);
    const JpegImage ref = Decoded(jpeg);
    Record r = MakeRecord(jpeg, nullptr, 3, 5, 6);
    TfrmDvrCh pane5(nullptr, 5), pane6(nullptr, 6);
    pane5.ShowFrame(&r.header, &r.stream);
    pane6.ShowFrame(&r.header, &r.stream);
    for (TfrmDvrCh *pane : {&pane5, &pane6}) {
        const TBitmap32 &bm = pane->FullBitmap();
        ASSERT_EQ(bm.Width(), 348);
        ASSERT_EQ(bm.Height(), 236);
        const int x0 = pane == &pane5 ? 0 : 360;
        for (int y = 0; y < 236; ++y)
            ASSERT_TRUE(RowMatches(bm, y, ref, y, x0, 348)) << pane->Channel() << " " << y;
    }
    EXPECT_EQ(Text(pane6.lblChFore), "Yard");
    EXPECT_EQ(Text(pane6.lblEventFore), " LM");
}

TEST(DvrCh, InsertedBlocksAreCutOncePerRecord)
{
    // Noise pictures are far longer than 65440 bytes, so every area carries a block.
    const auto a = MakeJpeg(720, 240, 4, true), b = MakeJpeg(720, 240, 5, true);
    ASSERT_GT(a.size(), 70000u);
    const JpegImage ra = Decoded(a), rb = Decoded(b);

    Record fields = MakeRecord(a, &b, 0, 1, 0, true);
    TfrmDvrCh pane(nullptr, 1);
    pane.ShowFrame(&fields.header, &fields.stream);
    ASSERT_EQ(pane.FullBitmap().Height(), 476);
    for (int y = 0; y < 238; ++y) {
        ASSERT_TRUE(RowMatches(pane.FullBitmap(), 2 * y, ra, y, 0, 708)) << y;
        ASSERT_TRUE(RowMatches(pane.FullBitmap(), 2 * y + 1, rb, y, 0, 708)) << y;
    }

    // Two channels share one stream; whichever pane comes first cuts it, the other reads it as is.
    const auto wide = MakeJpeg(720, 480, 6, true);
    const JpegImage rw = Decoded(wide);
    for (bool secondFirst : {false, true}) {
        Record shared = MakeRecord(wide, nullptr, 3, 5, 6, true);
        TfrmDvrCh pane5(nullptr, 5), pane6(nullptr, 6);
        if (secondFirst) {
            pane6.ShowFrame(&shared.header, &shared.stream);
            pane5.ShowFrame(&shared.header, &shared.stream);
        } else {
            pane5.ShowFrame(&shared.header, &shared.stream);
            pane6.ShowFrame(&shared.header, &shared.stream);
        }
        for (int y = 0; y < 476; ++y) {
            ASSERT_TRUE(RowMatches(pane5.FullBitmap(), y, rw, y, 0, 348)) << secondFirst << " " << y;
            ASSERT_TRUE(RowMatches(pane6.FullBitmap(), y, rw, y, 360, 348)) << secondFirst << " " << y;
        }
    }
}

TEST(DvrCh, BadRecordsLeaveThePaneAsItWas)
{
    const auto good = MakeJpeg(720, 240, 7);
    Record ok = MakeRecord(good, nullptr, 1, 2);
    struct Case {
        const char *name;
        void (*spoil)(Record &);
    } cases[] = {
        {"part 0 beyond the data", [](Record &r) { r.header.partSize[0] = uint32_t(r.stream.data.size() + 1); }},
        {"first area beyond part 0", [](Record &r) { r.header.jpegLength = 0xFFFFFFFFu; }},
        {"first area beyond, past the block", [](Record &r) { r.header.jpegLength = r.header.partSize[0] + 70000; }},
        {"nothing after the prefix", [](Record &r) { r.header.partSize[0] = 32; r.header.jpegLength = 0; }},
        {"not a JPEG", [](Record &r) { std::fill(r.stream.data.begin(), r.stream.data.end(), uint8_t(0x5A)); }},
        {"empty stream", [](Record &r) { r.stream.data.clear(); }},
    };
    for (const Case &c : cases) {
        TfrmDvrCh pane(nullptr, 2);
        Record first = ok;
        pane.ShowFrame(&first.header, &first.stream);
        const TBitmap32 &bm = pane.FullBitmap();
        const std::vector<uint32_t> before(bm.Bits(), bm.Bits() + size_t(bm.Width()) * size_t(bm.Height()));
        Record bad = MakeRecord(good, nullptr, 1, 2);
        bad.header.time = {20, 27, 1, 1, 0, 0, 0};
        c.spoil(bad);
        pane.ShowFrame(&bad.header, &bad.stream);
        ASSERT_EQ(bm.Width(), 708) << c.name;
        ASSERT_EQ(bm.Height(), 236) << c.name;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), bm.Bits())) << c.name;
        EXPECT_EQ(Text(pane.lblTimeFore), "2026/12/10  13:45:07") << c.name;
        EXPECT_EQ(pane.ShownHeader().time.year, 26) << c.name;
    }
}

TEST(DvrCh, CovertChannelTurnsBlack)
{
    const auto jpeg = MakeJpeg(720, 240, 8);
    Record r = MakeRecord(jpeg, nullptr, 3, 5, 6);
    r.header.covert = 2; // the second channel
    TfrmDvrCh pane5(nullptr, 5), pane6(nullptr, 6);
    pane5.ShowFrame(&r.header, &r.stream);
    pane6.ShowFrame(&r.header, &r.stream);
    EXPECT_EQ(pane5.FullBitmap().Width(), 348);
    EXPECT_EQ(Text(pane5.lblChFore), "Gate");
    EXPECT_EQ(pane6.FullBitmap().Width(), 8);
    EXPECT_EQ(pane6.FullBitmap().GetPixel(3, 3), clBlack32);
    EXPECT_EQ(pane6.imgCh->Color(), clBlackColor);
    EXPECT_EQ(Text(pane6.lblChFore), "COVERT");
    EXPECT_EQ(Text(pane6.lblTimeFore), "");
    EXPECT_EQ(Text(pane6.lblEventFore), "   ");
    EXPECT_TRUE(pane6.IsShowing());
}

TEST(DvrCh, NewPaneTextsAndBlanking)
{
    TfrmDvrCh pane(nullptr, 3);
    EXPECT_EQ(Text(pane.lblTimeFore), "No Image");
    EXPECT_EQ(Text(pane.lblChFore), "Ch3");
    EXPECT_EQ(Text(pane.lblChBack), "Ch3");
    pane.ShowFrame(nullptr, nullptr); // nothing shown: nothing changes
    EXPECT_EQ(Text(pane.lblTimeFore), "No Image");
    QImage copy;
    EXPECT_EQ(pane.CopyPicture(&copy), nullptr);

    const auto jpeg = MakeJpeg(720, 240, 9);
    Record r = MakeRecord(jpeg, nullptr, 1, 3);
    pane.ShowFrame(&r.header, &r.stream);
    pane.ShowFrame(nullptr, nullptr);
    EXPECT_FALSE(pane.IsShowing());
    EXPECT_EQ(pane.FullBitmap().Width(), 8);
    EXPECT_EQ(Text(pane.lblTimeFore), "");
    EXPECT_EQ(Text(pane.lblChFore), "Gate"); // the channel name stays
}

TEST(DvrCh, MpegPictureComesFromBitmapA)
{
    QImage a(704, 240, QImage::Format_RGB16);
    a.fill(QColor(0, 0, 255));
    TfrmDvrCh pane(nullptr, 4);
    pane.SetBitmaps(&a, nullptr);
    FrameRecordHeader h;
    h.channel = 4;
    h.sizeCode = 1;
    std::memcpy(h.text[0].data(), "Dock", 4);
    pane.ShowFrame(&h, nullptr);
    const TBitmap32 &bm = pane.FullBitmap();
    EXPECT_EQ(bm.Width(), 708);
    EXPECT_EQ(bm.Height(), 236);
    EXPECT_EQ(bm.GetPixel(703, 100) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(Text(pane.lblChFore), "Dock");
}

TEST(DvrCh, GrabShowsMaroonThenThePicture)
{
    Options off;
    TfrmDvrCh pane(nullptr, 1);
    pane.resize(360, 240);
    QImage shot = Grab(pane);
    EXPECT_EQ(shot.pixel(0, 0) & 0xFFFFFF, 0x800000u);
    EXPECT_EQ(shot.pixel(359, 239) & 0xFFFFFF, 0x800000u);

    // Four flat quadrants; the stretched picture keeps them in place.
    std::vector<uint32_t> px(360 * 240);
    const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 360; ++x)
            px[size_t(y) * 360 + size_t(x)] = colours[(y / 120) * 2 + x / 180];
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(JpegEncode(px.data(), 360, 240, 360, 95, jpeg));
    Record r = MakeRecord(jpeg, nullptr, 2, 1);
    pane.ShowFrame(&r.header, &r.stream);
    shot = Grab(pane);
    auto near = [](QRgb a, uint32_t b) {
        return std::abs(qRed(a) - int((b >> 16) & 0xFF)) < 12 && std::abs(qGreen(a) - int((b >> 8) & 0xFF)) < 12 &&
               std::abs(qBlue(a) - int(b & 0xFF)) < 12;
    };
    EXPECT_TRUE(near(shot.pixel(60, 60), colours[0]));
    EXPECT_TRUE(near(shot.pixel(300, 60), colours[1]));
    EXPECT_TRUE(near(shot.pixel(60, 200), colours[2]));
    EXPECT_TRUE(near(shot.pixel(300, 200), colours[3]));
}

TEST(DvrCh, TitleBitmapWritesWhiteOverABlackShadow)
{
    Options titles(1);
    TfrmDvrCh pane(nullptr, 1);
    pane.resize(201, 100); // the 73-pixel title centres without rounding
    uint8_t bits[kTitleBitmapSize] = {};
    bits[0] = 0x80;
    pane.DrawTitle(bits, 0);
    const QImage &t = pane.TitleImage();
    ASSERT_EQ(t.size(), QSize(73, 17));
    EXPECT_EQ(t.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(t.pixel(1, 1), 0xFF000000u);
    EXPECT_EQ(qAlpha(t.pixel(2, 2)), 0);
    EXPECT_EQ(pane.TitleMode(), 0);

    pane.DrawTitle(nullptr, 1); // the one-byte reply switches to the bitmap
    EXPECT_EQ(pane.TitleMode(), 1);
    const QImage shot = Grab(pane);
    EXPECT_TRUE(pane.imgTitle0->isVisible());
    EXPECT_FALSE(pane.lblChFore->isVisible());
    const int left = (201 - 73) / 2, top = 100 - 17;
    EXPECT_EQ(shot.pixel(left, top) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(shot.pixel(left + 1, top + 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(shot.pixel(left + 2, top + 2) & 0xFFFFFF, 0x800000u); // transparent: the maroon below
}

TEST(DvrCh, EventLettersAndOverlayOptions)
{
    TfrmDvrCh pane(nullptr, 1);
    const std::pair<uint8_t, const char *> cases[] = {{0, "   "}, {1, "A  "}, {2, " L "}, {4, "  M"}, {7, "ALM"}, {0xF8, "   "}};
    for (const auto &[bits, text] : cases) {
        pane.SetEventText(bits);
        EXPECT_EQ(Text(pane.lblEventFore), text);
        EXPECT_EQ(Text(pane.lblEventBack), text);
    }
    Options some(1, 0, 1);
    pane.UpdateOverlay();
    pane.show();
    EXPECT_TRUE(pane.lblChFore->isVisible());
    EXPECT_FALSE(pane.lblTimeFore->isVisible());
    EXPECT_TRUE(pane.lblEventBack->isVisible());
    EXPECT_FALSE(pane.imgTitle0->isVisible());
}

TEST(DvrCh, RubberBandZoomsAndClickRestores)
{
    TfrmDvrCh pane(nullptr, 1);
    pane.resize(288, 192); // a fifth of the 1440 x 960 zoom space
    pane.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(pane.imgCh->geometry(), QRect(0, 0, 288, 192));

    // 16 x 40 pixels is 80 x 200 in the zoom space: too narrow, ignored.
    pane.imgCh___MouseDown(Qt::LeftButton, 50, 40);
    EXPECT_TRUE(!pane.shpZoom->isHidden());
    pane.imgCh___MouseMove(true, 66, 80);
    EXPECT_EQ(pane.shpZoom->geometry(), QRect(50, 40, 16, 40));
    pane.imgCh___MouseUp(Qt::LeftButton, 66, 80);
    EXPECT_FALSE(!pane.shpZoom->isHidden());
    EXPECT_FALSE(pane.IsZoomed());

    // Dragged up and left, 18 x 18 pixels: 90 x 90, zoomed.
    pane.imgCh___MouseDown(Qt::LeftButton, 68, 58);
    pane.imgCh___MouseMove(true, 50, 40);
    pane.imgCh___MouseUp(Qt::LeftButton, 50, 40);
    ASSERT_TRUE(pane.IsZoomed());
    EXPECT_EQ(pane.ZoomRect(), QRect(250, 200, 90, 90));
    EXPECT_EQ(pane.imgCh->geometry(), QRect(-800, -426, 4608, 2048));
    // The overlay stays at its place in the pane.
    EXPECT_EQ(pane.lblTimeFore->pos(), QPoint(806, 430));
    EXPECT_EQ(pane.lblTimeBack->pos(), QPoint(807, 431));

    // The next left click restores the whole picture and starts a new band.
    pane.imgCh___MouseDown(Qt::LeftButton, 900, 500);
    EXPECT_FALSE(pane.IsZoomed());
    EXPECT_EQ(pane.imgCh->geometry(), QRect(0, 0, 288, 192));
    EXPECT_TRUE(!pane.shpZoom->isHidden());
    // A click while the band shows only hides it.
    pane.imgCh___MouseDown(Qt::LeftButton, 10, 10);
    EXPECT_FALSE(!pane.shpZoom->isHidden());
}

TEST(DvrCh, DoubleClickSwitchesViewAndRightClickOpensTheMenu)
{
    // The view's own pane 7 reaches the view through the pane's signals.
    StandInView view;
    TfrmDvrCh &pane = *view.Pane(6);
    pane.imgCh___DblClick();
    view.current = 7;
    pane.imgCh___DblClick();
    EXPECT_EQ(view.selected, (std::vector<int>{7, 0}));
    // The mouse-up after a double click only hides the band.
    EXPECT_TRUE(!pane.shpZoom->isHidden());
    pane.imgCh___MouseUp(Qt::LeftButton, 5, 5);
    EXPECT_FALSE(!pane.shpZoom->isHidden());
    EXPECT_FALSE(pane.IsZoomed());
    pane.imgCh___MouseDown(Qt::RightButton, 5, 5);
    pane.imgCh___MouseUp(Qt::RightButton, 5, 5);
    EXPECT_EQ(view.popups.size(), 1u);
}

TEST(DvrCh, CopyPictureAtTheRecorderSize)
{
    const auto full = MakeJpeg(720, 240, 10), half = MakeJpeg(352, 240, 11);
    struct Case {
        const std::vector<uint8_t> *jpeg;
        uint8_t sizeCode;
        QSize size;
    } cases[] = {{&full, 1, {720, 480}}, {&half, 2, {360, 240}}, {&full, 3, {360, 240}}};
    for (const Case &c : cases) {
        TfrmDvrCh pane(nullptr, 1);
        Record r = MakeRecord(*c.jpeg, nullptr, c.sizeCode, 1);
        pane.ShowFrame(&r.header, &r.stream);
        QImage picture;
        ASSERT_EQ(pane.CopyPicture(&picture), &picture);
        EXPECT_EQ(picture.size(), c.size);
        EXPECT_EQ(picture.format(), QImage::Format_RGB16);
    }
}

TEST(DvrWinLayout, PanesFollowTheSplitAndTheChannelCommandIsSent)
{
    CommandView view;
    view.resize(QSize(720, 480) + view.VideoMargins());
    view.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(view.pnlDvr->size(), QSize(720, 480));
    view.SetVideoFormat(16, 0x01);
    EXPECT_TRUE(view.IsNtsc());
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(view.Pane(i)->isVisible()) << i;
        EXPECT_EQ(view.Pane(i)->geometry(), QRect(180 * (i % 4), 120 * (i / 4), 179, 119)) << i;
    }
    view.SetSplit(6); // 6 cells: channels 1-6
    EXPECT_EQ(view.Pane(0)->geometry(), QRect(0, 0, 479, 319));
    EXPECT_FALSE(view.Pane(6)->isVisible());

    view.SelectChannel(3);
    EXPECT_EQ(view.GetCurrentChannel(), 3);
    EXPECT_FALSE(view.Pane(0)->isVisible());
    EXPECT_EQ(view.Pane(2)->geometry(), QRect(0, 0, 719, 479));
    ASSERT_EQ(view.sent.size(), 1u);
    EXPECT_EQ(view.sent[0], (std::vector<uint8_t>{DvrCmdChannel, 3, 0}));

    // A resize of the panel re-lays the current view.
    view.resize(QSize(1000, 500) + view.VideoMargins());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Pane(2)->geometry(), QRect(0, 0, 999, 499));
}

namespace {

PlanarPicture MakePlanar(int w, int h, uint32_t seed)
{
    PlanarPicture p;
    p.Resize(w, h);
    std::mt19937 rng(seed);
    for (uint8_t &b : p.bytes)
        b = uint8_t(rng());
    return p;
}

} // namespace

// A decoded MPEG picture is drawn straight from the decoder's planar form at the size the pane
// has: the very pixels of its full-size bitmap stretched as the control stretches a bitmap. That
// bitmap is made only when something reads it, and copying the picture reads it.
TEST(DvrCh, DecodedPictureIsDrawnAtThePaneSizeAndMadeFullSizeWhenRead)
{
    struct Case {
        uint8_t sizeCode;
        int width, height; // of the decoded picture
        QSize pane;
        bool zoom;
        QSize bitmap; // the full-size bitmap
    } cases[] = {
        {0, 704, 480, {177, 119}, false, {708, 476}}, {0, 704, 480, {708, 476}, false, {708, 476}},
        {0, 704, 480, {900, 700}, false, {708, 476}}, {0, 704, 480, {360, 240}, true, {708, 476}},
        {2, 352, 240, {300, 200}, false, {348, 236}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.pane.width() << "x" << c.pane.height() << (c.zoom ? " zoomed" : ""));
        TfrmDvrCh pane(nullptr, 1);
        pane.resize(c.pane);
        pane.show();
        for (QLabel *label : pane.findChildren<QLabel *>())
            label->hide(); // the overlay texts would cover pixels
        if (c.zoom) {
            pane.imgCh___MouseDown(Qt::LeftButton, 90, 60);
            pane.imgCh___MouseMove(true, 250, 170);
            pane.imgCh___MouseUp(Qt::LeftButton, 250, 170);
            ASSERT_TRUE(pane.IsZoomed());
        }
        FrameRecordHeader h{};
        h.channel = 1;
        h.sizeCode = c.sizeCode;
        PlanarPicture picture = MakePlanar(c.width, c.height, 7);
        const PlanarPicture same = picture;
        pane.ShowDecoded(h, pane.TakeDecoded(h, picture));
        ASSERT_TRUE(pane.IsShowing());
        EXPECT_LE(pane.imgCh->Bitmap().Width() * pane.imgCh->Bitmap().Height(), 1) << "made before it was read";
        const QImage shown = pane.grab().toImage().convertToFormat(QImage::Format_ARGB32);

        const TBitmap32 &full = pane.FullBitmap();
        ASSERT_EQ(QSize(full.Width(), full.Height()), c.bitmap);
        // Row for row the decoder's conversion of the picture, opaque; columns right of it clear.
        for (int y = 0; y < full.Height(); y += 37)
            for (int x = 0; x < full.Width(); ++x) {
                uint32_t want = 0;
                if (x < c.width)
                    lumaset::ScaledRowPlain(&want, same.Y(y), same.U(y), same.V(y), &x, 1);
                ASSERT_EQ(full.GetPixel(x, y), want) << x << "," << y;
            }

        TBitmap32 drawn, ref;
        drawn.SetSize(c.pane.width(), c.pane.height());
        ref.SetSize(c.pane.width(), c.pane.height());
        const QRect g = pane.imgCh->geometry();
        const_cast<TBitmap32 &>(full).DrawTo(&ref, MakeRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height()));
        int compared = 0, wrong = 0;
        for (int y = 0; y < c.pane.height(); ++y)
            for (int x = 0; x < c.pane.width(); ++x) {
                const TColor32 want = ref.GetPixel(x, y);
                if (want >> 24 != 0xFF)
                    continue; // clear columns: what shows there is the window behind
                ++compared;
                wrong += (shown.pixel(x, y) | 0xFF000000u) != want;
            }
        EXPECT_GT(compared, c.pane.width() * c.pane.height() * 9 / 10);
        EXPECT_EQ(wrong, 0);

        QImage copy;
        ASSERT_EQ(pane.CopyPicture(&copy), &copy);
        EXPECT_EQ(copy.size(), c.sizeCode == 2 ? QSize(360, 240) : QSize(720, 480));
    }
}

// A whole JPEG picture drawn smaller than it is decodes at a half or a quarter of its size. Its
// full-size bitmap, what print and save read, comes from the kept record bit for bit as a full
// decode; drawn larger again, the pane decodes the record again. Field pictures stay whole.
TEST(DvrCh, WholeJpegPictureDrawnSmallDecodesAtAFraction)
{
    const auto whole = MakeJpeg(720, 480, 21), field = MakeJpeg(720, 240, 22);
    const JpegImage ref = Decoded(whole), refField = Decoded(field);
    struct Case {
        QSize pane, bitmap;
        bool fields;
    } cases[] = {{{708, 476}, {708, 476}, false}, {{600, 300}, {354, 238}, false}, {{354, 200}, {177, 119}, false},
                 {{177, 119}, {177, 119}, false}, {{177, 119}, {708, 476}, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.pane.width() << "x" << c.pane.height() << (c.fields ? " fields" : ""));
        TfrmDvrCh pane(nullptr, 1);
        pane.resize(c.pane);
        pane.show();
        Record r = c.fields ? MakeRecord(field, &field, 0, 1, 0, true) : MakeRecord(whole, nullptr, 1, 1, 0, true);
        pane.ShowFrame(&r.header, &r.stream);
        ASSERT_TRUE(pane.IsShowing());
        const TBitmap32 &drawn = pane.imgCh->Bitmap();
        EXPECT_EQ(QSize(drawn.Width(), drawn.Height()), c.bitmap);
        if (!c.fields && c.bitmap.width() < 708) {
            // Row for row what libjpeg gives at that fraction.
            const int reduction = 708 / c.bitmap.width();
            std::vector<uint32_t> small;
            int sw = 0;
            ASSERT_TRUE(JpegDecodeInto(
                whole.data(), whole.size(),
                [&](int w, int h, size_t *stride) {
                    sw = w;
                    small.assign(size_t(w) * size_t(h), 0);
                    *stride = size_t(w);
                    return small.data();
                },
                nullptr, reduction));
            for (int y = 0; y < drawn.Height(); y += 13)
                ASSERT_EQ(std::memcmp(drawn.GetScanLine(y), &small[size_t(y) * size_t(sw)], size_t(drawn.Width()) * 4), 0)
                    << y;
        }
        const TBitmap32 &full = pane.FullBitmap();
        ASSERT_EQ(QSize(full.Width(), full.Height()), QSize(708, 476));
        for (int y = 0; y < 476; y += 7)
            ASSERT_TRUE(c.fields ? RowMatches(full, y, refField, y / 2, 0, 708) : RowMatches(full, y, ref, y, 0, 708))
                << y;
        QImage copy;
        EXPECT_EQ(pane.CopyPicture(&copy), &copy);
    }

    // Shown small, then the pane grows (the channel alone): the picture comes at full size again.
    TfrmDvrCh pane(nullptr, 1);
    pane.resize(177, 119);
    pane.show();
    Record r = MakeRecord(whole, nullptr, 1, 1, 0, true);
    pane.ShowFrame(&r.header, &r.stream);
    ASSERT_EQ(pane.imgCh->Bitmap().Width(), 177);
    pane.resize(720, 480);
    EXPECT_EQ(pane.imgCh->Bitmap().Width(), 708);
    EXPECT_TRUE(RowMatches(pane.imgCh->Bitmap(), 100, ref, 100, 0, 708));
}
