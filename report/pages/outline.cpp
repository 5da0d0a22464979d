#include "report/pages/outline.h"

#include <algorithm>

#include "platform/endian.h"

namespace strandel {

namespace {

// The longest UTF-8 prefix of at most max bytes that does not split a character.
QByteArray CutCaption(const QString &caption, int max)
{
    QByteArray u = caption.toUtf8();
    if (u.size() <= max)
        return u;
    int n = max;
    while (n > 0 && (uint8_t(u[n]) & 0xc0) == 0x80)
        --n;
    return u.left(n);
}

} // namespace

void TPgxOutline::Clear()
{
    m_nodes.clear();
}

void TPgxOutline::AddNode(const QString &caption, int32_t level, const PgxRect &area, int32_t page)
{
    auto n = std::make_unique<TPgxOutlineNode>();
    n->caption = CutCaption(caption, TPgxOutlineNode::MaxCaption);
    n->level = std::clamp(level, 1, TPgxOutlineNode::MaxLevel);
    n->area = area;
    n->page = page;
    if (m_tree) {
        QString text = QString::fromUtf8(n->caption);
        int count = m_tree->Count();
        if (count == 0) {
            n->treeNode = m_tree->AddChild(nullptr, text);
        } else {
            // The tree's levels count from 0, the entries' from 1.
            for (int i = count - 1; i >= 0; --i) {
                TPgxOutlineTree::Node t = m_tree->Item(i);
                int tl = m_tree->Level(t) + 1;
                if (tl > n->level)
                    continue;
                n->treeNode = tl == n->level ? m_tree->Add(t, text) : m_tree->AddChild(t, text);
                break;
            }
        }
    }
    m_nodes.push_back(std::move(n));
}

void TPgxOutline::SetTreeNodes(TPgxOutlineTree *tree)
{
    m_tree = tree;
    if (m_tree)
        UpdateTreeNodes();
}

void TPgxOutline::UpdateTreeNodes()
{
    if (!m_tree)
        return;
    m_tree->Clear();
    m_tree->BeginUpdate();
    TPgxOutlineTree::Node last[TPgxOutlineNode::MaxLevel + 1] = {};
    for (auto &n : m_nodes) {
        int level = n->level; // 1..31, kept so by AddNode
        n->treeNode = m_tree->AddChild(last[level - 1], QString::fromUtf8(n->caption));
        last[level] = n->treeNode;
    }
    m_tree->EndUpdate();
}

void TPgxOutline::FindPosition(TPgxOutlineTree::Node node, PgxRect &area, int32_t &page) const
{
    for (auto &n : m_nodes) {
        if (n->treeNode == node && node) {
            area = n->area;
            page = n->page;
            return;
        }
    }
    area = PgxRect{};
    page = 0;
}

QByteArray TPgxOutline::SaveToBytes() const
{
    QByteArray out(4 + qsizetype(m_nodes.size()) * TPgxOutlineNode::StreamSize, '\0');
    auto *p = reinterpret_cast<uint8_t *>(out.data());
    PutLe32(p, uint32_t(m_nodes.size()));
    p += 4;
    for (auto &n : m_nodes) {
        p[0] = uint8_t(n->caption.size());
        std::copy(n->caption.begin(), n->caption.end(), p + 1);
        PutLe32(p + 52, uint32_t(n->level));
        PutLe32(p + 56, uint32_t(n->area.left));
        PutLe32(p + 60, uint32_t(n->area.top));
        PutLe32(p + 64, uint32_t(n->area.right));
        PutLe32(p + 68, uint32_t(n->area.bottom));
        PutLe32(p + 72, uint32_t(n->page));
        // Bytes 76..79 held a run-time tree reference; it means nothing on disk and stays zero.
        p += TPgxOutlineNode::StreamSize;
    }
    return out;
}

bool TPgxOutline::SaveToStream(QIODevice &dest) const
{
    const QByteArray bytes = SaveToBytes();
    return dest.write(bytes) == bytes.size();
}

bool TPgxOutline::LoadFromStream(QIODevice &source, QString *error)
{
    // The count is checked against what the device holds before anything is allocated for it.
    QByteArray head = source.read(4);
    if (head.size() < 4)
        return LoadFromBytes(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()), nullptr, error);
    const uint32_t count = GetLe32(reinterpret_cast<const uint8_t *>(head.constData()));
    const qint64 left = source.isSequential() ? source.bytesAvailable() : source.size() - source.pos();
    const qint64 want = qint64(count) * TPgxOutlineNode::StreamSize;
    QByteArray all = head + source.read(std::min(want, std::max<qint64>(left, 0)));
    return LoadFromBytes(reinterpret_cast<const uint8_t *>(all.constData()), size_t(all.size()), nullptr, error);
}

bool TPgxOutline::LoadFromBytes(const uint8_t *data, size_t size, size_t *used, QString *error)
{
    Clear();
    auto fail = [&](const char *why) {
        Clear();
        if (error)
            *error = QString::fromLatin1(why);
        return false;
    };
    if (size < 4)
        return fail("the outline is cut short");
    uint32_t count = GetLe32(data);
    if (count > (size - 4) / TPgxOutlineNode::StreamSize)
        return fail("the outline holds more entries than it has bytes");
    TPgxOutlineTree *tree = m_tree;
    m_tree = nullptr;
    const uint8_t *p = data + 4;
    for (uint32_t i = 0; i < count; ++i, p += TPgxOutlineNode::StreamSize) {
        int len = p[0];
        int32_t level = int32_t(GetLe32(p + 52));
        if (len > TPgxOutlineNode::MaxCaption || level < 1 || level > TPgxOutlineNode::MaxLevel) {
            m_tree = tree;
            return fail("the outline holds a bad entry");
        }
        PgxRect area{int32_t(GetLe32(p + 56)), int32_t(GetLe32(p + 60)), int32_t(GetLe32(p + 64)),
                     int32_t(GetLe32(p + 68))};
        AddNode(QString::fromUtf8(reinterpret_cast<const char *>(p + 1), len), level, area,
                int32_t(GetLe32(p + 72)));
    }
    if (used)
        *used = 4 + size_t(count) * TPgxOutlineNode::StreamSize;
    SetTreeNodes(tree);
    return true;
}

} // namespace strandel
