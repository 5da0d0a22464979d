// Fuzz entry for the expression evaluator: any text compiled and run over a small table with
// local variables. Built as a libFuzzer target with clang; in the unit tests a fixed-seed
// mutation run of the committed seeds feeds it the same way.
#include <cstddef>
#include <cstdint>
#include <string>

#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/expr.h"

namespace {

using namespace strandel::report;

struct Fixture {
    PgxMemoryDataSet table{"T"};
    TPgxEvEnvironment env;
    Fixture()
    {
        table.AddField({"Amount", PgxFieldKind::Integer});
        table.AddField({"Name", PgxFieldKind::String});
        table.AddField({"Price", PgxFieldKind::Float});
        table.AddField({"Net-Amount", PgxFieldKind::Integer});
        table.AppendRecord({12, "x", 2.5, -3});
        table.AppendRecord({-2147483647 - 1, "y", -1e300, 7});
        table.Open();
        env.Datasets = {&table};
        env.AddFunction("RATE", "2.5");
        env.AddFunction("TWICE", "RATE * 2");
        env.AddFunction("SELF", "SELF + 1");
        env.Prepare();
    }
};

// TIME and DATE read the clock; everything else gives the same value on every run.
bool Deterministic(const std::string &text)
{
    const std::string up = PgxUpperAscii(text);
    return up.find("TIME") == std::string::npos && up.find("DATE") == std::string::npos;
}

std::string Key(const TPgxEvResult &r)
{
    return std::to_string(int(r.Kind)) + ":" + std::to_string(r.IntResult) + ":" + std::to_string(r.DoubleResult) +
           ":" + r.StringResult + ":" + std::to_string(r.BooleanResult);
}

} // namespace

extern "C" int StrandelExprFuzz(const uint8_t *data, size_t size)
{
    static Fixture *fx = new Fixture; // kept for the whole run
    const std::string text(reinterpret_cast<const char *>(data), size);
    TPgxEvaluator ev;
    ev.Datasets = {&fx->table};
    ev.Environment = &fx->env;
    ev.Prepare(text);
    try {
        fx->table.First();
        const TPgxEvResult first = ev.Value();
        // Texts stay within their limit of characters; an error always says something or nothing, never garbage.
        if (PgxUtf8Length(first.StringResult) > PgxMaxText)
            __builtin_trap();
        // Running the queue again without feeding gives the same value: the queue stays aligned.
        if (Deterministic(text) && Key(ev.Value()) != Key(first))
            __builtin_trap();
        for (fx->table.First(); !fx->table.Eof(); fx->table.Next())
            ev.DoAggregate();
        const TPgxEvResult fed = ev.Value();
        if (PgxUtf8Length(fed.StringResult) > PgxMaxText)
            __builtin_trap();
        ev.Reset();
        if (ev.Aggregate())
            __builtin_trap();
        (void)ev.AsVariant();
    } catch (const EPgxError &) {
        // Conversions of error values and entries without a compiled form raise by design.
    }
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelExprFuzz(data, size); }
#else
#include <gtest/gtest.h>

#include "seedmutation.h"

TEST(ExprFuzz, MutatedSeedsNeverMisbehave)
{
    const std::vector<std::string> seeds = strandel::test::ReadSeeds(STRANDEL_TEST_DATA "/corpus/report_expr_fuzz");
    ASSERT_FALSE(seeds.empty());
    const char *pieces[] = {"(", ")", "[", "]", "'", ",", "-", "+", "*", "/", " or ", " and ", "not ", "<", ">=",
                            "=", "E+", "1e", ".", "SUM(", "COUNT", "IF(", "COPY(", "SELF", "RATE", "Amount",
                            "9999999999", "\xff", "$", " ", "NOTE", "€", "ß"};
    strandel::test::RunSeedsAndMutations(seeds, pieces, {27, 4000, 4, 3}, StrandelExprFuzz);
}
#endif
