#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>

#include "report/expr/environment.h"
#include "report/forms/envedit.h"
#include "report/forms/expbuilder.h"
#include "tests/report/designforms_testutil.h"

using namespace strandel;
using report::TPgxEvEnvironment;

namespace {

QStringList Column(const QTableWidget &g, int c)
{
    QStringList out;
    for (int r = 0; r < g.rowCount(); ++r)
        out << g.item(r, c)->text();
    return out;
}

} // namespace

TEST(EnvironmentEditor, ShowsTheLocalList)
{
    TPgxEvEnvironment env;
    env.AddFunction("pagenumber", "0");
    env.AddFunction("TITLE", "'Sales'");
    TPgxEnvironmentEditor d(&env, true);
    EXPECT_TRUE(d.LocalCB->isChecked());
    EXPECT_EQ(d.UDFGrid->horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
    EXPECT_EQ(d.UDFGrid->horizontalHeaderItem(1)->text(), QStringLiteral("Expression"));
    EXPECT_EQ(Column(*d.UDFGrid, 0), (QStringList{QStringLiteral("PAGENUMBER"), QStringLiteral("TITLE")}));
    EXPECT_EQ(Column(*d.UDFGrid, 1), (QStringList{QStringLiteral("0"), QStringLiteral("'Sales'")}));

    d.GlobalCB->click();
    EXPECT_EQ(d.WorkEnvironment(), &report::PgxGlobalEnvironment());
    EXPECT_TRUE(Column(*d.UDFGrid, 0).contains(QStringLiteral("APPNAME")));
}

TEST(EnvironmentEditor, WithoutALocalListOnlyTheGlobalOne)
{
    TPgxEnvironmentEditor d(nullptr, true);
    EXPECT_FALSE(d.LocalCB->isEnabled());
    EXPECT_TRUE(d.GlobalCB->isChecked());
    EXPECT_EQ(d.UDFGrid->rowCount(), report::PgxGlobalEnvironment().Count());

    TPgxEvEnvironment env;
    TPgxEnvironmentEditor local(&env, false);
    EXPECT_FALSE(local.GlobalCB->isEnabled());
    EXPECT_TRUE(local.LocalCB->isChecked());
}

TEST(EnvironmentEditor, EditingCellsChangesTheEntries)
{
    TPgxEvEnvironment env;
    env.AddFunction("A", "1");
    env.AddFunction("B", "2");
    TPgxEnvironmentEditor d(&env, true);
    d.UDFGrid->item(0, 0)->setText(QStringLiteral("total"));
    EXPECT_EQ(env.Name(0), "TOTAL");
    EXPECT_EQ(d.UDFGrid->item(0, 0)->text(), QStringLiteral("TOTAL"));
    d.UDFGrid->item(1, 0)->setText(QStringLiteral("Total")); // would hide one of the two
    EXPECT_EQ(env.Name(1), "B");
    EXPECT_EQ(d.UDFGrid->item(1, 0)->text(), QStringLiteral("B"));

    d.UDFGrid->item(1, 1)->setText(QStringLiteral("TOTAL*10"));
    env.Prepare();
    EXPECT_EQ(env.Value("B").IntResult, 10);
    d.UDFGrid->item(1, 1)->setText(QStringLiteral("99")); // prepared: the cell comes back
    EXPECT_EQ(env.Expression(1), "TOTAL*10");
    EXPECT_EQ(d.UDFGrid->item(1, 1)->text(), QStringLiteral("TOTAL*10"));
    env.Unprepare();
}

TEST(EnvironmentEditor, AddAndDelete)
{
    TPgxEvEnvironment env;
    TPgxEnvironmentEditor d(&env, true);
    d.show();
    d.AddButton->click();
    EXPECT_TRUE(d.NewEntryGroup->isVisible());
    EXPECT_FALSE(d.AddButton->isVisible());
    EXPECT_FALSE(d.CloseButton->isVisible());
    d.Name->setText(QStringLiteral("rate"));
    d.Expression->setText(QStringLiteral("0.5"));
    d.NewOK->click();
    EXPECT_FALSE(d.NewEntryGroup->isVisible());
    EXPECT_TRUE(d.AddButton->isVisible());
    ASSERT_EQ(env.Count(), 1);
    EXPECT_EQ(env.Name(0), "RATE");
    EXPECT_EQ(d.UDFGrid->rowCount(), 1);

    d.AddButton->click();
    d.Name->setText(QStringLiteral("other"));
    d.NewCancel->click();
    d.AddButton->click();
    d.Name->clear(); // a nameless entry is not added
    d.NewOK->click();
    EXPECT_EQ(env.Count(), 1);

    d.UDFGrid->setCurrentCell(0, 0);
    d.DeleteButton->click();
    EXPECT_EQ(env.Count(), 0);
    EXPECT_EQ(d.UDFGrid->rowCount(), 0);
}

TEST(EnvironmentEditor, EditOpensTheBuilderOnTheRow)
{
    TPgxEvEnvironment env;
    env.AddFunction("A", "1");
    TPgxEnvironmentEditor d(&env, true);
    d.UDFGrid->setCurrentCell(0, 1);
    QString heading;
    QTimer::singleShot(50, [&heading] {
        auto *b = qobject_cast<TPgxExpressionBuilder *>(QApplication::activeModalWidget());
        ASSERT_NE(b, nullptr);
        heading = b->HeadingLabel->text();
        b->SetExpression(QStringLiteral("1 +\n1"));
        b->OKButton->click();
    });
    d.EditClick();
    EXPECT_EQ(heading, QStringLiteral("A"));
    EXPECT_EQ(env.Expression(0), "1 + 1");
    env.Prepare();
    EXPECT_EQ(env.Value("A").IntResult, 2);
    env.Unprepare();
}

// The window shows a row for every variable, name and expression, and nothing below them;
// Add brings up the new entry's fields in place of the buttons.
TEST(EnvironmentEditor, Picture)
{
    TPgxEvEnvironment env;
    env.AddFunction("PAGENUMBER", "0");
    env.AddFunction("REPORTTITLE", "'Monthly sales'");
    TPgxEnvironmentEditor d(&env, true);
    const QImage img = GrabForm(d, "envedit");
    QTableWidget &grid = *d.UDFGrid;
    ASSERT_EQ(grid.rowCount(), 2);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col) {
            const QRect cell = RectInGrab(d, *grid.viewport(), grid.visualItemRect(grid.item(row, col)));
            EXPECT_GT(InkIn(img, cell), 0) << row << "," << col;
        }
    EXPECT_EQ(grid.item(1, 0)->text(), QStringLiteral("REPORTTITLE"));
    EXPECT_EQ(grid.item(1, 1)->text(), QStringLiteral("'Monthly sales'"));
    const QRect last = grid.visualItemRect(grid.item(1, 1));
    const QRect below(0, last.bottom() + 2, grid.viewport()->width(), grid.viewport()->height() - last.bottom() - 2);
    ASSERT_GT(below.height(), 20);
    EXPECT_EQ(InkIn(img, RectInGrab(d, *grid.viewport(), below)), 0);

    d.AddButton->click();
    const QImage adding = GrabForm(d, "envedit-add");
    ASSERT_TRUE(d.NewEntryGroup->isVisible());
    EXPECT_GT(InkIn(adding, RectInGrab(d, *d.NewEntryGroup)), 0);
    EXPECT_GT(InkIn(adding, RectInGrab(d, *d.NewOK)), 0);
    EXPECT_FALSE(d.AddButton->isVisible());
}
