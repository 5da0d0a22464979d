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

TEST(PrintableEditors, NameTheirPrintables)
{
    TPgxLabel l;
    TPgxExpr e;
    TPgxLabelEditor le(&l);
    TPgxExprEditor ee(&e);
    EXPECT_EQ(le.GetPrintableClass(), QStringLiteral("TPgxLabel"));
    EXPECT_EQ(le.GetGlyphResName(), QStringLiteral("PGXLABEL"));
    EXPECT_EQ(le.GetControlName(), QStringLiteral("Text Control"));
    EXPECT_EQ(ee.GetPrintableClass(), QStringLiteral("TPgxExpr"));
    EXPECT_EQ(ee.GetGlyphResName(), QStringLiteral("PGXEXPR"));
    EXPECT_EQ(ee.GetControlName(), QStringLiteral("Expression Control"));
    ee.SetValue(QStringLiteral("1+2"));
    EXPECT_EQ(e.Expression(), "1+2");
    le.SetAlignment(TPgxAlignment::taCenter);
    EXPECT_EQ(le.GetAlignment(), TPgxAlignment::taCenter);
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
    TPgxExprEditor editor(e);
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
