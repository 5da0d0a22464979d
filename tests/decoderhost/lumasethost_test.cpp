#include "platform/debuglog.h"
#include "platform/pages.h"
#include "viewer/view/dvrwin.h"
#include "viewer/view/lumasethost.h"
#include "graphics/rx32.h"
#include "graphics/widgets/rx32_image.h"

#include "decoder/classregistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <iterator>

using namespace strandel;

namespace {

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The first picture of an elementary stream (with its stream headers), in the 32-byte packet the
// recorders send: start code 00 00 01 E0, the 22-bit length L at bytes 24..26, then the stream.
std::vector<uint8_t> FirstFramePacket(const std::vector<uint8_t> &es)
{
    size_t end = es.size();
    int vops = 0;
    for (size_t i = 0; i + 3 < es.size(); ++i)
        if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1 && es[i + 3] == 0xB6 && ++vops == 2) {
            end = i;
            break;
        }
    const uint32_t L = uint32_t(end) + 32;
    std::vector<uint8_t> p(L + 32, 0);
    p[2] = 1;
    p[3] = 0xE0;
    p[24] = uint8_t((L >> 15) & 0x7F);
    p[25] = uint8_t((((L >> 11) & 0x0F) << 4) | 0x08 | ((L >> 8) & 0x07));
    p[26] = uint8_t(L);
    std::copy(es.begin(), es.begin() + std::ptrdiff_t(end), p.begin() + 32);
    return p;
}

// Registers the built library in a registry file of the test's own.
class DecoderHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        setenv("STRANDEL_CLASS_REGISTRY", qPrintable(dir->filePath("Classes.ini")), 1);
        void *lib = dlopen(LUMASET_LIBRARY_PATH, RTLD_NOW);
        ASSERT_NE(lib, nullptr);
        auto reg = reinterpret_cast<int32_t (*)()>(dlsym(lib, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), 0);
    }
    static void TearDownTestSuite()
    {
        unsetenv("STRANDEL_CLASS_REGISTRY");
        delete dir;
    }
    static QTemporaryDir *dir;
};
QTemporaryDir *DecoderHostTest::dir = nullptr;

} // namespace

TEST_F(DecoderHostTest, DecodesAFrameIntoTheBitmapAndReinitialisesOnlyOnChange)
{
    TfrmDecoder host;
    ASSERT_TRUE(host.IsLoaded()) << host.LoadError().toStdString();
    host.SetControl(16);
    const auto large = FirstFramePacket(ReadFile(DECODER_DATA "/i_704x480.m4v"));
    const auto small = FirstFramePacket(ReadFile(DECODER_DATA "/i_352x288.m4v"));
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string &l) { lines.push_back(l); });
    // Share of a 16-pixel grid that the picture lit.
    auto lit = [](const QImage &bitmap) {
        int n = 0, all = 0;
        for (int y = 0; y < bitmap.height(); y += 16)
            for (int x = 0; x < bitmap.width(); x += 16, ++all)
                n += reinterpret_cast<const uint16_t *>(bitmap.constScanLine(y))[x] != 0;
        return double(n) / all;
    };
    // Each step decodes into a cleared bitmap of the size its size code gives; the context (channel
    // index 0 is context 1) is set up again only when the size or the fixed-buffer flag changed.
    const struct {
        const std::vector<uint8_t> *packet;
        int w, h;
        uint8_t fixedBuffer;
        const char *init; // the set-up said, or none
    } steps[] = {
        {&large, 704, 480, 0, "1 : 704,480"}, // the first call already shows the first picture
        {&large, 704, 480, 0, nullptr},       // no change: decodes on
        {&small, 352, 288, 0, "1 : 352,288"}, // another size code
        {&small, 352, 288, 1, "1 : 352,288"}, // the fixed buffer at the same size
        {&small, 352, 288, 1, nullptr},
        {&large, 704, 480, 1, "1 : 704,480"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto &s = steps[i];
        SCOPED_TRACE(i);
        QImage bitmap(s.w, s.h, QImage::Format_RGB16);
        bitmap.fill(0);
        lines.clear();
        EXPECT_EQ(host.DecodeFrame(0, s.packet->data(), int32_t(s.packet->size()), &bitmap, s.fixedBuffer),
                  int32_t(TfrmDecoder::FrameLength(s.packet->data())));
        EXPECT_EQ(lines, s.init ? std::vector<std::string>{s.init} : std::vector<std::string>{});
        EXPECT_GT(lit(bitmap), 0.5);
    }
    SetDebugSink({});
}

// A record header that says NTSC over a PAL stream: the decoder refuses the layer for the size
// the view asked, and the host sets the channel's context up at the layer's own size once, so the
// pane gets the stream's picture.
TEST_F(DecoderHostTest, ALayerOfAnotherSizeIsShownAtItsOwnSize)
{
    TfrmDecoder host;
    ASSERT_TRUE(host.IsLoaded()) << host.LoadError().toStdString();
    host.SetControl(16);
    const auto packet = FirstFramePacket(ReadFile(DECODER_DATA "/i_352x288.m4v"));
    const int32_t L = int32_t(TfrmDecoder::FrameLength(packet.data()));
    QImage reference(352, 288, QImage::Format_RGB16);
    ASSERT_EQ(host.DecodeFrame(1, packet.data(), int32_t(packet.size()), &reference, 0), L);

    std::vector<std::string> lines;
    SetDebugSink([&](const std::string &l) { lines.push_back(l); });
    for (int call = 0; call < 2; ++call) {
        QImage bitmap(352, 240, QImage::Format_RGB16); // what the view sizes for an NTSC record
        bitmap.fill(0);
        ASSERT_EQ(host.DecodeFrame(0, packet.data(), int32_t(packet.size()), &bitmap, 0), L) << call;
        ASSERT_EQ(bitmap.size(), QSize(352, 288)) << call;
        EXPECT_EQ(bitmap, reference) << call;
    }
    SetDebugSink({});
    EXPECT_EQ(lines, (std::vector<std::string>{"1 : 352,240", "1 : 352,288"}));
}

TEST_F(DecoderHostTest, RefusesWhatIsNoMpegVideoPacketAndLeavesTheBitmap)
{
    TfrmDecoder host;
    ASSERT_TRUE(host.IsLoaded());
    host.SetControl(16);
    auto packet = FirstFramePacket(ReadFile(DECODER_DATA "/i_352x288.m4v"));
    QImage bitmap(352, 288, QImage::Format_RGB16);
    bitmap.fill(0x1234);
    EXPECT_EQ(host.DecodeFrame(0, packet.data(), 0, &bitmap, 0), -1);
    packet[3] = 0xC0;
    EXPECT_EQ(host.DecodeFrame(0, packet.data(), int32_t(packet.size()), &bitmap, 0), -1);
    EXPECT_EQ(host.DecodeFrame(16, packet.data(), int32_t(packet.size()), &bitmap, 0), -1);
    EXPECT_EQ(reinterpret_cast<const uint16_t *>(bitmap.constScanLine(100))[100], 0x1234);
}

// The property page that registration names, created by class identifier through the library's
// class factory, as a host's property frame would: its "General" page with one static text.
TEST_F(DecoderHostTest, PropertyPageFromTheClassFactory)
{
    const std::string path = FindClassLibrary(LUMASET_PROPPAGE_CLSID);
    ASSERT_FALSE(path.empty());
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    auto getClass = reinterpret_cast<int32_t (*)(const char *, void **)>(dlsym(lib, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<int32_t (*)()>(dlsym(lib, "DllCanUnloadNow"));
    ASSERT_TRUE(getClass && canUnload);
    void *obj = nullptr;
    ASSERT_EQ(getClass(LUMASET_PROPPAGE_CLSID, &obj), 0);
    auto *page = static_cast<LumasetPropertyPage *>(obj);
    EXPECT_STREQ(page->vtbl->Caption(page), "General");

    QWidget frame;
    auto *window = static_cast<QWidget *>(page->vtbl->CreatePage(page, &frame));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), &frame);
    EXPECT_EQ(window->windowTitle(), "General");
    const auto labels = window->findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_FALSE(labels[0]->text().isEmpty());
    int controls = 0;
    for (QWidget *w : window->findChildren<QWidget *>())
        controls += w->focusPolicy() != Qt::NoFocus;
    EXPECT_EQ(controls, 0) << "a static text and no controls";
    // The text is drawn: the grabbed page has pixels well darker than its background.
    window->resize(320, 80);
    const QImage shot = window->grab().toImage();
    const int background = qGray(window->palette().color(QPalette::Window).rgb());
    int inked = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            inked += qGray(shot.pixel(x, y)) < background - 64;
    EXPECT_GT(inked, 50);
    delete window;
    EXPECT_EQ(canUnload(), LUMASET_S_FALSE);
    EXPECT_EQ(page->vtbl->Release(page), 0);
    EXPECT_EQ(canUnload(), 0);
}

TEST(DecoderHost, WithoutARegisteredControlItSaysSoAndDecodesNothing)
{
    QTemporaryDir dir;
    setenv("STRANDEL_CLASS_REGISTRY", qPrintable(dir.filePath("none.ini")), 1);
    TfrmDecoder host;
    unsetenv("STRANDEL_CLASS_REGISTRY");
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_FALSE(host.LoadError().isEmpty());
    host.SetControl(16);
    std::vector<uint8_t> packet(64, 0);
    packet[2] = 1;
    packet[3] = 0xE0;
    QImage bitmap(352, 240, QImage::Format_RGB16);
    EXPECT_NE(host.DecodeFrame(0, packet.data(), int32_t(packet.size()), &bitmap, 0), 0);
}

namespace {

bool WaitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

FrameRecordHeader PictureHeader(int channel, uint8_t sizeCode)
{
    FrameRecordHeader h;
    h.channel = uint8_t(channel);
    h.sizeCode = sizeCode;
    h.liveMask = 0xFFFF;
    return h;
}

using CanUnload = int32_t (*)();
CanUnload CanUnloadNow()
{
    void *lib = dlopen(LUMASET_LIBRARY_PATH, RTLD_NOW);
    return lib ? reinterpret_cast<CanUnload>(dlsym(lib, "DllCanUnloadNow")) : nullptr;
}

} // namespace

// A view's decoder holds the control and a context per channel that showed a picture; closing
// the view gives all of it back.
TEST_F(DecoderHostTest, AClosedViewFreesItsDecoderAndContexts)
{
    const CanUnload canUnload = CanUnloadNow();
    ASSERT_NE(canUnload, nullptr);
    ASSERT_EQ(canUnload(), 0) << "no control object before the view";
    const size_t before = PageBytesInUse();
    const auto d1 = FirstFramePacket(ReadFile(DECODER_DATA "/i_704x480.m4v"));
    auto view = std::make_unique<TfrmDvrWin>();
    view->SetVideoFormat(16, 0x01);
    EXPECT_EQ(canUnload(), LUMASET_S_FALSE);
    for (int c = 1; c <= 3; ++c)
        view->DecodeMpeg(c - 1, PictureHeader(c, 0), d1.data(), d1.size());
    ASSERT_TRUE(WaitFor([&] { return view->Pane(2)->IsShowing() && view->DecodeBacklog() == 0; }));
    const size_t held = PageBytesInUse() - before;
    // Three D1 contexts (three frame buffers, the display buffer, state, tables, stream each) and
    // the idle context 0.
    EXPECT_GT(held, 3 * 3 * size_t(768 * 544));
    EXPECT_LT(held, 4 * 3500000u);
    view.reset();
    EXPECT_EQ(PageBytesInUse(), before);
    EXPECT_EQ(canUnload(), 0);
}

// A D1 channel and a CIF channel take turns in one view: the pictures and the contexts change
// size with every turn, and each pane still shows exactly its channel's picture.
TEST_F(DecoderHostTest, ACifAndAD1ChannelInOneViewBothShowTheirPictures)
{
    const auto d1 = FirstFramePacket(ReadFile(DECODER_DATA "/i_704x480.m4v"));
    const auto cif = FirstFramePacket(ReadFile(DECODER_DATA "/i_352x288.m4v"));
    // What the control makes of each alone.
    TfrmDecoder reference;
    reference.SetControl(16);
    QImage d1Picture(704, 480, QImage::Format_RGB32), cifPicture(352, 288, QImage::Format_RGB32);
    ASSERT_GT(reference.DecodeFrame(0, d1.data(), int32_t(d1.size()), &d1Picture, 0), 0);
    ASSERT_GT(reference.DecodeFrame(1, cif.data(), int32_t(cif.size()), &cifPicture, 0), 0);

    TfrmDvrWin view;
    view.resize(1460, 1020);
    view.show();
    view.SetVideoFormat(4, 0x01); // NTSC: size code 2 says 352 x 240, the layer is 352 x 288
    view.SetSplit(0);
    for (int turn = 0; turn < 3; ++turn) {
        view.DecodeMpeg(0, PictureHeader(1, 0), d1.data(), d1.size());
        view.DecodeMpeg(1, PictureHeader(2, 2), cif.data(), cif.size());
    }
    ASSERT_TRUE(WaitFor([&] { return view.Pane(1)->IsShowing() && view.DecodeBacklog() == 0; }));
    WaitFor([] { return false; }, 100); // the last pictures reach the panes

    const struct {
        int pane;
        const QImage *picture;
        int width, height; // of the pane's bitmap
    } cases[] = {{0, &d1Picture, 708, 476}, {1, &cifPicture, 348, 284}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pane);
        TfrmDvrCh *pane = view.Pane(c.pane);
        ASSERT_TRUE(pane->IsShowing());
        TBitmap32 &bitmap = pane->FullBitmap(); // made from the decoded picture when read
        ASSERT_EQ(bitmap.Width(), c.width);
        ASSERT_EQ(bitmap.Height(), c.height);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < std::min(c.width, c.picture->width()); ++x)
                wrong += bitmap.GetScanLine(y)[x] != (c.picture->pixel(x, y) | 0xFF000000u);
        EXPECT_EQ(wrong, 0);

        // On screen: the bitmap stretched over the pane, points away from the overlay texts.
        const QImage shown = pane->imgCh->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(shown.isNull());
        int matched = 0, tried = 0;
        for (int gy = 1; gy < 8; ++gy)
            for (int gx = 1; gx < 8; ++gx, ++tried) {
                const int sx = shown.width() * gx / 8, sy = shown.height() * (gy + 2) / 12;
                const QRgb seen = shown.pixel(sx, sy);
                const int bx = sx * c.width / shown.width(), by = sy * c.height / shown.height();
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx) {
                        const int x = std::clamp(bx + dx, 0, std::min(c.width, c.picture->width()) - 1);
                        const int y = std::clamp(by + dy, 0, c.height - 1);
                        const QRgb want = c.picture->pixel(x, y);
                        near = std::abs(qRed(seen) - qRed(want)) <= 8 && std::abs(qGreen(seen) - qGreen(want)) <= 8 &&
                               std::abs(qBlue(seen) - qBlue(want)) <= 8;
                    }
                matched += near;
            }
        EXPECT_EQ(matched, tried);
    }
}
