#include "report/forms/envedit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "report/base/strings.h"
#include "report/expr/environment.h"
#include "report/forms/expbuilder.h"

namespace strandel {

using report::TPgxEvEnvironment;

namespace {

QPushButton *Button(const QString &caption, const char *name)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

TPgxEnvironmentEditor::TPgxEnvironmentEditor(TPgxEvEnvironment *local, bool allowGlobal, QWidget *parent)
    : QDialog(parent), m_local(local)
{
    setObjectName(QStringLiteral("PgxEnvironmentEditor"));
    setWindowTitle(QStringLiteral("User Defined Functions Edtor"));
    auto *root = new QVBoxLayout(this);

    ListGroup = new QGroupBox(QStringLiteral("Available User Defined Functions"));
    auto *lg = new QVBoxLayout(ListGroup);
    UDFGrid = new QTableWidget(0, 2);
    UDFGrid->setObjectName(QStringLiteral("UDFGrid"));
    UDFGrid->setHorizontalHeaderLabels({QString::fromStdString(report::PgxLoadStr(report::SpgxName)),
                                        QString::fromStdString(report::PgxLoadStr(report::SpgxExpression))});
    UDFGrid->verticalHeader()->setVisible(false);
    UDFGrid->verticalHeader()->setDefaultSectionSize(20);
    UDFGrid->horizontalHeader()->setStretchLastSection(true);
    UDFGrid->setColumnWidth(0, 140);
    UDFGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    UDFGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    UDFGrid->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                             QAbstractItemView::SelectedClicked);
    lg->addWidget(UDFGrid, 1);
    LocalCB = new QRadioButton(QStringLiteral("&Local defines"));
    LocalCB->setObjectName(QStringLiteral("LocalCB"));
    GlobalCB = new QRadioButton(QStringLiteral("&Global defines"));
    GlobalCB->setObjectName(QStringLiteral("GlobalCB"));
    auto *radios = new QHBoxLayout;
    radios->addWidget(LocalCB);
    radios->addWidget(GlobalCB);
    radios->addStretch();
    lg->addLayout(radios);
    root->addWidget(ListGroup, 1);

    NewEntryGroup = new QGroupBox(QStringLiteral("New entry"));
    NewEntryGroup->setObjectName(QStringLiteral("NewEntry"));
    auto *ng = new QGridLayout(NewEntryGroup);
    Name = new QLineEdit;
    Name->setObjectName(QStringLiteral("Name"));
    Expression = new QLineEdit;
    Expression->setObjectName(QStringLiteral("Expression"));
    ExprBuilderButton = Button(QStringLiteral("..."), "ExprBuilder");
    ExprBuilderButton->setFixedWidth(28);
    NewOK = Button(QStringLiteral("&OK"), "NewOK");
    NewCancel = Button(QStringLiteral("&Cancel"), "NewCancel");
    ng->addWidget(new QLabel(QStringLiteral("Name :")), 0, 0);
    ng->addWidget(Name, 0, 1, 1, 2);
    ng->addWidget(new QLabel(QStringLiteral("Expression :")), 1, 0);
    ng->addWidget(Expression, 1, 1);
    ng->addWidget(ExprBuilderButton, 1, 2);
    auto *newButtons = new QHBoxLayout;
    newButtons->addStretch();
    newButtons->addWidget(NewOK);
    newButtons->addWidget(NewCancel);
    ng->addLayout(newButtons, 2, 0, 1, 3);
    ng->setColumnStretch(1, 1);
    NewEntryGroup->hide();
    root->addWidget(NewEntryGroup);

    AddButton = Button(QStringLiteral("&Add"), "Add");
    EditButton = Button(QStringLiteral("&Edit"), "Edit");
    DeleteButton = Button(QStringLiteral("&Delete"), "Delete");
    CloseButton = Button(QStringLiteral("Close"), "Close");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(AddButton);
    buttons->addWidget(EditButton);
    buttons->addWidget(DeleteButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    root->addLayout(buttons);

    if (!allowGlobal)
        GlobalCB->setEnabled(false);
    if (!m_local) {
        LocalCB->setEnabled(false);
        GlobalCB->setChecked(true);
    } else {
        LocalCB->setChecked(true);
    }

    connect(LocalCB, &QRadioButton::clicked, this, &TPgxEnvironmentEditor::FillGrid);
    connect(GlobalCB, &QRadioButton::clicked, this, &TPgxEnvironmentEditor::FillGrid);
    connect(UDFGrid, &QTableWidget::cellChanged, this, &TPgxEnvironmentEditor::CellChanged);
    connect(UDFGrid, &QTableWidget::cellDoubleClicked, this, [this] { EditClick(); });
    connect(AddButton, &QPushButton::clicked, this, &TPgxEnvironmentEditor::AddClick);
    connect(EditButton, &QPushButton::clicked, this, &TPgxEnvironmentEditor::EditClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TPgxEnvironmentEditor::DeleteClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(NewOK, &QPushButton::clicked, this, &TPgxEnvironmentEditor::NewOKClick);
    connect(NewCancel, &QPushButton::clicked, this, &TPgxEnvironmentEditor::NewCancelClick);
    connect(ExprBuilderButton, &QPushButton::clicked, this, &TPgxEnvironmentEditor::NewExprBuilderClick);

    FillGrid();
    resize(460, 340);
}

TPgxEvEnvironment *TPgxEnvironmentEditor::WorkEnvironment() const
{
    return LocalCB->isChecked() ? m_local : &report::PgxGlobalEnvironment();
}

void TPgxEnvironmentEditor::FillGrid()
{
    m_filling = true;
    TPgxEvEnvironment *env = WorkEnvironment();
    const int n = env ? env->Count() : 0;
    UDFGrid->setRowCount(n);
    for (int i = 0; i < n; ++i) {
        UDFGrid->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(env->Name(i))));
        UDFGrid->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(env->Expression(i))));
    }
    m_filling = false;
}

void TPgxEnvironmentEditor::CellChanged(int row, int column)
{
    if (m_filling)
        return;
    TPgxEvEnvironment *env = WorkEnvironment();
    if (!env || row < 0 || row >= env->Count())
        return;
    const std::string text = UDFGrid->item(row, column)->text().toStdString();
    if (column == 0)
        env->Rename(row, text);
    else
        env->SetExpression(row, text);
    // The cell shows what the entry now holds: a refused change comes back.
    m_filling = true;
    UDFGrid->item(row, column)->setText(QString::fromStdString(column == 0 ? env->Name(row) : env->Expression(row)));
    m_filling = false;
}

void TPgxEnvironmentEditor::AddClick()
{
    for (QPushButton *b : {AddButton, EditButton, DeleteButton, CloseButton})
        b->hide();
    ListGroup->setEnabled(false);
    Name->clear();
    Expression->clear();
    NewEntryGroup->show();
    NewEntryGroup->raise();
    Name->setFocus();
}

void TPgxEnvironmentEditor::EndNewEntry()
{
    NewEntryGroup->hide();
    ListGroup->setEnabled(true);
    for (QPushButton *b : {AddButton, EditButton, DeleteButton, CloseButton})
        b->show();
}

void TPgxEnvironmentEditor::NewOKClick()
{
    // A nameless entry could never be read.
    if (TPgxEvEnvironment *env = WorkEnvironment(); env && !Name->text().trimmed().isEmpty())
        env->AddFunction(Name->text().trimmed().toStdString(), Expression->text().toStdString());
    EndNewEntry();
    FillGrid();
}

void TPgxEnvironmentEditor::NewCancelClick()
{
    EndNewEntry();
}

void TPgxEnvironmentEditor::NewExprBuilderClick()
{
    QString text = Expression->text();
    if (GetExpression(Name->text(), text, nullptr, nullptr, m_local))
        Expression->setText(text);
}

void TPgxEnvironmentEditor::EditClick()
{
    const int row = UDFGrid->currentRow();
    if (row < 0 || row >= UDFGrid->rowCount())
        return;
    QString text = UDFGrid->item(row, 1)->text();
    if (GetExpression(UDFGrid->item(row, 0)->text(), text, nullptr, nullptr, m_local))
        UDFGrid->item(row, 1)->setText(text); // applied through the cell's change
}

void TPgxEnvironmentEditor::DeleteClick()
{
    TPgxEvEnvironment *env = WorkEnvironment();
    const int row = UDFGrid->currentRow();
    if (!env || row < 0 || row >= env->Count())
        return;
    env->DeleteFunction(env->Name(row));
    FillGrid();
}

void EditEnvironment(TPgxEvEnvironment *environment, bool allowGlobal, QWidget *parent)
{
    TPgxEnvironmentEditor editor(environment, allowGlobal, parent);
    editor.exec();
}

} // namespace strandel
