// The set-up editor's frame: the transfer routine in both directions, what it keeps and what
// it rewrites, the page set and model, re-activation, passwords, the file side and sending.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <QSpinBox>
#include <QTemporaryDir>

#include <cstring>

#include "platform/settings.h"
#include "viewer/admin/dvrenv.h"
#include "viewer/controls/ipedit.h"
#include "viewer/controls/myitemedit.h"

// Fontconfig keeps its caches until the process ends; a sanitizer build must not count them.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;

// A view that keeps what the editor sends.
class RecordingServices : public DvrServices {
public:
    bool SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        packets.push_back({cmd, flag, Bytes(data, data + length)});
        return true;
    }
    bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length) override
    {
        ++uploads;
        uploaded.assign(data, data + length);
        return SendCommandEx(cmd, DvrFlagBlockBegin, nullptr, 0);
    }
    int GetChannelCount() const override { return 16; }
    std::string GetRecordPath() const override { return "."; }
    bool IsLoggedIn() const override { return true; }
    uint8_t GetModel() const override { return 0; }
    uint8_t GetVideoStandard() const override { return 0; }
    bool StartNetCopy(const std::string &) override { return true; }
    bool IsCopying() const override { return false; }
    void CancelNetCopy() override {}
    void OpenUpgradeDialog() override { ++upgrades; }

    struct Packet {
        uint8_t cmd, flag;
        Bytes data;
    };
    std::vector<Packet> packets;
    Bytes uploaded;
    int uploads = 0, upgrades = 0;
};

void Digits(uint8_t *p, uint32_t v, int n) { NumberToDigits(p, v, n); }

// A record already in the form the editor writes, with some values set.
Bytes CanonicalRecord()
{
    Bytes r(kDvrEnvRecordSize, 0);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = uint8_t(i * 7 + 3); // reserved bytes and blocks get a pattern
    for (const DvrEnvField &f : DvrEnvFields()) {
        for (int i = 0; i < f.count; ++i) {
            uint8_t *p = r.data() + EnvElementOffset(f, i);
            switch (f.encoding) {
            case EnvEncoding::Index: p[0] = uint8_t(i % (f.max + 1 > 2 ? 2 : f.max + 1)); break;
            case EnvEncoding::Number: p[0] = uint8_t(f.min + (i % 3)); break;
            case EnvEncoding::Position: p[0] = 6; break;
            case EnvEncoding::OneBased: p[0] = 2; break;
            case EnvEncoding::Audio: p[0] = i % 2 ? 1 : 99; break;
            case EnvEncoding::Flag: p[0] = uint8_t(i % 2); break;
            case EnvEncoding::Schedule: p[0] = i % 5 ? 2 : 6; break;
            case EnvEncoding::Mark: p[0] = i % 5 ? 1 : 0; break;
            case EnvEncoding::Digits: Digits(p, 5410, 4); break;
            case EnvEncoding::Ip: Digits(p, 192, 3);
                Digits(p + 3, 168, 3); Digits(p + 6, 1, 3); Digits(p + 9, 10, 3); break;
            case EnvEncoding::Title: std::memcpy(p, "CAM     \0", 9); p[3] = uint8_t('A' + i); break;
            case EnvEncoding::Text: std::memset(p, 0, f.width); std::memcpy(p, "host.example", 12); break;
            case EnvEncoding::Password: Digits(p, 12345678, 8); break;
            case EnvEncoding::Time: { const uint8_t t[7] = {20, 26, 12, 10, 17, 30, 0}; std::memcpy(p, t, 7); break; }
            case EnvEncoding::Block: break;
            }
        }
    }
    return r;
}

struct Editor {
    TfrmDvrEnv env;
    RecordingServices view;
    std::vector<QString> messages;
    Editor()
    {
        env.SetDvr(&view);
        env.showMessage = [this](const QString &t) { messages.push_back(t); };
        env.chooseFile = [](bool) { return QString(); };
    }
    void Receive(const Bytes &r, uint8_t variant = 0, uint8_t standard = 0x10, int channels = 16)
    {
        env.SetRecordVariant(variant);
        env.SetModel(standard, channels);
        env.TransferRecord(static_cast<const uint8_t *>(r.data()), 1);
    }
    Bytes Store()
    {
        Bytes out(kDvrEnvRecordSize, 0);
        EXPECT_TRUE(env.TransferRecord(out.data(), 0));
        return out;
    }
    template <typename T> T *C(const char *name) { return qobject_cast<T *>(env.Control(name)); }
};

std::vector<int> Differences(const Bytes &a, const Bytes &b)
{
    std::vector<int> d;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            d.push_back(int(i));
    return d;
}

} // namespace

TEST(DvrEnv, ARecordInTheEditorsFormComesBackByteForByte)
{
    for (int channels : {4, 8, 16}) {
        SCOPED_TRACE(channels);
        Editor e;
        const Bytes r = CanonicalRecord();
        e.Receive(r, 0, 0x10, channels);
        EXPECT_EQ(Differences(e.Store(), r), std::vector<int>{});
        EXPECT_TRUE(e.env.btnSave->isEnabled());
    }
}

TEST(DvrEnv, ShownValuesFollowTheWireConversions)
{
    Editor e;
    Bytes r = CanonicalRecord();
    r[0] = 0;
    r[1] = 2;
    r[kEnvAudioOffset] = 99;
    r[kEnvAudioOffset + 1] = 1;
    r[7492] = 3; // March
    std::memcpy(r.data() + kEnvTitleOffset, "ABC     \0", 9);
    e.Receive(r);
    EXPECT_EQ(e.C<QSpinBox>("edtHorPos")->value(), -4);
    EXPECT_EQ(e.C<QSpinBox>("edtVerPos")->value(), -2);
    EXPECT_EQ(e.C<QComboBox>("edtAudio1")->currentText(), "OFF");
    EXPECT_EQ(e.C<QComboBox>("edtAudio2")->currentText(), "ON");
    EXPECT_EQ(e.C<QComboBox>("edtDayStartMonth")->currentIndex(), 2);
    EXPECT_EQ(e.C<QSpinBox>("edtPort")->value(), 5410);
    EXPECT_EQ(e.C<TIpEdit>("edtIp")->GetIp(1), 168);

    // Edited values go out in wire form; a short title is padded.
    e.C<QSpinBox>("edtHorPos")->setValue(3);
    e.C<QComboBox>("edtAudio2")->setCurrentIndex(0);
    e.C<QLineEdit>("edtTitleCh0")->setText("XY");
    e.C<QSpinBox>("edtPort")->setValue(5432);
    e.C<TIpEdit>("edtIp")->SetIp(0, 10);
    const Bytes out = e.Store();
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[kEnvAudioOffset + 1], 99);
    EXPECT_EQ(Bytes(out.begin() + kEnvTitleOffset, out.begin() + kEnvTitleOffset + 9),
              Bytes({'X', 'Y', ' ', ' ', ' ', ' ', ' ', ' ', 0}));
    EXPECT_EQ(Bytes(out.begin() + kEnvPortOffset, out.begin() + kEnvPortOffset + 4), Bytes({5, 4, 3, 2}));
    EXPECT_EQ(Bytes(out.begin() + 7522, out.begin() + 7525), Bytes({0, 1, 0}));
    EXPECT_EQ(Differences(out, r), (std::vector<int>{0, kEnvTitleOffset, kEnvTitleOffset + 1, kEnvTitleOffset + 2,
                                                     kEnvAudioOffset + 1, 7522, 7523, 7524, kEnvPortOffset + 2,
                                                     kEnvPortOffset + 3}));
}

TEST(DvrEnv, BytesNoControlCanShowStayUnlessEdited)
{
    Editor e;
    Bytes r = CanonicalRecord();
    struct Odd {
        int offset;
        uint8_t value;
    } odd[] = {
        {51, 200},       // index past its list
        {48, 99},        // dwell time above 60
        {380, 0},        // spot time below 1
        {1, 40},         // position outside -4..4
        {7492, 0},       // month 0
        {kEnvAudioOffset + 2, 5},
        {7522, 12},      // an address digit above 9
        {kEnvPortOffset, 5}, {kEnvPortOffset + 1, 3}, // port 5310: another range
        {9299, 13},      // holiday month 13
        {5819, 9},       // motion sensitivity 9
    };
    for (const Odd &o : odd)
        r[size_t(o.offset)] = o.value;
    e.Receive(r);
    EXPECT_EQ(e.C<QComboBox>("edtClockDisp")->currentIndex(), -1);
    EXPECT_EQ(Differences(e.Store(), r), std::vector<int>{});
    // Touching a control writes it; the port spin's limits decide only what the user picks.
    e.C<QComboBox>("edtClockDisp")->setCurrentIndex(1);
    e.C<QSpinBox>("edtSeqTime16")->setValue(30);
    const Bytes out = e.Store();
    EXPECT_EQ(out[51], 1);
    EXPECT_EQ(out[48], 30);
    EXPECT_EQ(Differences(out, r), (std::vector<int>{48, 51}));
}

// The rewrites the editor makes of a record not in its own form; each is deliberate.
TEST(DvrEnv, NormalisationsOfARecordNotInTheEditorsForm)
{
    Editor e;
    Bytes r = CanonicalRecord();
    std::memcpy(r.data() + kEnvTitleOffset, "AB\0zzzzz\0", 9); // title: NUL then junk
    std::memcpy(r.data() + kEnvTitleOffset + 9, "ABCDEFGHI", 9); // title: no NUL
    r[kEnvScheduleOffset + 1] = 5;    // neither on nor off
    r[kEnvMarkOffset + 2] = 0;        // mark disagreeing with an "on" hour
    r[kEnvMarkOffset + 0] = 1;        // mark on an "off" hour (cell 0 is off)
    r[49] = 7;                        // flag
    r[7647] = 3;                      // layout switch flag (16 channels)
    r[kEnvAudioOffset] = 0;           // audio off written as 0
    r[kEnvAllDayOffset] = 9;          // all-day switch neither on nor off
    e.Receive(r);
    const Bytes out = e.Store();
    const std::vector<int> expected = {49,  kEnvTitleOffset + 2, kEnvTitleOffset + 3, kEnvTitleOffset + 4,
                                       kEnvTitleOffset + 5, kEnvTitleOffset + 6, kEnvTitleOffset + 7,
                                       kEnvTitleOffset + 17, kEnvScheduleOffset + 1, kEnvMarkOffset + 0,
                                       kEnvMarkOffset + 1, kEnvMarkOffset + 2, kEnvAudioOffset, 7647, kEnvAllDayOffset};
    std::vector<int> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Differences(out, r), sorted);
    EXPECT_EQ(Bytes(out.begin() + kEnvTitleOffset, out.begin() + kEnvTitleOffset + 18),
              Bytes({'A', 'B', ' ', ' ', ' ', ' ', ' ', ' ', 0, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0}));
    EXPECT_EQ(out[kEnvScheduleOffset + 1], 6);
    EXPECT_EQ(out[kEnvMarkOffset + 1], 0);
    EXPECT_EQ(out[kEnvMarkOffset + 2], 1);
    EXPECT_EQ(out[49], 1);
    EXPECT_EQ(out[kEnvAudioOffset], 99);
    EXPECT_EQ(out[kEnvAllDayOffset], 6);
}

TEST(DvrEnv, ModelStandardAndPageSet)
{
    Editor e;
    // The view's video byte 0x13: model 1, standard 3, bit 0 set = NTSC.
    e.Receive(CanonicalRecord(), 2, 0x13, 8);
    EXPECT_TRUE(e.env.IsNtsc());
    EXPECT_EQ(e.env.FrameBudget(), 120);
    for (int g = 0; g < 4; ++g)
        EXPECT_EQ(e.env.findChild<QLabel *>(QString("lblMpSingle%1").arg(g))->text(), "120");
    EXPECT_EQ(e.env.ChannelCount(), 8);
    EXPECT_EQ(e.C<QComboBox>("edtQuickImageSize")->itemText(0), "720x240");
    // An 8-channel recorder of the second variant keeps the first variant's pages.
    EXPECT_EQ(e.env.VariantPage(), "TabRec2");
    EXPECT_FALSE(e.env.Control("edtCovertCh8")->isEnabled());
    EXPECT_TRUE(e.env.Control("edtCovertCh7")->isEnabled());
    EXPECT_EQ(e.C<QComboBox>("edtPlayMode")->count(), 2);
    e.Receive(CanonicalRecord(), 2, 0x02, 16);
    EXPECT_EQ(e.env.VariantPage(), "TabRec3");
    EXPECT_FALSE(e.env.IsNtsc());
    EXPECT_EQ(e.env.FrameBudget(), 100);
    EXPECT_EQ(e.env.findChild<QLabel *>("lblMpSingle3")->text(), "100");
    EXPECT_EQ(e.C<QComboBox>("edtQuickImageSize")->itemText(0), "720x288");

    // Four channels: channels 5-16 disabled, the four-channel spot list carries the spot mode.
    Bytes r = CanonicalRecord();
    r[379] = 1;
    e.Receive(r, 0, 0x00, 4);
    EXPECT_TRUE(e.env.Control("edtSpotMode")->isHidden());
    EXPECT_FALSE(e.env.Control("edtSpotMode_4CH")->isHidden());
    EXPECT_EQ(e.C<QComboBox>("edtSpotMode_4CH")->currentText(), "EVENT");
    EXPECT_FALSE(e.env.Control("edtSpotSeqTime")->isEnabled());
    EXPECT_FALSE(e.env.Control("edtTitleCh4")->isEnabled());
    EXPECT_TRUE(e.env.Control("edtTitleCh3")->isEnabled());
    e.C<QComboBox>("edtSpotMode_4CH")->setCurrentIndex(0);
    EXPECT_EQ(e.Store()[379], 0);
}

TEST(DvrEnv, QuickFrameListFollowsSizeAndStandard)
{
    Editor e;
    Bytes r = CanonicalRecord();
    r[kEnvQuickImageSize] = 1;
    r[kEnvQuickRecordFrame] = 3;
    e.Receive(r, 0, 0x01);
    auto *frame = e.C<QComboBox>("edtQuickRecordFrame");
    EXPECT_EQ(frame->count(), 4);
    EXPECT_EQ(frame->currentText(), "30");
    // A frame index past the size's list shows nothing and is kept.
    r[kEnvQuickRecordFrame] = 5;
    e.Receive(r, 0, 0x01);
    EXPECT_EQ(frame->currentIndex(), -1);
    EXPECT_EQ(e.Store()[kEnvQuickRecordFrame], 5);
    e.C<QComboBox>("edtQuickImageSize")->setCurrentIndex(2);
    EXPECT_EQ(frame->count(), 6);
    EXPECT_EQ(frame->currentText(), "120");
    EXPECT_EQ(e.Store()[kEnvQuickRecordFrame], 5);
    EXPECT_EQ(e.Store()[kEnvQuickImageSize], 2);
}

TEST(DvrEnv, OpeningResetsButReturningFromASubDialogKeepsState)
{
    Editor e;
    e.env.show();
    QApplication::processEvents();
    Bytes r = CanonicalRecord();
    e.Receive(r, 2, 0x10, 8);
    // The clock cell (2026-12-10 is a Thursday, 17h) is selected.
    ASSERT_EQ(e.env.SelectedCell(), e.env.Cell(4 * 24 + 17));
    e.env.SelectCell(e.env.Cell(5));
    e.env.SetCurrentProgram(3);
    e.env.edtMasterOld->setText("1234");
    // Back from a sub-dialog: another activation changes nothing.
    e.env.FormActivate();
    EXPECT_EQ(e.env.SelectedCell(), e.env.Cell(5));
    EXPECT_EQ(e.env.CurrentProgram(), 3);
    EXPECT_EQ(e.env.ChannelCount(), 8);
    EXPECT_EQ(e.env.edtMasterOld->text(), "1234");
    // A second record keeps the clicked cell.
    e.Receive(r, 2, 0x10, 8);
    EXPECT_EQ(e.env.SelectedCell(), e.env.Cell(5));
    // A new opening starts over; the pages wait for a record.
    e.env.hide();
    e.env.show();
    QApplication::processEvents();
    EXPECT_EQ(e.env.SelectedCell(), nullptr);
    EXPECT_EQ(e.env.CurrentProgram(), 0);
    EXPECT_EQ(e.env.ChannelCount(), 16);
    EXPECT_TRUE(e.env.edtMasterOld->text().isEmpty());
    EXPECT_FALSE(e.env.btnUpdate->isEnabled());
    e.env.hide();
}

TEST(DvrEnv, PasswordChangesNeedTheOldOneAndEightDigits)
{
    struct Case {
        const char *oldText, *newText, *retype;
        bool ok;
    } cases[] = {
        {"12345678", "87654321", "87654321", true},
        {"12345679", "87654321", "87654321", false},
        {"12345678", "87654321", "87654322", false},
        {"12345678", "8765", "8765", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.newText);
        Editor e;
        const Bytes r = CanonicalRecord();
        e.Receive(r);
        e.env.edtSlaveOld->setText(c.oldText);
        e.env.edtSlaveNew->setText(c.newText);
        e.env.edtSlaveRetype->setText(c.retype);
        Bytes out(kDvrEnvRecordSize, 0);
        EXPECT_EQ(e.env.TransferRecord(out.data(), 0), c.ok);
        if (c.ok) {
            EXPECT_EQ(Bytes(out.begin() + kEnvSlavePassword, out.begin() + kEnvSlavePassword + 8), Bytes({8, 7, 6, 5, 4, 3, 2, 1}));
            EXPECT_EQ(Differences(out, r).size(), 8u);
        }
        // A refused change sends nothing.
        e.env.btnUpdateClick();
        EXPECT_EQ(e.view.uploads, c.ok ? 1 : 0);
    }
}

TEST(DvrEnv, SaveAndOpenReportWhatTheyCannotDo)
{
    QTemporaryDir dir;
    Editor e;
    const Bytes r = CanonicalRecord();
    e.Receive(r);
    const QString path = dir.filePath("dvr.env");
    ASSERT_TRUE(e.env.SaveToFile(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(reinterpret_cast<const char *>(r.data()), qsizetype(r.size())));
    f.close();
    EXPECT_TRUE(e.messages.empty());

    // A folder that does not exist cannot be written.
    EXPECT_FALSE(e.env.SaveToFile(dir.filePath("missing/dvr.env")));
    ASSERT_EQ(e.messages.size(), 1u);
    EXPECT_TRUE(e.messages[0].startsWith("Cannot write"));

    // A file of the wrong size, or none, changes nothing.
    Editor fresh;
    for (int size : {kDvrEnvRecordSize - 1, kDvrEnvRecordSize + 1}) {
        QFile w(dir.filePath("odd.env"));
        ASSERT_TRUE(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
        w.write(QByteArray(size, 1));
        w.close();
        EXPECT_FALSE(fresh.env.OpenFromFile(w.fileName()));
    }
    EXPECT_FALSE(fresh.env.OpenFromFile(dir.filePath("none.env")));
    EXPECT_EQ(fresh.messages.size(), 3u);
    EXPECT_FALSE(fresh.env.IsLoaded());
    EXPECT_FALSE(fresh.env.btnSave->isEnabled());
    EXPECT_EQ(fresh.env.Record(), Bytes(kDvrEnvRecordSize, 0));

    // The saved file opens into the controls and enables save and send.
    fresh.env.SetModel(0x10, 16);
    ASSERT_TRUE(fresh.env.OpenFromFile(path));
    EXPECT_TRUE(fresh.env.btnUpdate->isEnabled());
    EXPECT_EQ(fresh.C<QLineEdit>("edtTitleCh1")->text(), "CAMB    ");
    EXPECT_EQ(Differences(fresh.Store(), r), std::vector<int>{});
}

TEST(DvrEnv, LoadSendAndFirmwareGoThroughTheView)
{
    Editor e;
    e.env.btnLoadClick();
    ASSERT_EQ(e.view.packets.size(), 3u);
    EXPECT_EQ(e.view.packets[0].cmd, DvrCmdEnvGet);
    EXPECT_EQ(e.view.packets[1].cmd, DvrCmdTitleGet);
    EXPECT_EQ(e.view.packets[2].cmd, DvrCmdDiskMap);
    // Nothing to send before a record arrived.
    e.env.btnUpdateClick();
    EXPECT_EQ(e.view.uploads, 0);
    e.Receive(CanonicalRecord());
    e.env.btnUpdateClick();
    EXPECT_EQ(e.view.uploaded, CanonicalRecord());
    e.env.btnDownloadClick();
    EXPECT_EQ(e.view.upgrades, 1);
}

TEST(DvrEnv, RandomRecordsChangeOnlyWhereTheEditorNormalisesAndSettle)
{
    // Bytes the editor may rewrite without being told: titles, schedule and marks, all-day
    // switches, audio switches and the flags of a 16-channel recorder.
    std::vector<bool> normalised(kDvrEnvRecordSize, false);
    const auto mark = [&](int first, int last) {
        for (int b = first; b <= last; ++b)
            normalised[size_t(b)] = true;
    };
    mark(kEnvTitleOffset, kEnvTitleOffset + 16 * 9 - 1);
    mark(kEnvScheduleOffset, kEnvMarkOffset + 167);
    mark(kEnvAllDayOffset, kEnvAllDayOffset + 6);
    mark(kEnvAudioOffset, kEnvAudioOffset + 7);
    mark(49, 50);
    mark(7647, 7652);

    Editor e;
    uint32_t seed = 12345;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        Bytes r(kDvrEnvRecordSize);
        for (uint8_t &b : r) {
            seed = seed * 1103515245u + 12345u;
            // Half of the bytes small, so lists and digits get valid values too.
            b = uint8_t(seed >> 24 & 1 ? (seed >> 16) % 12 : seed >> 16);
        }
        // The program on show must pass its frame and pair checks: whole-size channels at one
        // picture a second.
        for (int ch = 0; ch < 16; ++ch) {
            r[size_t(kEnvProgramOffset + 1 + ch)] = 0;
            for (int rate : {65, 97, 129})
                r[size_t(kEnvProgramOffset + rate + 2 * ch)] = 1;
        }
        e.Receive(r, uint8_t(round % 3), uint8_t(round), 16);
        const Bytes out = e.Store();
        for (int b : Differences(out, r))
            EXPECT_TRUE(normalised[size_t(b)]) << "byte " << b << " " << int(r[size_t(b)]) << " -> " << int(out[size_t(b)]);
        for (int i = 0; i < 168; ++i) {
            const uint8_t s = out[size_t(kEnvScheduleOffset + i)];
            EXPECT_TRUE(s == 2 || s == 6);
            EXPECT_EQ(out[size_t(kEnvMarkOffset + i)], s == 2 ? 1 : 0);
        }
        for (int ch = 0; ch < 16; ++ch)
            EXPECT_EQ(out[size_t(kEnvTitleOffset + 9 * ch + 8)], 0);
        // What the editor wrote, it takes back unchanged.
        e.Receive(out, uint8_t(round % 3), uint8_t(round), 16);
        EXPECT_EQ(Differences(e.Store(), out), std::vector<int>{});
    }
}

TEST(DvrEnv, ScheduleCellsAreWhiteWhenOnAndGreyWhenOff)
{
    Editor e;
    Bytes r = CanonicalRecord();
    r[kEnvScheduleOffset + 30] = 2;
    r[kEnvScheduleOffset + 31] = 6;
    e.Receive(r);
    const auto count = [](QWidget *w, QRgb colour) {
        const QImage img = w->grab().toImage();
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        return std::pair(n, img.width() * img.height());
    };
    const auto [whiteOn, areaOn] = count(e.env.Cell(30), qRgb(255, 255, 255));
    const auto [greyOff, areaOff] = count(e.env.Cell(31), qRgb(128, 128, 128));
    EXPECT_GT(whiteOn * 2, areaOn);
    EXPECT_GT(greyOff * 2, areaOff);
    EXPECT_EQ(count(e.env.Cell(30), qRgb(128, 128, 128)).first, 0);
}

TEST(DvrEnv, ARefusedRecordProgramStopsSendAndSave)
{
    // The program page refuses its values (a frame or pair-channel error).
    class Refusing : public TfrmDvrEnv {
    protected:
        bool TransferRecordProgram(int direction) override { return direction == 1; }
    };
    Refusing env;
    RecordingServices view;
    env.SetDvr(&view);
    bool asked = false;
    env.chooseFile = [&](bool) {
        asked = true;
        return QString();
    };
    env.SetModel(0, 16);
    const Bytes r = CanonicalRecord();
    env.TransferRecord(static_cast<const uint8_t *>(r.data()), 1);
    EXPECT_TRUE(env.IsLoaded());
    env.btnUpdateClick();
    env.btnSaveClick();
    EXPECT_EQ(view.uploads, 0);
    EXPECT_FALSE(asked);
}

TEST(DvrEnv, OpensShowingAWholePageAndKeepsTheSizeTheUserGives)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("Strandel.ini"));
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    QSize opened;
    {
        TfrmDvrEnv env;
        env.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&env));
        opened = env.size();
        // Once a record has come, every page is shown in turn: each shows whole in every direction
        // in which the screen left the dialog room to grow.
        const bool wideRoom = opened.width() < screen.width() - 40, tallRoom = opened.height() < screen.height() - 80;
        EXPECT_TRUE(wideRoom || tallRoom) << "the test screen is too small to show anything";
        for (int i = 0; i < 6; ++i)
            env.PageMain->setTabVisible(i, true);
        for (QScrollArea *page : env.findChildren<QScrollArea *>()) {
            SCOPED_TRACE(page->objectName().toStdString());
            for (QWidget *w = page; w != &env; w = w->parentWidget())
                if (auto *stack = qobject_cast<QStackedWidget *>(w->parentWidget()))
                    stack->setCurrentWidget(w);
            QApplication::processEvents();
            ASSERT_TRUE(page->isVisible());
            const QSize need = page->widget()->minimumSizeHint();
            const QSize room = page->size() - 2 * QSize(page->frameWidth(), page->frameWidth());
            if (wideRoom)
                EXPECT_LE(need.width(), room.width()) << "opened at " << opened.width() << "x" << opened.height();
            if (tallRoom)
                EXPECT_LE(need.height(), room.height()) << "opened at " << opened.width() << "x" << opened.height();
        }
        EXPECT_LE(opened.width(), screen.width());
        EXPECT_LE(opened.height(), screen.height());
        const QRect avail = env.screen()->availableGeometry();
        EXPECT_GE(env.geometry().top(), avail.top() + env.style()->pixelMetric(QStyle::PM_TitleBarHeight))
            << "no room for the title bar";
        EXPECT_LE(env.geometry().bottom(), avail.bottom());
        env.resize(opened - QSize(40, 30)); // the user makes it smaller
        env.hide();
    }
    {
        TfrmDvrEnv again;
        again.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
        EXPECT_EQ(again.size(), opened - QSize(40, 30));
        again.hide();
    }
    // A size larger than this screen (given on a larger one) opens as large as the screen allows,
    // with the title bar on it.
    RegWriteInt("SetupHeight", 5000);
    TfrmDvrEnv tall;
    tall.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tall));
    const QRect avail = tall.screen()->availableGeometry();
    EXPECT_GT(tall.height(), avail.height() * 9 / 10);
    EXPECT_GE(tall.geometry().top(), avail.top() + tall.style()->pixelMetric(QStyle::PM_TitleBarHeight))
        << "no room for the title bar";
    EXPECT_LE(tall.geometry().bottom(), avail.bottom());
    tall.hide();
    SetSettingsFilePath({});
}
