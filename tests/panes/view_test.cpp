#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <chrono>
#include <functional>
#include <thread>
#include <QMenu>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "tests/common/modalscript.h"
#include "tests/common/recordinglink.h"
#include "viewer/view/dvrch.h"
#include "viewer/app/dvrlist.h"
#include "viewer/app/forms.h"
#include "platform/settings.h"

#include <QFile>
#include <QTemporaryDir>
#include "viewer/link/dvrlink.h"
#include "viewer/view/dvrlayout.h"
#include "viewer/view/dvrwin.h"
#include "viewer/protocol/dvrwincore.h"
#include "playpath_fixture.h"

using namespace strandel;
using test::ModalScript;

namespace {

struct LoggedInView {
    TfrmDvrWin view;
    RecordingLink *link;
    explicit LoggedInView(DvrKind kind, uint8_t channels = 16, int8_t result = 2, bool local = false)
    {
        DvrListRecord r;
        r.kind = uint8_t(kind);
        SetField(r.name, "dvr");
        view.SetRecord(r);
        auto l = std::make_unique<RecordingLink>(local);
        link = l.get();
        view.SetConnection(std::move(l));
        // Every answer follows the view's own login.
        view.Core().SendLogin("", "");
        link->sent.clear();
        const uint8_t answer[9] = {uint8_t(result), channels, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0xAB};
        view.Core().HandleLoginAnswer(answer, sizeof answer);
    }
};

} // namespace

TEST(DvrView, LoginIntoLiveOrPlaybackByKind)
{
    struct Case {
        DvrKind kind;
        int mode;
        bool liveEnabled;
        bool modeSent;
    } cases[] = {
        {DvrKind::Network, 0, true, false},
        {DvrKind::Rs232c, 0, true, false},
        {DvrKind::RecordedFile, 1, false, true},
        {DvrKind::RecorderDisk, 1, false, true},
    };
    for (const Case &c : cases) {
        LoggedInView v(c.kind);
        EXPECT_TRUE(v.view.IsLoggedIn());
        EXPECT_TRUE(v.view.IsMasterLogin());
        EXPECT_EQ(v.view.GetMode(), c.mode);
        EXPECT_EQ(v.view.btnLive->isEnabled(), c.liveEnabled);
        EXPECT_TRUE(v.view.tmrFrame->isActive());
        EXPECT_EQ(v.view.GetChannelCount(), 16);
        EXPECT_EQ(v.view.Record().mac[5], 0xAB);
        const bool sentMode = !v.link->sent.empty() && v.link->sent[0] == std::vector<uint8_t>{DvrCmdMode, 1, 0};
        EXPECT_EQ(sentMode, c.modeSent) << int(c.kind);
    }
}

TEST(DvrView, SelectingAViewFitsItsFrameToThePicture)
{
    LoggedInView v(DvrKind::Network, 16);
    v.view.SetFrameMode(false, nullptr);
    TfrmDvrFrame *frame = v.view.GetFrame();
    ASSERT_NE(frame, nullptr);
    frame->hide();
    frame->resize(900, 300); // hidden: no resize handling fits it now
    v.view.SetSelected(true);
    // As a drag of the bottom edge: the height stays, the width follows the picture.
    EXPECT_EQ(frame->height(), 300);
    EXPECT_NE(frame->width(), 900);
    const QSize m = v.view.VideoMargins();
    const FrameRect again = FitFrameRect({0, 0, frame->width(), frame->height()}, 6, m.width(), m.height(), 480);
    EXPECT_EQ(QSize(again.right, again.bottom), frame->size());
}

TEST(DvrView, ChannelCountOutOfRangeStillLogsIn)
{
    LoggedInView v(DvrKind::Network, 17);
    EXPECT_TRUE(v.view.IsLoggedIn());
    EXPECT_EQ(v.view.GetChannelCount(), 0);
}

TEST(DvrView, SetModeSendsOnlyOnAChange)
{
    LoggedInView v(DvrKind::Network, 4);
    v.link->sent.clear();
    v.view.SetMode(0);
    EXPECT_TRUE(v.link->sent.empty());
    v.view.btnLiveClick(false);
    ASSERT_EQ(v.link->sent.size(), 2u);
    EXPECT_EQ(v.link->sent[0], (std::vector<uint8_t>{DvrCmdMode, 1, 0}));
    EXPECT_EQ(v.link->sent[1][0], DvrCmdPlay);
    EXPECT_EQ(v.view.GetMode(), 1);
    EXPECT_TRUE(v.view.btnPlay->isChecked());
    EXPECT_FALSE(v.view.tmrMpeg->isActive());
    // The playback panel with its time labels and track bar replaces the live one.
    EXPECT_TRUE(v.view.pnlPlay->isVisibleTo(&v.view));
    EXPECT_FALSE(v.view.pnlLive->isVisibleTo(&v.view));
}

TEST(DvrView, TimerSendsKeepAliveAndFrameRate)
{
    LoggedInView v(DvrKind::Network, 4);
    // No unit without its number: the disk text waits for the first tick.
    EXPECT_EQ(v.view.lblDiskFree->text(), "");
    v.view.OnConnected();
    // Ten pictures in the timer's two seconds: five a second.
    for (int i = 0; i < 5; ++i) {
        const auto r = testing_playpath::Record(
            1, {testing_playpath::Packet(uint32_t(2 * i), 0, 80), testing_playpath::Packet(uint32_t(2 * i + 1), 0, 80)},
            uint32_t(10 + i));
        v.view.OfferMpegRecord(r.header, r.data);
    }
    ASSERT_EQ(v.view.PendingRecords(), 0u);
    v.link->sent.clear();
    v.view.tmrFrameTimer();
    EXPECT_TRUE(v.view.lblDiskFree->text().contains(QRegularExpression("^.: \\d+(\\.\\d)? [MG]Bytes free$")))
        << v.view.lblDiskFree->text().toStdString();
    ASSERT_EQ(v.link->sent.size(), 1u);
    EXPECT_EQ(v.link->sent[0], std::vector<uint8_t>{DvrCmdAlive});
    EXPECT_EQ(v.view.pnlFrame->text(), "5 fps");
    // Counted afresh each time: none since.
    v.view.tmrFrameTimer();
    EXPECT_EQ(v.view.pnlFrame->text(), "0 fps");
}

TEST(DvrView, DiskFreeText)
{
    EXPECT_EQ(TfrmDvrWin::DiskFreeText('C', 500), "C: 500 MBytes free");
    EXPECT_EQ(TfrmDvrWin::DiskFreeText('C', 1023), "C: 1023 MBytes free");
    EXPECT_EQ(TfrmDvrWin::DiskFreeText('C', 1024), "C: 1.0 GBytes free");
    EXPECT_EQ(TfrmDvrWin::DiskFreeText('D', 2560), "D: 2.5 GBytes free");
}

TEST(DvrView, PopupOfARecordedFileOffersOnlyTimeSearchAndClose)
{
    LoggedInView v(DvrKind::RecordedFile, 4);
    v.view.ShowPopupMenu(QPoint(10, 10));
    for (QAction *a : {v.view.cmdConnect, v.view.cmdDisconnect, v.view.cmdDvrControl, v.view.cmdPanTilt,
                       v.view.cmdEventSearch, v.view.cmdBlockSearch, v.view.cmdLogSearch, v.view.cmdDvrSetup,
                       v.view.cmdDvrStatus})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (QAction *a : {v.view.cmdSearch, v.view.cmdTimeSearch, v.view.cmdClose})
        EXPECT_TRUE(a->isEnabled());
    v.view.popDvrWin->hide();

    LoggedInView slave(DvrKind::Network, 4, 1);
    slave.view.ShowPopupMenu(QPoint(10, 10));
    EXPECT_FALSE(slave.view.cmdDvrSetup->isEnabled());
    EXPECT_TRUE(slave.view.cmdConnect->isEnabled());
    slave.view.popDvrWin->hide();
}

TEST(DvrView, DisconnectAndRelayAndClose)
{
    LoggedInView v(DvrKind::Network, 4);
    v.view.OnConnected(); // blanks the panes, sends the login again
    EXPECT_TRUE(v.view.IsConnected());
    EXPECT_EQ(v.link->sent.back()[0], DvrCmdLogin);
    v.view.pnlFrame->setText("40 fps");
    v.view.OnDisconnected();
    EXPECT_FALSE(v.view.IsLoggedIn());
    EXPECT_FALSE(v.view.tmrFrame->isActive());
    EXPECT_EQ(v.view.pnlMsg->text(), "Disconnected from DVR");
    EXPECT_EQ(v.view.pnlFrame->text(), "0 fps"); // no figure of the lost link stays beside it

    v.view.btnRelay->setChecked(true);
    v.view.btnRelayClick();
    EXPECT_EQ(v.link->sent.back(), (std::vector<uint8_t>{DvrCmdControl, 11, 0}));

    v.view.CloseConnection();
    EXPECT_EQ(v.view.Connection(), nullptr);
    EXPECT_FALSE(v.view.Pane(0)->isVisible());
}

// Disconnecting by hand ends the figure too.
TEST(DvrView, DisconnectingByHandEndsTheFrameRate)
{
    LoggedInView v(DvrKind::Network, 4);
    v.view.pnlFrame->setText("40 fps");
    v.view.cmdDisconnectClick();
    EXPECT_EQ(v.view.pnlFrame->text(), "0 fps");
}

namespace {

// Waits in real time: the play scheduler drains on a timer, so a count of idle passes can end
// before it has run at all on a fast machine.
template <typename Cond> bool Pump(Cond cond)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return cond();
}

} // namespace

TEST(DvrView, RefusedLoginAsksForThePasswordAndRetriesWithoutUser)
{
    LoggedInView v(DvrKind::Network, 4, 0); // denied
    ModalScript modal([](QWidget *w) {
        auto *dlg = qobject_cast<QDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        auto *edit = dlg->findChild<QLineEdit *>("edtPass");
        ASSERT_NE(edit, nullptr);
        edit->setText("4321");
        dlg->done(1);
    });
    ASSERT_TRUE(Pump([&] { return !v.link->sent.empty(); }));
    EXPECT_TRUE(modal.Ran());
    const std::vector<uint8_t> login = v.link->sent.back();
    ASSERT_EQ(login.size(), 17u);
    EXPECT_EQ(login[0], DvrCmdLogin);
    EXPECT_EQ(login[1], 0); // empty user
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&login[9]), 4), "4321");
    EXPECT_FALSE(v.view.IsLoggedIn());
}

TEST(DvrView, BusyMasterOrCancelledPasswordClosesTheView)
{
    for (int8_t result : {int8_t(3), int8_t(0)}) {
        TfrmDvrWin view;
        view.SetFrameMode(false, nullptr);
        view.SetConnection(std::make_unique<RecordingLink>());
        view.Core().SendLogin("", "");
        bool closeAsked = false;
        QObject::connect(view.GetFrame(), &TfrmDvrFrame::closeRequested, [&] { closeAsked = true; });
        QString shown;
        ModalScript modal([&](QWidget *w) {
            if (auto *box = qobject_cast<QMessageBox *>(w))
                shown = box->text();
            qobject_cast<QDialog *>(w)->done(2);
        });
        const uint8_t answer[9] = {uint8_t(result), 16, 1, 0, 0, 0, 0, 0, 0};
        view.Core().HandleLoginAnswer(answer, sizeof answer);
        ASSERT_TRUE(Pump([&] { return closeAsked; })) << int(result);
        EXPECT_TRUE(modal.Ran());
        if (result == 3) {
            EXPECT_EQ(shown, "Master is connected");
        }
        EXPECT_FALSE(view.IsLoggedIn());
    }
}

TEST(DvrView, LedsFollowTheMaskAndSelectTheirChannel)
{
    LoggedInView v(DvrKind::Network, 4);
    EXPECT_TRUE(v.view.Led(3)->isVisibleTo(&v.view));
    EXPECT_FALSE(v.view.Led(4)->isVisibleTo(&v.view));
    v.view.SetChannelMask(0b0101);
    EXPECT_EQ(v.view.LedColour(1), 0x808080u);
    EXPECT_FALSE(v.view.Led(1)->isEnabled());
    EXPECT_EQ(v.view.LedColour(2), 0x008000u);
    v.link->sent.clear();
    QTest::mouseClick(v.view.Led(2), Qt::LeftButton);
    EXPECT_EQ(v.view.GetCurrentChannel(), 3);
    ASSERT_FALSE(v.link->sent.empty());
    EXPECT_EQ(v.link->sent.back(), (std::vector<uint8_t>{DvrCmdChannel, 3, 0}));
}

TEST(DvrView, CaptionCarriesTheRecordTime)
{
    TfrmDvrWin view;
    view.SetFrameMode(false, nullptr);
    view.SetCaptionText("gate(10.0.0.9)");
    FrameRecordHeader h;
    h.time = {20, 26, 12, 10, 13, 5, 7};
    view.UpdateCaption(h);
    EXPECT_EQ(view.GetFrame()->windowTitle(), "gate(10.0.0.9) - 2026/12/10 13:05:07");
}

TEST(DvrView, TheMacGoesIntoTheAddressBookOnlyWhileTheEntryIsListed)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("Strandel.ini"));
    for (bool deleted : {false, true}) {
        frmDvrList = new TfrmDvrList(nullptr, dir.path());
        auto record = std::make_unique<DvrListRecord>();
        record->kind = uint8_t(DvrKind::Network);
        record->ip = {127, 0, 0, 1};
        SetField(record->name, "gate");
        frmDvrList->AddRecord(std::move(record));
        DvrListRecord *entry = frmDvrList->Record(frmDvrList->RecordCount() - 1);
        {
            TfrmDvrWin view;
            ASSERT_TRUE(view.CreateConnection(entry));
            if (deleted) {
                frmDvrList->SelectRow(frmDvrList->RecordCount() - 1);
                frmDvrList->btnDeleteClick();
            }
            const uint8_t answer[9] = {2, 4, 1, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
            view.Core().HandleLoginAnswer(answer, sizeof answer);
            EXPECT_EQ(view.Record().mac[0], 0xA1);
            EXPECT_EQ(entry->mac[0], deleted ? 0 : 0xA1) << deleted;
            view.CloseConnection();
        }
        delete frmDvrList;
        frmDvrList = nullptr;
    }
    SetSettingsFilePath({});
}

TEST(DvrView, RecordingIntoAFileOrSayingWhyNot)
{
    QTemporaryDir dir;
    LoggedInView v(DvrKind::Network, 4);
    const QString path = dir.filePath("Dvr-20261210-134507.dvr");
    EXPECT_TRUE(v.view.StartRecord(path));
    EXPECT_TRUE(v.view.IsRecording());
    v.view.StopRecord();
    EXPECT_FALSE(v.view.IsRecording());
    EXPECT_TRUE(QFile::exists(path));

    EXPECT_FALSE(v.view.StartRecord(dir.filePath("missing/folder/x.dvr")));
    EXPECT_FALSE(v.view.IsRecording());
    EXPECT_EQ(v.view.pnlMsg->text(), "Save File Error");
}

TEST(DvrView, RecordsWithoutRoomOnTheUiThreadAreOfferedAgainInOrder)
{
    // A serial link delivers on the UI thread, where the producer cannot wait for the rings.
    LoggedInView v(DvrKind::Network, 4);
    v.view.OnConnected();
    ASSERT_TRUE(v.view.IsConnected());
    const int records = 20;
    for (int i = 0; i < records; ++i) {
        const auto r = testing_playpath::Record(
            1, {testing_playpath::Packet(uint32_t(3 * i), 0, 80), testing_playpath::Packet(uint32_t(3 * i + 1), 0, 80),
                testing_playpath::Packet(uint32_t(3 * i + 2), 0, 80)},
            uint32_t(10 + i));
        v.view.OfferMpegRecord(r.header, r.data);
    }
    EXPECT_GT(v.view.PendingRecords(), 0u) << "kept, not dropped";
    EXPECT_TRUE(Pump([&] { return v.view.PendingRecords() == 0; }));
}

TEST(DvrView, RecordsOnTheUiThreadWaitForThePauseOfTheRecordBefore)
{
    // A serial link delivers playback records on the UI thread, which keeps each record's pause
    // (5 x 10 ms here) by holding the records after it instead of sleeping.
    LoggedInView v(DvrKind::Network, 4);
    v.view.OnConnected();
    v.view.SetMode(1);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        auto r = testing_playpath::Record(1, {testing_playpath::Packet(uint32_t(i), 0, 80)}, uint32_t(10 + i));
        r.header.kind = 1;
        r.header.delay = 5;
        v.view.OfferMpegRecord(r.header, r.data);
    }
    EXPECT_EQ(v.view.PendingRecords(), 2u) << "the first is queued, the others wait for its pause";
    EXPECT_TRUE(Pump([&] { return v.view.PendingRecords() == 0; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

// The record-time reply of a new playback sets the slider's range: a span shorter than where the
// last playback stood lowers the slider's value, which is no seek the operator asked for. Moving
// the slider still is.
TEST(DvrView, ANewPlaybackSpanMovesTheSliderWithoutASeek)
{
    LoggedInView v(DvrKind::Network, 4);
    auto info = [&](std::vector<uint8_t> payload) {
        PacketHeader h;
        h.cmd = DvrCmdPlayInfo;
        h.length = uint16_t(payload.size());
        v.view.Core().OnPacket(h, payload.data());
    };
    auto le32 = [](uint32_t x) {
        return std::vector<uint8_t>{uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)};
    };
    auto recTime = [&](uint32_t base, uint32_t count) {
        std::vector<uint8_t> p{INFO_RECTIME};
        for (uint32_t x : {base, count})
            for (uint8_t b : le32(x))
                p.push_back(b);
        const uint8_t times[14] = {20, 26, 12, 10, 12, 0, 0, 20, 26, 12, 10, 13, 0, 0};
        p.insert(p.end(), times, times + 14);
        info(p);
    };
    recTime(7, 1000);
    std::vector<uint8_t> pos{INFO_PLAYPOS};
    for (uint32_t x : {7u, 800u})
        for (uint8_t b : le32(x))
            pos.push_back(b);
    info(pos);
    ASSERT_EQ(v.view.TrackBar->value(), 800);
    v.link->sent.clear();
    recTime(9, 300);
    EXPECT_EQ(v.view.TrackBar->maximum(), 300);
    EXPECT_EQ(v.view.TrackBar->value(), 300);
    EXPECT_TRUE(v.link->sent.empty()) << "a seek went out";

    v.view.TrackBar->setValue(120); // the operator moves it
    ASSERT_EQ(v.link->sent.size(), 1u);
    EXPECT_EQ(v.link->sent[0], (std::vector<uint8_t>{DvrCmdPlay, PLAY_POS, 9, 0, 0, 0, 120, 0, 0, 0}));
}

// Pictures of late channels come with earlier times: the title never steps back in forward play,
// nor forward in back play, but follows a search to another place.
TEST(DvrView, PlaybackTitleNeverRunsBackward)
{
    TfrmDvrWin view;
    view.SetFrameMode(false, nullptr);
    view.SetCaptionText("demo");
    auto show = [&](uint8_t second, uint8_t minute = 0) {
        FrameRecordHeader h;
        h.kind = 1;
        h.time = {20, 26, 1, 1, 12, minute, second};
        view.UpdateCaption(h);
        return view.GetFrame()->windowTitle().right(2).toInt();
    };
    const uint8_t seconds[] = {15, 16, 15, 17, 16, 18};
    const int titles[] = {15, 16, 16, 17, 17, 18};
    for (size_t i = 0; i < std::size(seconds); ++i)
        EXPECT_EQ(show(seconds[i]), titles[i]) << i;
    EXPECT_EQ(show(40, 30), 40) << "a search to another time";
    EXPECT_EQ(show(5), 5);
}
