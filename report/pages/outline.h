#pragma once
// The outline (table of contents) of a generated report: entries with a caption, a level, an
// area and a page, optionally mirrored into a tree that a form shows.
#include <cstdint>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include "report/pages/metafile.h"

namespace strandel {

// The tree an outline mirrors into (a form's tree view implements it). Nodes are opaque handles.
class TPgxOutlineTree
{
public:
    using Node = void *;
    virtual ~TPgxOutlineTree() = default;
    virtual void Clear() = 0;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    virtual int Count() const = 0;
    virtual Node Item(int index) const = 0; // in display order, depth first
    virtual int Level(Node node) const = 0; // 0 for a top-level node
    virtual Node Add(Node sibling, const QString &caption) = 0;      // after sibling at its level; null: top level
    virtual Node AddChild(Node parent, const QString &caption) = 0;  // last child; null parent: top level
};

struct TPgxOutlineNode {
    static constexpr int MaxCaption = 50;
    static constexpr int MaxLevel = 31;
    static constexpr int StreamSize = 80;
    QByteArray caption; // UTF-8, at most MaxCaption bytes, cut on a character boundary
    int32_t level = 1;  // 1 is the top level
    PgxRect area;
    int32_t page = 0;
    TPgxOutlineTree::Node treeNode = nullptr;
};

class TPgxOutline
{
public:
    TPgxOutline() = default;
    ~TPgxOutline() = default;

    void Clear();
    void AddNode(const QString &caption, int32_t level, const PgxRect &area, int32_t page);
    void SetTreeNodes(TPgxOutlineTree *tree);
    void UpdateTreeNodes();
    // Area and page of the entry shown by the node; page 0 and an empty area when none.
    void FindPosition(TPgxOutlineTree::Node node, PgxRect &area, int32_t &page) const;

    // A 32-bit count, then 80 bytes per entry.
    QByteArray SaveToBytes() const;
    // Reads what SaveToBytes wrote from the front of data; used tells how many bytes. A bad
    // count, level or caption length refuses the whole outline (the outline is then empty).
    bool LoadFromBytes(const uint8_t *data, size_t size, size_t *used = nullptr, QString *error = nullptr);

    // The same form on a device, from its current position.
    bool SaveToStream(QIODevice &dest) const;
    bool LoadFromStream(QIODevice &source, QString *error = nullptr);

    int Count() const { return int(m_nodes.size()); }
    const TPgxOutlineNode &Node(int i) const { return *m_nodes[size_t(i)]; }
    static QString CaptionText(const TPgxOutlineNode &n) { return QString::fromUtf8(n.caption); }

private:
    std::vector<std::unique_ptr<TPgxOutlineNode>> m_nodes;
    TPgxOutlineTree *m_tree = nullptr;
};

} // namespace strandel
