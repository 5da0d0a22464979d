#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <QLabel>
#include <QTimer>

#include "graphics/widgets/rx32_image.h"
#include "platform/jpeg.h"
#include "playpath_fixture.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;
using namespace strandel::testing_playpath;

namespace {

// The decoder stand-in records every call; the view then decodes nothing itself.
RecordingDecoderHost *StandIn(TfrmDvrWin &view)
{
    if (!dynamic_cast<RecordingDecoderHost *>(view.DecoderHost()))
        view.SetDecoderHost(std::make_unique<RecordingDecoderHost>());
    return static_cast<RecordingDecoderHost *>(view.DecoderHost());
}

} // namespace

TEST(ViewPicturePath, DirectJpegRecordReachesItsPaneAndLed)
{
    TfrmDvrWin view;
    view.SetVideoFormat(16, 0x01);
    view.Path().SetConnected(true);
    std::vector<uint32_t> px(720 * 240, 0xFF204060);
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(JpegEncode(px.data(), 720, 240, 720, 90, jpeg));
    FrameRecordHeader h;
    h.channel = 2;
    h.event = 4;
    h.sizeCode = 1;
    h.directShow = 1;
    h.liveMask = 0x0002; // only channel 2 present: the others are blanked
    std::vector<uint8_t> part0(32 + jpeg.size(), 0);
    std::memcpy(part0.data() + 32, jpeg.data(), jpeg.size());
    h.partSize[0] = uint32_t(part0.size());
    h.jpegLength = h.partSize[0];
    EXPECT_EQ(view.QueueMpegFrame(h, part0), QueueResult::Shown);
    EXPECT_TRUE(view.Pane(1)->IsShowing());
    EXPECT_EQ(view.Pane(1)->FullBitmap().Width(), 708);
    EXPECT_EQ(view.Pane(1)->FullBitmap().Height(), 236);
    EXPECT_EQ(view.LedColour(1), 0x0000FFu);
    EXPECT_EQ(view.LedColour(0), 0x008000u);
    EXPECT_FALSE(view.tmrMpeg->isActive());
}

TEST(ViewPicturePath, RingFramesGoToTheDecoderHost)
{
    TfrmDvrWin view;
    view.SetVideoFormat(4, 0x01); // NTSC
    view.Path().SetConnected(true);
    StandIn(view)->result = 80;
    view.SetSplit(0);
    for (int c = 1; c <= 4; ++c) {
        auto rec = Record(c, {Packet(uint32_t(c), 0, 80)}, 10);
        EXPECT_EQ(view.QueueMpegFrame(rec.header, rec.data), QueueResult::Queued);
    }
    EXPECT_TRUE(view.tmrMpeg->isActive());
    view.tmrMpegTimer();
    const auto &calls = StandIn(view)->calls;
    ASSERT_EQ(calls.size(), 1u); // then fewer record-first frames than channels are queued
    EXPECT_EQ(calls[0].length, 80);
    EXPECT_EQ(calls[0].width, 704);
    EXPECT_EQ(calls[0].height, 480);
    EXPECT_EQ(calls[0].fixedBuffer, 0);
    // A drawn picture goes to the pane of its channel.
    EXPECT_TRUE(view.Pane(calls[0].channel)->IsShowing());

    view.Path().SetConnected(false);
    view.tmrMpegTimer();
    EXPECT_FALSE(view.tmrMpeg->isActive());
}

TEST(ViewPicturePath, SixteenChannelModelOneDecodesDirectlyWithTheFixedBuffer)
{
    TfrmDvrWin view;
    StandIn(view);
    view.SetVideoFormat(16, 0x10); // model 1, PAL
    view.Path().SetConnected(true);
    auto rec = Record(5, {Packet(1, 0, 100), Packet(2, 0, 100)}, 10);
    rec.header.sizeCode = 2;
    EXPECT_EQ(view.QueueMpegFrame(rec.header, rec.data), QueueResult::Shown);
    const auto &calls = StandIn(view)->calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].channel, 4);
    EXPECT_EQ(calls[0].width, 352);
    EXPECT_EQ(calls[0].height, 288);
    EXPECT_EQ(calls[0].fixedBuffer, 1);
    EXPECT_FALSE(view.tmrMpeg->isActive());
}

// A decoder host whose control is missing: the view says why once and decodes nothing.
TEST(ViewPicturePath, AMissingDecoderIsReportedInTheMessagePanel)
{
    struct Missing : RecordingDecoderHost {
        QString Unavailable() const override { return "The decoder control is not registered"; }
    };
    TfrmDvrWin view;
    view.SetVideoFormat(4, 0x01);
    view.Path().SetConnected(true);
    view.SetDecoderHost(std::make_unique<Missing>());
    view.SetSplit(0);
    for (int c = 1; c <= 4; ++c) {
        auto rec = Record(c, {Packet(uint32_t(c), 0, 80)}, 10);
        view.QueueMpegFrame(rec.header, rec.data);
    }
    view.tmrMpegTimer();
    EXPECT_EQ(view.pnlMsg->text(), "The decoder control is not registered");
    EXPECT_TRUE(static_cast<Missing *>(view.DecoderHost())->calls.empty());
}

// A view closed while its decoding thread finishes a channel's first picture: that picture has
// a new size, so the thread asks the window's thread to draw it, which is closing the view and
// waiting for the thread. The decoder here takes long enough for the close to begin first.
TEST(ViewPicturePath, ClosingWhileTheFirstPictureIsDrawnStopsTheDecodingThreadSafely)
{
    struct SlowDecoder : MpegDecoderHost {
        std::atomic<bool> *entered;
        explicit SlowDecoder(std::atomic<bool> *e) : entered(e) {}
        int32_t DecodeFrame(int32_t, const uint8_t *, int32_t length, QImage *, uint8_t) override { return length; }
        // On the decoding thread the host decodes into the planar form.
        int32_t DecodeFrame(int32_t, const uint8_t *, int32_t length, PlanarPicture *, uint8_t) override
        {
            *entered = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return length;
        }
        bool DecodesOnWorker() const override { return true; }
    };
    for (bool viaNewHost : {false, true}) {
        SCOPED_TRACE(viaNewHost ? "a new decoder host" : "the view closes");
        std::atomic<bool> entered{false};
        auto view = std::make_unique<TfrmDvrWin>();
        view->SetVideoFormat(4, 0x01);
        view->SetDecoderHost(std::make_unique<SlowDecoder>(&entered));
        const auto rec = Record(1, {Packet(1, 0, 80)}, 10);
        ASSERT_TRUE(view->DecodeMpeg(0, rec.header, rec.data.data(), rec.data.size()));
        while (!entered)
            std::this_thread::yield();
        if (viaNewHost)
            view->SetDecoderHost(std::make_unique<RecordingDecoderHost>());
        view.reset();
    }
}
