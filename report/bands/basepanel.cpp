#include "report/bands/basepanel.h"

#include <algorithm>

namespace strandel {

void TPgxBasePanel::SetZoom(int zoom)
{
    if (zoom == 0)
        return;
    m_zoom = zoom;
    for (TPgxPanelChild *c : m_children)
        c->SetZoom(zoom);
}

void TPgxBasePanel::SetFrame(const TPgxFrame &frame)
{
    m_frame.Assign(frame);
}

void TPgxBasePanel::RemoveChild(TPgxPanelChild *child)
{
    m_children.erase(std::remove(m_children.begin(), m_children.end(), child), m_children.end());
}

void TPgxBasePanel::PrepareComponents()
{
    for (TPgxPanelChild *c : m_children)
        c->Prepare();
}

void TPgxBasePanel::UnprepareComponents()
{
    for (TPgxPanelChild *c : m_children)
        c->UnPrepare();
}

} // namespace strandel
