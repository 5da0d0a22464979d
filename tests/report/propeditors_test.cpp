#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/forms/expbuilder.h"
#include "report/forms/propeditors.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_shape.h"
#include "report/printables/printables_text.h"
#include "tests/report/designforms_testutil.h"

using namespace strandel;

namespace {

struct LabelFixture : ::testing::Test {
    TCustomPagorra report;
    TPgxCustomBand *band = nullptr;
    TPgxLabel *label = nullptr;
    void SetUp() override
    {
        report.SetUnits(TPgxUnit::MM);
        band = report.CreateBand(TPgxBandType::rbDetail);
        label = band->AddPrintable<TPgxLabel>();
        label->SetCaption(QStringLiteral("Total"));
        label->Width = 123.4; // tenths of a millimetre: shown as 12.34 mm
        label->Height = 50;
        label->SetAutoSize(false);
        label->SetAutoStretch(true);
        label->Transparent = false;
    }
};

} // namespace

// A printable names its editor class and the editor is made from that name: the label and
// the expression printables (and their kinds) have one, the others none.
TEST(PrintableEditors, AreFoundThroughThePrintablesEditorClass)
{
    TPgxLabel label;
    TPgxExpr expr;
    TPgxDBCalc calc;
    TPgxMemo memo;
    TPgxSysData sysData;
    TPgxShape shape;
    const struct {
        TPgxPrintable *printable;
        const char *editorClass, *printableClass, *glyph, *control;
    } cases[] = {
        {&label, "TPgxLabelEditor", "TPgxLabel", "PGXLABEL", "Text Control"},
        {&expr, "TPgxExprEditor", "TPgxExpr", "PGXEXPR", "Expression Control"},
        {&calc, "TPgxExprEditor", "TPgxExpr", "PGXEXPR", "Expression Control"},
        {&memo, "TPgxPrintableEditor", nullptr, nullptr, nullptr},
        {&sysData, "TPgxPrintableEditor", nullptr, nullptr, nullptr},
        {&shape, "TPgxPrintableEditor", nullptr, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.printable->GetEditorClass(), QLatin1String(c.editorClass));
        std::unique_ptr<TPgxPrintableEditor> editor = PgxCreatePrintableEditor(c.printable);
        if (!c.printableClass) {
            EXPECT_EQ(editor, nullptr) << c.editorClass;
            continue;
        }
        ASSERT_NE(editor, nullptr) << c.editorClass;
        EXPECT_EQ(editor->Printable(), c.printable);
        EXPECT_EQ(editor->GetPrintableClass(), QLatin1String(c.printableClass));
        EXPECT_EQ(editor->GetGlyphResName(), QLatin1String(c.glyph));
        EXPECT_EQ(editor->GetControlName(), QLatin1String(c.control));
    }
    // What the editors set reaches their printables.
    PgxCreatePrintableEditor(&expr)->SetValue(QStringLiteral("1+2"));
    EXPECT_EQ(expr.Expression(), "1+2");
    std::unique_ptr<TPgxPrintableEditor> le = PgxCreatePrintableEditor(&label);
    le->SetValue(QStringLiteral("Total"));
    le->SetAlignment(TPgxAlignment::taCenter);
    EXPECT_EQ(label.Caption(), QStringLiteral("Total"));
    EXPECT_EQ(le->GetAlignment(), TPgxAlignment::taCenter);
    EXPECT_EQ(PgxCreatePrintableEditor(nullptr), nullptr);
}

TEST_F(LabelFixture, CancelChangesNothing)
{
    TPgxLabelEditor editor(label);
    editor.OnShow = [](TPgxLabelEditorForm &f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Text Settings"));
        EXPECT_EQ(f.Value->text(), QStringLiteral("Total"));
        EXPECT_EQ(f.Width->text(), QStringLiteral("12.34"));
        EXPECT_EQ(f.Height->text(), QStringLiteral("5"));
        EXPECT_FALSE(f.Autosize->isChecked());
        EXPECT_TRUE(f.Stretch->isChecked());
        f.Value->setText(QStringLiteral("Other"));
        f.Transparent->setChecked(true);
        QTimer::singleShot(0, &f, [&f] { f.Cancel->click(); });
    };
    EXPECT_FALSE(editor.ShowEditor());
    EXPECT_EQ(label->Caption(), QStringLiteral("Total"));
    EXPECT_FALSE(label->Transparent);
}

TEST_F(LabelFixture, OkWithNothingChangedWritesTheSameValues)
{
    TPgxLabelEditor editor(label);
    editor.OnShow = [](TPgxLabelEditorForm &f) { QTimer::singleShot(0, &f, [&f] { f.OK->click(); }); };
    EXPECT_TRUE(editor.ShowEditor());
    EXPECT_EQ(label->Caption(), QStringLiteral("Total"));
    EXPECT_DOUBLE_EQ(label->Width, 123.4);
    EXPECT_DOUBLE_EQ(label->Height, 50);
    EXPECT_FALSE(label->AutoSize());
    EXPECT_TRUE(label->AutoStretch());
    EXPECT_FALSE(label->Transparent);
}

TEST_F(LabelFixture, OkWritesTheFieldsInTheReportsUnit)
{
    TPgxLabelEditor editor(label);
    editor.OnShow = [](TPgxLabelEditorForm &f) {
        f.Value->setText(QStringLiteral("Grand total"));
        f.Width->setText(QStringLiteral("30"));
        f.Autosize->setChecked(true);
        f.Transparent->setChecked(true);
        QTimer::singleShot(0, &f, [&f] { f.OK->click(); });
    };
    EXPECT_TRUE(editor.ShowEditor());
    EXPECT_EQ(label->Caption(), QStringLiteral("Grand total"));
    EXPECT_DOUBLE_EQ(label->Width, 300);
    EXPECT_DOUBLE_EQ(label->Height, 50);
    EXPECT_TRUE(label->AutoSize());
    EXPECT_TRUE(label->Transparent);
}

TEST_F(LabelFixture, AnUnreadableSizeWritesNothing)
{
    MessageCatcher messages;
    TPgxLabelEditor editor(label);
    bool stillOpen = false;
    editor.OnShow = [&stillOpen](TPgxLabelEditorForm &f) {
        f.Value->setText(QStringLiteral("Changed"));
        f.Height->setText(QStringLiteral("abc"));
        QTimer::singleShot(0, &f, [&f, &stillOpen] {
            f.OK->click();
            stillOpen = f.isVisible();
            f.Cancel->click();
        });
    };
    EXPECT_FALSE(editor.ShowEditor());
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains(QStringLiteral("abc")));
    EXPECT_EQ(label->Caption(), QStringLiteral("Total"));
}

TEST(PrintableEditors, ExpressionEditorSetsExpressionAndMask)
{
    QObject form;
    auto *report = new TCustomPagorra(&form);
    report::PgxMemoryDataSet ds("Sales");
    ds.AddField(report::PgxFieldDef("Amount", report::PgxFieldKind::Float));
    report->RegisterDataSet(&ds);
    TPgxExpr *e = report->CreateBand(TPgxBandType::rbDetail)->AddPrintable<TPgxExpr>();
    e->SetExpression("Sales.Amount");
    e->SetMask("#,##0.00");
    std::unique_ptr<TPgxPrintableEditor> found = PgxCreatePrintableEditor(e);
    auto *exprEditor = dynamic_cast<TPgxExprEditor *>(found.get());
    ASSERT_NE(exprEditor, nullptr);
    TPgxExprEditor &editor = *exprEditor;
    EXPECT_EQ(editor.Form(), &form);
    int offered = -1;
    editor.OnShow = [&offered](TPgxLabelEditorForm &f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Expression settings"));
        EXPECT_EQ(f.Value->text(), QStringLiteral("Sales.Amount"));
        EXPECT_EQ(f.Mask->currentText(), QStringLiteral("#,##0.00"));
        f.Mask->setEditText(QStringLiteral("0.0"));
        QTimer::singleShot(0, &f, [&f, &offered] {
            QTimer::singleShot(50, [&offered] {
                auto *b = qobject_cast<TPgxExpressionBuilder *>(QApplication::activeModalWidget());
                ASSERT_NE(b, nullptr);
                offered = b->AvailableDatasets->count();
                b->SetExpression(QStringLiteral("Sales.Amount * 2"));
                b->OKButton->click();
            });
            f.ShowExprBuilder->click();
            f.OK->click();
        });
    };
    EXPECT_TRUE(editor.ShowEditor());
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(e->Expression(), "Sales.Amount * 2");
    EXPECT_EQ(e->Mask(), "0.0");
}

TEST(PrintableEditors, ExpressionOnNoFormOffersNoDataSets)
{
    TCustomPagorra report; // lies on no form
    report::PgxMemoryDataSet ds("Sales");
    report.RegisterDataSet(&ds);
    TPgxExpr *e = report.CreateBand(TPgxBandType::rbDetail)->AddPrintable<TPgxExpr>();
    TPgxExprEditor editor(e);
    EXPECT_EQ(editor.Form(), nullptr);
    int offered = -1;
    editor.OnShow = [&offered](TPgxLabelEditorForm &f) {
        QTimer::singleShot(0, &f, [&f, &offered] {
            QTimer::singleShot(50, [&offered] {
                auto *b = qobject_cast<TPgxExpressionBuilder *>(QApplication::activeModalWidget());
                ASSERT_NE(b, nullptr);
                offered = b->AvailableDatasets->count();
                b->CancelButton->click();
            });
            f.ShowExprBuilder->click();
            GrabForm(f, "expreditor");
            f.Cancel->click();
        });
    };
    EXPECT_FALSE(editor.ShowEditor());
    EXPECT_EQ(offered, 0);
}
