#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "report/bands/pagorra.h"
#include "report/bands/pagorrabands.h"
#include "report/forms/compedform.h"
#include "report/forms/pgxmessage.h"
#include "tests/report/designforms_testutil.h"

using namespace strandel;

namespace {

struct CompEdFixture : ::testing::Test {
    TCustomPagorra report;
    MessageCatcher messages;
    TPgxCompEd form;

    void SetUp() override
    {
        report.Page.SetPaperSize(TPgxPaperSize::A4);
        report.Page.SetUnits(TPgxUnit::MM);
        form.SetPagorra(&report);
    }
    // Types into a field as a user does: focus entry, the text, focus exit.
    void Type(QLineEdit *field, const QString &text)
    {
        form.PageWidthEnter(field);
        field->setText(text);
        form.PageWidthExit(field);
    }
};

} // namespace

TEST_F(CompEdFixture, ShowsTheReportAndItsBands)
{
    TPagorraBands(&report).SetHasTitle(true);
    report.BandOfType(TPgxBandType::rbTitle)->SetHeight(125); // tenths of a millimetre
    form.GetValues();
    EXPECT_EQ(form.PaperSize->currentText(), PgxPaperName(TPgxPaperSize::A4));
    EXPECT_EQ(form.PageWidth->text(), QStringLiteral("210.00"));
    EXPECT_EQ(form.PageLength->text(), QStringLiteral("297.00"));
    EXPECT_EQ(form.Topmargin->text(), QStringLiteral("10.00"));
    EXPECT_EQ(form.Columns->text(), QStringLiteral("1"));
    EXPECT_EQ(form.Units->currentText(), QStringLiteral("MM"));
    EXPECT_TRUE(form.Title->isChecked());
    EXPECT_EQ(form.TitleLength->text(), QStringLiteral("12.50"));
    EXPECT_FALSE(form.Summary->isChecked());
    EXPECT_EQ(form.FontSize->count(), 16);
    EXPECT_EQ(form.FontSize->itemText(15), QStringLiteral("72"));
    EXPECT_EQ(form.FontSize->currentText(), QStringLiteral("10"));
}

TEST_F(CompEdFixture, MeasureFieldLimit)
{
    struct Case { const char *typed; const char *shown; bool tooBig; };
    const Case cases[] = {
        {"1000", "1000.00", false},
        {"1000.5", "20.00", true},
        {"7.5", "7.50", false},
        {"0", "0.00", false},
        {"", "", false},          // an empty field is left alone
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        form.LeftMargin->setText(QStringLiteral("20.00"));
        messages.texts.clear();
        Type(form.LeftMargin, QString::fromLatin1(c.typed));
        EXPECT_EQ(form.LeftMargin->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(messages.texts, c.tooBig ? QStringList{QStringLiteral("Value too big")} : QStringList{});
    }
}

TEST_F(CompEdFixture, EachFieldRestoresItsOwnEntryText)
{
    form.PageWidthEnter(form.Topmargin); // Top: "10.00"
    form.PageWidthEnter(form.RightMargin);
    form.RightMargin->setText(QStringLiteral("33"));
    form.PageWidthExit(form.RightMargin);
    form.Topmargin->setText(QStringLiteral("5000"));
    form.PageWidthExit(form.Topmargin);
    EXPECT_EQ(form.Topmargin->text(), QStringLiteral("10.00"));
    EXPECT_EQ(form.RightMargin->text(), QStringLiteral("33.00"));
}

TEST_F(CompEdFixture, UnreadableFieldIsRestoredWithAMessage)
{
    Type(form.BottomMargin, QStringLiteral("1.2.3"));
    EXPECT_EQ(form.BottomMargin->text(), QStringLiteral("10.00"));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("Conversion error")));
}

TEST_F(CompEdFixture, KeysAreFiltered)
{
    form.show();
    for (QLineEdit *e : {form.LeftMargin, form.Columns, form.PageFramePenWidth, form.FontSize->lineEdit()}) {
        SCOPED_TRACE(e->objectName().toStdString());
        e->clear();
        QTest::keyClicks(e, QStringLiteral("a1-2x.5 e"));
        EXPECT_EQ(e->text(), QStringLiteral("12.5"));
        QTest::keyClick(e, Qt::Key_Backspace);
        EXPECT_EQ(e->text(), QStringLiteral("12."));
    }
}

TEST_F(CompEdFixture, EscapeInAFieldStillCancels)
{
    form.show();
    form.LeftMargin->setFocus();
    QTest::keyClick(form.LeftMargin, Qt::Key_Escape);
    EXPECT_EQ(form.result(), PgxMrCancel);
}

TEST_F(CompEdFixture, EnterFormatsAMeasureButLeavesAnIntegerAlone)
{
    form.show();
    form.LeftMargin->clear();
    QTest::keyClicks(form.LeftMargin, QStringLiteral("12"));
    QTest::keyClick(form.LeftMargin, Qt::Key_Return);
    EXPECT_EQ(form.LeftMargin->text(), QStringLiteral("12.00"));
    for (QLineEdit *e : {form.Columns, form.PageFramePenWidth, form.FontSize->lineEdit()}) {
        e->clear();
        QTest::keyClicks(e, QStringLiteral("3"));
        QTest::keyClick(e, Qt::Key_Return);
        EXPECT_EQ(e->text(), QStringLiteral("3"));
    }
    EXPECT_TRUE(form.isVisible()); // Enter in a field does not press OK
    ASSERT_TRUE(form.SetValues());
    EXPECT_EQ(report.Page.Columns(), 3);
    EXPECT_EQ(report.Frame().Width(), 3);
    EXPECT_EQ(report.Font.pointSize(), 3);
}

TEST_F(CompEdFixture, CustomSizeAppliesWidthAndLengthA4DoesNot)
{
    form.PageWidth->setText(QStringLiteral("150"));
    form.PageLength->setText(QStringLiteral("250"));
    form.OK1Click();
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::Width), 210);
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::Length), 297);
    EXPECT_EQ(form.result(), PgxMrOk);

    form.PaperSize->setCurrentText(QStringLiteral("Custom Size"));
    ASSERT_EQ(form.PaperSize->currentText(), QStringLiteral("Custom Size"));
    form.PageWidth->setText(QStringLiteral("150"));
    form.PageLength->setText(QStringLiteral("250"));
    form.Apply1Click();
    EXPECT_EQ(report.Page.GetPaperSize(), TPgxPaperSize::Custom);
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::Width), 150);
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::Length), 250);
}

TEST_F(CompEdFixture, DownButtonsStopAtTheirMinimum)
{
    struct Case { QToolButton *up, *down; QLineEdit *field; const char *min; };
    const Case cases[] = {{form.SpeedButton1, form.SpeedButton2, form.Columns, "1"},
                          {form.SpeedButton3, form.SpeedButton4, form.PageFramePenWidth, "0"}};
    for (const Case &c : cases) {
        c.field->setText(QString::fromLatin1(c.min));
        c.down->click();
        EXPECT_EQ(c.field->text(), QString::fromLatin1(c.min));
        c.up->click();
        c.up->click();
        c.down->click();
        EXPECT_EQ(c.field->text(), QString::number(QString::fromLatin1(c.min).toInt() + 1));
    }
}

TEST_F(CompEdFixture, UnitsChangeWithMarginsInOneApply)
{
    form.LeftMargin->setText(QStringLiteral("25.4"));
    form.Units->setCurrentText(QStringLiteral("Inches"));
    form.Apply1Click();
    EXPECT_EQ(report.Units(), TPgxUnit::Inches);
    EXPECT_DOUBLE_EQ(report.Page.Stored(TPgxPage::LeftMargin), 254); // read in millimetres
    EXPECT_EQ(form.LeftMargin->text(), QStringLiteral("1.00"));   // shown in inches after
    EXPECT_EQ(form.PageWidth->text(), QStringLiteral("8.27"));
}

TEST_F(CompEdFixture, ApplyChecksEveryFieldBeforeWritingAny)
{
    TPagorraBands(&report).SetHasSummary(true);
    form.GetValues();
    form.LeftMargin->setText(QStringLiteral("30"));
    form.Title->setChecked(true);
    form.OrientationCB->setCurrentIndex(1);
    form.SummaryLength->setText(QStringLiteral("1.2.3")); // read last
    form.OK1Click();
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains(QStringLiteral("1.2.3")));
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::LeftMargin), 10);
    EXPECT_EQ(report.Page.Orientation(), TPgxOrientation::Portrait);
    EXPECT_FALSE(TPagorraBands(&report).HasTitle());
    EXPECT_NE(form.result(), PgxMrOk); // still open
}

TEST_F(CompEdFixture, ApplyKeepsTheOptionsItDoesNotShow)
{
    report.Options = FirstPageHeader | LastPageFooter | Compression;
    form.GetValues();
    form.FirstPageHeader->setChecked(false);
    form.Apply1Click();
    EXPECT_EQ(report.Options, LastPageFooter | Compression);
}

TEST_F(CompEdFixture, BandsFollowTheirCheckBoxes)
{
    TPagorraBands bands(&report);
    bands.SetHasDetail(true);
    bands.SetHasPageFooter(true);
    report.BandOfType(TPgxBandType::rbDetail)->SetHeight(80);
    form.GetValues();
    form.DetailLength->clear();                       // ticked, empty: keeps its height
    form.PageFooter->setChecked(false);               // removed, whatever its field says
    form.PageFooterLength->setText(QStringLiteral("x"));
    form.Summary->setChecked(true);
    form.SummaryLength->setText(QStringLiteral("15"));
    form.Apply1Click();
    EXPECT_TRUE(messages.texts.isEmpty());
    ASSERT_TRUE(bands.HasDetail());
    EXPECT_DOUBLE_EQ(report.BandOfType(TPgxBandType::rbDetail)->Height(), 80);
    EXPECT_FALSE(bands.HasPageFooter());
    ASSERT_TRUE(bands.HasSummary());
    EXPECT_DOUBLE_EQ(report.BandOfType(TPgxBandType::rbSummary)->Height(), 150);
    EXPECT_EQ(form.DetailLength->text(), QStringLiteral("8.00"));
}

TEST_F(CompEdFixture, FrameAndFontReachTheReport)
{
    form.PageFrameTop->setChecked(true);
    form.PageFrameRight->setChecked(true);
    form.SetSwatchColor(QColor(0x12, 0x34, 0x56));
    form.PageFramePenWidth->setText(QStringLiteral("2"));
    form.FontSize->setEditText(QStringLiteral("13")); // not one of the listed sizes
    form.Apply1Click();
    EXPECT_TRUE(report.Frame().DrawTop());
    EXPECT_FALSE(report.Frame().DrawBottom());
    EXPECT_TRUE(report.Frame().DrawRight());
    EXPECT_EQ(report.Frame().Color(), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(report.Frame().Width(), 2);
    EXPECT_EQ(report.Font.pointSize(), 13);
    EXPECT_EQ(form.FontSize->currentText(), QStringLiteral("13"));
}

TEST_F(CompEdFixture, AFontThisMachineLacksShowsWhatItPrintsInAndKeepsItsName)
{
    ASSERT_GT(form.FontName->count(), 1);
    report.Font.setFamily(QStringLiteral("No Such Family Anywhere"));
    form.GetValues();
    EXPECT_GE(form.FontName->currentIndex(), 0); // not an empty box
    EXPECT_TRUE(form.FontName->currentText().startsWith(QFontInfo(report.Font).family()))
        << form.FontName->currentText().toStdString();
    form.Apply1Click();
    EXPECT_EQ(report.Font.family(), QStringLiteral("No Such Family Anywhere"));

    // A font picked from the list is taken, and then shown as itself.
    const int other = form.FontName->currentIndex() == 0 ? 1 : 0;
    form.FontName->setCurrentIndex(other);
    form.Apply1Click();
    EXPECT_EQ(report.Font.family(), form.FontName->itemText(other));
    form.GetValues();
    EXPECT_EQ(form.FontName->currentIndex(), other);
}

TEST_F(CompEdFixture, CancelAndCloseWriteNothing)
{
    form.LeftMargin->setText(QStringLiteral("44"));
    form.Cancel1->click();
    EXPECT_EQ(form.result(), PgxMrCancel);
    form.reject();
    EXPECT_EQ(form.result(), PgxMrCancel);
    EXPECT_DOUBLE_EQ(report.Page.GetValue(TPgxPage::LeftMargin), 10);
}

TEST(TPagorraBands, SwitchesCreateAndFreeBands)
{
    TCustomPagorra report;
    TPagorraBands bands(&report);
    EXPECT_FALSE(bands.HasSummary());
    bands.SetHasSummary(true);
    TPgxCustomBand *s = report.BandOfType(TPgxBandType::rbSummary);
    ASSERT_NE(s, nullptr);
    bands.SetHasSummary(true); // the current state: nothing
    EXPECT_EQ(report.BandOfType(TPgxBandType::rbSummary), s);
    EXPECT_EQ(report.AllBands().size(), 1u);
    bands.SetHasSummary(false);
    EXPECT_EQ(report.AllBands().size(), 0u);
    EXPECT_EQ(bands.GetBand(5), nullptr);
    bands.SetHasBand(5, true);
    EXPECT_EQ(report.AllBands().size(), 0u);
}

TEST_F(CompEdFixture, Picture)
{
    TPagorraBands(&report).SetHasDetail(true);
    form.GetValues();
    const QImage img = GrabForm(form, "compedform");
    EXPECT_GE(img.width(), 459);
    EXPECT_GE(img.height(), 477);
    // Every control lies inside the form.
    for (QWidget *w : form.findChildren<QWidget *>()) {
        if (w->isVisible()) {
            EXPECT_TRUE(form.rect().contains(QRect(w->mapTo(&form, QPoint(0, 0)), w->size())))
                << w->objectName().toStdString();
        }
    }
}
