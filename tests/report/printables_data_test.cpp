#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>

#include "printables_fixture.h"
#include "report/bands/controllerband.h"
#include "report/base/format.h"
#include "report/output/printer.h"
#include "report/printables/printables_data.h"

using namespace strandel;
using namespace strandel::test;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

QStringList PageTexts(TPgxPrinter &p)
{
    QStringList out;
    for (int n = 1; n <= p.PageCount(); ++n)
        for (const DrawOp &o : RecordPage(p, n).Of("Text"))
            out << o.text;
    return out;
}

// A report over groups G with values N: A 1, A 2, B 3, B 4, B 5.
struct GroupReport {
    TPagorra rep;
    PgxMemoryDataSet ds{"T"};
    TPgxCustomBand *detail, *footer, *summary;
    TPgxGroup *group;

    GroupReport()
    {
        ds.AddField({"G", PgxFieldKind::String});
        ds.AddField({"N", PgxFieldKind::Integer});
        const char *groups = "AABBB";
        for (int i = 0; i < 5; ++i)
            ds.AppendRecord({QString(QChar(groups[i])), i + 1});
        ds.Open();
        rep.SetDataSet(&ds);
        detail = rep.CreateBand(TPgxBandType::rbDetail);
        group = rep.CreateGroup();
        group->Expression = "G";
        footer = rep.CreateBand(TPgxBandType::rbGroupFooter);
        group->SetFooterBand(footer);
        summary = rep.CreateBand(TPgxBandType::rbSummary);
        for (TPgxCustomBand *b : {static_cast<TPgxCustomBand *>(group), detail, footer, summary})
            b->SetHeight(60);
    }

    template <class T> T *Add(TPgxCustomBand *b, const std::string &expr = {})
    {
        T *p = b->AddPrintable<T>();
        p->SetAutoSize(true);
        p->Top = 0;
        if constexpr (std::is_base_of_v<TPgxExpr, T>)
            p->SetExpression(expr);
        return p;
    }
};

} // namespace

TEST(DataPrintables, FieldTextWithMasks)
{
    PgxMemoryDataSet ds("D");
    ds.AddField({"F", PgxFieldKind::Float});
    ds.AddField({"S", PgxFieldKind::String});
    ds.AddField({"I", PgxFieldKind::Integer});
    ds.AddField({"D", PgxFieldKind::DateTime});
    ds.AddField({"C", PgxFieldKind::Currency});
    ds.AppendRecord({2.5, "2.5 as text", 1234567, QDateTime(QDate(2024, 3, 9), QTime(14, 5)), 3.14159});
    ds.AppendRecord({}); // nulls
    ds.Open();
    struct Case {
        std::string field, mask;
        QString first, null;
    };
    const Case cases[] = {
        {"F", "0.00", "2.50", ""},
        {"F", "", "2.5", ""},
        {"S", "0.00", "2.5 as text", ""}, // a mask leaves a string as displayed
        {"I", "#,##0", "1,234,567", ""},  // a null number prints nothing, not a formatted zero
        {"D", "yyyy-mm-dd hh:nn", "2024-03-09 14:05", ""},
        {"C", "0.0", "3.1", ""},
        {"I", "'open", "1234567", ""},    // a mask that cannot format prints the plain number
        {"Missing", "", "", ""},
    };
    for (const Case &c : cases) {
        TPgxDBText t;
        t.SetDataSet(&ds);
        t.SetDataField(c.field);
        t.Mask = c.mask;
        EXPECT_EQ(t.Caption(), QString::fromStdString(c.field));
        t.Prepare();
        ds.First();
        EXPECT_EQ(t.FieldText(), c.first) << c.field << " " << c.mask;
        ds.Next();
        EXPECT_EQ(t.FieldText(), c.null) << c.field << " " << c.mask;
        t.UnPrepare();
        EXPECT_EQ(t.Field(), nullptr);
    }
}

TEST(DataPrintables, DataTextAndMemoFieldsPrintPerRecord)
{
    OneBandReport r(0, 200);
    PgxMemoryDataSet ds("M");
    ds.AddField({"Name", PgxFieldKind::String});
    ds.AddField({"Notes", PgxFieldKind::Memo});
    ds.AppendRecord({"first", "one\r\ntwo"});
    ds.AppendRecord({"second", "three"});
    ds.Open();
    r.rep.SetDataSet(&ds);
    auto *name = r.detail->AddPrintable<TPgxDBText>();
    name->SetDataSet(&ds);
    name->SetDataField("Name");
    name->Top = 0;
    auto *notes = r.detail->AddPrintable<TPgxDBText>();
    notes->SetDataSet(&ds);
    notes->SetDataField("Notes");
    notes->SetAutoSize(false);
    notes->Width = 800;
    notes->Height = 200;
    notes->Top = 0;
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(PageTexts(*r.rep.Printer()), (QStringList{"first", "one", "two", "second", "three"}));
    EXPECT_EQ(name->Caption(), "Name"); // the design caption is back
}

TEST(DataPrintables, AggregatesAreFedRecordByRecord)
{
    GroupReport g;
    g.Add<TPgxExpr>(g.detail, "Sum(N)");                         // a running sum
    auto *groupSum = g.Add<TPgxExpr>(g.footer, "Sum(N)");
    groupSum->ResetAfterPrint = true;                            // restarts for each group
    auto *avg = g.Add<TPgxExpr>(g.summary, "Average(N)");
    avg->SetMask("0.00");
    auto *count = g.Add<TPgxDBCalc>(g.summary);
    count->SetOperation(TPgxCalcOperation::pgxcCount);
    auto *max = g.Add<TPgxDBCalc>(g.summary);
    max->SetDataField("N");
    max->SetOperation(TPgxCalcOperation::pgxcMax);
    EXPECT_EQ(max->Expression(), "Max(N)");
    g.Add<TPgxExpr>(g.summary, "N > 4");
    g.Add<TPgxExpr>(g.summary, "Nonsense(");
    const QStringList expected{"1", "3", "3", "6", "10", "15", "12", "3.00", "5", "5", "True"};
    // A second run gives the same: the printables are fed once per record, however many runs.
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(g.rep.Prepare());
        QStringList texts = PageTexts(*g.rep.Printer());
        ASSERT_EQ(texts.size(), expected.size() + 1) << texts.join("|").toStdString();
        EXPECT_FALSE(texts.takeLast().isEmpty()); // the error's message
        EXPECT_EQ(texts, expected) << run;
    }
    EXPECT_EQ(groupSum->Caption(), "Sum(N)");
    TPgxExpr none;
    EXPECT_EQ(none.Caption(), "(none)");
    EXPECT_EQ(none.GetValue().Kind, report::resError);
}

TEST(DataPrintables, SystemData)
{
    OneBandReport r(3, 60);
    r.rep.ReportTitle = "Nightly";
    TPgxCustomBand *footer = r.rep.CreateBand(TPgxBandType::rbPageFooter);
    footer->SetHeight(60);
    auto add = [](TPgxCustomBand *b, TPgxSysDataType d, const QString &text = {}) {
        auto *s = b->AddPrintable<TPgxSysData>();
        s->Top = 0;
        s->SetData(d);
        s->SetText(text);
        return s;
    };
    auto *no = add(r.detail, TPgxSysDataType::pgxsDetailNo, "No ");
    EXPECT_EQ(no->Caption(), "No (Detail no)");
    add(r.detail, TPgxSysDataType::pgxsDetailCount);
    add(footer, TPgxSysDataType::pgxsPageNumber, "Page ");
    add(footer, TPgxSysDataType::pgxsReportTitle);
    add(footer, TPgxSysDataType::pgxsDate);
    add(footer, TPgxSysDataType::pgxsTime);
    add(footer, TPgxSysDataType::pgxsDateTime);
    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_TRUE(r.rep.Prepare());
    const QDateTime after = QDateTime::currentDateTime();
    QStringList texts = PageTexts(*r.rep.Printer());
    ASSERT_EQ(texts.size(), 11);
    EXPECT_EQ(texts.mid(0, 6), (QStringList{"No 1", "3", "No 2", "3", "No 3", "3"}));
    EXPECT_EQ(texts.mid(6, 2), (QStringList{"Page 1", "Nightly"}));
    auto dateOf = [](const QDateTime &t) {
        return QString::fromStdString(report::PgxFormatDateTime("c", QDateTime(t.date(), QTime(0, 0))));
    };
    EXPECT_TRUE(texts[8] == dateOf(before) || texts[8] == dateOf(after)) << texts[8].toStdString();
    EXPECT_TRUE(QRegularExpression("^\\d{2}:\\d{2}$").match(texts[9]).hasMatch()) << texts[9].toStdString();
    EXPECT_TRUE(texts[10].startsWith(texts[8] + " ")) << texts[10].toStdString();

    // Outside a data-set report the detail number keeps its design caption.
    TCustomPagorra plain;
    TPgxCustomBand *title = plain.CreateBand(TPgxBandType::rbTitle);
    auto *s = add(title, TPgxSysDataType::pgxsDetailNo);
    ASSERT_TRUE(plain.Prepare());
    EXPECT_EQ(s->Caption(), "(Detail no)");
}

TEST(DataPrintables, MergerCutsAndFillsBraces)
{
    PgxMemoryDataSet ds("T");
    ds.AddField({"N", PgxFieldKind::Integer});
    ds.AppendRecord({7});
    ds.Open();
    ds.First();
    struct Case {
        QString line, expanded, merged;
    };
    const Case cases[] = {
        {"Count: {N} rows", "Count:  rows", "Count: 7 rows"},
        {"{1+1} and {'x'}!", " and !", "2 and x!"},
        {"{N*1.5}{N > 1}", "", "10.5True"},
        // Left open, closed before opening, or empty: kept as text, and the scan ends.
        {"open { brace", "open { brace", "open { brace"},
        {"} then {N}", "} then ", "} then 7"},
        {"empty {} braces {N}", "empty {} braces ", "empty {} braces 7"},
        {"{}{}{", "{}{}{", "{}{}{"},
        // An expression that does not compile merges as nothing.
        {"a{Nope(}b", "ab", "ab"},
    };
    for (const Case &c : cases) {
        TPgxMerger m;
        m.Datasets = {&ds};
        m.OrgLines = {c.line, "plain"};
        m.Prepare();
        ASSERT_TRUE(m.Prepared());
        EXPECT_EQ(m.ExpandedLines(), (QStringList{c.expanded, "plain"})) << c.line.toStdString();
        EXPECT_EQ(m.MergedLines(), nullptr);
        m.Merge();
        ASSERT_NE(m.MergedLines(), nullptr);
        EXPECT_EQ(*m.MergedLines(), (QStringList{c.merged, "plain"})) << c.line.toStdString();
    }
}

TEST(DataPrintables, MergedMemoPrintsValuesPerRecord)
{
    GroupReport g;
    auto *memo = g.detail->AddPrintable<TPgxExprMemo>();
    memo->SetAutoSize(false);
    memo->Width = 1500;
    memo->Height = 300;
    memo->Top = 0;
    g.detail->SetHeight(300);
    memo->RemoveBlankLines = true;
    const QStringList source{"Row {N} of group {G}", "", "seen {Count}"};
    memo->SetLines(source);
    ASSERT_TRUE(g.rep.Prepare());
    const QStringList texts = PageTexts(*g.rep.Printer());
    QStringList expected;
    const char *groups = "AABBB";
    for (int i = 1; i <= 5; ++i)
        expected << QStringLiteral("Row %1 of group %2").arg(i).arg(QChar(groups[i - 1]))
                 << QStringLiteral("seen %1").arg(i);
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(memo->Lines(), source);
    EXPECT_EQ(memo->Merger(), nullptr);
}

TEST(DataPrintables, ASubDetailFeedsTheExpressionsItMasters)
{
    OneBandReport r(2, 60);
    PgxMemoryDataSet items("Items");
    items.AddField({"V", PgxFieldKind::Integer});
    for (int v : {1, 2, 3})
        items.AppendRecord({v});
    items.Open();
    auto *sd = r.rep.AddBand(std::make_unique<TPgxSubDetail>());
    ASSERT_NE(sd, nullptr);
    sd->SetDataSet(&items);
    sd->SetHeight(60);
    sd->SetHasFooter(true);
    sd->FooterBand()->SetHeight(60);
    auto *sum = sd->FooterBand()->AddPrintable<TPgxExpr>();
    sum->Top = 0;
    sum->SetExpression("Sum(Items.V)");
    sum->Master = sd;
    sum->ResetAfterPrint = true;
    // The same sum mastered by the report sees the report's records, which have no V.
    auto *outer = sd->FooterBand()->AddPrintable<TPgxExpr>();
    outer->Top = 0;
    outer->SetExpression("Count");
    outer->Master = &r.rep;
    ASSERT_TRUE(r.rep.Prepare());
    EXPECT_EQ(PageTexts(*r.rep.Printer()), (QStringList{"6", "1", "6", "2"}));
}
