// Views against the recorder simulator, and a view playing a recording: what their panes show,
// channel by channel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>

#include <chrono>
#include <functional>

#include <QTemporaryDir>

#include "graphics/widgets/rx32_image.h"
#include "playpath_fixture.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/store/dvrstorewriter.h"
#include "viewer/view/decoderhost.h"
#include "tools/dvrsim/simoptions.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrlayout.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

// A shown view connected to a simulator on loopback.
struct SimAndView {
    sim::DvrSimServer server;
    DvrListRecord entry;
    TfrmDvrWin view;
    explicit SimAndView(sim::SimOptions options) : server((options.listenPort = 0, options))
    {
        std::string error;
        EXPECT_TRUE(server.Start(error)) << error;
        entry.kind = uint8_t(DvrKind::Network);
        entry.ip = {127, 0, 0, 1};
        entry.port = server.TcpPort();
        SetField(entry.name, "sim");
        view.resize(720, 520);
        view.show();
        EXPECT_TRUE(view.CreateConnection(&entry));
        view.StartConnection();
    }
    ~SimAndView()
    {
        view.CloseConnection();
        server.Stop();
    }
    // Serves the UI thread until the first n panes show pictures; a hang guard.
    bool PanesShowing(int n)
    {
        auto showing = [&] {
            for (int i = 0; i < n; ++i)
                if (!view.Pane(i)->IsShowing())
                    return false;
            return true;
        };
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!showing() && std::chrono::steady_clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return showing();
    }
};

// Notes the presentation time of every frame it is given.
struct PtsDecoder : MpegDecoderHost {
    std::vector<uint32_t> pts;
    int32_t DecodeFrame(int32_t, const uint8_t *frame, int32_t length, QImage *, uint8_t) override
    {
        pts.push_back(MpegPts(frame));
        return length;
    }
};

// A copy of one channel of a sixteen-channel recorder: records of `frames` MPEG frames, four a
// second, presentation times counting up from 0.
void WriteOneChannelCopy(const QString &path, int channel, int records, int frames)
{
    DvrStoreWriter w(16, false);
    ASSERT_TRUE(w.Create(path.toStdString()));
    uint32_t pts = 0;
    for (int r = 0; r < records; ++r) {
        auto rec = testing_playpath::Record(channel, {}, uint32_t(r));
        for (int i = 0; i < frames; ++i) {
            const auto p = testing_playpath::Packet(pts++, 0, 200);
            rec.data.insert(rec.data.end(), p.begin(), p.end());
        }
        rec.header.kind = 1;
        rec.header.sizeCode = 2;
        rec.header.time = {20, 26, 12, 10, 12, 0, uint8_t(r / 4)};
        rec.header.partSize[0] = uint32_t(rec.data.size());
        ASSERT_TRUE(w.Append(rec.header, rec.data.data(), rec.data.size()));
    }
    w.Close();
}

// Whether the frames shown run on from the first without a gap, as far as `count`.
::testing::AssertionResult Consecutive(const std::vector<uint32_t> &pts, size_t count, uint32_t loop)
{
    if (pts.size() < count)
        return ::testing::AssertionFailure() << pts.size() << " of " << count << " frames shown";
    for (size_t i = 1; i < count; ++i)
        if (pts[i] != (pts[i - 1] + 1) % loop)
            return ::testing::AssertionFailure() << "frame " << i << ": " << pts[i] << " after " << pts[i - 1];
    return ::testing::AssertionSuccess();
}

bool Serve(const std::function<bool()> &done, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

} // namespace

// A sixteen-channel recorder where one channel sends records of eight frames: the reader thread
// fills that channel's ring long before every channel has a record queued, and the scheduler
// does not wait for the channels that send nothing.
TEST(DvrSimView, OneChannelOfSixteenPlaysLiveOverTheReaderThread)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("one.dvr");
    WriteOneChannelCopy(file, 5, 12, 8);
    sim::SimOptions options;
    options.channels = 16;
    options.source = file.toStdString();
    SimAndView s(options);
    auto decoder = std::make_unique<PtsDecoder>();
    PtsDecoder *d = decoder.get();
    s.view.SetDecoderHost(std::move(decoder));
    EXPECT_TRUE(Serve([&] { return d->pts.size() >= 80; }, 20));
    EXPECT_TRUE(Consecutive(d->pts, 80, 96));
}

// The same copy played from its file: the player delivers on the window's thread, which never
// waits for room, and the scheduler shows every record's frames to the end.
TEST(DvrSimView, OneChannelCopyPlaysFromItsFileToTheEnd)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("one.dvr");
    const int records = 24, frames = 8;
    WriteOneChannelCopy(file, 3, records, frames);
    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::RecordedFile);
    SetField(entry.name, "copy");
    SetField(entry.folder, file.toLocal8Bit().constData());
    TfrmDvrWin view;
    auto decoder = std::make_unique<PtsDecoder>();
    PtsDecoder *d = decoder.get();
    view.SetDecoderHost(std::move(decoder));
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    ASSERT_TRUE(Serve([&] { return view.IsLoggedIn(); }, 20));
    view.SetMode(1);
    view.Core().SendPlayFile(file.toStdString());
    view.Core().SendPlayTime(0, 0, {20, 26, 12, 10, 12, 0, 0});
    view.Path().RequestFlush(1);
    EXPECT_TRUE(Serve([&] { return d->pts.size() >= size_t(records * frames); }, 20));
    EXPECT_TRUE(Consecutive(d->pts, size_t(records * frames), uint32_t(records * frames)));
    EXPECT_EQ(d->pts.front(), 0u);
    view.CloseConnection();
}

TEST(DvrSimView, EveryPaneShowsItsChannelWovenFromTwoFields)
{
    sim::SimOptions options;
    options.channels = 16;
    options.ntsc = true;
    options.fps = 10;
    options.fullSize = true;
    SimAndView s(options);
    TfrmDvrWin &view = s.view;
    ASSERT_TRUE(s.PanesShowing(16));
    EXPECT_TRUE(view.IsLoggedIn());
    for (int i = 0; i < 16; ++i) {
        const FrameRecordHeader &h = view.Pane(i)->ShownHeader();
        EXPECT_EQ(h.channel, i + 1);
        EXPECT_EQ(view.Pane(i)->FullBitmap().Width(), 708) << i;
        EXPECT_EQ(view.Pane(i)->FullBitmap().Height(), 476) << i;
    }
}

// A recorder of six channels: the sixteen-cell layout still names channels 7 to 16, and their
// cells stay empty; with one channel shown alone nothing lies over it.
TEST(DvrSimView, OnlyTheRecordersChannelsAreEverShown)
{
    sim::SimOptions options;
    options.channels = 6;
    options.fps = 10;
    SimAndView s(options);
    TfrmDvrWin &view = s.view;
    ASSERT_TRUE(s.PanesShowing(6));
    ASSERT_EQ(view.GetChannelCount(), 6);
    view.ShowMessagePanel(false);
    const QRect area = view.pnlDvr->contentsRect();
    // The pane that shows at a point of the video area, or null for the area's own black.
    auto paneAt = [&](const QPoint &p) -> int {
        for (QWidget *w = view.pnlDvr->childAt(p); w; w = w->parentWidget())
            for (int i = 0; i < 16; ++i)
                if (w == view.Pane(i))
                    return i;
        return -1;
    };
    auto cellCentre = [&](int k) {
        const PaneRect r = CellGeometry(16, k, area.width(), area.height());
        return QPoint(r.left + r.width / 2, r.top + r.height / 2);
    };

    // Multi view: the sixteen-cell layout with six panes in its first cells.
    ASSERT_EQ(view.GetCurrentChannel(), 0);
    const QImage multi = view.pnlDvr->grab().toImage();
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(paneAt(cellCentre(k)), k < 6 ? k : -1) << k;
        if (k >= 6) {
            EXPECT_EQ(multi.pixelColor(cellCentre(k)).name(), "#000000") << k;
        }
    }
    for (int i = 6; i < 16; ++i)
        EXPECT_FALSE(view.Pane(i)->isVisible()) << i;

    // Channel 1 alone: it is what shows everywhere.
    view.SelectChannel(1);
    QCoreApplication::processEvents();
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(paneAt(cellCentre(k)), 0) << k;
    for (int i = 1; i < 16; ++i)
        EXPECT_FALSE(view.Pane(i)->isVisible()) << i;
}
