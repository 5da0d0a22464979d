#include <cstring>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <functional>

#include "graphics/rx32.h"
#include "platform/endian.h"

using namespace strandel;

namespace {

// Records the events of a bitmap as letters: H handle, C change, R resize.
struct EventLog
{
    std::string text;
    TBitmap32 &bitmap;
    explicit EventLog(TBitmap32 &b) : bitmap(b)
    {
        b.OnHandleChanged = [this](TThreadPersistent *) { text += 'H'; };
        b.OnChange = [this](TThreadPersistent *) { text += 'C'; };
        b.OnResize = [this](TThreadPersistent *) { text += 'R'; };
    }
    // The bitmap outlives the log and still fires as it goes.
    ~EventLog() { bitmap.OnHandleChanged = bitmap.OnChange = bitmap.OnResize = nullptr; }
};

void Fill(TBitmap32 &b, std::initializer_list<TColor32> pixels)
{
    size_t i = 0;
    for (TColor32 p : pixels)
        b.Bits()[i++] = p;
}

std::vector<TColor32> Pixels(const TBitmap32 &b)
{
    return {b.Bits(), b.Bits() + size_t(b.Width()) * size_t(b.Height())};
}

QByteArray DataOf(const TBitmap32 &b)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    b.WriteData(buffer);
    return bytes;
}

} // namespace

TEST(ThreadPersistent, UpdateCountingAndLocks)
{
    TBitmap32 b;
    int changes = 0;
    b.OnChange = [&](TThreadPersistent *sender) {
        EXPECT_EQ(sender, &b);
        ++changes;
    };
    EXPECT_THROW(b.EndUpdate(), EAssertionFailed);
    EXPECT_EQ(b.UpdateCount(), 0);
    try {
        b.EndUpdate();
    } catch (const EAssertionFailed &e) {
        EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
    }
    b.BeginUpdate();
    b.Changed();
    b.EndUpdate();
    EXPECT_EQ(changes, 0);
    b.Changed();
    EXPECT_EQ(changes, 1);

    b.Lock();
    b.Lock(); // the object's lock is re-entrant
    EXPECT_EQ(b.LockCount(), 2);
    b.Unlock();
    b.Unlock();
    EXPECT_EQ(b.LockCount(), 0);
}

TEST(CustomMap, SetSizeFrom)
{
    TBitmap32 a, b;
    a.SetSize(3, 4);
    EXPECT_TRUE(b.SetSizeFrom(&a));
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 4);
    EXPECT_TRUE(b.SetSizeFrom(QImage(5, 6, QImage::Format_RGB32)));
    EXPECT_EQ(b.Width(), 5);
    EXPECT_TRUE(b.SetSizeFrom(static_cast<const TPersistent *>(nullptr)));
    EXPECT_TRUE(b.Empty());
    TPersistent other;
    try {
        b.SetSizeFrom(&other);
        FAIL();
    } catch (const ERx32Error &e) {
        EXPECT_STREQ(e.what(), "Can't set size from 'TPersistent'");
    }
}

TEST(Bitmap32, SetSizeEventsAndEmptyShapes)
{
    TBitmap32 b;
    EventLog log(b);
    EXPECT_TRUE(b.SetSize(2, 3));
    EXPECT_EQ(log.text, "HCR");
    EXPECT_FALSE(b.SetSize(2, 3));
    EXPECT_EQ(log.text, "HCR");
    EXPECT_EQ(Pixels(b), std::vector<TColor32>(6, 0)); // new memory is transparent black
    EXPECT_EQ(b.Image().constBits(), reinterpret_cast<const uchar *>(b.Bits())); // wrapped, not copied

    EXPECT_TRUE(b.SetSize(-3, 10));
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 10);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_FALSE(b.SetSize(-3, 10));
    EXPECT_EQ(log.text, "HCRHCR");
}

TEST(Bitmap32, HugeSizeFailsCleanly)
{
    TBitmap32 b;
    b.SetSize(2, 2);
    EventLog log(b);
    try {
        b.SetSize(0x10000, 0x10000);
        FAIL();
    } catch (const ERx32Error &e) {
        EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
    }
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(log.text, "");
}

TEST(Bitmap32, PropertiesAndClear)
{
    TBitmap32 b;
    int changes = 0;
    b.OnChange = [&](TThreadPersistent *) { ++changes; };
    b.SetMasterAlpha(300); // clamped: larger values index past the weight range
    EXPECT_EQ(b.MasterAlpha(), 255u);
    EXPECT_EQ(changes, 0);
    b.SetMasterAlpha(7);
    b.SetDrawMode(dmBlend);
    b.SetDrawMode(dmBlend);
    b.SetStretchFilter(sfSpline);
    EXPECT_EQ(changes, 3);
    b.Clear(); // empty: nothing
    EXPECT_EQ(changes, 3);
    b.SetSize(2, 1);
    b.Clear();
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF000000, 0xFF000000}));
}

TEST(Bitmap32, AssignBitmapAndNothing)
{
    TBitmap32 a, b;
    a.SetSize(2, 1);
    Fill(a, {0x00123456, 0x80ABCDEF});
    a.SetDrawMode(dmBlend);
    a.SetMasterAlpha(99);
    a.OuterColor = 5;
    a.SetStretchFilter(sfLinear);
    EventLog log(b);
    b.Assign(&a);
    EXPECT_EQ(log.text, "HRC"); // the resize's change waits for the final one
    EXPECT_EQ(Pixels(b), Pixels(a));
    EXPECT_EQ(b.DrawMode(), dmBlend);
    EXPECT_EQ(b.MasterAlpha(), 99u);
    EXPECT_EQ(b.OuterColor, 5u);
    EXPECT_EQ(b.StretchFilter(), sfLinear);

    log.text.clear();
    b.Assign(static_cast<const TPersistent *>(nullptr));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(log.text, "HRC");
    TPersistent other;
    EXPECT_THROW(b.Assign(&other), EConvertError);
    EXPECT_EQ(b.UpdateCount(), 0);
}

TEST(Bitmap32, AssignPlatformImages)
{
    QImage rgb(2, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, 0x112233);
    rgb.setPixel(1, 0, 0x445566);
    TBitmap32 b;
    b.Assign(rgb);
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF112233, 0xFF445566}));

    QImage argb(2, 1, QImage::Format_ARGB32);
    reinterpret_cast<uint32_t *>(argb.bits())[0] = 0x00ABCDEF; // colour under alpha 0 survives
    reinterpret_cast<uint32_t *>(argb.bits())[1] = 0x7F010203;
    b.Assign(argb);
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0x00ABCDEF, 0x7F010203}));

    QImage out;
    b.AssignTo(out);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32);
    EXPECT_EQ(reinterpret_cast<const uint32_t *>(out.constBits())[0], 0x00ABCDEFu);
    EXPECT_NE(out.constBits(), reinterpret_cast<const uchar *>(b.Bits()));
}

TEST(Bitmap32, DataStreamOfTwoByOne)
{
    TBitmap32 b;
    b.SetSize(2, 1);
    Fill(b, {0x11223344, 0xAABBCCDD});
    const QByteArray bytes = DataOf(b);
    const uint8_t expected[] = {2, 0, 0, 0, 1, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0xDD, 0xCC, 0xBB, 0xAA};
    ASSERT_EQ(bytes.size(), 16);
    EXPECT_EQ(std::memcmp(bytes.constData(), expected, 16), 0);

    TBitmap32 c;
    EventLog log(c);
    QByteArray in = bytes;
    QBuffer buffer(&in);
    buffer.open(QIODevice::ReadOnly);
    c.ReadData(buffer);
    EXPECT_TRUE(c.Equal(&b));
    EXPECT_EQ(log.text, "HCRC");
    EXPECT_EQ(buffer.pos(), 16);
}

TEST(Bitmap32, ReadDataRefusesBadStreams)
{
    const auto header = [](int32_t w, int32_t h, int extraBytes) {
        QByteArray a(8 + extraBytes, '\x5A');
        PutLe32(reinterpret_cast<uint8_t *>(a.data()), uint32_t(w));
        PutLe32(reinterpret_cast<uint8_t *>(a.data()) + 4, uint32_t(h));
        return a;
    };
    const QByteArray cases[] = {
        QByteArray(5, '\0'),               // short header
        header(-1, 1, 4),                  // negative width
        header(1, -1, 4),                  // negative height
        header(0x7FFFFFFF, 0x7FFFFFFF, 4), // overflowing size
        header(0x10000, 0x8000, 4),        // more than a bitmap can hold
        header(2, 2, 15),                  // one byte short
    };
    for (const QByteArray &bytes : cases) {
        TBitmap32 b;
        b.SetSize(1, 1);
        b.Bits()[0] = 0x01020304;
        QByteArray in = bytes;
        QBuffer buffer(&in);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_THROW(b.ReadData(buffer), EReadError) << bytes.toHex().toStdString();
        EXPECT_EQ(b.Width(), 1); // untouched
        EXPECT_EQ(b.Bits()[0], 0x01020304u);
    }
    // A zero dimension is a legal empty bitmap that reads no pixels.
    QByteArray in = header(0, 5, 0);
    QBuffer buffer(&in);
    buffer.open(QIODevice::ReadOnly);
    TBitmap32 b;
    b.ReadData(buffer);
    EXPECT_EQ(b.Height(), 5);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap32, EqualAndDataStored)
{
    TBitmap32 e1, e2, one, other;
    one.SetSize(1, 1);
    other.SetSize(1, 1);
    EXPECT_TRUE(e1.Equal(&e2));
    EXPECT_FALSE(e1.Equal(&one));
    EXPECT_FALSE(one.Equal(nullptr));
    EXPECT_TRUE(one.Equal(&other));
    other.Bits()[0] = 1;
    EXPECT_FALSE(one.Equal(&other));

    TPersistent notABitmap;
    EXPECT_FALSE(e1.DataStored(nullptr));
    EXPECT_TRUE(one.DataStored(nullptr));
    EXPECT_TRUE(one.DataStored(&notABitmap));
    EXPECT_TRUE(one.DataStored(&other));
    other.Bits()[0] = 0;
    EXPECT_FALSE(one.DataStored(&other));
}

TEST(Bitmap32, BitmapFilesKeepAlpha)
{
    TBitmap32 b;
    b.SetSize(3, 2);
    Fill(b, {0x00112233, 0x80445566, 0xFF778899, 0x01000000, 0xFEFFFFFF, 0x7F7F7F7F});
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    b.SaveToStream(out);
    ASSERT_EQ(bytes.size(), 54 + 24);
    EXPECT_EQ(GetLe16(reinterpret_cast<const uint8_t *>(bytes.constData()) + 28), 32);

    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TBitmap32 c;
    c.LoadFromStream(in);
    EXPECT_TRUE(c.Equal(&b));

    // Qt's own reader for a 24-bit file: opaque result.
    QImage rgb(1, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, 0x123456);
    QByteArray bmp24;
    QBuffer w24(&bmp24);
    w24.open(QIODevice::WriteOnly);
    ASSERT_TRUE(rgb.save(&w24, "BMP"));
    QBuffer r24(&bmp24);
    r24.open(QIODevice::ReadOnly);
    c.LoadFromStream(r24);
    EXPECT_EQ(Pixels(c), std::vector<TColor32>{0xFF123456});

    QByteArray junk("not a bitmap");
    QBuffer rj(&junk);
    rj.open(QIODevice::ReadOnly);
    EXPECT_THROW(c.LoadFromStream(rj), ERx32Error);
}

TEST(Bitmap32, ResetAlpha)
{
    TBitmap32 b;
    b.SetSize(5, 1);
    Fill(b, {0x00123456, 0x80000000, 0xFFFFFFFF, 0x00000001, 0x7F7F7F7F});
    int changes = 0;
    b.OnChange = [&](TThreadPersistent *) { ++changes; };
    b.ResetAlpha();
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF123456, 0xFF000000, 0xFFFFFFFF, 0xFF000001, 0xFF7F7F7F}));
    EXPECT_EQ(changes, 1);
}

TEST(Bitmap32, Roll)
{
    enum : TColor32 { a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, C = 9 };
    struct Case { int dx, dy; bool fill; std::vector<TColor32> result; int changes; };
    const Case cases[] = {
        {1, 0, true, {C, a, b, C, d, e}, 1},
        {-1, 0, true, {b, c, C, e, f, C}, 1},
        {0, 1, false, {a, b, c, a, b, c}, 1},
        {0, -1, true, {d, e, f, C, C, C}, 1},
        {1, 1, true, {C, C, C, C, a, b}, 1},
        {1, 0, false, {a, a, b, c, d, e}, 1}, // a row's end carries into the next row
        {3, 0, true, {C, C, C, C, C, C}, 1},
        {3, 0, false, {a, b, c, d, e, f}, 0},
        {0, 0, true, {a, b, c, d, e, f}, 0},
        {0, -2, true, {C, C, C, C, C, C}, 1},
    };
    for (const Case &k : cases) {
        TBitmap32 bmp;
        bmp.SetSize(3, 2);
        Fill(bmp, {a, b, c, d, e, f});
        int changes = 0;
        bmp.OnChange = [&](TThreadPersistent *) { ++changes; };
        bmp.Roll(k.dx, k.dy, k.fill, C);
        EXPECT_EQ(Pixels(bmp), k.result) << k.dx << "," << k.dy << "," << k.fill;
        EXPECT_EQ(changes, k.changes) << k.dx << "," << k.dy;
    }
}

TEST(Bitmap32, BlitsToAndFromSurfaces)
{
    TBitmap32 b;
    b.SetSize(2, 1);
    Fill(b, {0x00123456, 0x80FEDCBA});

    // A memory surface gets all four bytes, clipped to its size.
    QImage memory(2, 2, QImage::Format_ARGB32);
    memory.fill(0);
    Canvas mem(&memory);
    b.DrawTo(mem, 1, 1);
    EXPECT_EQ(memory.pixel(1, 1), 0x00123456u);
    EXPECT_EQ(memory.pixel(0, 1), 0u);

    // A screen-like surface ignores alpha.
    QImage screen(2, 1, QImage::Format_RGB32);
    screen.fill(0);
    {
        Canvas scr(static_cast<QPaintDevice *>(&screen));
        b.DrawTo(scr, 0, 0);
    }
    EXPECT_EQ(screen.pixel(0, 0), 0xFF123456u);
    EXPECT_EQ(screen.pixel(1, 0), 0xFFFEDCBAu);

    // Stretching a platform image into the bitmap, nearest neighbour.
    TBitmap32 big;
    big.SetSize(4, 2);
    int changes = 0;
    big.OnChange = [&](TThreadPersistent *) { ++changes; };
    big.Draw(MakeRect(0, 0, 4, 2), MakeRect(0, 0, 2, 1), b.Image());
    EXPECT_EQ(Pixels(big), (std::vector<TColor32>{0x00123456, 0x00123456, 0x80FEDCBA, 0x80FEDCBA, 0x00123456,
                                                  0x00123456, 0x80FEDCBA, 0x80FEDCBA}));
    EXPECT_EQ(changes, 1);

    // A stretched copy to a screen-like surface: nearest pixels, alpha ignored.
    QImage wide(4, 1, QImage::Format_RGB32);
    wide.fill(0);
    {
        Canvas scr(static_cast<QPaintDevice *>(&wide));
        b.DrawTo(scr, MakeRect(0, 0, 4, 1), MakeRect(0, 0, 2, 1));
    }
    EXPECT_EQ(wide.pixel(1, 0), 0xFF123456u);
    EXPECT_EQ(wide.pixel(2, 0), 0xFFFEDCBAu);

    TBitmap32 empty;
    empty.DrawTo(mem, 0, 0); // nothing
    EXPECT_EQ(memory.pixel(1, 1), 0x00123456u);
}

TEST(Bitmap32, PaintingNeverMovesThePixels)
{
    TBitmap32 b;
    b.SetSize(4, 4);
    const QImage heldCopy = b.Image(); // shares the wrapper
    const TColor32 *bits = b.Bits();
    Canvas *canvas = b.Handle();
    ASSERT_NE(canvas, nullptr);
    canvas->Painter().fillRect(0, 0, 4, 4, QColor(0x12, 0x34, 0x56));
    canvas->EndPaint();
    EXPECT_EQ(b.Bits(), bits);
    EXPECT_EQ(b.Image().constBits(), reinterpret_cast<const uchar *>(bits));
    EXPECT_EQ(b.Bits()[5], 0xFF123456u);
    TBitmap32 empty;
    EXPECT_EQ(empty.Handle(), nullptr);
}

// A bitmap drawn onto its own surface writes its own pixels: the wrapper image stays on them.
TEST(Bitmap32, DrawingOntoItselfKeepsImageAndBitsTogether)
{
    const std::vector<TColor32> start{1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        const char *name;
        std::function<void(TBitmap32 &)> draw;
        std::vector<TColor32> want;
    };
    const Case cases[] = {
        {"Draw, same size", [](TBitmap32 &b) { b.Draw(MakeRect(0, 0, 2, 2), MakeRect(1, 1, 3, 3), b.Image()); },
         {5, 6, 3, 8, 9, 6, 7, 8, 9}},
        {"Draw, stretched", [](TBitmap32 &b) { b.Draw(MakeRect(0, 0, 2, 2), MakeRect(2, 2, 3, 3), b.Image()); },
         {9, 9, 3, 9, 9, 6, 7, 8, 9}},
        {"DrawTo its own handle", [](TBitmap32 &b) { b.DrawTo(*b.Handle(), 1, 0); }, {1, 1, 2, 4, 4, 5, 7, 7, 8}},
        {"DrawTo its own handle, stretched",
         [](TBitmap32 &b) { b.DrawTo(*b.Handle(), MakeRect(0, 0, 3, 2), MakeRect(0, 2, 3, 3)); },
         {7, 8, 9, 7, 8, 9, 7, 8, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 b;
        b.SetSize(3, 3);
        std::copy(start.begin(), start.end(), b.Bits());
        const TColor32 *bits = b.Bits();
        c.draw(b);
        EXPECT_EQ(b.Bits(), bits);
        EXPECT_EQ(Pixels(b), c.want);
        EXPECT_EQ(b.Image().constBits(), reinterpret_cast<const uchar *>(b.Bits()));
        // Later writes through the bits show in the image too.
        b.Bits()[0] = 0xFFABCDEF;
        EXPECT_EQ(b.Image().pixel(0, 0), 0xFFABCDEFu);
    }
}

TEST(Bitmap32, DrawBetweenBitmapsFiresOnDestination)
{
    TBitmap32 src, dst, empty;
    src.SetSize(1, 1);
    src.Bits()[0] = 0xFF010203;
    dst.SetSize(2, 2);
    int changes = 0;
    dst.OnChange = [&](TThreadPersistent *) { ++changes; };
    empty.DrawTo(&dst);
    src.DrawTo(&empty);
    dst.Draw(0, 0, nullptr);
    EXPECT_EQ(changes, 0);
    dst.Draw(1, 1, &src);
    EXPECT_EQ(dst.Bits()[3], 0xFF010203u);
    dst.Draw(MakeRect(0, 0, 2, 1), MakeRect(0, 0, 1, 1), &src);
    EXPECT_EQ(Pixels(dst), (std::vector<TColor32>{0xFF010203, 0xFF010203, 0, 0xFF010203}));
    EXPECT_EQ(changes, 2);
}
