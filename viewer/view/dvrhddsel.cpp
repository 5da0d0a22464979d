#include "viewer/view/dvrhddsel.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace strandel {

namespace {
constexpr int kModalOk = 1;
constexpr int kModalCancel = 2;
} // namespace

TfrmDvrHddSel::TfrmDvrHddSel(QWidget *owner) : QDialog(owner)
{
    setWindowTitle("Select DVR HDD");
    ListBox1 = new QListWidget(this);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn1->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ListBox1);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(kModalOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(kModalCancel); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { done(kModalOk); });
}

void TfrmDvrHddSel::SetLines(const std::vector<std::string> &lines)
{
    ListBox1->clear();
    for (const std::string &line : lines)
        ListBox1->addItem(QString::fromStdString(line));
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
}

int TfrmDvrHddSel::SelectedLine() const
{
    const auto selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

int SelectDvrHdd(QWidget *owner, const std::vector<std::string> &lines)
{
    TfrmDvrHddSel dialog(owner);
    dialog.SetLines(lines);
    if (dialog.exec() != kModalOk)
        return -1;
    return dialog.SelectedLine();
}

} // namespace strandel
