#include <string>

#include <QLocale>

#include <gtest/gtest.h>

#include "report/base/strings.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/expr.h"
#include "report_testutil.h"

namespace strandel::report {
namespace {

using test::Eval;
using test::Show;

struct Vector {
    const char *expression;
    const char *expected;
};

void RunTable(const std::vector<Vector> &table, TPgxEvEnvironment *env = nullptr,
              std::vector<const PgxDataSet *> datasets = {})
{
    for (const Vector &v : table)
        EXPECT_EQ(Eval(v.expression, env, datasets), v.expected) << "expression: " << v.expression;
}

TEST(TPgxEvaluator, OperatorsAndKinds)
{
    RunTable({
        {"1+2*3", "I:7"},
        {"(1+2)*3", "I:9"},
        {"10-4-3", "I:3"},
        {"10-4+3", "I:9"},
        {"100/10/5", "D:2"},
        {"7/2", "D:3.5"},
        {"2 < 3", "B:true"},
        {"3 <= 3", "B:true"},
        {"2 > 3", "B:false"},
        {"2 >= 3", "B:false"},
        {"2 <> 3", "B:true"},
        {"'abc' < 'abd'", "B:true"},
        {"'A' = 'a'", "B:false"},
        {"1 = 1.0", "B:true"},
        {"1 = 'x'", "B:false"},
        {"1 = '1'", "B:true"},
        {"5 or 3", "I:7"},
        {"6 and 3", "I:2"},
        {"1 or 2", "I:3"},
        {"(1 = 1) and (2 = 3)", "B:false"},
        {"(1 = 1) or (2 = 3)", "B:true"},
        {"1.5 and 2", "E:Operator AND is not compatible with numeric expressions"},
        {"1.5 or 2", "E:Operator OR is not compatible with numeric expressions"},
        {"'a' or 'b'", "E:Operator OR is not compatible with string expressions"},
        {"(1=1) < (1=2)", "E:Operator < is not compatible with boolean expressions"},
        {"'ab' + 'cd'", "S:abcd"},
        {"'ab' - 'cd'", "E:Cannot subtract string expressions"},
        {"'ab' * 'cd'", "E:Cannot multiply string expressions"},
        {"'ab' / 'cd'", "E:Cannot divide string expressions"},
        {"(1=1) + (1=1)", "E:Cannot add boolean expressions"},
        {"(1=1) = (2=2)", "B:true"},
        {"5/0", "E:Cannot divide by 0"},
        {"5.0/0.0", "E:Cannot divide by 0"},
        {"1 + 'a'", "S:1a"},
        {"1.5 + 1", "D:2.5"},
        {"-2*3", "I:-6"},
        {"2147483647 + 1", "I:-2147483648"},
        {"(1/0) + (2 - 'x')", "E:Cannot divide by 0"},
    });
}

TEST(TPgxEvaluator, ConstantsStringsAndCompileErrors)
{
    RunTable({
        {"99999999999", "D:99999999999"},
        {"1.5e3", "D:1500"},
        {"1x", "E:Illegal character in numeric contant \"1x\""},
        {"1.5.2", "E:Illegal character in numeric contant \"1.5.2\""},
        {"'abc", "E:Missing '"},
        {"'", "E:Missing '"},
        {"[Name", "E:Missing ]"},
        {"(1+2", "E:Missing )"},
        {"", "S: "},
        {"$", "E:Error in expression : $"},
        {"()", "E:Error in expression : "},
        {"IF(1=1,,2)", "E:Error in expression : "},
        {"'it''s'", "S:it''s"},
        {"'a,b'", "S:a,b"},
        {"not (1 = 1)", "B:false"},
        {"not(1 = 2)", "B:true"},
        {"NOT (1 = 1)", "B:false"},
        {"not 5", "E:Invalid use of NOT"},
        {"1 < 2 < 3", "E:Illegal character in numeric contant \"2 < 3\""},
        {"1or 2", "E:Illegal character in numeric contant \"1or 2\""},
        {"NOSUCH", "E:Unknown function : NOSUCH"},
        {"NOTE", "E:Unknown function : NOTE"},
        {"notE", "E:Unknown function : notE"},
        {"nosuch", "E:Unknown function : nosuch"},
    });
    // Constants write the point whatever the locale's separator.
    PgxFormatSettings comma;
    comma.decimalSeparator = ',';
    const PgxFormatSettings saved = PgxCurrentFormat();
    PgxSetCurrentFormat(comma);
    EXPECT_EQ(Eval("1.5e3 = 1500"), "B:true");
    PgxSetCurrentFormat(saved);
}

// Sign handling and chains, left to right with a sign bound to its factor.
TEST(TPgxEvaluator, MendedParsing)
{
    RunTable({
        {"10--3", "I:13"},
        {"10 - 2 * -3", "I:16"},
        {"5 - 1 or 2", "I:6"},
        {"2*-3", "I:-6"},
        {"2 - -3", "I:5"},
        {"- -2", "I:2"},
        {"-(2+3)", "I:-5"},
        {"+4", "I:4"},
        {"10 - 4 - 3 - 2", "I:1"},
        {"2*3/4", "D:1.5"},
        {"8/4/2", "D:1"},
        {"6/-2*3", "D:-9"},
        {"1e+2", "D:100"},
        {"1.5E-3", "D:0.0015"},
        {"2e1+1", "D:21"},
        {"1e-2-1", "D:-0.99"},
        {"1+2", "I:3"},
        {"1 or -2", "I:-1"},
        {"not -1 = -1", "E:Invalid use of NOT"},
        {"3 >= -1", "B:true"},
        {"'-' + '-'", "S:--"},
    });
}

TEST(TPgxEvaluator, IntegerOverflowIsAnError)
{
    RunTable({
        {"INT(1e10)", "E:Value too big"},
        {"INT(-1e10)", "E:Value too big"},
        {"DIV(1e10, 2)", "E:Value too big"},
        {"DIV(-2147483647-1, -1)", "E:Value too big"},
        {"DIV(-2147483647-1, 1)", "I:-2147483648"},
    });
    TPgxEvaluator ev;
    ev.Prepare("1e10");
    EXPECT_THROW(ev.AsInteger(), EPgxError);
    ev.Prepare("2.5");
    EXPECT_EQ(ev.AsInteger(), 2);
    ev.Prepare("3.5");
    EXPECT_EQ(ev.AsInteger(), 4);
}

TEST(TPgxEvaluator, DeepNestingIsRefused)
{
    const std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
    const std::string shallow = std::string(60, '(') + "1" + std::string(60, ')');
    EXPECT_EQ(Eval(shallow), "I:1");
    EXPECT_EQ(Eval(deep).rfind("E:Error in expression : ", 0), 0u);
    std::string chain = "1";
    for (int i = 0; i < 200; ++i)
        chain += "+1";
    EXPECT_EQ(Eval(chain), "I:201");
    std::string longChain = "1";
    for (int i = 0; i < 5000; ++i)
        longChain += "-1";
    EXPECT_EQ(Eval(longChain).rfind("E:", 0), 0u);
    std::string nots;
    for (int i = 0; i < 3000; ++i)
        nots += "not ";
    EXPECT_EQ(Eval(nots + "(1=1)").rfind("E:", 0), 0u);
}

TEST(TPgxEvaluator, ConversionsAndPreparedState)
{
    TPgxEvaluator ev;
    try {
        ev.Value();
        FAIL();
    } catch (const EPgxError &e) {
        EXPECT_STREQ(e.what(), "Evaluator not prepared");
    }
    for (const char *t : {"'true'", "'TrUe'"}) {
        ev.Prepare(t);
        EXPECT_TRUE(ev.AsBoolean());
    }
    ev.Prepare("'False'");
    EXPECT_FALSE(ev.AsBoolean());
    ev.Prepare("'yes'");
    try {
        ev.AsBoolean();
        FAIL();
    } catch (const EPgxError &e) {
        EXPECT_STREQ(e.what(), "Not a boolean value");
    }
    ev.Prepare("'x'");
    EXPECT_THROW(ev.AsFloat(), EPgxError);
    ev.Prepare("1/0");
    try {
        ev.AsString();
        FAIL();
    } catch (const EPgxError &e) {
        EXPECT_STREQ(e.what(), "Error in expression : Cannot divide by 0");
    }
    ev.Prepare("1 = 1");
    EXPECT_EQ(ev.AsString(), "True");
    EXPECT_EQ(ev.AsVariant(), QVariant(true));
    ev.Prepare("2.5");
    EXPECT_EQ(ev.AsVariant(), QVariant(2.5));
    EXPECT_FALSE(ev.IsAggreg());
    ev.Prepare("SUM(1) + 1");
    EXPECT_TRUE(ev.IsAggreg());
    ev.UnPrepare();
    EXPECT_FALSE(ev.Prepared());
    EXPECT_EQ(Show(ev.Calculate("2+2")), "I:4");
    EXPECT_FALSE(ev.Prepared());
    // Texts in values are cut to 255 characters.
    const std::string longText = "'" + std::string(300, 'x') + "'";
    EXPECT_EQ(Eval(longText).size(), 2u + 255u);
    EXPECT_EQ(Eval(longText + " + 'y'").size(), 2u + 255u);
    // Characters, not bytes: a cut never splits one.
    std::string euros;
    for (int i = 0; i < 300; ++i)
        euros += "€";
    EXPECT_EQ(Eval("'x" + euros + "'"), "S:x" + euros.substr(0, 254 * 3));
}

TEST(TPgxEvaluator, FieldsAndFunctionNames)
{
    PgxMemoryDataSet ds("Sales");
    ds.AddField({"Net-Amount", PgxFieldKind::Integer});
    ds.AddField({"DATE", PgxFieldKind::String});
    ds.AddField({"a,b", PgxFieldKind::Integer});
    ds.AddField({"Price", PgxFieldKind::Float});
    ds.AddField({"Paid", PgxFieldKind::Boolean});
    ds.AddField({"Notes", PgxFieldKind::Memo});
    ds.AddField({"When", PgxFieldKind::Date});
    ds.AddField({"Big", PgxFieldKind::Integer});
    ds.AppendRecord({4, "field", 5, 2.5, true, "memo text", QDate(2024, 3, 5), qlonglong(1) << 40});
    ds.Open();
    RunTable(
        {
            {"10 - [Net-Amount]", "I:6"},
            {"[DATE]", "S:field"},
            {"DATE = [DATE]", "B:false"},
            {"TYPEOF(DATE)", "S:STRING"},
            {"IF(1=1, [a,b], 0)", "I:5"},
            {"Price * 2", "D:5"},
            {"sales.price", "D:2.5"},
            {"[Sales.Paid]", "B:true"},
            {"OTHER.Price", "E:Unknown function : OTHER.Price"},
            {"Notes", "E:Field Notes is of unknown type"},
            {"When", "S:05/03/2024"},
            {"Big", "D:1099511627776"},
            {"TIME = TIME()", "B:true"},
            {"TYPEOF(TIME)", "S:STRING"},
        },
        nullptr, {&ds});
}

TEST(TPgxEvaluator, FunctionNamesIgnoreTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    EXPECT_EQ(Eval("if(1=1, 'a', 'b')"), "S:a");
    EXPECT_EQ(Eval("typeof(1)"), "S:INTEGER");
    QLocale::setDefault(saved);
}

} // namespace
} // namespace strandel::report
