#include "report/forms/propeditors.h"

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "report/bands/pagorra.h"
#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/forms/expbuilder.h"
#include "report/forms/pgxmessage.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_text.h"

namespace strandel {

namespace {

bool ReadSize(const QString &text, double &v)
{
    bool ok = false;
    v = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        v = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(v) && v >= 0;
}

} // namespace

// ---- the form

TPgxLabelEditorForm::TPgxLabelEditorForm(bool expression, QWidget *parent) : QDialog(parent)
{
    setObjectName(expression ? QStringLiteral("PgxExprEditorForm") : QStringLiteral("PgxLabelEditorForm"));
    setWindowTitle(expression ? QStringLiteral("Expression settings") : QStringLiteral("Text Settings"));
    auto *root = new QVBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral("Properties"));
    auto *g = new QGridLayout(group);
    Value = new QLineEdit;
    Value->setObjectName(QStringLiteral("Value"));
    Value->setMinimumWidth(220);
    g->addWidget(new QLabel(expression ? QStringLiteral("Expression") : QStringLiteral("Text")), 0, 0);
    if (expression) {
        ShowExprBuilder = new QPushButton(QStringLiteral("..."));
        ShowExprBuilder->setObjectName(QStringLiteral("ShowExprBuilder"));
        ShowExprBuilder->setAutoDefault(false);
        ShowExprBuilder->setFixedWidth(28);
        auto *row = new QHBoxLayout;
        row->addWidget(Value, 1);
        row->addWidget(ShowExprBuilder);
        g->addLayout(row, 0, 1, 1, 3);
    } else {
        g->addWidget(Value, 0, 1, 1, 3);
    }
    Width = new QLineEdit;
    Width->setObjectName(QStringLiteral("Width"));
    Height = new QLineEdit;
    Height->setObjectName(QStringLiteral("Height"));
    for (QLineEdit *e : {Width, Height})
        e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000.00")) + 12);
    g->addWidget(new QLabel(QStringLiteral("Width")), 1, 0);
    g->addWidget(Width, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Height")), 1, 2);
    g->addWidget(Height, 1, 3);
    int row = 2;
    if (expression) {
        Mask = new QComboBox;
        Mask->setObjectName(QStringLiteral("Mask"));
        Mask->setEditable(true);
        g->addWidget(new QLabel(QStringLiteral("Format mask")), row, 0);
        g->addWidget(Mask, row, 1, 1, 3);
        ++row;
    }
    Autosize = new QCheckBox(QStringLiteral("Autosize"));
    Stretch = new QCheckBox(QStringLiteral("Stretch"));
    Transparent = new QCheckBox(QStringLiteral("Transparent"));
    auto *checks = new QHBoxLayout;
    checks->addWidget(Autosize);
    checks->addWidget(Stretch);
    checks->addWidget(Transparent);
    checks->addStretch();
    g->addLayout(checks, row, 0, 1, 4);
    root->addWidget(group);
    OK = new QPushButton(QStringLiteral("OK"));
    Cancel = new QPushButton(QStringLiteral("Cancel"));
    OK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    root->addLayout(buttons);
    connect(OK, &QPushButton::clicked, this, &TPgxLabelEditorForm::OKClick);
    connect(Cancel, &QPushButton::clicked, this, &TPgxLabelEditorForm::reject);
}

void TPgxLabelEditorForm::OKClick()
{
    if (!Check || Check())
        done(PgxMrOk);
}

void TPgxLabelEditorForm::reject()
{
    done(PgxMrCancel);
}

// ---- label editor

TPgxCustomLabel *TPgxLabelEditor::Label() const
{
    return dynamic_cast<TPgxCustomLabel *>(m_printable);
}

const TPgxFont *TPgxLabelEditor::GetFont() const
{
    TPgxCustomLabel *l = Label();
    return l ? &l->Font() : nullptr;
}

QString TPgxLabelEditor::GetValue() const
{
    TPgxCustomLabel *l = Label();
    return l ? l->Caption() : QString();
}

void TPgxLabelEditor::SetFont(const TPgxFont &font)
{
    if (TPgxCustomLabel *l = Label())
        l->SetFont(font);
}

void TPgxLabelEditor::SetValue(const QString &value)
{
    if (TPgxCustomLabel *l = Label())
        l->SetCaption(value);
}

void TPgxLabelEditor::FillForm(TPgxLabelEditorForm &f)
{
    f.Value->setText(GetValue());
    // The size in the printable's units, which are its report's.
    m_shownWidth = QString::fromStdString(report::PgxFloatToStr(m_printable->GetSizeValue(TPgxPrintable::SizeWidth)));
    m_shownHeight = QString::fromStdString(report::PgxFloatToStr(m_printable->GetSizeValue(TPgxPrintable::SizeHeight)));
    f.Width->setText(m_shownWidth);
    f.Height->setText(m_shownHeight);
    if (TPgxCustomLabel *l = Label()) {
        f.Autosize->setChecked(l->AutoSize());
        f.Stretch->setChecked(l->AutoStretch());
    }
    f.Transparent->setChecked(m_printable->Transparent);
}

bool TPgxLabelEditor::CheckForm(TPgxLabelEditorForm &f, QString &error)
{
    double v;
    for (QLineEdit *e : {f.Width, f.Height}) {
        if (!ReadSize(e->text(), v)) {
            error = QString::fromStdString(report::PgxLoadStr(report::SpgxConversionError)) + QStringLiteral(": '") +
                    e->text() + QLatin1Char('\'');
            return false;
        }
    }
    return true;
}

void TPgxLabelEditor::ReadForm(TPgxLabelEditorForm &f)
{
    SetValue(f.Value->text());
    // A size left as shown keeps its exact value; the shown text may be rounded.
    double v;
    if (f.Width->text() != m_shownWidth && ReadSize(f.Width->text(), v))
        m_printable->SetSizeValue(TPgxPrintable::SizeWidth, v);
    if (f.Height->text() != m_shownHeight && ReadSize(f.Height->text(), v))
        m_printable->SetSizeValue(TPgxPrintable::SizeHeight, v);
    if (TPgxCustomLabel *l = Label()) {
        l->SetAutoSize(f.Autosize->isChecked());
        l->SetAutoStretch(f.Stretch->isChecked());
    }
    m_printable->Transparent = f.Transparent->isChecked();
}

bool TPgxLabelEditor::ShowEditor(QWidget *parent)
{
    TPgxLabelEditorForm f(ExpressionForm(), parent);
    FillForm(f);
    f.Check = [this, &f] {
        QString error;
        if (CheckForm(f, error))
            return true;
        PgxDialogMessage(&f, error);
        return false;
    };
    if (OnShow)
        OnShow(f);
    const bool ok = f.exec() == PgxMrOk;
    if (ok)
        ReadForm(f);
    return ok;
}

// ---- the editor a printable names

std::unique_ptr<TPgxPrintableEditor> PgxCreatePrintableEditor(TPgxPrintable *printable)
{
    if (!printable)
        return nullptr;
    using Make = std::unique_ptr<TPgxPrintableEditor> (*)(TPgxPrintable *);
    static const std::pair<const char *, Make> editors[] = {
        {"TPgxLabelEditor", [](TPgxPrintable *p) -> std::unique_ptr<TPgxPrintableEditor> {
             return std::make_unique<TPgxLabelEditor>(p);
         }},
        {"TPgxExprEditor", [](TPgxPrintable *p) -> std::unique_ptr<TPgxPrintableEditor> {
             return std::make_unique<TPgxExprEditor>(p);
         }},
    };
    const QString name = printable->GetEditorClass();
    for (const auto &[editorClass, make] : editors)
        if (name == QLatin1String(editorClass))
            return make(printable);
    return nullptr;
}

// ---- expression editor

TPgxExprEditor::TPgxExprEditor(TPgxPrintable *printable) : TPgxLabelEditor(printable)
{
    // The form is what holds the report; a report on no form offers no data sets.
    if (TCustomPagorra *r = printable->PlacedReport())
        m_form = r->parent();
}

TPgxExpr *TPgxExprEditor::Expr() const
{
    return dynamic_cast<TPgxExpr *>(m_printable);
}

QString TPgxExprEditor::GetValue() const
{
    TPgxExpr *e = Expr();
    return e ? QString::fromStdString(e->Expression()) : QString();
}

void TPgxExprEditor::SetValue(const QString &value)
{
    if (TPgxExpr *e = Expr())
        e->SetExpression(value.toStdString());
}

void TPgxExprEditor::FillForm(TPgxLabelEditorForm &f)
{
    TPgxLabelEditor::FillForm(f);
    if (TPgxExpr *e = Expr())
        f.Mask->setEditText(QString::fromStdString(e->Mask()));
    QObject::connect(f.ShowExprBuilder, &QPushButton::clicked, &f, [this, &f] {
        QString text = f.Value->text();
        if (GetExpression(QString(), text, m_form, nullptr, nullptr))
            f.Value->setText(text);
    });
}

void TPgxExprEditor::ReadForm(TPgxLabelEditorForm &f)
{
    TPgxLabelEditor::ReadForm(f);
    if (TPgxExpr *e = Expr())
        e->SetMask(f.Mask->currentText().toStdString());
}

} // namespace strandel
