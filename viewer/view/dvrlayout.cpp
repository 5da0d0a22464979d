#include "viewer/view/dvrlayout.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace strandel {

PaneRect CellGeometry(int n, int k, int w, int h)
{
    n = std::min(n, kMaxChannels);
    auto cell = [](int left, int top, int width, int height) { return PaneRect{left, top, width - 1, height - 1}; };
    switch (n) {
    case 1:
        return cell(0, 0, w, h);
    case 4:
        return cell((w / 2) * (k % 2), (h / 2) * (k / 2), w / 2, h / 2);
    case 6:
        if (k == 0)
            return cell(0, 0, (2 * w) / 3, (2 * h) / 3);
        if (k <= 2)
            return cell((2 * w) / 3, (h / 3) * (k - 1), w / 3, h / 3);
        return cell((w / 3) * (k - 3), (2 * h) / 3, w / 3, h / 3);
    case 7:
        if (k <= 2)
            return cell((w / 2) * (k % 2), (h / 2) * (k / 2), w / 2, h / 2);
        return cell(w / 2 + (w / 4) * ((k - 3) % 2), h / 2 + (h / 4) * ((k - 3) / 2), w / 4, h / 4);
    case 8:
    case 9:
        return cell((w / 3) * (k % 3), (h / 3) * (k / 3), w / 3, h / 3);
    case 10:
        if (k <= 1)
            return cell((w / 2) * k, 0, w / 2, h / 2);
        return cell((w / 4) * ((k - 2) % 4), h / 2 + (h / 4) * ((k - 2) / 4), w / 4, h / 4);
    case 13:
        if (k == 0)
            return cell(0, 0, w / 2, h / 2);
        if (k <= 4)
            return cell(w / 2 + (w / 4) * ((k - 1) % 2), (h / 4) * ((k - 1) / 2), w / 4, h / 4);
        return cell((w / 4) * ((k - 5) % 4), h / 2 + (h / 4) * ((k - 5) / 4), w / 4, h / 4);
    default:
        return cell((w / 4) * (k % 4), (h / 4) * (k / 4), w / 4, h / 4);
    }
}

FrameRect FitFrameRect(FrameRect r, int edge, int dw, int dh, int videoHeight)
{
    const int64_t h = videoHeight > 0 ? videoHeight : 480;
    int64_t w = int64_t(r.right) - r.left - dw;
    int64_t v = int64_t(r.bottom) - r.top - dh;
    if (r.left < 0)
        r.left = 0;
    if (r.top < 0)
        r.top = 0;
    if (w < 200 || h * 200 / 720 > v) {
        v = h * 200 / 720;
        w = 200;
    }
    if (edge == 1 || edge == 2)
        v = h * w / 720;
    else if (edge == 3 || edge == 6)
        w = v * 720 / h;
    const int64_t w2 = v * 720 / h;
    if (w2 > w)
        v = h * w / 720;
    else
        w = w2;
    r.right = int32_t(r.left + w + dw);
    r.bottom = int32_t(r.top + v + dh);
    return r;
}

namespace {

// An entry of `cells` cells listing channels first, first + 1, ... (0 for an empty cell).
LayoutEntry Run(int cells, std::initializer_list<int> channels)
{
    LayoutEntry e;
    e.cells = cells;
    size_t i = 0;
    for (int c : channels)
        e.channels[i++] = uint8_t(c);
    return e;
}

LayoutEntry Range(int cells, int first)
{
    LayoutEntry e;
    e.cells = cells;
    for (int i = 0; i < cells; ++i)
        e.channels[size_t(i)] = uint8_t(first + i);
    return e;
}

void CopyList(LayoutEntry &e, const uint8_t *list, size_t n, bool on)
{
    std::memcpy(e.channels.data(), list, n);
    e.cells = on ? int32_t(n) : 0;
}

} // namespace

bool DvrLayouts::SetDefaults(int channelCount, uint8_t modelCode)
{
    if (channelCount < 1 || channelCount > kMaxChannels)
        return false;
    table_ = {};
    if (channelCount == 4) {
        layoutCount_ = 0;
        table_[0] = Range(4, 1);
    } else if (channelCount == 8) {
        layoutCount_ = 6;
        table_[0] = Run(9, {1, 2, 3, 4, 0, 5, 6, 7, 8});
        table_[1] = Range(7, 1);
        table_[2] = Range(6, 1);
        table_[3] = Range(4, 1);
        table_[4] = Range(4, 5);
        table_[5] = Range(4, 1);
    } else {
        layoutCount_ = 12;
        const int cells[12] = {16, 13, 10, 9, 9, 7, 6, 4, 4, 4, 4, 4};
        const int first[12] = {1, 1, 1, 1, 8, 1, 1, 1, 5, 9, 13, 1};
        for (int i = 0; i < 12; ++i)
            table_[size_t(i)] = Range(cells[i], first[i]);
    }
    currentChannel_ = 0;
    channelCount_ = channelCount;
    modelCode_ = modelCode;
    return true;
}

void DvrLayouts::ApplyScreenLayouts(const ScreenLayoutInfo &info)
{
    const uint8_t f = info.features;
    const bool six = (f & 0x02) && modelCode_ != 0;
    if (channelCount_ == 16) {
        CopyList(table_[1], info.cells13, 13, f & 0x20);
        CopyList(table_[2], info.cells10, 10, f & 0x10);
        CopyList(table_[4], info.cells9, 9, f & 0x08);
        CopyList(table_[5], info.cells7, 7, f & 0x04);
        CopyList(table_[6], info.cells6, 6, six);
        CopyList(table_[11], info.cells4, 4, f & 0x01);
    } else if (channelCount_ == 8) {
        CopyList(table_[1], info.cells7, 7, f & 0x04);
        CopyList(table_[2], info.cells6, 6, six);
        CopyList(table_[5], info.cells4, 4, f & 0x01);
    }
}

void DvrLayouts::SelectChannel(int n)
{
    if (n < 0 || n > channelCount_ || (n != 0 && !(mask_ & (1u << (n - 1))))) {
        host_.UpdateToolbar();
        return;
    }
    currentChannel_ = n;
    SetSplit(-1);
    if (n > 0)
        host_.PanTiltSetChannel(n - 1);
    host_.SendChannelCommand(uint8_t(n));
    host_.UpdateToolbar();
}

void DvrLayouts::SetSplit(int i)
{
    auto layout = [this](int n, const uint8_t *list) {
        if (channelCount_ != 0 && n > 0)
            host_.LayoutCells(n, list);
    };
    if (i == -1) {
        if (currentChannel_ > 0) {
            const uint8_t one = uint8_t(currentChannel_);
            layout(1, &one);
        } else {
            const LayoutEntry &e = table_[size_t(layoutIndex_)];
            layout(e.cells, e.channels.data());
        }
        return;
    }
    if (i < -1)
        return;
    if (i < kLayoutEntries) {
        layoutIndex_ = i;
    } else if (currentChannel_ == 0) {
        for (int step = 0; step < layoutCount_; ++step) {
            layoutIndex_ = layoutIndex_ + 1 >= layoutCount_ ? 0 : layoutIndex_ + 1;
            if (table_[size_t(layoutIndex_)].cells >= 1)
                break;
        }
    } else {
        layoutIndex_ = 0;
    }
    if (layoutIndex_ >= layoutCount_)
        layoutIndex_ = 0;
    if (currentChannel_ > 0) {
        SelectChannel(0);
    } else {
        const LayoutEntry &e = table_[size_t(layoutIndex_)];
        layout(e.cells, e.channels.data());
    }
}

void DvrLayouts::AutoSequenceStep()
{
    if (mask_ == 0 || channelCount_ < 1)
        return;
    int next = currentChannel_ + 1;
    for (int step = 0; step < channelCount_; ++step) {
        if (next > channelCount_)
            next = 1;
        if (mask_ & (1u << (next - 1)))
            break;
        ++next;
        if (next > channelCount_)
            next = 1;
    }
    SelectChannel(next);
}

} // namespace strandel
