// A view against the recorder simulator: 16 channels of generated JPEG pictures, full size.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>

#include "graphics/widgets/rx32_image.h"
#include "tools/dvrsim/simoptions.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

TEST(DvrSimView, EveryPaneShowsItsChannelWovenFromTwoFields)
{
    sim::SimOptions options;
    options.listenPort = 0;
    options.channels = 16;
    options.ntsc = true;
    options.fps = 10;
    options.fullSize = true;
    sim::DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Network);
    entry.ip = {127, 0, 0, 1};
    entry.port = server.TcpPort();
    SetField(entry.name, "sim");
    TfrmDvrWin view;
    view.resize(720, 520);
    view.show();
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto allShown = [&] {
        for (int i = 0; i < 16; ++i)
            if (!view.Pane(i)->IsShowing())
                return false;
        return true;
    };
    while (!allShown() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(allShown());
    EXPECT_TRUE(view.IsLoggedIn());
    for (int i = 0; i < 16; ++i) {
        const FrameRecordHeader &h = view.Pane(i)->ShownHeader();
        EXPECT_EQ(h.channel, i + 1);
        EXPECT_EQ(view.Pane(i)->imgCh->Bitmap().Width(), 708) << i;
        EXPECT_EQ(view.Pane(i)->imgCh->Bitmap().Height(), 476) << i;
    }
    view.CloseConnection();
    server.Stop();
}
