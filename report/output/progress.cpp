#include "report/output/progress.h"

#include <algorithm>

namespace strandel {

void TPgxProgress::SetProgress(int percent)
{
    m_progress = percent;
    std::lock_guard g(m_lock);
    // By index: a sink may attach or detach sinks (itself included) while it is told.
    for (size_t i = 0; i < m_sinks.size(); ++i)
        m_sinks[i]->ProgressUpdate(percent);
}

void TPgxProgress::AddSink(TPgxProgressSink *sink)
{
    std::lock_guard g(m_lock);
    if (sink && std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
        m_sinks.push_back(sink);
}

void TPgxProgress::RemoveSink(TPgxProgressSink *sink)
{
    std::lock_guard g(m_lock);
    m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), sink), m_sinks.end());
}

} // namespace strandel
