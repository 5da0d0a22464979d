#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/forms/expbuilder.h"
#include "tests/report/designforms_testutil.h"

using namespace strandel;
using report::TPgxEvEnvironment;

namespace {

void SelectFunction(TPgxExpressionBuilder &b, const QString &name)
{
    b.FunctionClick();
    b.Categories->setCurrentRow(0);
    const auto found = b.AvailableFunc->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    b.AvailableFunc->setCurrentItem(found.first());
}

// Answers the next builder that opens (modal, or placed inside another one) with text and OK,
// or with Cancel when text is null.
void AnswerNextBuilder(QWidget *inside, const QString &text)
{
    QTimer::singleShot(50, [inside, text] {
        TPgxExpressionBuilder *b = nullptr;
        if (inside) {
            const auto nested = inside->findChildren<TPgxExpressionBuilder *>();
            b = nested.isEmpty() ? nullptr : nested.last();
        } else {
            b = qobject_cast<TPgxExpressionBuilder *>(QApplication::activeModalWidget());
        }
        ASSERT_NE(b, nullptr);
        if (text.isNull()) {
            b->CancelButton->click();
        } else {
            b->SetExpression(text);
            b->OKButton->click();
        }
    });
}

} // namespace

TEST(ExpressionBuilder, FunctionWithoutArgumentsInsertsItsName)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    SelectFunction(b, QStringLiteral("TIME"));
    EXPECT_EQ(b.FuncName->text(), QStringLiteral("TIME"));
    b.ContinueClick();
    EXPECT_EQ(b.CurrentPage(), TPgxExpressionBuilder::MainPage);
    EXPECT_EQ(b.Expression(), QStringLiteral("TIME"));
}

TEST(ExpressionBuilder, ArgumentsAreAskedOneEditEach)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    b.SetExpression(QStringLiteral("X"));
    SelectFunction(b, QStringLiteral("IF"));
    EXPECT_EQ(b.FuncName->text(), QStringLiteral("IF(<Exp>, <X>, <Y>)"));
    b.ContinueClick();
    ASSERT_EQ(b.CurrentPage(), TPgxExpressionBuilder::ArgumentPage);
    EXPECT_FALSE(b.ExpressionEdit->isEnabled()); // the main page waits
    const auto edits = b.ParamEdits();
    ASSERT_EQ(edits.size(), 3);
    const auto labels = b.FuncParamSB->widget()->findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("Argument 1 - logical value"));
    EXPECT_EQ(labels[2]->text(), QStringLiteral("Argument 3 - value"));
    edits[0]->setText(QStringLiteral("1>0"));
    edits[1]->setText(QStringLiteral("'a'"));
    edits[2]->setText(QStringLiteral("'b'"));
    b.ParamOK->click();
    EXPECT_EQ(b.CurrentPage(), TPgxExpressionBuilder::MainPage);
    EXPECT_TRUE(b.ExpressionEdit->isEnabled());
    EXPECT_EQ(b.Expression(), QStringLiteral("IF(1>0,'a','b')")); // replaced the selection
    EXPECT_EQ(b.FuncParamSB->widget(), nullptr);
}

TEST(ExpressionBuilder, CancelOnTheArgumentPageInsertsNothing)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    SelectFunction(b, QStringLiteral("IF"));
    b.ContinueClick();
    b.ParamEdits()[0]->setText(QStringLiteral("1"));
    b.ParamCancel->click();
    EXPECT_EQ(b.CurrentPage(), TPgxExpressionBuilder::MainPage);
    EXPECT_EQ(b.PageState(TPgxExpressionBuilder::ArgumentPage), TPgxExpressionBuilder::StateCancel);
    EXPECT_EQ(b.Expression(), QString());
}

TEST(ExpressionBuilder, CategoriesFilterBySignatureDigit)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    b.Categories->setCurrentRow(0);
    const int all = b.AvailableFunc->count();
    int sum = 0;
    for (int c = 1; c < b.Categories->count(); ++c) {
        b.Categories->setCurrentRow(c);
        sum += b.AvailableFunc->count();
    }
    EXPECT_GT(all, 0);
    EXPECT_EQ(sum, all); // every function sits in exactly one category
    b.Categories->setCurrentRow(1);
    EXPECT_FALSE(b.AvailableFunc->findItems(QStringLiteral("TIME"), Qt::MatchExactly).isEmpty());
    EXPECT_TRUE(b.AvailableFunc->findItems(QStringLiteral("IF"), Qt::MatchExactly).isEmpty());
}

TEST(ExpressionBuilder, OperatorsAndLineBreaks)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    b.SetExpression(QStringLiteral("1\n2"));
    QTextCursor c = b.ExpressionEdit->textCursor();
    c.setPosition(1);
    b.ExpressionEdit->setTextCursor(c);
    b.OperatorButtons[0]->click(); // "+"
    EXPECT_EQ(b.ExpressionEdit->toPlainText(), QStringLiteral("1 + \n2"));
    // A line break is a blank, so words on two lines stay two words.
    EXPECT_EQ(b.Expression(), QStringLiteral("1 +  2"));
    EXPECT_EQ(PgxOneLine(QStringLiteral("a\r\nand\rb\nc")), QStringLiteral("a and b c"));
}

TEST(ExpressionBuilder, ValidateShowsTheResultOrTheError)
{
    struct Case { const char *expression, *message; };
    const Case cases[] = {
        {"1+1", "There are no errors. The result is : 2"},
        {"1/0", "ERROR: Cannot divide by 0"},
        {"''", "There are no errors. The result is : "}, // an empty text is a valid result
        {"1=1", "There are no errors. The result is : True"},
        {"'a'+\n'b'", "There are no errors. The result is : ab"},
        {"NOSUCH", "ERROR: Unknown function : NOSUCH"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expression);
        MessageCatcher messages;
        TPgxExpressionBuilder b(nullptr, nullptr);
        b.SetExpression(QString::fromLatin1(c.expression));
        b.ValidateButton->click();
        EXPECT_EQ(messages.texts, QStringList{QString::fromLatin1(c.message)});
    }
}

TEST(ExpressionBuilder, ValidateReadsTheLocalEnvironmentAndLeavesItUnprepared)
{
    TPgxEvEnvironment env;
    env.AddFunction("RATE", "3*4");
    MessageCatcher messages;
    TPgxExpressionBuilder b(nullptr, &env);
    b.SetExpression(QStringLiteral("RATE+1"));
    EXPECT_EQ(b.Validate(), QStringLiteral("There are no errors. The result is : 13"));
    EXPECT_FALSE(env.Prepared());
}

TEST(ExpressionBuilder, DataFieldsOfTheFormsReports)
{
    QObject form;
    auto *report = new TCustomPagorra(&form);
    report::PgxMemoryDataSet orders("Orders");
    orders.AddField(report::PgxFieldDef("Amount", report::PgxFieldKind::Float));
    orders.AddField(report::PgxFieldDef("Customer"));
    report->RegisterDataSet(&orders);

    TPgxExpressionBuilder b(&form, nullptr);
    ASSERT_EQ(b.AvailableDatasets->count(), 1);
    EXPECT_EQ(b.AvailableDatasets->item(0)->text(), QStringLiteral("Orders"));
    b.DatabaseFieldClick();
    EXPECT_EQ(b.CurrentPage(), TPgxExpressionBuilder::DataFieldPage);
    ASSERT_EQ(b.AvailableFields->count(), 2);
    b.AvailableFields->setCurrentRow(1);
    b.DataOK->click();
    EXPECT_EQ(b.Expression(), QStringLiteral("Orders.Customer"));
    // Validate reads the listed data sets: the field is known (not "Unknown function").
    MessageCatcher messages;
    EXPECT_FALSE(b.Validate().contains(QStringLiteral("Unknown")));

    TPgxExpressionBuilder none(nullptr, nullptr);
    EXPECT_EQ(none.AvailableDatasets->count(), 0);
    none.DatabaseFieldClick();
    none.DataOK->click();
    EXPECT_EQ(none.Expression(), QString());
    EXPECT_EQ(none.CurrentPage(), TPgxExpressionBuilder::MainPage);
}

TEST(ExpressionBuilder, VariablesLocalThenGlobal)
{
    TPgxEvEnvironment env;
    env.AddFunction("Tax", "0.2");
    TPgxExpressionBuilder b(nullptr, &env);
    b.VariableClick();
    ASSERT_GE(b.AvailableVariables->count(), 4);
    EXPECT_EQ(b.AvailableVariables->item(0)->text(), QStringLiteral("TAX"));
    EXPECT_EQ(b.AvailableVariables->item(1)->text(), QStringLiteral("APPSTARTTIME"));
    EXPECT_EQ(b.VariableValue->text(), QStringLiteral("0.2"));
    b.VarOK->click();
    EXPECT_EQ(b.Expression(), QStringLiteral("TAX"));
}

TEST(ExpressionBuilder, GetExpressionGivesOneLineOnOkAndNothingOnCancel)
{
    QString e = QStringLiteral("old");
    AnswerNextBuilder(nullptr, QStringLiteral("1 +\n2"));
    EXPECT_TRUE(GetExpression(QString(), e, nullptr, nullptr, nullptr));
    EXPECT_EQ(e, QStringLiteral("1 + 2"));

    AnswerNextBuilder(nullptr, QString());
    EXPECT_FALSE(GetExpression(QStringLiteral("Heading"), e, nullptr, nullptr, nullptr));
    EXPECT_EQ(e, QString());
}

TEST(ExpressionBuilder, NestedBuilderFillsAnArgument)
{
    QWidget host;
    host.resize(500, 420);
    TPgxExpressionBuilder b(nullptr, nullptr, &host);
    SelectFunction(b, QStringLiteral("IF"));
    b.ContinueClick();
    b.ParamEdits()[1]->setText(QStringLiteral("x"));
    AnswerNextBuilder(&b, QStringLiteral("2*3"));
    b.ParamBuilderClick(1);
    EXPECT_EQ(b.ParamEdits()[1]->text(), QStringLiteral("2*3"));
    EXPECT_TRUE(b.findChildren<TPgxExpressionBuilder *>().isEmpty()); // the nested one is gone
}

// Each page shows what it is about: the expression on the main page, the chosen function with
// its description, then one field per argument.
TEST(ExpressionBuilder, Picture)
{
    TPgxExpressionBuilder b(nullptr, nullptr);
    const QImage empty = GrabForm(b, "expbuilder-empty");
    const QRect edit = RectInGrab(b, *b.ExpressionEdit->viewport());
    b.SetExpression(QStringLiteral("IF(PAGENUMBER > 1, 'More', 'First')"));
    const QImage main = GrabForm(b, "expbuilder-main");
    // The text, far more than the caret an empty edit shows.
    EXPECT_GT(InkIn(main, edit), InkIn(empty, edit) + 100);

    SelectFunction(b, QStringLiteral("IF"));
    const QImage function = GrabForm(b, "expbuilder-function");
    ASSERT_EQ(b.CurrentPage(), TPgxExpressionBuilder::FunctionPage);
    EXPECT_GT(InkIn(function, RectInGrab(b, *b.FuncName)), 0);
    EXPECT_GT(InkIn(function, RectInGrab(b, *b.FuncDescription)), 0);

    b.ContinueClick();
    const QImage arguments = GrabForm(b, "expbuilder-arguments");
    ASSERT_EQ(b.CurrentPage(), TPgxExpressionBuilder::ArgumentPage);
    EXPECT_GT(InkIn(arguments, RectInGrab(b, *b.ParamFuncName)), 0);
    ASSERT_EQ(b.ParamEdits().size(), 3);
    for (QLineEdit *e : b.ParamEdits()) {
        EXPECT_TRUE(e->isVisible());
        EXPECT_TRUE(b.rect().contains(RectInGrab(b, *e)));
    }
    b.ParamCancel->click();
}
