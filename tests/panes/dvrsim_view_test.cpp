// Views against the recorder simulator: what their panes show, channel by channel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>

#include <chrono>
#include <functional>

#include "graphics/widgets/rx32_image.h"
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

} // namespace

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
        EXPECT_EQ(view.Pane(i)->imgCh->Bitmap().Width(), 708) << i;
        EXPECT_EQ(view.Pane(i)->imgCh->Bitmap().Height(), 476) << i;
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
