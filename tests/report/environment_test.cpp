#include <string>

#include <gtest/gtest.h>

#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/functions.h"
#include "report_testutil.h"

namespace strandel::report {
namespace {

using test::Eval;
using test::Show;

TEST(PgxEnvironment, EntriesAsVariables)
{
    TPgxEvEnvironment env;
    env.AddFunction("Rate", "2.5");
    env.AddFunction("Twice", "RATE * 2");
    env.AddFunction("Note", "'memo'");
    env.Prepare();
    EXPECT_EQ(Eval("[rate] + 1", &env), "D:3.5");
    EXPECT_EQ(Eval("Twice", &env), "D:5");
    // NOTE is a name, not "not" applied to E.
    EXPECT_EQ(Eval("NOTE", &env), "S:memo");
    EXPECT_EQ(Eval("nosuch", &env), "E:Unknown function : nosuch");
    EXPECT_EQ(Show(env.Value("twice")), "D:5");
    EXPECT_EQ(Show(env.Value("none")), "E:Unknown function : none");
    env.Unprepare();
    EXPECT_THROW(env.Value("RATE"), EPgxError);
}

TEST(PgxEnvironment, RecursionIsAnError)
{
    TPgxEvEnvironment env;
    env.AddFunction("TOTAL", "TOTAL + 1");
    env.AddFunction("A", "B");
    env.AddFunction("B", "A * 2");
    env.Prepare();
    EXPECT_EQ(Eval("TOTAL", &env), "E:Recursive calls not allowed");
    EXPECT_EQ(Eval("A", &env), "E:Recursive calls not allowed");
    env.Unprepare();
}

TEST(PgxEnvironment, LongChainsOfEntriesAreRefused)
{
    TPgxEvEnvironment env;
    env.AddFunction("E0", "1");
    for (int i = 1; i < 3000; ++i) {
        std::string name(1, 'E'), expression(1, 'E');
        name += std::to_string(i);
        expression += std::to_string(i - 1);
        expression += " + 1";
        env.AddFunction(name, expression);
    }
    env.Prepare();
    EXPECT_EQ(Eval("E100", &env), "I:101");
    EXPECT_EQ(Eval("E2999", &env), "E:Recursive calls not allowed");
    env.Unprepare();
}

TEST(PgxEnvironment, AddKeepsTheFirstEntry)
{
    TPgxEvEnvironment env;
    env.AddFunction("x", "1");
    env.AddFunction("X", "2");
    ASSERT_EQ(env.Count(), 1);
    EXPECT_EQ(env.Name(0), "X");
    EXPECT_EQ(env.Expression(0), "1");
    env.DeleteFunction("x");
    EXPECT_EQ(env.Count(), 0);
    env.DeleteFunction("x");
}

TEST(PgxEnvironment, ConstantPatching)
{
    TPgxEvEnvironment env;
    env.AddFunction("PAGENUMBER", "5");
    env.AddFunction("SUMMED", "2+3");
    env.AddFunction("REPORTTITLE", "'first'");
    EXPECT_EQ(env.GetConstant("PAGENUMBER"), nullptr); // not prepared
    env.Prepare();
    TPgxEvaluator user;
    user.Environment = &env;
    user.Prepare("REPORTTITLE + ' ' + STR(PAGENUMBER)");

    TPgxEvElement *page = env.GetConstant("pagenumber");
    ASSERT_NE(dynamic_cast<TPgxEvElementConstant *>(page), nullptr);
    TPgxEvEnvironment::SetIntegerConstant(page, 6);
    EXPECT_EQ(Show(env.Value("PAGENUMBER")), "I:6");
    TPgxEvElement *summed = env.GetConstant("SUMMED");
    ASSERT_NE(dynamic_cast<TPgxEvElementOperator *>(summed), nullptr);
    TPgxEvEnvironment::SetIntegerConstant(summed, 6);
    EXPECT_EQ(Show(env.Value("SUMMED")), "I:5");
    EXPECT_EQ(env.GetConstant("none"), nullptr);

    EXPECT_TRUE(env.UpdateConstant("REPORTTITLE", TPgxEvResult::String("second")));
    EXPECT_FALSE(env.UpdateConstant("REPORTTITLE", TPgxEvResult::Int(1)));
    EXPECT_EQ(Show(user.Value()), "S:second 6");
    TPgxEvEnvironment::SetFloatConstant(page, 1.5);
    EXPECT_EQ(Show(env.Value("PAGENUMBER")), "D:1.5");
    TPgxEvEnvironment::SetBooleanConstant(page, true);
    EXPECT_EQ(Show(env.Value("PAGENUMBER")), "B:true");
    EXPECT_TRUE(UpdateConstant(page, TPgxEvResult::Int(9)));
    EXPECT_EQ(Show(env.Value("PAGENUMBER")), "I:9");
    TPgxEvEnvironment::SetStringConstant(env.GetConstant("REPORTTITLE"), "third");
    EXPECT_EQ(Show(user.Value()), "S:third 9");
    user.UnPrepare();
    env.Unprepare();
}

TEST(PgxEnvironment, EntriesOutliveTheirRemoval)
{
    auto env = std::make_unique<TPgxEvEnvironment>();
    env->AddFunction("RATE", "7");
    env->AddFunction("SELF", "SELF + 1");
    env->Prepare();
    TPgxEvaluator user;
    user.Environment = env.get();
    user.Prepare("RATE * 2");
    env->DeleteFunction("RATE");
    EXPECT_EQ(Show(user.Value()), "I:14");
    env->Clear();
    EXPECT_EQ(Show(user.Value()), "I:14");
    env->AddFunction("RATE", "1");
    EXPECT_EQ(Show(user.Value()), "I:14");
    env->Unprepare();
    env.reset();
    // The entry survives its environment; with its compiled form gone it says so.
    EXPECT_THROW(user.Value(), EPgxError);
}

TEST(PgxEnvironment, StoredFormRoundTrip)
{
    TPgxEvEnvironment env;
    env.AddFunction("b", "1 + 2");
    env.AddFunction("a", "'x'");
    env.AddFunction("c", "SUM([Amount])");
    TPgxEvEnvironment copy;
    copy.Load(env.Names(), env.Data());
    EXPECT_EQ(copy.Names(), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(copy.Data(), env.Data());
    copy.Prepare();
    EXPECT_EQ(Show(copy.Value("b")), "I:3");
    copy.Unprepare();
}

TEST(PgxEnvironment, GlobalEntries)
{
    EXPECT_EQ(Eval("TYPEOF(APPSTARTTIME) + TYPEOF(AppStartDate) + TYPEOF([appname])"), "S:STRINGSTRINGSTRING");
    TPgxEvEnvironment local;
    local.AddFunction("APPNAME", "'mine'");
    local.Prepare();
    EXPECT_EQ(Eval("APPNAME", &local), "S:mine");
    local.Unprepare();

    TPgxEvEnvironment made;
    PgxFormatSettings fs;
    PgxAddGlobalEntries(made, "Strandel", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), fs);
    made.Prepare();
    EXPECT_EQ(Show(made.Value("AppStartTime")), "S:14:07:09");
    EXPECT_EQ(Show(made.Value("AppStartDate")), "S:05/03/2024");
    EXPECT_EQ(Show(made.Value("AppName")), "S:Strandel");
    made.Unprepare();
    // A title with a quote breaks its string expression.
    TPgxEvEnvironment broken;
    PgxAddGlobalEntries(broken, "A'B-C", QDateTime::currentDateTime(), fs);
    broken.Prepare();
    EXPECT_EQ(broken.Value("APPNAME").Kind, resError);
    broken.Unprepare();
}

TEST(PgxEnvironment, AggregatesInsideEntriesAreNotFed)
{
    PgxMemoryDataSet ds("T");
    ds.AddField({"Amount", PgxFieldKind::Integer});
    for (int v : {10, 20, 30})
        ds.AppendRecord({v});
    ds.Open();
    TPgxEvEnvironment env;
    env.Datasets = {&ds};
    env.AddFunction("TOTALSALES", "SUM([Amount])");
    env.Prepare();
    TPgxEvaluator ev;
    ev.Datasets = {&ds};
    ev.Environment = &env;
    ev.Prepare("TOTALSALES");
    ev.Reset();
    for (ds.First(); !ds.Eof(); ds.Next())
        ev.DoAggregate();
    EXPECT_EQ(Show(ev.Value()), "I:0");
    ev.UnPrepare();
    env.Unprepare();
}

} // namespace
} // namespace strandel::report
