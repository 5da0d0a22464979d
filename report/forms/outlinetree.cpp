#include "report/forms/outlinetree.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace strandel {

void TPgxTreeWidgetOutline::Clear()
{
    m_tree->clear();
}

void TPgxTreeWidgetOutline::BeginUpdate()
{
    m_tree->setUpdatesEnabled(false);
}

void TPgxTreeWidgetOutline::EndUpdate()
{
    m_tree->setUpdatesEnabled(true);
}

int TPgxTreeWidgetOutline::Count() const
{
    int n = 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        ++n;
    return n;
}

TPgxOutlineTree::Node TPgxTreeWidgetOutline::Item(int index) const
{
    int n = 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it, ++n)
        if (n == index)
            return *it;
    return nullptr;
}

int TPgxTreeWidgetOutline::Level(Node node) const
{
    int level = 0;
    for (QTreeWidgetItem *p = ItemOf(node)->parent(); p; p = p->parent())
        ++level;
    return level;
}

TPgxOutlineTree::Node TPgxTreeWidgetOutline::Add(Node sibling, const QString &caption)
{
    QTreeWidgetItem *s = ItemOf(sibling);
    auto *item = new QTreeWidgetItem(QStringList(caption));
    if (!s) {
        m_tree->addTopLevelItem(item);
    } else if (QTreeWidgetItem *parent = s->parent()) {
        parent->insertChild(parent->indexOfChild(s) + 1, item);
    } else {
        m_tree->insertTopLevelItem(m_tree->indexOfTopLevelItem(s) + 1, item);
    }
    return item;
}

TPgxOutlineTree::Node TPgxTreeWidgetOutline::AddChild(Node parent, const QString &caption)
{
    auto *item = new QTreeWidgetItem(QStringList(caption));
    if (QTreeWidgetItem *p = ItemOf(parent))
        p->addChild(item);
    else
        m_tree->addTopLevelItem(item);
    return item;
}

} // namespace strandel
