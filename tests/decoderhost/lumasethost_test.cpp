#include "platform/debuglog.h"
#include "viewer/view/lumasethost.h"

#include "decoder/classregistry.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
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
