// Record programs: the budget sums, the group sums of the variant pages, pairing and its check;
// then the program pages of the set-up editor over a record.
#include <gtest/gtest.h>

#include <cstring>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTabWidget>
#include <QLineEdit>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "viewer/admin/dvrenv.h"
#include "viewer/controls/myitemedit.h"
#include "viewer/protocol/recordprogram.h"
#include "viewer/protocol/titlebitmap.h"
#include "viewer/protocol/motionmask.h"
#include "viewer/admin/motion.h"
#include "platform/endian.h"

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(RecordProgram, FrameSumCountsFullFrameFourTimesAndOthersTwice)
{
    struct Case {
        int rate, size, channels, sum;
    } cases[] = {
        {13, 0, 4, 104}, {12, 0, 4, 96}, {13, 1, 4, 208}, {12, 2, 4, 96}, {25, 1, 1, 100}, {0, 1, 16, 0},
    };
    for (const Case &c : cases) {
        int rates[16], sizes[16];
        bool counted[16];
        for (int i = 0; i < 16; ++i) {
            rates[i] = c.rate;
            sizes[i] = c.size;
            counted[i] = true;
        }
        EXPECT_EQ(FrameSum(rates, sizes, counted, c.channels), c.sum) << c.rate << " " << c.size;
    }
    // Channels not counted (hidden partners, absent channels) add nothing.
    const int rates[4] = {10, 10, 10, 10}, sizes[4] = {0, 0, 0, 0};
    const bool counted[4] = {true, false, true, false};
    EXPECT_EQ(FrameSum(rates, sizes, counted, 4), 40);
}

TEST(RecordProgram, TheLimitIsTheIntervalTimesTheBudgetWithTheIntervalBroughtIntoRange)
{
    EXPECT_EQ(FrameLimit(1, 100), 100);
    EXPECT_EQ(FrameLimit(2, 120), 240);
    // A zero interval would make every program over budget.
    EXPECT_EQ(FrameLimit(0, 100), 100);
    EXPECT_EQ(FrameLimit(200, 100), 6000);
}

TEST(RecordProgram, AVariantGroupIsOverAt121)
{
    const bool shown[4] = {true, true, true, true};
    const int over[4] = {30, 30, 1, 0}, full[4] = {30, 30, 0, 0};
    EXPECT_EQ(GroupSum(over, shown, 4, 0), 122);
    EXPECT_TRUE(GroupOver(GroupSum(over, shown, 4, 0)));
    EXPECT_EQ(GroupSum(full, shown, 4, 0), 120);
    EXPECT_FALSE(GroupOver(120));
    EXPECT_EQ(GroupSum(full, shown, 4, kSizeFull), 240);
    const bool odd[4] = {true, false, true, false};
    EXPECT_EQ(GroupSum(over, odd, 4, kSizeHalf), 62);
}

TEST(RecordProgram, HalfSizeChannelsPairInTurnAndThePartnersAreKnown)
{
    int sizes[16] = {};
    for (int ch = 0; ch < 8; ++ch)
        sizes[ch] = kSizeHalf;
    const auto pairs = AutoPairs(sizes, 16);
    const std::array<int, 16> want = {2, 0, 4, 0, 6, 0, 8, 0};
    EXPECT_EQ(pairs, want);
    EXPECT_EQ(PartnerSet(sizes, pairs.data(), 16), 0xAAu);
    bool shown[16];
    for (int ch = 0; ch < 16; ++ch)
        shown[ch] = !(0xAAu & (1u << ch));
    EXPECT_TRUE(PairsValid(sizes, pairs.data(), shown, 16));

    // Half-size channels that are not neighbours still pair in turn.
    int scattered[4] = {kSizeHalf, 0, 0, kSizeHalf};
    EXPECT_EQ(AutoPairs(scattered, 4)[0], 4);
}

TEST(RecordProgram, PairCheckCases)
{
    struct Case {
        const char *what;
        int sizes[4], pairs[4];
        bool shown[4];
        bool valid;
    } cases[] = {
        {"no half size", {0, 0, 0, 0}, {0, 0, 0, 0}, {true, true, true, true}, true},
        {"two pairs", {2, 2, 2, 2}, {2, 0, 4, 0}, {true, false, true, false}, true},
        {"half size with no partner", {2, 0, 0, 0}, {0, 0, 0, 0}, {true, true, true, true}, false},
        {"own number", {2, 0, 0, 0}, {1, 0, 0, 0}, {true, true, true, true}, false},
        {"partner named twice", {2, 2, 2, 0}, {4, 0, 4, 0}, {true, true, true, false}, false},
        {"hidden channel nobody names", {0, 0, 0, 0}, {0, 0, 0, 0}, {true, false, true, true}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PairsValid(c.sizes, c.pairs, c.shown, 4), c.valid) << c.what;
}

// The editor over a record whose program 0 is set by the test.
struct Editor {
    TfrmDvrEnv env;
    std::vector<QString> messages;
    Bytes record = Bytes(kDvrEnvRecordSize, 0);
    Editor()
    {
        env.showMessage = [this](const QString &t) { messages.push_back(t); };
        env.chooseFile = [](bool) { return QString(); };
        for (int p = 0; p < kEnvProgramCount; ++p)
            Program(p)[prg::kInterval] = 1;
    }
    uint8_t *Program(int p) { return record.data() + kEnvProgramOffset + kEnvProgramSize * p; }
    void Receive(uint8_t variant, int channels, uint8_t standard = 0x10)
    {
        env.SetRecordVariant(variant);
        env.SetModel(standard, channels);
        env.TransferRecord(static_cast<const uint8_t *>(record.data()), 1);
    }
    bool Store(Bytes *out = nullptr)
    {
        Bytes b(kDvrEnvRecordSize, 0);
        const bool ok = env.TransferRecord(b.data(), 0);
        if (out)
            *out = b;
        return ok;
    }
    template <typename T> T *C(const QString &name) { return qobject_cast<T *>(env.Control(name)); }
    QLabel *L(const char *name) { return env.findChild<QLabel *>(name); }
};

// The program blocks of a record (the rest gets the editor's own normalisations).
Bytes Programs(const Bytes &r)
{
    return Bytes(r.begin() + kEnvProgramOffset, r.begin() + kEnvProgramOffset + kEnvProgramCount * kEnvProgramSize);
}

bool Red(QLabel *l) { return l && l->palette().color(QPalette::WindowText) == QColor(255, 0, 0); }

} // namespace

TEST(RecordProgramPages, DefaultBudgetTurnsRedAndRefusesTheSend)
{
    for (int rate : {12, 13}) {
        SCOPED_TRACE(rate);
        Editor e;
        for (int ch = 0; ch < 4; ++ch)
            e.Program(0)[prg::kNormal + 2 * ch] = uint8_t(rate);
        e.Receive(0, 4);
        ASSERT_NE(e.L("lblSingle"), nullptr);
        EXPECT_EQ(e.L("lblSingle")->text(), QString::number(rate * 8));
        EXPECT_EQ(Red(e.L("lblSingle")), rate == 13);
        EXPECT_EQ(e.Store(), rate == 12);
        EXPECT_EQ(e.messages, rate == 13 ? std::vector<QString>{"Frame Error"} : std::vector<QString>{});
    }
    // Full frame counts four times.
    Editor e;
    for (int ch = 0; ch < 4; ++ch) {
        e.Program(0)[prg::kSize + ch] = kSizeFull;
        e.Program(0)[prg::kNormal + 2 * ch] = 6;
    }
    e.Receive(0, 4);
    EXPECT_EQ(e.L("lblSingle")->text(), "96");
    e.C<QSpinBox>("edtSingleNormal0")->setValue(8);
    EXPECT_EQ(e.L("lblSingle")->text(), "104");
    EXPECT_TRUE(Red(e.L("lblSingle")));
}

// A PAL rate of 30 shows as 25 but travels as 30 unless edited: the budget judges the 30.
TEST(RecordProgramPages, TheBudgetCountsTheRateThatIsSentNotTheCappedOneShown)
{
    struct Case {
        uint8_t variant;
        int offset; // the rate bytes in the block
        const char *label;
        const char *edit; // channel 1's rate edit
        uint8_t third;    // channel 3's rate
        const char *over, *lowered;
    } cases[] = {
        {0, prg::kNormal, "lblSingle", "edtSingleNormal0", 0, "120", "100"},
        {0, prg::kComplex, "lblComplex", "edtComplexEvent0", 0, "120", "100"},
        {1, prg::kNormal, "lblMpNormal0", "edtNormal0", 1, "122", "102"},
        {1, prg::kComplex, "lblMpComplex0", "edtComplex0", 1, "122", "102"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.edit);
        Editor e;
        const uint8_t rates[4] = {30, 30, c.third, 0};
        for (int ch = 0; ch < 4; ++ch)
            e.Program(0)[c.offset + 2 * ch] = rates[ch];
        e.Receive(c.variant, 4, 0x00); // PAL: at most 25 pictures a second, budget 100
        auto *rate = e.C<QSpinBox>(c.edit);
        ASSERT_NE(rate, nullptr);
        EXPECT_EQ(rate->value(), 25);
        EXPECT_EQ(e.L(c.label)->text(), c.over);
        EXPECT_TRUE(Red(e.L(c.label)));
        EXPECT_FALSE(e.Store());
        EXPECT_EQ(e.messages, std::vector<QString>{"Frame Error"});

        // Lowered, channel 1 sends 20; channel 2, untouched, still sends its 30.
        rate->setValue(20);
        EXPECT_EQ(e.L(c.label)->text(), c.lowered);
        Bytes out;
        ASSERT_TRUE(e.Store(&out));
        EXPECT_EQ(out[size_t(kEnvProgramOffset + c.offset)], 20);
        EXPECT_EQ(out[size_t(kEnvProgramOffset + c.offset + 2)], 30);
    }
}

TEST(RecordProgramPages, AZeroIntervalIsNoFrameErrorAndStaysZero)
{
    Editor e;
    e.Program(0)[prg::kInterval] = 0;
    e.Program(0)[prg::kNormal] = 5;
    e.Receive(0, 16);
    Bytes out;
    EXPECT_TRUE(e.Store(&out));
    EXPECT_TRUE(e.messages.empty());
    EXPECT_EQ(Programs(out), Programs(e.record));
}

TEST(RecordProgramPages, VariantGroupOverBudgetRefusesTheSend)
{
    for (int third : {0, 1}) {
        SCOPED_TRACE(third);
        Editor e;
        const int rates[4] = {30, 30, third, 0};
        for (int ch = 0; ch < 4; ++ch)
            e.Program(0)[prg::kNormal + 2 * ch] = uint8_t(rates[ch]);
        e.Receive(1, 16, 0x11); // NTSC: 30 pictures a second
        EXPECT_EQ(e.L("lblMpNormal0")->text(), third ? "122" : "120");
        EXPECT_EQ(Red(e.L("lblMpNormal0")), third == 1);
        EXPECT_EQ(e.Store(), third == 0);
    }
}

TEST(RecordProgramPages, EightHalfSizeChannelsPairAndSend)
{
    Editor e;
    e.Receive(0, 8);
    auto *size0 = e.C<TMyItemEdit>("edtSize0");
    ASSERT_NE(size0, nullptr);
    size0->SetValue(kSizeHalf);
    for (int ch = 0; ch < 8; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(e.C<TMyItemEdit>(QString("edtSize%1").arg(ch))->GetValue(), kSizeHalf);
        EXPECT_EQ(e.C<TMyItemEdit>(QString("edtPairCh%1").arg(ch))->GetValue(), ch % 2 ? 0 : ch + 2);
        for (const char *fam : {"edtSingleNormal", "edtComplexEvent", "edtQualityNormal", "edtPreTime", "edtEventMotion"})
            EXPECT_EQ(e.env.Control(QString(fam) + QString::number(ch))->isHidden(), ch % 2 == 1) << fam;
    }
    Bytes out;
    EXPECT_TRUE(e.Store(&out));
    EXPECT_EQ(out[size_t(kEnvProgramOffset + prg::kPair)], 2);
    EXPECT_EQ(out[size_t(kEnvProgramOffset + prg::kSize + 7)], kSizeHalf);

    // A loaded program whose half-size channel names no partner is refused.
    Editor lone;
    lone.Program(0)[prg::kSize] = kSizeHalf;
    lone.Receive(0, 8);
    EXPECT_FALSE(lone.Store());
    EXPECT_EQ(lone.messages, std::vector<QString>{"Pair Channel Error"});
}

TEST(RecordProgramPages, ThePreEventByteTakesAnEditFromAnyPageSet)
{
    struct Case {
        uint8_t variant;
        const char *edit;
    } cases[] = {{0, "edtPreTime0"}, {0, "edtPreTime3"}, {1, "edtMpPre0"}, {1, "edtMpPre5"}, {2, "edtMpPre9Et"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.edit);
        Editor e;
        e.Program(0)[prg::kPreTime] = 2;
        e.Receive(c.variant, 16);
        auto *pre = e.C<QSpinBox>(c.edit);
        ASSERT_NE(pre, nullptr);
        EXPECT_EQ(pre->value(), 2);
        pre->setValue(4);
        Bytes out;
        ASSERT_TRUE(e.Store(&out));
        EXPECT_EQ(out[size_t(kEnvProgramOffset + prg::kPreTime)], 4);
        Bytes want = e.record;
        want[size_t(kEnvProgramOffset + prg::kPreTime)] = 4;
        EXPECT_EQ(Programs(out), Programs(want));
    }
}

TEST(RecordProgramPages, ProgramSwitchMovesValuesAndARefusalRestoresTheSpin)
{
    Editor e;
    e.Program(1)[prg::kNormal] = 7;
    e.Receive(0, 4);
    auto *prgEdit = e.C<QSpinBox>("edtRecPrg");
    prgEdit->setValue(1);
    EXPECT_EQ(e.env.CurrentProgram(), 1);
    EXPECT_EQ(e.C<QSpinBox>("edtSingleNormal0")->value(), 7);
    e.C<QSpinBox>("edtSingleNormal0")->setValue(9);
    prgEdit->setValue(2);
    EXPECT_EQ(e.C<QSpinBox>("edtSingleNormal0")->value(), 0);
    Bytes out;
    ASSERT_TRUE(e.Store(&out));
    EXPECT_EQ(out[size_t(kEnvProgramOffset + kEnvProgramSize + prg::kNormal)], 9);

    // Program 2 over budget: switching away is refused and the spin stays on 2.
    e.C<QSpinBox>("edtSingleNormal0")->setValue(25);
    e.C<QSpinBox>("edtSingleNormal1")->setValue(25);
    e.C<QSpinBox>("edtSingleNormal2")->setValue(25);
    prgEdit->setValue(3);
    EXPECT_EQ(e.messages, std::vector<QString>{"Frame Error"});
    EXPECT_EQ(prgEdit->value(), 2);
    EXPECT_EQ(e.env.CurrentProgram(), 2);
    EXPECT_EQ(e.C<QSpinBox>("edtSingleNormal0")->value(), 25);
}

TEST(RecordProgramPages, EachChannelCountShowsItsControls)
{
    for (int channels : {4, 6, 8, 12, 16}) {
        for (uint8_t variant : {0, 1, 2, 4}) {
            SCOPED_TRACE(channels * 10 + variant);
            Editor e;
            e.Receive(variant, channels);
            const bool second = variant == 2 && channels == 16;
            const QString sfx = second ? "Et" : "";
            const bool pages = variant == 1 || second;
            for (int ch = 0; ch < 16; ++ch) {
                const QString n = QString::number(ch);
                static const char *const kVariant[3] = {"edtMpSize", "edtNormal", "edtMpPre"};
                static const char *const kDefault[3] = {"edtSize", "edtSingleNormal", "edtPreTime"};
                for (const char *fam : pages ? kVariant : kDefault) {
                    QWidget *w = e.env.Control(QString(fam) + n + (pages ? sfx : ""));
                    ASSERT_NE(w, nullptr) << fam << ch;
                    EXPECT_EQ(w->isEnabled(), ch < channels) << fam << ch;
                }
            }
            const auto visible = [&](const char *page) {
                return e.env.PageRecord->isTabVisible(e.env.PageRecord->indexOf(e.env.findChild<QWidget *>(page)));
            };
            for (int ch = 0; ch < 16; ++ch)
                EXPECT_EQ(e.env.Control(QString("btnMotionArea%1").arg(ch))->isEnabled(), ch < channels) << ch;
            // TabRec belongs to no page set; the default set is the three default pages.
            EXPECT_FALSE(visible("TabRec"));
            EXPECT_EQ(visible("TabRec2"), variant == 1);
            EXPECT_EQ(visible("TabRec3"), second);
            for (const char *page : {"TabFrameRate", "TabQuality", "TabRecEvent"})
                EXPECT_EQ(visible(page), !pages) << page;
            // The pages every set shows.
            for (const char *page : {"TabSche", "TabHoliday", "TabRecOption"})
                EXPECT_TRUE(visible(page)) << page;
        }
    }
}

// Rates stored for channels a recorder lacks take no part in any budget and stay as they came.
TEST(RecordProgramPages, ChannelsTheRecorderLacksAreLeftOutOfTheBudget)
{
    for (uint8_t variant : {0, 1}) {
        SCOPED_TRACE(variant);
        Editor e;
        for (int ch = 0; ch < 16; ++ch) {
            e.Program(0)[prg::kNormal + 2 * ch] = uint8_t(ch < 6 ? 5 : 25);
            e.Program(0)[prg::kComplex + 2 * ch] = uint8_t(ch < 6 ? 5 : 25);
        }
        e.Receive(variant, 6);
        EXPECT_EQ(e.env.ChannelCount(), 6);
        if (variant == 0) {
            EXPECT_EQ(e.L("lblSingle")->text(), "60");
            EXPECT_EQ(e.L("lblComplex")->text(), "60");
        } else {
            EXPECT_EQ(e.L("lblMpNormal1")->text(), "20"); // channels 5 and 6 of the second group
            EXPECT_EQ(e.L("lblMpNormal2")->text(), "0");
        }
        Bytes out;
        EXPECT_TRUE(e.Store(&out));
        EXPECT_TRUE(e.messages.empty());
        EXPECT_EQ(Programs(out), Programs(e.record));
    }
}

TEST(Passwords, KeysAndExitRules)
{
    Editor e;
    e.Receive(0, 16);
    QLineEdit *old = e.env.edtSlaveOld;
    old->setText("12");
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(old, &a);
    EXPECT_EQ(old->text(), "12");
    EXPECT_EQ(e.messages, std::vector<QString>{"Must Input Number 0~9"});
    QKeyEvent three(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
    QCoreApplication::sendEvent(old, &three);
    EXPECT_EQ(old->text(), "123");

    // Empty means no change; a short one must be completed.
    e.messages.clear();
    EXPECT_TRUE(e.env.edtMasterNewExit(e.env.edtMasterNew));
    e.env.edtSlaveNew->setText("123");
    EXPECT_FALSE(e.env.edtMasterNewExit(e.env.edtSlaveNew));
    EXPECT_EQ(e.messages, std::vector<QString>{"Password Must Input 8 bytes"});
}

TEST(Passwords, ARefusedChangeSaysWhy)
{
    Editor e;
    for (int i = 0; i < 8; ++i)
        e.record[size_t(kEnvMasterPassword + i)] = uint8_t(i + 1);
    e.Receive(0, 16);
    e.env.edtMasterOld->setText("12345670");
    e.env.edtMasterNew->setText("87654321");
    e.env.edtMasterRetype->setText("87654321");
    EXPECT_FALSE(e.Store());
    ASSERT_EQ(e.messages.size(), 1u);
    EXPECT_TRUE(e.messages[0].contains("old password"));
    e.env.edtMasterOld->setText("12345678");
    Bytes out;
    ASSERT_TRUE(e.Store(&out));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[size_t(kEnvMasterPassword + i)], 8 - i);
}

namespace {

class CommandServices : public DvrServices {
public:
    bool SendCommandEx(uint8_t cmd, uint8_t, const uint8_t *data, int length) override
    {
        if (int(sent.size()) == failAt)
            return false;
        sent.push_back({cmd, Bytes(data, data + length)});
        return true;
    }
    int failAt = -1; // the send of this index fails
    bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length) override
    {
        sent.push_back({cmd, Bytes(data, data + length)});
        return true;
    }
    int GetChannelCount() const override { return 16; }
    std::string GetRecordPath() const override { return "."; }
    bool IsLoggedIn() const override { return true; }
    uint8_t GetModel() const override { return 0; }
    uint8_t GetVideoStandard() const override { return 0; }
    bool StartNetCopy(const std::string &) override { return true; }
    bool IsCopying() const override { return false; }
    void CancelNetCopy() override {}
    void OpenUpgradeDialog() override {}
    std::vector<std::pair<uint8_t, Bytes>> sent;
};

} // namespace

TEST(DiskPage, TheMapEnablesPresentSlotsAndAbsentOnesKeepTheirBytes)
{
    Editor e;
    for (int i = 0; i < 5; ++i)
        e.record[size_t(7472 + i)] = 1;
    e.record[9396] = 7; // a byte no list item shows, on an absent external disk
    e.Receive(0, 16);
    uint8_t map[kHddMapSize] = {0x90};
    e.env.SetHddMap(map);
    for (int slot = 0; slot < 45; ++slot) {
        SCOPED_TRACE(slot);
        auto *combo = e.C<QComboBox>(slot < 5 ? QString("edtHddMode%1").arg(slot) : QString("edtExtHddMode%1").arg(slot - 5));
        ASSERT_NE(combo, nullptr);
        const bool present = slot == 0 || slot == 3;
        EXPECT_EQ(combo->isEnabled(), present);
        EXPECT_EQ(combo->currentText(), present ? "BACKUP" : "");
        if (!present) {
            EXPECT_EQ(combo->placeholderText(), "NO HDD");
        }
    }
    e.C<QComboBox>("edtHddMode0")->setCurrentIndex(0);
    Bytes out;
    ASSERT_TRUE(e.Store(&out));
    EXPECT_EQ(out[7472], 0);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(out[size_t(7472 + i)], 1);
    EXPECT_EQ(out[9396], 7);
}

TEST(DiskPage, ExternalDisksSitTenToABayPageAndEditTheirOwnBytes)
{
    Editor e;
    for (int i = 0; i < 40; ++i)
        e.record[size_t(9396 + i)] = uint8_t(i % 2);
    e.Receive(0, 16);
    uint8_t map[kHddMapSize] = {};
    for (int slot = 0; slot < 45; ++slot)
        map[slot / 8] |= uint8_t(0x80 >> (slot % 8));
    e.env.SetHddMap(map);
    for (int bay = 0; bay < 4; ++bay) {
        auto *page = e.env.findChild<QWidget *>(QString("TabExtBay%1").arg(bay));
        ASSERT_NE(page, nullptr) << bay;
        EXPECT_EQ(page->findChildren<QComboBox *>().size(), 10) << bay;
        for (int k = 0; k < 10; ++k) {
            const int i = bay * 10 + k;
            auto *combo = page->findChild<QComboBox *>(QString("edtExtHddMode%1").arg(i));
            ASSERT_NE(combo, nullptr) << i;
            EXPECT_TRUE(combo->isEnabled()) << i;
            EXPECT_EQ(combo->currentText(), i % 2 ? "BACKUP" : "REC") << i;
            // The slot's caption counts from 1 on the page that holds it.
            bool captioned = false;
            for (QLabel *l : page->findChildren<QLabel *>())
                captioned |= l->text() == QString::asprintf("EXT - %02d", i + 1);
            EXPECT_TRUE(captioned) << i;
        }
    }
    EXPECT_EQ(e.env.findChild<QWidget *>("TabHdd")->findChild<QComboBox *>("edtExtHddMode0"), nullptr);
    e.C<QComboBox>("edtExtHddMode24")->setCurrentIndex(1);
    e.C<QComboBox>("edtExtHddMode39")->setCurrentIndex(0);
    Bytes out;
    ASSERT_TRUE(e.Store(&out));
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(out[size_t(9396 + i)], i == 24 ? 1 : i == 39 ? 0 : i % 2) << i;
    // A map without bay 3's disks: that page shows "NO HDD" and keeps its bytes.
    for (int slot = 35; slot < 45; ++slot)
        map[slot / 8] &= uint8_t(~(0x80 >> (slot % 8)));
    e.env.SetHddMap(map);
    for (int i = 30; i < 40; ++i) {
        auto *combo = e.C<QComboBox>(QString("edtExtHddMode%1").arg(i));
        EXPECT_FALSE(combo->isEnabled()) << i;
        EXPECT_EQ(combo->currentIndex(), -1) << i;
    }
    EXPECT_TRUE(e.C<QComboBox>("edtExtHddMode29")->isEnabled());
    ASSERT_TRUE(e.Store(&out));
    for (int i = 30; i < 40; ++i)
        EXPECT_EQ(out[size_t(9396 + i)], i == 39 ? 0 : i % 2) << i;
}

TEST(DiskPage, ControlWordsGoOutLittleEndianAndInitialisingAsksFirst)
{
    Editor e;
    CommandServices view;
    e.env.SetDvr(&view);
    std::vector<QString> asked;
    bool answer = false;
    e.env.confirm = [&](const QString &text) {
        asked.push_back(text);
        return answer;
    };
    e.env.btnDvrInitClick();
    e.env.btnFixedHddInitClick();
    e.env.btnBackupHddInitClick();
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(view.sent.empty());
    answer = true;
    e.env.btnDvrInitClick();
    e.env.btnBackupHddInitClick();
    e.env.SpeedButton1Click();
    EXPECT_EQ(asked.size(), 5u); // the plain word 100 does not ask
    ASSERT_EQ(view.sent.size(), 3u);
    for (const auto &[cmd, data] : view.sent)
        EXPECT_EQ(cmd, DvrCmdControl);
    EXPECT_EQ(view.sent[0].second, (Bytes{0, 0}));
    EXPECT_EQ(view.sent[1].second, (Bytes{2, 0}));
    EXPECT_EQ(view.sent[2].second, (Bytes{100, 0}));
}

TEST(TitleBitmap, PixelsLiveInColumnsOfSixteenBytes)
{
    struct Case {
        int x, y, byte;
        uint8_t bit;
    } cases[] = {{9, 3, 19, 0x40}, {71, 15, 143, 0x01}, {0, 0, 0, 0x80}, {8, 0, 16, 0x80}};
    for (const Case &c : cases) {
        std::array<uint8_t, 144> bits{};
        SetTitlePixel(bits, c.x, c.y, true);
        std::array<uint8_t, 144> want{};
        want[size_t(c.byte)] = c.bit;
        EXPECT_EQ(bits, want) << c.x << "," << c.y;
        EXPECT_TRUE(TitlePixel(bits, c.x, c.y));
        SetTitlePixel(bits, c.x, c.y, false);
        EXPECT_EQ(bits, (std::array<uint8_t, 144>{}));
    }
    // Outside the bitmap nothing is written and nothing reads black.
    std::array<uint8_t, 144> bits{};
    for (auto [x, y] : {std::pair{-1, 0}, {72, 0}, {0, 16}, {0, -1}, {1000, 1000}}) {
        SetTitlePixel(bits, x, y, true);
        EXPECT_FALSE(TitlePixel(bits, x, y));
    }
    EXPECT_EQ(bits, (std::array<uint8_t, 144>{}));
}

TEST(TitleBitmap, RotationWrapsAround)
{
    struct Case {
        int x, y, dx, dy, nx, ny;
    } cases[] = {{71, 5, 1, 0, 0, 5}, {0, 5, -1, 0, 71, 5}, {3, 0, 0, -1, 3, 15}, {3, 15, 0, 1, 3, 0}, {7, 2, 1, 0, 8, 2}};
    for (const Case &c : cases) {
        std::array<uint8_t, 144> bits{};
        SetTitlePixel(bits, c.x, c.y, true);
        RotateTitle(bits, c.dx, c.dy);
        std::array<uint8_t, 144> want{};
        SetTitlePixel(want, c.nx, c.ny, true);
        EXPECT_EQ(bits, want) << c.x << "," << c.y << " by " << c.dx << "," << c.dy;
    }
}

TEST(TitleEditor, GridPaintsInsideOnlyAndDownloadSendsFivePackets)
{
    Editor e;
    CommandServices view;
    e.env.SetDvr(&view);
    std::vector<uint8_t> bitmaps(kTitleBitmapsSize, 0);
    e.env.SetTitleBitmaps(bitmaps.data());
    e.env.edtTitleCh0Click(2);
    EXPECT_EQ(e.env.findChild<QLabel *>("lblBmpCh")->text(), "Channel 3");
    e.env.PaintTitleAt(9 * 6 + 3, 3 * 6 + 2, true);
    EXPECT_EQ(e.env.TitleBitmaps()[2 * 144 + 19], 0x40);
    // Pointer positions off the grid, also the ones a division would take to cell 0.
    const std::vector<uint8_t> before = e.env.TitleBitmaps();
    for (auto [x, y] : {std::pair{-1, 5}, {-5, -5}, {5, -3}, {72 * 6, 0}, {0, 16 * 6}, {100000, 3}})
        e.env.PaintTitleAt(x, y, true);
    EXPECT_EQ(e.env.TitleBitmaps(), before);

    e.env.btnDownClick();
    ASSERT_EQ(view.sent.size(), 5u);
    const size_t sizes[5] = {0, 1000, 1000, 304, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(view.sent[size_t(i)].first, DvrCmdTitleSet);
        EXPECT_EQ(view.sent[size_t(i)].second.size(), sizes[i]);
    }
    EXPECT_EQ(view.sent[1].second[2 * 144 + 19], 0x40);
}

TEST(TitleEditor, DownloadNeverSendsBlanksOrAHalfBlock)
{
    // Before the recorder's titles have come, nothing goes and the operator is told.
    {
        Editor e;
        CommandServices view;
        e.env.SetDvr(&view);
        e.env.PaintTitleAt(3, 3, true);
        e.env.btnDownClick();
        EXPECT_TRUE(view.sent.empty());
        EXPECT_EQ(e.messages, std::vector<QString>{"The titles have not arrived from the DVR yet."});
    }
    // A part that fails ends the block there: no end mark tells the recorder to take it.
    for (int failAt = 0; failAt < 5; ++failAt) {
        Editor e;
        CommandServices view;
        view.failAt = failAt;
        e.env.SetDvr(&view);
        std::vector<uint8_t> bitmaps(kTitleBitmapsSize, 0x11);
        e.env.SetTitleBitmaps(bitmaps.data());
        e.env.btnDownClick();
        EXPECT_EQ(view.sent.size(), size_t(failAt)) << failAt;
    }
}

TEST(TitleEditor, TextTitlesStayPrintable)
{
    Editor e;
    e.Receive(0, 16);
    auto *title = e.C<QLineEdit>("edtTitleCh4");
    title->clear();
    title->insert("GATE");
    title->insert(QString(QChar(0x07)));
    EXPECT_EQ(title->text(), "GATE");
    title->insert(QString(QChar(0xE9)));
    EXPECT_EQ(title->text(), "GATE");
    title->insert(" 2");
    EXPECT_EQ(title->text(), "GATE 2");
    // A loaded title is shown as it came.
    Editor loaded;
    std::memcpy(loaded.record.data() + kEnvTitleOffset + 9 * 4, "GA\x07" "E    ", 8);
    loaded.Receive(0, 16);
    EXPECT_EQ(loaded.C<QLineEdit>("edtTitleCh4")->text(), QString("GA") + QChar(0x07) + "E    ");
}

namespace {
// 'H' in DejaVu Sans Mono, 12 pixels, no antialiasing.
const char *const kGoldenH[16] = {
    "................", "................", "................", "..#....#........",
    "..#....#........", "..#....#........", "..#....#........", "..######........",
    "..#....#........", "..#....#........", "..#....#........", "..#....#........",
    "................", "................", "................", "................",
};
} // namespace

TEST(TitleEditor, MakeBitmapRendersBlackGlyphsWhateverTheColour)
{
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(12);
    const QImage pic = TfrmDvrEnv::RenderTitleText("H", font);
    std::vector<std::string> rows;
    for (int y = 0; y < 16; ++y) {
        std::string row;
        for (int x = 0; x < 16; ++x)
            row += (pic.pixel(x, y) & 0xFFFFFF) == 0 ? '#' : '.';
        rows.push_back(row);
    }
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(rows[size_t(y)], kGoldenH[y]) << "row " << y;

    // Through the editor: an empty text changes nothing; a red title font still gives the glyphs.
    Editor e;
    std::vector<uint8_t> bitmaps(kTitleBitmapsSize, 0);
    e.env.SetTitleBitmaps(bitmaps.data());
    auto *temp = e.C<QLineEdit>("edtTemp");
    temp->setFont(font);
    QPalette red = temp->palette();
    red.setColor(QPalette::Text, Qt::red);
    temp->setPalette(red);
    e.env.btnGetClick();
    EXPECT_EQ(e.env.TitleBitmaps(), bitmaps);
    temp->setText("H");
    e.env.btnGetClick();
    const std::span<const uint8_t, 144> bits(e.env.TitleBitmaps().data(), 144);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(TitlePixel(bits, x, y), kGoldenH[y][x] == '#') << x << "," << y;
}

TEST(MotionMask, WordsBitsAndBrush)
{
    uint8_t mask[kMotionMaskBytes] = {};
    PutLe32(mask, 0x20000001u);
    MotionGrid g = MotionFromMask(mask);
    EXPECT_EQ(g[0][0], 1);
    EXPECT_EQ(g[0][29], 1);
    int on = 0;
    for (auto &row : g)
        for (uint8_t c : row)
            on += c;
    EXPECT_EQ(on, 2);

    // The unused bits come out clear.
    PutLe32(mask + 4 * 5, 0xC0000000u | 0x10u);
    g = MotionFromMask(mask);
    uint8_t out[kMotionMaskBytes];
    MotionToMask(g, out);
    EXPECT_EQ(GetLe32(out + 4 * 5), 0x10u);
    EXPECT_EQ(GetLe32(out), 0x20000001u);

    // A 5 x 5 brush at the corner sets only the 3 x 3 cells inside.
    MotionGrid b{};
    ApplyMotionBrush(b, 0, 0, 5, true);
    on = 0;
    for (int y = 0; y < kMotionRows; ++y)
        for (int x = 0; x < kMotionColumns; ++x) {
            on += b[size_t(y)][size_t(x)];
            if (b[size_t(y)][size_t(x)]) {
                EXPECT_TRUE(x < 3 && y < 3);
            }
        }
    EXPECT_EQ(on, 9);

    for (int px : {-1, -5, -9, -10, 300, 1000})
        EXPECT_FALSE(MotionCellAt(px, kMotionColumns)) << px;
    EXPECT_EQ(MotionCellAt(0, kMotionColumns), 0);
    EXPECT_EQ(MotionCellAt(299, kMotionColumns), 29);
}

TEST(MotionEditor, PointerOffTheGridChangesNothingAndOkStoresTheMask)
{
    TfrmMotion m;
    EXPECT_EQ(m.BrushSize(), 3);
    for (auto [x, y] : {std::pair{-1, 5}, {-9, -9}, {5, -3}, {300, 5}, {5, 240}})
        m.imgMotionMouseDown(x, y, Qt::LeftButton);
    EXPECT_EQ(m.Grid(), MotionGrid{});
    m.imgMotionMouseMove(15, 15, Qt::LeftButton);
    EXPECT_EQ(m.Label1->text(), "15,15");
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(m.Cell(x, y));
    m.imgMotionMouseMove(15, 15, Qt::LeftButton | Qt::RightButton); // the left button wins
    EXPECT_TRUE(m.Cell(1, 1));
    m.imgMotionMouseDown(15, 15, Qt::RightButton);
    EXPECT_FALSE(m.Cell(1, 1));

    // Through the set-up editor: OK stores, Cancel does not.
    Editor e;
    const size_t at = size_t(kEnvMotionOffset + 1 + kEnvMotionStride * 3);
    e.record[at + 3] = 0xC0; // unused bits of row 0
    e.Receive(0, 16);
    for (int result : {2, 1}) {
        e.env.runMotion = [&](QDialog &d) {
            auto &motion = static_cast<TfrmMotion &>(d);
            EXPECT_EQ(motion.windowTitle(), "Motion Area Setup : Ch 4");
            motion.btnSetAllClick();
            return result;
        };
        e.env.btnMotionArea0Click(3);
        Bytes out;
        ASSERT_TRUE(e.Store(&out));
        EXPECT_EQ(GetLe32(out.data() + at), result == 1 ? 0x3FFFFFFFu : 0xC0000000u) << result;
        EXPECT_EQ(GetLe32(out.data() + at + 92), result == 1 ? 0x3FFFFFFFu : 0u) << result;
    }
}

TEST(Schedule, StoredBytesAndMarksFollowTheCells)
{
    struct Case {
        uint8_t loaded, mark, stored, storedMark;
    } cases[] = {{2, 0, 2, 1}, {6, 1, 6, 0}, {5, 1, 6, 0}, {0, 0, 6, 0}, {2, 7, 2, 1}};
    Editor e;
    for (int i = 0; i < 5; ++i) {
        e.record[size_t(kEnvScheduleOffset + i)] = cases[i].loaded;
        e.record[size_t(kEnvMarkOffset + i)] = cases[i].mark;
    }
    e.Receive(0, 16);
    Bytes out;
    ASSERT_TRUE(e.Store(&out));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(out[size_t(kEnvScheduleOffset + i)], cases[i].stored) << i;
        EXPECT_EQ(out[size_t(kEnvMarkOffset + i)], cases[i].storedMark) << i;
    }
}

TEST(Schedule, TheHiddenMarkToggleAndButton1)
{
    Editor e;
    e.record[size_t(kEnvMarkOffset + 30)] = 1;
    e.Receive(0, 16);
    auto *toggle = e.C<QPushButton>("SpeedButton8");
    auto *button1 = e.C<QPushButton>("Button1");
    ASSERT_NE(toggle, nullptr);
    ASSERT_NE(button1, nullptr);
    EXPECT_EQ(toggle->text(), "SCHEDULE RECORD ON/OFF");
    EXPECT_TRUE(toggle->isHidden());
    EXPECT_TRUE(button1->isHidden());
    auto *sw = e.C<QCheckBox>("chkSchedule");
    // The selected hour's mark flips with each press, and the switch follows it.
    e.env.edtMon0Click(e.env.Cell(30));
    EXPECT_TRUE(sw->isChecked());
    toggle->click();
    EXPECT_EQ(e.env.Cell(30)->property("Tag").toInt(), 0);
    EXPECT_FALSE(sw->isChecked());
    toggle->click();
    EXPECT_EQ(e.env.Cell(30)->property("Tag").toInt(), 1);
    EXPECT_TRUE(sw->isChecked());
    // With an all-day switch in the focus the marks of its day flip instead.
    e.env.show();
    e.env.PageMain->setCurrentIndex(2);
    e.env.PageRecord->setCurrentIndex(0);
    QWidget *monday = e.env.Control("edtAll1");
    monday->activateWindow();
    monday->setFocus();
    QCoreApplication::processEvents();
    if (monday->hasFocus()) {
        EXPECT_EQ(e.env.Button1Click(), monday);
        std::vector<int> before;
        for (int i = 0; i < 168; ++i)
            before.push_back(e.env.Cell(i)->property("Tag").toInt());
        toggle->click();
        for (int i = 0; i < 168; ++i)
            EXPECT_EQ(e.env.Cell(i)->property("Tag").toInt(), i / 24 == 1 ? 1 - before[size_t(i)] : before[size_t(i)]) << i;
        // Button1 only looks: nothing changes.
        button1->click();
        for (int i = 0; i < 168; ++i)
            EXPECT_EQ(e.env.Cell(i)->property("Tag").toInt(), i / 24 == 1 ? 1 - before[size_t(i)] : before[size_t(i)]) << i;
    } else {
        ADD_FAILURE() << "the all-day switch did not take the focus";
    }
    e.env.hide();
}

TEST(Schedule, DoubleClickOpensTheProgramOfTheHour)
{
    for (bool on : {true, false}) {
        Editor e;
        e.record[size_t(kEnvScheduleOffset + 30)] = on ? 2 : 6;
        e.Program(on ? 2 : 6)[prg::kNormal] = 9;
        e.Receive(0, 4);
        e.env.edtMon0DblClick(e.env.Cell(30));
        EXPECT_EQ(e.env.SelectedCell(), e.env.Cell(30));
        EXPECT_EQ(e.env.PageRecord->currentWidget()->objectName(), "TabFrameRate");
        EXPECT_EQ(e.env.CurrentProgram(), on ? 2 : 6);
        EXPECT_EQ(e.C<QSpinBox>("edtSingleNormal0")->value(), 9);
    }
}

TEST(RecordProgramPages, FourChannelRateListsOfVariantFour)
{
    Editor e;
    e.Program(0)[prg::kNormal + 2] = 10;
    e.Program(0)[prg::kComplex] = 7; // no list item: the list stays
    e.Receive(4, 4);
    auto *normal1 = e.C<QComboBox>("edt4120Normal1");
    ASSERT_NE(normal1, nullptr);
    EXPECT_FALSE(normal1->parentWidget()->isHidden());
    EXPECT_EQ(normal1->currentText(), "10");
    EXPECT_EQ(e.C<QComboBox>("edt4120Complex0")->currentIndex(), 0);
    e.C<QComboBox>("edt4120Single2")->setCurrentIndex(4);
    emit e.C<QComboBox>("edt4120Single2")->activated(4);
    EXPECT_EQ(e.C<QSpinBox>("edtSingleEvent2")->value(), 25); // clamped to the PAL rate
    Editor other;
    other.Receive(0, 4);
    EXPECT_TRUE(other.C<QComboBox>("edt4120Normal1")->parentWidget()->isHidden());
}

// Every page grabbed offscreen at 4, 8 and 16 channels (written as PNG files for review when
// STRANDEL_SCREENSHOTS names a folder), each holding its named controls.
TEST(EnvPages, EachPageRendersWithItsControls)
{
    const QString dir = qEnvironmentVariable("STRANDEL_SCREENSHOTS");
    const std::map<QString, QStringList> named = {
        {"TabFrameRate", {"edtRecPrg", "edtRecType", "edtRecInterval", "edtSize0", "edtPairCh15", "edtSingleNormal3", "lblSingle", "lblComplex"}},
        {"TabQuality", {"edtQualityNormal0", "edtQualityEvent15", "edtPreTime0", "edtPostTime7"}},
        {"TabRecEvent", {"edtEventAlarm0", "edtEventLoss8", "edtEventMotion15"}},
        {"TabRec2", {"edtRecPrg2", "edtMpSize0", "edtNormal15", "lblMpNormal3", "lblMpComplex0"}},
        {"TabRec3", {"edtRecPrg3", "edtMpSize0Et", "edtComplex15Et", "lblMpNormalEt1"}},
        {"TabSche", {"edtMon0", "edtMon167", "edtAll6", "chkSchedule", "SpeedButton8", "Button1"}},
        {"TabTitle", {"edtTitleCh0", "edtTemp", "btnGet", "btnDown", "imgTitle", "ImgTitle15", "lblBmpCh"}},
        {"TabHdd", {"edtHddMode0", "edtHddMode4", "edtRemovableMode", "btnDvrInit", "btnFixedHddInit", "btnBackupHddInit", "SpeedButton1"}},
        {"TabExtBay0", {"edtExtHddMode0", "edtExtHddMode9"}},
        {"TabExtBay1", {"edtExtHddMode10", "edtExtHddMode19"}},
        {"TabExtBay2", {"edtExtHddMode20", "edtExtHddMode29"}},
        {"TabExtBay3", {"edtExtHddMode30", "edtExtHddMode39"}},
        {"TabRec", {"edtAudioCh0", "edtAudioCh15"}},
        {"TabRecOption", {"edtRepeatRecord", "edtRepeatAlarm", "edtPlayMode", "edtBackupMode", "edtAudio1", "edtAudio8"}},
        {"TabMotion", {"btnMotionArea0", "btnMotionArea15"}},
        {"TabPassword", {"edtMasterOld", "edtSlaveRetype"}},
    };
    for (int channels : {4, 8, 16}) {
        Editor e;
        e.Receive(channels == 16 ? 1 : 0, channels);
        e.env.resize(1100, 760);
        e.env.show();
        for (QTabWidget *tabs : e.env.findChildren<QTabWidget *>()) {
            for (int i = 0; i < tabs->count(); ++i) {
                QWidget *page = tabs->widget(i);
                tabs->setCurrentIndex(i);
                const QImage shot = page->grab().toImage();
                ASSERT_FALSE(shot.isNull()) << page->objectName().toStdString();
                if (!dir.isEmpty())
                    shot.save(QString("%1/%2-%3.png").arg(dir).arg(page->objectName()).arg(channels));
                const auto it = named.find(page->objectName());
                if (it == named.end())
                    continue;
                for (const QString &name : it->second)
                    EXPECT_NE(page->findChild<QWidget *>(name), nullptr)
                        << page->objectName().toStdString() << " " << name.toStdString();
            }
        }
        e.env.hide();
    }
}

TEST(RecordProgramPages, SixCellLayoutsOnlyForVariantsOtherThanZero)
{
    for (uint8_t variant : {0, 1}) {
        Editor e;
        e.Receive(variant, 8);
        EXPECT_EQ(e.env.Control("chkLive6BDisplay")->isEnabled(), variant != 0);
        EXPECT_EQ(e.env.Control("edtMulti6B5")->isEnabled(), variant != 0);
    }
}
