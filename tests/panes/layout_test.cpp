#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "viewer/view/dvrlayout.h"

using namespace strandel;

namespace {

struct RecordingHost : LayoutHost {
    struct Call {
        int n;
        std::vector<int> channels;
    };
    std::vector<Call> layouts;
    std::vector<int> sent;
    std::vector<int> panTilt;
    int toolbar = 0;

    void LayoutCells(int n, const uint8_t *channels) override { layouts.push_back({n, std::vector<int>(channels, channels + n)}); }
    void SendChannelCommand(uint8_t channel) override { sent.push_back(channel); }
    void PanTiltSetChannel(int index) override { panTilt.push_back(index); }
    void UpdateToolbar() override { ++toolbar; }
};

std::vector<int> Channels(const LayoutEntry &e) { return std::vector<int>(e.channels.begin(), e.channels.begin() + e.cells); }

std::vector<int> Seq(int first, int count)
{
    std::vector<int> v;
    for (int i = 0; i < count; ++i)
        v.push_back(first + i);
    return v;
}

} // namespace

TEST(CellGeometry, EveryLayoutAt720x480)
{
    // 16 (and every count without its own rule): a 4 x 4 grid of 179 x 119 at multiples of 180 x 120.
    for (int n : {2, 3, 5, 11, 12, 14, 15, 16, 20})
        for (int k = 0; k < std::min(n, 16); ++k)
            EXPECT_EQ(CellGeometry(n, k, 720, 480), (PaneRect{180 * (k % 4), 120 * (k / 4), 179, 119})) << n << " " << k;

    struct Case {
        int n, k;
        PaneRect r;
    } cases[] = {
        {1, 0, {0, 0, 719, 479}},
        {4, 0, {0, 0, 359, 239}},     {4, 3, {360, 240, 359, 239}},
        {6, 0, {0, 0, 479, 319}},     {6, 1, {480, 0, 239, 159}},   {6, 2, {480, 160, 239, 159}},
        {6, 3, {0, 320, 239, 159}},   {6, 5, {480, 320, 239, 159}},
        {7, 2, {0, 240, 359, 239}},   {7, 3, {360, 240, 179, 119}}, {7, 4, {540, 240, 179, 119}},
        {7, 6, {540, 360, 179, 119}},
        {8, 4, {240, 160, 239, 159}}, {9, 8, {480, 320, 239, 159}},
        {10, 1, {360, 0, 359, 239}},  {10, 2, {0, 240, 179, 119}},  {10, 9, {540, 360, 179, 119}},
        {13, 0, {0, 0, 359, 239}},    {13, 1, {360, 0, 179, 119}},  {13, 4, {540, 120, 179, 119}},
        {13, 5, {0, 240, 179, 119}},  {13, 12, {540, 360, 179, 119}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CellGeometry(c.n, c.k, 720, 480), c.r) << c.n << " " << c.k;
}

TEST(CellGeometry, DivisionsTruncate)
{
    // 6 cells in 100 x 50: (2W)/3 = 66 and W/3 = 33 are computed apart.
    EXPECT_EQ(CellGeometry(6, 0, 100, 50), (PaneRect{0, 0, 65, 32}));
    EXPECT_EQ(CellGeometry(6, 1, 100, 50), (PaneRect{66, 0, 32, 15}));
    EXPECT_EQ(CellGeometry(6, 4, 100, 50), (PaneRect{33, 33, 32, 15}));
}

TEST(DvrLayouts, DefaultTables)
{
    RecordingHost host;
    DvrLayouts l(host);
    EXPECT_FALSE(l.SetDefaults(0, 0));
    EXPECT_FALSE(l.SetDefaults(17, 0));

    ASSERT_TRUE(l.SetDefaults(4, 0));
    EXPECT_EQ(l.LayoutCount(), 0);
    EXPECT_EQ(Channels(l.Entry(0)), Seq(1, 4));

    ASSERT_TRUE(l.SetDefaults(8, 0));
    EXPECT_EQ(l.LayoutCount(), 6);
    EXPECT_EQ(Channels(l.Entry(0)), (std::vector<int>{1, 2, 3, 4, 0, 5, 6, 7, 8}));
    const std::vector<std::vector<int>> eight = {Seq(1, 7), Seq(1, 6), Seq(1, 4), Seq(5, 4), Seq(1, 4)};
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(Channels(l.Entry(i)), eight[size_t(i - 1)]) << i;

    for (int count : {16, 1, 5, 9, 15}) {
        ASSERT_TRUE(l.SetDefaults(count, 0));
        EXPECT_EQ(l.LayoutCount(), 12);
        const std::vector<std::vector<int>> sixteen = {Seq(1, 16), Seq(1, 13), Seq(1, 10), Seq(1, 9), Seq(8, 9), Seq(1, 7),
                                                       Seq(1, 6),  Seq(1, 4),  Seq(5, 4),  Seq(9, 4), Seq(13, 4), Seq(1, 4)};
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(Channels(l.Entry(i)), sixteen[size_t(i)]) << count << " " << i;
    }
}

namespace {

// A view-like set-up: defaults for the count, all channels present, entry 0 shown.
struct Login {
    RecordingHost host;
    DvrLayouts layouts{host};
    explicit Login(int count, uint8_t model = 0)
    {
        layouts.SetDefaults(count, model);
        layouts.SetChannelMask(0xFFFF);
        layouts.SetSplit(19);
    }
};

ScreenLayoutInfo PushedInfo(uint8_t features)
{
    ScreenLayoutInfo info;
    for (int i = 0; i < 4; ++i)
        info.cells4[i] = uint8_t(16 - i);
    for (int i = 0; i < 6; ++i)
        info.cells6[i] = uint8_t(10 + i);
    for (int i = 0; i < 7; ++i)
        info.cells7[i] = uint8_t(9 - i);
    for (int i = 0; i < 9; ++i)
        info.cells9[i] = uint8_t(1 + 2 * (i % 8));
    for (int i = 0; i < 10; ++i)
        info.cells10[i] = uint8_t(16 - i);
    for (int i = 0; i < 13; ++i)
        info.cells13[i] = uint8_t(4 + i);
    info.features = features;
    return info;
}

} // namespace

TEST(DvrLayouts, LoginShowsEntryZeroAndFourChannelsNeverCycle)
{
    Login v(4);
    ASSERT_EQ(v.host.layouts.size(), 1u);
    EXPECT_EQ(v.host.layouts[0].n, 4);
    v.layouts.SetSplit(20);
    v.layouts.SetSplit(3);
    EXPECT_EQ(v.layouts.LayoutIndex(), 0);
    for (const auto &call : v.host.layouts)
        EXPECT_EQ(call.channels, Seq(1, 4));
}

TEST(DvrLayouts, ScreenLayoutPushSetsListsAndCellCounts)
{
    Login v(16, 1);
    v.layouts.ApplyScreenLayouts(PushedInfo(0x3F));
    EXPECT_EQ(Channels(v.layouts.Entry(1)), (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(Channels(v.layouts.Entry(2)), (std::vector<int>{16, 15, 14, 13, 12, 11, 10, 9, 8, 7}));
    EXPECT_EQ(Channels(v.layouts.Entry(4)), (std::vector<int>{1, 3, 5, 7, 9, 11, 13, 15, 1}));
    EXPECT_EQ(Channels(v.layouts.Entry(5)), (std::vector<int>{9, 8, 7, 6, 5, 4, 3}));
    EXPECT_EQ(Channels(v.layouts.Entry(6)), Seq(10, 6));
    EXPECT_EQ(Channels(v.layouts.Entry(11)), (std::vector<int>{16, 15, 14, 13}));
    EXPECT_EQ(v.layouts.Entry(3).cells, 9); // not pushed

    // The 6-cell entry stays off while the model code is 0, even with bit 1 set.
    Login m0(16, 0);
    m0.layouts.ApplyScreenLayouts(PushedInfo(0x3F));
    EXPECT_EQ(m0.layouts.Entry(6).cells, 0);
    EXPECT_EQ(m0.layouts.Entry(6).channels[0], 10); // the list is copied anyway

    Login e(8, 1);
    e.layouts.ApplyScreenLayouts(PushedInfo(0x07));
    EXPECT_EQ(Channels(e.layouts.Entry(1)), (std::vector<int>{9, 8, 7, 6, 5, 4, 3}));
    EXPECT_EQ(Channels(e.layouts.Entry(2)), Seq(10, 6));
    EXPECT_EQ(Channels(e.layouts.Entry(5)), (std::vector<int>{16, 15, 14, 13}));

    Login four(4);
    four.layouts.ApplyScreenLayouts(PushedInfo(0x3F));
    EXPECT_EQ(Channels(four.layouts.Entry(0)), Seq(1, 4));
}

TEST(DvrLayouts, SwitchedOffEntriesAreSkippedOrLeaveThePanes)
{
    Login v(16, 1);
    v.layouts.ApplyScreenLayouts(PushedInfo(0x00));
    v.host.layouts.clear();
    // Cycling from entry 0: 1 and 2 are off, 3 is the next usable one; then 4 (9 cells) is off too.
    v.layouts.SetSplit(20);
    EXPECT_EQ(v.layouts.LayoutIndex(), 3);
    v.layouts.SetSplit(20);
    EXPECT_EQ(v.layouts.LayoutIndex(), 7);
    ASSERT_EQ(v.host.layouts.size(), 2u);
    EXPECT_EQ(v.host.layouts[1].channels, Seq(1, 4));
    // A split button on a switched-off entry selects it but places nothing.
    v.layouts.SetSplit(1);
    EXPECT_EQ(v.layouts.LayoutIndex(), 1);
    EXPECT_EQ(v.host.layouts.size(), 2u);
    // Cycling wraps from the last entry to 0.
    v.layouts.SetSplit(11);
    v.host.layouts.clear();
    v.layouts.ApplyScreenLayouts(PushedInfo(0x01));
    v.layouts.SetSplit(20);
    EXPECT_EQ(v.layouts.LayoutIndex(), 0);
    EXPECT_EQ(v.host.layouts.back().n, 16);
}

TEST(DvrLayouts, SelectChannel)
{
    Login v(8);
    v.layouts.SetChannelMask(0x00FB); // channel 3 missing
    v.host = {};
    v.layouts.SelectChannel(3); // mask bit clear: only the toolbar
    v.layouts.SelectChannel(9); // beyond the count
    EXPECT_EQ(v.host.toolbar, 2);
    EXPECT_TRUE(v.host.layouts.empty());
    EXPECT_TRUE(v.host.sent.empty());
    EXPECT_EQ(v.layouts.CurrentChannel(), 0);

    v.layouts.SelectChannel(5);
    EXPECT_EQ(v.layouts.CurrentChannel(), 5);
    ASSERT_EQ(v.host.layouts.size(), 1u);
    EXPECT_EQ(v.host.layouts[0].n, 1);
    EXPECT_EQ(v.host.layouts[0].channels, std::vector<int>{5});
    EXPECT_EQ(v.host.panTilt, std::vector<int>{4});
    EXPECT_EQ(v.host.sent, std::vector<int>{5});
    EXPECT_EQ(v.host.toolbar, 3);

    // The multi button while one channel is shown returns to the multi view at entry 0.
    v.layouts.SetSplit(20);
    EXPECT_EQ(v.layouts.CurrentChannel(), 0);
    EXPECT_EQ(v.layouts.LayoutIndex(), 0);
    EXPECT_EQ(v.host.sent.back(), 0);
    EXPECT_EQ(v.host.layouts.back().n, 9);
    EXPECT_EQ(v.host.layouts.back().channels, (std::vector<int>{1, 2, 3, 4, 0, 5, 6, 7, 8}));
}

TEST(DvrLayouts, AutoSequenceSkipsMissingChannelsAndWraps)
{
    Login v(4);
    v.layouts.SetChannelMask(0b1010); // channels 2 and 4
    std::vector<int> shown;
    for (int i = 0; i < 4; ++i) {
        v.layouts.AutoSequenceStep();
        shown.push_back(v.layouts.CurrentChannel());
    }
    EXPECT_EQ(shown, (std::vector<int>{2, 4, 2, 4}));

    v.layouts.SetChannelMask(0);
    v.host = {};
    v.layouts.AutoSequenceStep();
    EXPECT_EQ(v.host.toolbar, 0);
    EXPECT_EQ(v.layouts.CurrentChannel(), 4);
}

TEST(DvrLayouts, NothingBeforeTheFirstLogin)
{
    RecordingHost host;
    DvrLayouts l(host);
    l.SetSplit(-1);
    l.SetSplit(0);
    l.SetSplit(20);
    EXPECT_TRUE(host.layouts.empty());
}

TEST(FitFrameRect, TheVideoAreaKeeps720To480)
{
    // Around the video area: 8 pixels across, 28 down.
    struct Case {
        FrameRect r;
        int edge;
        FrameRect fitted;
    } cases[] = {
        {{10, 10, 10 + 360 + 8, 10 + 400 + 28}, 2, {10, 10, 10 + 360 + 8, 10 + 240 + 28}}, // right edge: 360 wide
        {{10, 10, 10 + 900 + 8, 10 + 300 + 28}, 6, {10, 10, 10 + 450 + 8, 10 + 300 + 28}}, // bottom edge: 300 high
        {{0, 0, 100 + 8, 50 + 28}, 2, {0, 0, 199 + 8, 133 + 28}},                         // held at 199 x 133
        {{-20, -5, -20 + 720 + 8, -5 + 480 + 28}, 8, {0, 0, 720 + 8, 480 + 28}},          // back to the origin
    };
    for (const Case &c : cases)
        EXPECT_EQ(FitFrameRect(c.r, c.edge, 8, 28, 480), c.fitted) << c.edge;
}
