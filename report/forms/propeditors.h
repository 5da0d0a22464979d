#pragma once
// Design-time editors of printables: a printable names its editor, the editor reads and writes
// the printable's properties and shows a small settings dialog for them.
#include <memory>

#include <QDialog>
#include <QString>

#include "report/bands/band.h"
#include "report/pages/textmetrics.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace strandel {

class TPgxCustomLabel;
class TPgxExpr;

class TPgxPrintableEditor
{
public:
    explicit TPgxPrintableEditor(TPgxPrintable *printable) : m_printable(printable) {}
    virtual ~TPgxPrintableEditor() = default;

    TPgxPrintable *Printable() const { return m_printable; }

    virtual QRgb GetColor() const { return 0; }
    virtual const TPgxFont *GetFont() const { return nullptr; }
    virtual QString GetPrintableClass() const { return QStringLiteral("TPgxPrintable"); }
    virtual QString GetValue() const { return {}; }
    virtual QString GetGlyphResName() const { return {}; }
    virtual QString GetControlName() const { return {}; }
    virtual TPgxAlignment GetAlignment() const { return TPgxAlignment::taLeftJustify; }
    virtual void SetAlignment(TPgxAlignment) {}
    virtual void SetColor(QRgb color) = 0;
    virtual void SetFont(const TPgxFont &font) = 0;
    virtual void SetValue(const QString &value) = 0;
    // True when the user confirmed with OK.
    virtual bool ShowEditor(QWidget *parent = nullptr) = 0;

protected:
    TPgxPrintable *m_printable;
};

// The settings dialog of a text label; the expression dialog adds a "..." to its value and a
// format mask.
class TPgxLabelEditorForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPgxLabelEditorForm(bool expression, QWidget *parent = nullptr);

    QLineEdit *Value, *Width, *Height;
    QCheckBox *Autosize, *Stretch, *Transparent;
    QPushButton *ShowExprBuilder = nullptr; // the expression dialog only
    QComboBox *Mask = nullptr;              // the expression dialog only
    QPushButton *OK, *Cancel;

    // Set by the editor: what OK checks before it closes.
    std::function<bool()> Check;

public slots:
    void OKClick();
    void reject() override;
};

class TPgxLabelEditor : public TPgxPrintableEditor
{
public:
    explicit TPgxLabelEditor(TPgxPrintable *printable) : TPgxPrintableEditor(printable) {}

    QRgb GetColor() const override { return m_printable->Color; }
    const TPgxFont *GetFont() const override;
    QString GetPrintableClass() const override { return QStringLiteral("TPgxLabel"); }
    QString GetValue() const override;
    QString GetGlyphResName() const override { return QStringLiteral("PGXLABEL"); }
    QString GetControlName() const override { return QStringLiteral("Text Control"); }
    TPgxAlignment GetAlignment() const override { return m_printable->Alignment(); }
    void SetAlignment(TPgxAlignment a) override { m_printable->SetAlignment(a); }
    void SetColor(QRgb color) override { m_printable->Color = color; }
    void SetFont(const TPgxFont &font) override;
    void SetValue(const QString &value) override;
    bool ShowEditor(QWidget *parent = nullptr) override;

    // Before the dialog is shown (a test answers it here).
    std::function<void(TPgxLabelEditorForm &)> OnShow;

protected:
    TPgxCustomLabel *Label() const;
    // The form's fields from the printable, and back; false (and nothing written) when a size
    // cannot be read.
    virtual void FillForm(TPgxLabelEditorForm &f);
    virtual bool CheckForm(TPgxLabelEditorForm &f, QString &error);
    virtual void ReadForm(TPgxLabelEditorForm &f);
    virtual bool ExpressionForm() const { return false; }

    QString m_shownWidth, m_shownHeight;
};

class TPgxExprEditor : public TPgxLabelEditor
{
public:
    explicit TPgxExprEditor(TPgxPrintable *printable);

    QString GetPrintableClass() const override { return QStringLiteral("TPgxExpr"); }
    QString GetValue() const override;
    QString GetGlyphResName() const override { return QStringLiteral("PGXEXPR"); }
    QString GetControlName() const override { return QStringLiteral("Expression Control"); }
    void SetValue(const QString &value) override;

    // What the builder of "..." offers its data sets from: the object holding the report.
    const QObject *Form() const { return m_form; }

protected:
    TPgxExpr *Expr() const;
    void FillForm(TPgxLabelEditorForm &f) override;
    void ReadForm(TPgxLabelEditorForm &f) override;
    bool ExpressionForm() const override { return true; }

private:
    const QObject *m_form = nullptr;
};

// The editor a printable names through GetEditorClass, made for it; none when the class it
// names is the editor base, which edits nothing of its own.
std::unique_ptr<TPgxPrintableEditor> PgxCreatePrintableEditor(TPgxPrintable *printable);

} // namespace strandel
