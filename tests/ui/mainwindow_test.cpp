#include "platform/settings.h"
#include "viewer/view/dvrwin.h"
#include "viewer/controls/mybutton.h"
#include "viewer/app/mainform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using namespace strandel;

namespace {

// A stand-in view: its state is plain fields, its actions are recorded.
class FakeView : public TfrmDvrWin {
public:
    explicit FakeView(DvrKind kind = DvrKind::Network, const char *name = "dvr")
    {
        DvrListRecord r;
        r.kind = uint8_t(kind);
        SetField(r.name, name);
        SetRecord(r);
    }
    bool IsLoggedIn() const override { return loggedIn; }
    int GetMode() const override { return mode; }
    int GetCurrentChannel() const override { return channel; }
    uint16_t GetChannelMask() const override { return mask; }
    int GetChannelCount() const override { return count; }
    bool IsRecording() const override { return recording; }
    bool IsCopying() const override { return copying; }
    bool IsAudioSend() const override { return audioSend; }
    bool IsAudioReceive() const override { return audioRecv; }
    bool IsPlaying() const override { return playing; }
    uint16_t GetFastStep() const override { return fast; }
    uint16_t GetSlowStep() const override { return slow; }
    int GetDirection() const override { return direction; }
    bool IsMasterLogin() const override { return master; }
    void SendPlayControl(int a, int b, int c, int d) override { plays.push_back({a, b, c, d}); }
    bool StartRecord(const QString &path) override
    {
        recordPath = path;
        recording = true;
        return true;
    }
    void StopRecord() override { recording = false; }
    void CloseConnection() override { ++closed; }
    void SetAudioSend(bool on) override { audioSends.push_back(audioSend = on); }
    void SetAudioReceive(bool on) override { audioRecvs.push_back(audioRecv = on); }

    bool loggedIn = true, recording = false, copying = false, audioSend = false, audioRecv = false;
    bool playing = true, master = true;
    int mode = 0, channel = 0, count = 16, direction = 31, closed = 0;
    uint16_t mask = 0xFFFF, fast = 0, slow = 0;
    std::vector<std::array<int, 4>> plays;
    std::vector<bool> audioSends, audioRecvs;
    QString recordPath;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The test is the audio device, so these cases run the same with or without a sound server.
        SetDetachedAudioDevices(true);
        SetSettingsFilePath(dir.filePath("Strandel.ini"));
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        main = new TfrmMain;
    }
    void TearDown() override
    {
        QApplication::processEvents(); // the views' queued frees run while the main window lives
        delete main;
        QApplication::processEvents();
        QDir::setCurrent(oldCwd);
        SetSettingsFilePath({});
        SetDetachedAudioDevices(false);
    }
    FakeView *Open(DvrKind kind = DvrKind::Network)
    {
        auto *v = new FakeView(kind);
        if (!main->AddDvrWin(v)) {
            delete v;
            return nullptr;
        }
        return v;
    }
    QTemporaryDir dir;
    QString oldCwd;
    TfrmMain *main = nullptr;
};

} // namespace

TEST_F(MainWindowTest, RegisterCascadesAndRefusesTheSeventeenth)
{
    std::vector<FakeView *> views;
    for (int i = 0; i < 16; ++i)
        views.push_back(Open());
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(views[size_t(i)]->GetFrame()->pos(), QPoint((i % 10) * 24, (i % 10) * 24)) << i;
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(main->GetDvrWinCount(), 16);
    EXPECT_EQ(main->GetCurrentDvrWin(), views.back());
}

TEST_F(MainWindowTest, ClosingTheCurrentViewMakesTheTopOneCurrentAndTheLastDisablesTheToolbar)
{
    FakeView *a = Open();
    FakeView *b = Open();
    b->audioSend = b->audioRecv = true;
    main->SetCurrentDvrWin(b);
    EXPECT_TRUE(main->IsCaptureRunning());
    main->RemoveDvrWin(b);
    EXPECT_EQ(b->closed, 1);
    EXPECT_EQ(main->GetCurrentDvrWin(), a);
    EXPECT_FALSE(main->IsCaptureRunning());
    main->RemoveDvrWin(a);
    EXPECT_EQ(main->GetCurrentDvrWin(), nullptr);
    EXPECT_EQ(main->windowTitle(), "Strandel");
    EXPECT_FALSE(main->btnTimeSearch->isEnabled());
    EXPECT_FALSE(main->btnAudSend->Down());
    EXPECT_FALSE(main->IsPlaybackOpen());
    QApplication::processEvents(); // frees both views
}

TEST_F(MainWindowTest, ToolbarFollowsTheConnectionKind)
{
    struct Case {
        DvrKind kind;
        bool event, log, record, copy, setup, audio;
    } cases[] = {
        {DvrKind::Network, true, true, true, true, true, true},
        {DvrKind::Rs232c, true, true, true, true, true, true},
        {DvrKind::Rs485, true, true, true, true, true, true},
        {DvrKind::RecordedFile, false, false, false, false, false, false},
        {DvrKind::RecorderDisk, true, false, true, false, false, false},
    };
    for (const auto &c : cases) {
        FakeView *v = Open(c.kind);
        EXPECT_TRUE(main->btnTimeSearch->isEnabled());
        EXPECT_EQ(main->btnEventSearch->isEnabled(), c.event);
        EXPECT_EQ(main->btnBlockSearch->isEnabled(), c.event);
        EXPECT_EQ(main->btnLogSearch->isEnabled(), c.log);
        EXPECT_EQ(main->btnDvrStatus->isEnabled(), c.log);
        EXPECT_EQ(main->btnPanTilt->isEnabled(), c.log);
        EXPECT_EQ(main->btnRecord->isEnabled(), c.record);
        EXPECT_EQ(main->btnCopy->isEnabled(), c.copy);
        EXPECT_EQ(main->btnDvrEnv->isEnabled(), c.setup);
        EXPECT_EQ(main->btnDvrCtrl->isEnabled(), c.setup);
        EXPECT_EQ(main->btnAudSend->isEnabled(), c.audio);
        EXPECT_EQ(main->btnAudRecv->isEnabled(), c.audio);
        main->RemoveDvrWin(v);
    }
}

TEST_F(MainWindowTest, ChannelButtonsFollowCountMaskAndCurrentChannel)
{
    FakeView *v = new FakeView;
    v->count = 4;
    v->mask = 0b1011;
    v->channel = 2;
    main->AddDvrWin(v);
    std::vector<bool> enabled, down;
    for (TMyButton *b : main->btnCh) {
        enabled.push_back(b->isEnabled());
        down.push_back(b->Down());
    }
    EXPECT_EQ(enabled, std::vector<bool>({true, true, false, true, false, false, false, false, false, false, false,
                                          false, false, false, false, false}));
    EXPECT_TRUE(down[1]);
    EXPECT_EQ(std::count(down.begin(), down.end(), true), 1);
}

TEST_F(MainWindowTest, OneTransportButtonIsDown)
{
    FakeView *v = Open();
    v->mode = 1;
    struct Case {
        bool playing;
        uint16_t fast, slow;
        int direction;
        TMyButton *down;
    } cases[] = {
        {false, 0, 0, 31, main->btnPause},   {true, 2, 0, 31, main->btnFastPlay}, {true, 4, 0, 32, main->btnFastBack},
        {true, 0, 1, 31, main->btnPlay},     {true, 0, 0, 32, main->btnBack},     {true, 0, 2, 31, main->btnSlowPlay},
        {true, 0, 3, 32, main->btnSlowBack},
    };
    for (const auto &c : cases) {
        v->playing = c.playing;
        v->fast = c.fast;
        v->slow = c.slow;
        v->direction = c.direction;
        main->UpdateToolbar(v);
        EXPECT_TRUE(c.down->Down()) << c.down->objectName().toStdString();
        int downCount = 0;
        for (TMyButton *b : {main->btnFastBack, main->btnSlowBack, main->btnBack, main->btnPause, main->btnPlay,
                               main->btnSlowPlay, main->btnFastPlay})
            downCount += b->Down();
        EXPECT_EQ(downCount, 1);
    }
    EXPECT_TRUE(main->btnFastBack->isEnabled());
    v->mode = 0;
    main->UpdateToolbar(v);
    EXPECT_FALSE(main->btnFastBack->isEnabled());
    EXPECT_TRUE(main->btnPlay->isEnabled());
}

TEST_F(MainWindowTest, TransportButtonsSendPlayControls)
{
    FakeView *v = Open();
    v->mode = 1;
    main->UpdateToolbar(v);
    main->btnFastBack->click();
    main->btnSlowPlay->click();
    main->btnPause->click();
    ASSERT_EQ(v->plays.size(), 3u);
    EXPECT_EQ(v->plays[0], (std::array<int, 4>{1, 1, 0, 32}));
    EXPECT_EQ(v->plays[1], (std::array<int, 4>{1, 0, 1, 31}));
    EXPECT_EQ(v->plays[2], (std::array<int, 4>{0, 0, 0, 0}));
}

TEST_F(MainWindowTest, RecordIsRefusedWhileCopyingAndNeverOverwritesARecording)
{
    FakeView *v = Open();
    v->copying = true;
    main->UpdateToolbar(v);
    main->btnRecord->click();
    EXPECT_FALSE(main->btnRecord->Down());
    EXPECT_TRUE(v->recordPath.isEmpty());

    v->copying = false;
    main->UpdateToolbar(v);
    main->btnRecord->click();
    EXPECT_TRUE(main->btnRecord->Down());
    EXPECT_TRUE(v->recordPath.contains("/Save/Dvr-"));
    EXPECT_TRUE(v->recordPath.endsWith(".dvr"));

    const QDateTime t(QDate(2026, 12, 10), QTime(13, 5, 7));
    const QString first = UniqueRecordPath(dir.path(), "Save", t);
    EXPECT_EQ(first, dir.filePath("Save/Dvr-20261210-130507.dvr"));
    QDir(dir.path()).mkpath("Save");
    QFile(first).open(QIODevice::WriteOnly);
    EXPECT_EQ(UniqueRecordPath(dir.path(), "Save", t), dir.filePath("Save/Dvr-20261210-130507-1.dvr"));
}

TEST_F(MainWindowTest, TilingUsesColumnsByCount)
{
    std::vector<FakeView *> views;
    for (int i = 0; i < 5; ++i)
        views.push_back(Open());
    main->TileDvrWins(5);
    const QRect f0 = views[0]->GetFrame()->geometry();
    EXPECT_EQ(views[1]->GetFrame()->geometry().x(), f0.width());
    EXPECT_EQ(views[2]->GetFrame()->geometry().x(), 2 * f0.width());
    EXPECT_EQ(views[3]->GetFrame()->geometry().topLeft(), QPoint(0, f0.height()));

    main->TileDvrWins(1);
    TfrmDvrWin *v = views[0];
    const int dx = v->GetFrame()->width() - v->pnlDvr->width();
    EXPECT_EQ(v->GetFrame()->width(), 720 + dx);
}

TEST_F(MainWindowTest, AudioFollowsTheCurrentViewAndDropsOtherViewsAudio)
{
    FakeView *a = Open();
    main->btnAudRecv->click();
    main->btnAudSend->click();
    EXPECT_EQ(a->audioRecvs, std::vector<bool>{true});
    EXPECT_EQ(a->audioSends, std::vector<bool>{true});
    EXPECT_TRUE(main->IsPlaybackOpen());
    EXPECT_TRUE(main->IsCaptureRunning());

    std::vector<uint8_t> block(kImaBlockSize, 0x11);
    block[2] = 20;
    FakeView *b = Open(); // current now, its audio off: capture stops, output closes
    EXPECT_FALSE(main->IsCaptureRunning());
    EXPECT_FALSE(main->IsPlaybackOpen());
    main->SetCurrentDvrWin(a);
    ASSERT_TRUE(main->IsPlaybackOpen());
    main->PlayAudio(b, block.data(), block.size()); // not current: dropped
    EXPECT_EQ(main->GetWavePlayback().Queued(), 0u);
    main->PlayAudio(a, block.data(), block.size());
    EXPECT_EQ(main->GetWavePlayback().Queued(), 1u);

    // A recorded-file view has no audio: both buttons up and disabled, devices off.
    main->RemoveDvrWin(b);
    FakeView *file = Open(DvrKind::RecordedFile);
    EXPECT_FALSE(main->btnAudSend->isEnabled());
    EXPECT_FALSE(main->IsCaptureRunning());
    EXPECT_FALSE(main->IsPlaybackOpen());
    main->RemoveDvrWin(file);
    main->RemoveDvrWin(a);
    EXPECT_FALSE(main->IsCaptureRunning());
    EXPECT_FALSE(main->IsPlaybackOpen());
}

// Without any audio device the buttons say so and the recorder is told nothing.
TEST_F(MainWindowTest, WithoutAudioDevicesTheButtonsSaySoAndNothingIsSent)
{
    SetDetachedAudioDevices(false);
    if (HasAudioInput() || HasAudioOutput())
        GTEST_SKIP() << "this machine has an audio device";
    FakeView *a = Open();
    EXPECT_FALSE(main->btnAudSend->isEnabled());
    EXPECT_FALSE(main->btnAudRecv->isEnabled());
    EXPECT_TRUE(main->btnAudSend->toolTip().contains("no audio input device"));
    EXPECT_TRUE(main->btnAudRecv->toolTip().contains("no audio output device"));
    // Even a click that reaches the handlers changes nothing at the recorder.
    main->btnAudSend->SetDown(true);
    main->btnAudSendClick();
    main->btnAudRecv->SetDown(true);
    main->btnAudRecvClick();
    EXPECT_FALSE(main->btnAudSend->Down());
    EXPECT_FALSE(main->btnAudRecv->Down());
    EXPECT_TRUE(a->audioSends.empty());
    EXPECT_TRUE(a->audioRecvs.empty());
    EXPECT_FALSE(main->IsCaptureRunning());
    EXPECT_FALSE(main->IsPlaybackOpen());
}

TEST_F(MainWindowTest, EveryButtonCaptionFitsInsideItsBevel)
{
    // The caption is drawn into the button's pictures; one cut by the button's edge leaves ink
    // on the pixel ring just inside the bevel, which a caption that fits keeps clear.
    const QRgb face = qRgb(0xC4, 0xB0, 0x94);
    int checked = 0;
    for (TMyButton *b : main->findChildren<TMyButton *>()) {
        if (b->isHidden())
            continue;
        SCOPED_TRACE(b->objectName().toStdString() + " \"" + b->text().toStdString() + "\"");
        const QImage glyph = b->Glyph().convertToFormat(QImage::Format_RGB32);
        const int w = b->width(), h = b->height();
        ASSERT_GE(glyph.width(), w);
        ASSERT_GE(glyph.height(), h);
        int ink = 0, ring = 0;
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x) {
                if ((glyph.pixel(x, y) & 0xFFFFFF) == (face & 0xFFFFFF))
                    continue;
                ++ink;
                ring += x == 1 || x == w - 2 || y == 1 || y == h - 2;
            }
        EXPECT_GT(ink, 0);
        EXPECT_EQ(ring, 0);
        ++checked;
    }
    EXPECT_GE(checked, 40);
}
