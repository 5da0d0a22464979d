#pragma once
// The split layouts of a recorder view: the layout table, its defaults per channel count, the
// recorder's layout push, the choice and cycling of layouts, channel selection, the automatic
// sequence, and the pixel geometry of every split. Headless: the view supplies the effects.
#include <array>
#include <cstdint>

#include "viewer/protocol/dvrcommand.h"

namespace strandel {

constexpr int kMaxChannels = 16;
constexpr int kLayoutEntries = 20;

struct LayoutEntry {
    int32_t cells = 0;
    std::array<uint8_t, kMaxChannels> channels{}; // 1..16, 0 = empty cell
};

struct PaneRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PaneRect &) const = default;
};

// Where cell k of an n-cell split lies in a w x h panel (n above 16 counts as 16).
PaneRect CellGeometry(int n, int k, int w, int h);

// The frame window's rectangle while the user drags an edge (1 left, 2 right, 3 top, 6 bottom,
// anything else a corner): the video area keeps 720 : videoHeight; dw and dh are what lies
// around the video area.
struct FrameRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const FrameRect &) const = default;
};
FrameRect FitFrameRect(FrameRect r, int edge, int dw, int dh, int videoHeight);

// What the layouts need of the view.
class LayoutHost {
public:
    virtual ~LayoutHost() = default;
    // Places the panes of the listed channels (1..16) into the cells of an n-cell split and shows
    // them; every other pane of the view is hidden.
    virtual void LayoutCells(int n, const uint8_t *channels) = 0;
    virtual void SendChannelCommand(uint8_t channel) = 0; // DvrCmdChannel [n, 0]
    virtual void PanTiltSetChannel(int index) = 0;
    virtual void UpdateToolbar() = 0;
};

class DvrLayouts {
public:
    explicit DvrLayouts(LayoutHost &host) : host_(host) {}

    // The default table for a channel count of 1..16; selects the multi view. False (and no
    // change) for other counts.
    bool SetDefaults(int channelCount, uint8_t modelCode);
    // Applies a DvrCmdScreenLayouts push (16- and 8-channel views only).
    void ApplyScreenLayouts(const ScreenLayoutInfo &info);
    void SetChannelMask(uint16_t mask) { mask_ = mask; }

    void SelectChannel(int n);
    void SetSplit(int i);
    // One step of the automatic sequence.
    void AutoSequenceStep();

    int ChannelCount() const { return channelCount_; }
    uint16_t ChannelMask() const { return mask_; }
    int CurrentChannel() const { return currentChannel_; }
    int LayoutIndex() const { return layoutIndex_; }
    int LayoutCount() const { return layoutCount_; }
    const LayoutEntry &Entry(int index) const { return table_[size_t(index)]; }

private:
    LayoutHost &host_;
    std::array<LayoutEntry, kLayoutEntries> table_{};
    int layoutCount_ = 0;
    int layoutIndex_ = 0;
    int currentChannel_ = 0;
    int channelCount_ = 0;
    uint16_t mask_ = 0;
    uint8_t modelCode_ = 0;
};

} // namespace strandel
