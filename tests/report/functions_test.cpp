#include <string>

#include <gtest/gtest.h>

#include "report/data/dataset.h"
#include "report/expr/functions.h"
#include "report_testutil.h"

namespace strandel::report {
namespace {

using test::Eval;
using test::Show;

TEST(PgxFunctions, Builtins)
{
    const struct {
        const char *expression;
        const char *expected;
    } table[] = {
        {"TRUE", "B:true"},
        {"FALSE()", "B:false"},
        {"TRUE(1)", "E:Too many arguments"},
        {"IF(1 = 1, 'a', 'b')", "S:a"},
        {"IF(1 = 2, 'a', 'b')", "S:b"},
        {"IF(1, 2, 3)", "E:Wrong arguments for IF"},
        {"IF(1 = 1, 2)", "E:Wrong arguments for IF"},
        {"TYPEOF(1)", "S:INTEGER"},
        {"TYPEOF(1.5)", "S:FLOAT"},
        {"TYPEOF('x')", "S:STRING"},
        {"TYPEOF(TRUE)", "S:BOOLEAN"},
        {"TYPEOF(1/0)", "S:ERROR"},
        {"TYPEOF(1, 2)", "E:Wrong arguments for TypeOf"},
        {"INT(-2.7)", "I:-2"},
        {"INT(7)", "I:7"},
        {"INT('x')", "E:Wrong arguments for INT"},
        {"FRAC(-2.75)", "D:-0.75"},
        {"FRAC(3)", "D:0"},
        {"TYPEOF(FRAC('x'))", "S:ERROR"},
        {"SQRT(16)", "D:4"},
        {"SQRT(-1)", "E:Invalid argument to SQRT function"},
        {"SQRT('x')", "E:Invalid argument to SQRT function"},
        {"DIV(7, 2)", "I:3"},
        {"DIV(-7, 2)", "I:-3"},
        {"DIV(7.5, 2)", "I:4"},
        {"DIV(6.5, 2)", "I:3"},
        {"DIV(1, 0)", "E:Division by Zero"},
        {"DIV(1)", "E:Wrong arguments for DIV"},
        {"STR(TRUE)", "S:True"},
        {"STR(FALSE)", "S:False"},
        {"STR(12)", "S:12"},
        {"STR(2.5)", "S:2.5"},
        {"STR('x')", "E:Conversion error"},
        {"UPPER('abc')", "S:ABC"},
        {"UPPER()", "E:Missing argument for UPPER"},
        {"UPPER('a', 'b')", "E:Missing argument for UPPER"},
        {"UPPER(1/0)", "E:Cannot divide by 0"},
        {"UPPER(1)", "E:"},
        {"LOWER('AbC')", "S:abc"},
        {"LOWER()", "E:Missing argument for LOWER"},
        {"PRETTY('hELLO')", "S:Hello"},
        {"PRETTY('')", "S:"},
        {"PRETTY()", "E:Missing argument for PRETTY"},
        {"COPY('abcdef', 0, 3)", "S:abc"},
        {"COPY('abcdef', 2, 3)", "S:bcd"},
        {"COPY('abc', 5, 2)", "S:"},
        {"COPY('abc', 2, 100)", "S:bc"},
        {"COPY('abc', -5, 2)", "S:ab"},
        {"COPY('abc', 2, -1)", "S:"},
        {"COPY('abc', 2, 2147483647)", "S:bc"},
        {"COPY('abc', 2147483647, 2147483647)", "S:"},
        {"COPY('abc', 1)", "E:Wrong arguments for COPY"},
        {"FORMATNUMERIC('0.00', 3.14159)", "S:3.14"},
        {"FORMATNUMERIC('#,##0', 1234567)", "S:1,234,567"},
        {"FORMATNUMERIC('\"x', 1)", "E:Invalid format or value specified"},
        {"FORMATNUMERIC(1, 1)", "E:Wrong arguments for FORMATNUMERIC"},
        {"COS(0)", "D:1"},
        {"SIN(0)", "D:0"},
        {"TAN(0)", "D:0"},
        {"ARCCOS(1)", "D:0"},
        {"COTAN(1) = 1/TAN(1)", "B:true"},
        {"COS('x')", "E:Wrong arguments for COS"},
        {"COUNT(1)", "E:COUNT - Too many arguments"},
        {"NOSUCH(1)", "E:Unknown function : NOSUCH"},
        {"TIME(1)", "E:Wrong arguments for TIME"},
        {"DATE(1)", "E:Wrong arguments for DATE"},
        {"IF(1=1, IF(1=2, 'x', 'y'), 'z')", "S:y"},
        {"UPPER(COPY('abc', 1, 2)) + LOWER('Q')", "S:ABq"},
        // Texts are UTF-8; case maps letter for letter and COPY counts characters.
        {"UPPER('Zürich straße')", "S:ZÜRICH STRAßE"},
        {"LOWER('RELATÓRIO')", "S:relatório"},
        {"PRETTY('élan')", "S:Élan"},
        {"COPY('Relatório', 6, 3)", "S:óri"},
        {"COPY('5 €, 6 €', 3, 1)", "S:€"},
        {"COPY('€', 2, 1)", "S:"},
    };
    for (const auto &v : table)
        EXPECT_EQ(Eval(v.expression), v.expected) << v.expression;
}

TEST(PgxFunctions, RegistryOrderAndDescriptions)
{
    const TPgxFunctionLibrary &lib = TPgxFunctionLibrary::Instance();
    ASSERT_EQ(lib.Count(), 26);
    const char *order[] = {"IF", "STR", "UPPER", "LOWER", "PRETTY", "TIME", "DATE", "COPY", "SUM",
                           "COUNT", "MAX", "MIN", "AVERAGE", "TRUE", "FALSE", "INT", "FRAC", "SQRT",
                           "DIV", "TYPEOF", "FORMATNUMERIC", "ARCCOS", "COS", "SIN", "TAN", "COTAN"};
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(lib.GetEntry(i)->name, order[i]);
    EXPECT_EQ(lib.GetEntry(26), nullptr);
    EXPECT_EQ(lib.GetEntry(-1), nullptr);
    EXPECT_EQ(lib.GetEntry(0)->description, "IF(<Exp>, <X>, <Y>)|Returns <X> or <Y> depending on the boolean expression <Exp>");
    EXPECT_EQ(lib.GetEntry(0)->arguments, "5BVV");
    EXPECT_EQ(lib.GetEntry(23)->description, "SIN(<X>)Returns the sine of the given angle");
    EXPECT_EQ(lib.GetEntry(11)->arguments, "3N");
    EXPECT_EQ(lib.GetEntry(10)->arguments, "3V");
    EXPECT_FALSE(lib.GetEntry(0)->vendor.empty());
    EXPECT_NE(dynamic_cast<TPgxEvElementError *>(lib.GetFunction("nosuch").get()), nullptr);
    EXPECT_NE(dynamic_cast<TPgxEvElementFunction *>(lib.GetFunction("sum").get()), nullptr);
}

// Runs `expression` over the rows of one field "V", feeding aggregates once per row.
std::string Aggregate(const char *expression, std::vector<QVariant> rows, PgxFieldKind kind = PgxFieldKind::Integer)
{
    PgxMemoryDataSet ds("T");
    ds.AddField({"V", kind});
    for (QVariant &v : rows)
        ds.AppendRecord({v});
    ds.Open();
    TPgxEvaluator ev;
    ev.Datasets = {&ds};
    ev.Prepare(expression);
    ev.Reset();
    for (ds.First(); !ds.Eof(); ds.Next())
        ev.DoAggregate();
    return Show(ev.Value());
}

TEST(PgxFunctions, Aggregates)
{
    const std::vector<QVariant> ints{1, 2, 3};
    EXPECT_EQ(Aggregate("SUM(V)", ints), "I:6");
    EXPECT_EQ(Aggregate("AVERAGE(V)", ints), "D:2");
    EXPECT_EQ(Aggregate("MAX(V)", ints), "I:3");
    EXPECT_EQ(Aggregate("MIN(V)", ints), "I:1");
    EXPECT_EQ(Aggregate("COUNT", ints), "I:3");
    EXPECT_EQ(Aggregate("SUM(V)", {}), "I:0");
    EXPECT_EQ(Aggregate("COUNT", {}), "I:0");
    EXPECT_EQ(Aggregate("MAX(V)", {}), "I:0");
    EXPECT_EQ(Aggregate("AVERAGE(V)", {}), "D:0");
    EXPECT_EQ(Aggregate("MAX(V)", {"b", "a", "c"}, PgxFieldKind::String), "S:c");
    EXPECT_EQ(Aggregate("MIN(V)", {"b", "a", "c"}, PgxFieldKind::String), "S:a");
    EXPECT_EQ(Aggregate("MIN(V)", {true, false}, PgxFieldKind::Boolean), "B:false");
    EXPECT_EQ(Aggregate("MAX(V)", {false, true}, PgxFieldKind::Boolean), "B:true");
    EXPECT_EQ(Aggregate("SUM(V) * 2 + COUNT", ints), "I:15");
    EXPECT_EQ(Aggregate("SUM(V)", {"x"}, PgxFieldKind::String), "E:Wrong arguments for SUM");
    EXPECT_EQ(Aggregate("SUM(V, 1)", ints), "E:Wrong arguments for SUM");
    // A nested call inside COUNT keeps the queue aligned: the rest of the expression still runs.
    EXPECT_EQ(Aggregate("COUNT + 1", ints), "I:4");
    EXPECT_EQ(Aggregate("COUNT(IF(1=1, 1, 2)) + 1", ints), "E:COUNT - Too many arguments");
    EXPECT_EQ(Aggregate("IF(COUNT(IF(1=1, 1, 2)) = 0, 'a', 'b') + 'c'", ints), "E:Wrong arguments for IF");
    EXPECT_EQ(Aggregate("TYPEOF(COUNT(IF(1=1, 1, 2))) + '/' + STR(SUM(V))", ints), "S:ERROR/6");
}

TEST(PgxFunctions, AggregatesOfMixedKinds)
{
    // A float after integers makes the sum a float instead of cutting 2.5 to 2.
    EXPECT_EQ(Aggregate("SUM(IF(V = 2, 2.5, V))", {1, 2, 3}), "D:6.5");
    EXPECT_EQ(Aggregate("SUM(IF(V = 1, 0.5, V))", {1, 2, 3}), "D:5.5");
    EXPECT_EQ(Aggregate("AVERAGE(IF(V = 2, 2.5, V))", {1, 2, 3}), "D:2.16666666666667");
    EXPECT_EQ(Aggregate("MAX(IF(V = 2, 2.5, V))", {1, 2, 2}), "D:2.5");
    EXPECT_EQ(Aggregate("MIN(IF(V = 2, 0.5, V))", {1, 2, 3}), "D:0.5");
    EXPECT_EQ(Aggregate("MAX(IF(V = 2, 'x', V))", {1, 2, 3}), "S:x");
    EXPECT_EQ(Aggregate("SUM(IF(V = 2, 'x', V))", {1, 2, 3}), "E:Wrong arguments for SUM");
    EXPECT_EQ(Aggregate("SUM(IF(V = 2, 1/0, V))", {1, 2, 3}), "E:Cannot divide by 0");
    EXPECT_EQ(Aggregate("MAX(IF(V = 2, 1/0, V))", {1, 2, 3}), "E:Cannot divide by 0");
    // Integer sums wrap like the + operator.
    EXPECT_EQ(Aggregate("SUM(V)", {2147483647, 1}), "I:-2147483648");
}

TEST(PgxFunctions, ResetStartsATotalAgain)
{
    PgxMemoryDataSet ds("T");
    ds.AddField({"V", PgxFieldKind::Integer});
    for (int v : {1, 2, 3})
        ds.AppendRecord({v});
    ds.Open();
    TPgxEvaluator ev;
    ev.Datasets = {&ds};
    ev.Prepare("SUM(V) + COUNT");
    for (ds.First(); !ds.Eof(); ds.Next())
        ev.DoAggregate();
    EXPECT_EQ(Show(ev.Value()), "I:9");
    EXPECT_EQ(Show(ev.Value()), "I:9"); // Value alone does not feed
    ev.Reset();
    EXPECT_EQ(Show(ev.Value()), "I:0");
    ds.First();
    ev.DoAggregate();
    EXPECT_EQ(Show(ev.Value()), "I:2");
}

} // namespace
} // namespace strandel::report
