#pragma once
// What the report panel and every band share at run time: a zoom handed down to what they hold,
// a frame, and the preparing of their printables before a run.
#include <vector>

#include "report/pages/frame.h"

namespace strandel {

// A printable or a nested panel, as a panel sees it.
class TPgxPanelChild
{
public:
    virtual ~TPgxPanelChild() = default;
    virtual void SetZoom(int zoom) = 0;
    virtual void Prepare() = 0;
    virtual void UnPrepare() = 0;
};

class TPgxBasePanel : public TPgxPanelChild, public TPgxFrameParent
{
public:
    TPgxBasePanel() : m_frame(this) {}

    int Zoom() const { return m_zoom; }
    // 0 is ignored; anything else reaches every child.
    void SetZoom(int zoom) override;
    TPgxFrame &Frame() { return m_frame; }
    void SetFrame(const TPgxFrame &frame);

    void AddChild(TPgxPanelChild *child) { m_children.push_back(child); }
    void RemoveChild(TPgxPanelChild *child);
    const std::vector<TPgxPanelChild *> &Children() const { return m_children; }

    void PrepareComponents();
    void UnprepareComponents();
    void Prepare() override { PrepareComponents(); }
    void UnPrepare() override { UnprepareComponents(); }
    void Repaint() override {}

private:
    TPgxFrame m_frame;
    int m_zoom = 100;
    std::vector<TPgxPanelChild *> m_children;
};

} // namespace strandel
