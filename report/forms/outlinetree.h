#pragma once
// A tree widget as the tree a report outline mirrors into.
#include "report/pages/outline.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace strandel {

class TPgxTreeWidgetOutline : public TPgxOutlineTree
{
public:
    explicit TPgxTreeWidgetOutline(QTreeWidget *tree) : m_tree(tree) {}
    void Clear() override;
    void BeginUpdate() override;
    void EndUpdate() override;
    int Count() const override;
    Node Item(int index) const override;
    int Level(Node node) const override;
    Node Add(Node sibling, const QString &caption) override;
    Node AddChild(Node parent, const QString &caption) override;

    static QTreeWidgetItem *ItemOf(Node n) { return static_cast<QTreeWidgetItem *>(n); }

private:
    QTreeWidget *m_tree;
};

} // namespace strandel
