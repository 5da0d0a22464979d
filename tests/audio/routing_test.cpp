// Audio between the main window, a real view and the recorder simulator on loopback; the test
// is the audio device (detached devices), so it runs the same with or without a sound server.
#include "tools/dvrsim/simserver.h"
#include "viewer/app/forms.h"
#include "viewer/app/mainform.h"
#include "viewer/controls/mybutton.h"
#include "viewer/view/dvrwin.h"

#include "platform/settings.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using namespace strandel;

namespace {

bool ServeUntil(const std::function<bool()> &cond, int boundMs = 20000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ServeFor(int ms)
{
    ServeUntil([] { return false; }, ms);
}

class AudioRouting : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetDetachedAudioDevices(true);
        SetSettingsFilePath(dir.filePath("Strandel.ini"));
        sim::SimOptions options;
        options.listenPort = 0;
        options.fps = 2;
        options.audioToneHz = 700;
        server = std::make_unique<sim::DvrSimServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        main = new TfrmMain;
        frmMain = main;
        main->show(); // the first show opens the microphone
        entry.kind = uint8_t(DvrKind::Network);
        entry.ip = {127, 0, 0, 1};
        entry.port = uint16_t(server->TcpPort());
        SetField(entry.name, "sim");
        view = new TfrmDvrWin;
        ASSERT_TRUE(view->OpenDvr(&entry));
        ASSERT_TRUE(ServeUntil([&] { return view->IsLoggedIn(); }));
        ASSERT_EQ(main->GetCurrentDvrWin(), view);
        ASSERT_TRUE(main->btnAudSend->isEnabled());
    }
    void TearDown() override
    {
        if (main) {
            main->RemoveAllDvrWins();
            QApplication::processEvents();
            frmMain = nullptr;
            delete main;
            QApplication::processEvents();
        }
        if (server)
            server->Stop();
        SetSettingsFilePath({});
        SetDetachedAudioDevices(false);
    }
    uint64_t Received() { return server->WithRecorder([](sim::SimRecorder &r) { return r.AudioBlocksReceived(); }); }
    uint64_t Pushed() { return server->WithRecorder([](sim::SimRecorder &r) { return r.AudioBlocksPushed(); }); }

    QTemporaryDir dir;
    std::unique_ptr<sim::DvrSimServer> server;
    TfrmMain *main = nullptr;
    TfrmDvrWin *view = nullptr;
    DvrListRecord entry;
};

} // namespace

TEST_F(AudioRouting, ReceivedBlocksReachThePlaybackRingOnlyWhileReceiveIsOn)
{
    ServeFor(300);
    EXPECT_EQ(Pushed(), 0u) << "the recorder pushes audio only once asked";
    main->btnAudRecv->click();
    ASSERT_TRUE(main->btnAudRecv->Down());
    ASSERT_TRUE(view->IsAudioReceive());
    WavePlayback &playback = main->GetWavePlayback();
    ASSERT_TRUE(ServeUntil([&] { return playback.IsStarted(); })) << "23 blocks start the device";
    // What plays is the simulator's tone, block for block.
    const std::vector<uint8_t> tone = server->WithRecorder([](sim::SimRecorder &r) { return r.AudioBlocks(); });
    uint8_t played[kImaSamplesPerBlock];
    ASSERT_EQ(playback.ReadOut(played, sizeof played), sizeof played);
    int16_t expected[kImaSamplesPerBlock];
    ASSERT_TRUE(DecodeImaBlock(tone.data(), kImaBlockSize, expected));
    for (size_t i = 0; i < kImaSamplesPerBlock; ++i)
        ASSERT_EQ(played[i], Pcm16ToPcm8(expected[i])) << i;

    main->btnAudRecv->click(); // off: the output closes and the recorder stops pushing
    EXPECT_FALSE(view->IsAudioReceive());
    EXPECT_FALSE(main->IsPlaybackOpen());
    ServeFor(200);
    const uint64_t pushed = Pushed();
    ServeFor(400);
    EXPECT_EQ(Pushed(), pushed);
}

TEST_F(AudioRouting, MicrophoneBlocksGoToTheRecorderOnlyWhileSendIsOn)
{
    WaveCapture &capture = main->GetWaveCapture();
    ASSERT_TRUE(capture.IsOpen()) << "opened with the main window's first show";
    std::vector<uint8_t> pcm(512 * 40);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = uint8_t(std::lround(128 + 90 * std::sin(2 * M_PI * 440 * double(i) / 8000)));

    capture.Deliver(pcm.data(), pcm.size()); // send off: nothing goes out
    ServeFor(300);
    EXPECT_EQ(Received(), 0u);

    main->btnAudSend->click();
    ASSERT_TRUE(view->IsAudioSend());
    capture.Deliver(pcm.data(), pcm.size());
    const uint64_t blocks = pcm.size() / kImaSamplesPerBlock;
    ASSERT_TRUE(ServeUntil([&] { return Received() >= blocks; }));
    ImaStreamEncoder encoder;
    std::vector<uint8_t> expected;
    encoder.Encode(pcm.data(), pcm.size(), expected);
    const std::vector<uint8_t> got = server->WithRecorder([](sim::SimRecorder &r) { return r.ReceivedAudio(); });
    EXPECT_EQ(got, expected) << "every block arrives whole, in order, none overwritten by the next";

    main->btnAudSend->click();
    EXPECT_FALSE(view->IsAudioSend());
    EXPECT_FALSE(main->IsCaptureRunning());
    capture.Deliver(pcm.data(), pcm.size());
    ServeFor(300);
    EXPECT_EQ(Received(), blocks);
}
