// Expression evaluation per record: a prepared queue run over a table, against the same
// computation written in C++ over the same fields (the floor: reading the fields). At the end
// it prints each figure beside that reference and the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/report/collector.h"
#include "report/data/dataset.h"
#include "report/expr/expr.h"

using namespace strandel::report;

namespace {

constexpr int kRows = 1000;

struct Table {
    PgxMemoryDataSet ds{"T"};
    Table()
    {
        ds.AddField({"Amount", PgxFieldKind::Integer});
        ds.AddField({"Price", PgxFieldKind::Float});
        for (int i = 0; i < kRows; ++i)
            ds.AppendRecord({i % 37, 0.25 * (i % 11)});
        ds.Open();
    }
};

const char *kExpression = "IF(Amount > 10, Amount * Price, 0)";

void BM_ExprValuePerRecord(benchmark::State &state)
{
    Table t;
    TPgxEvaluator ev;
    ev.Datasets = {&t.ds};
    ev.Prepare(kExpression);
    for (auto _ : state)
        for (t.ds.First(); !t.ds.Eof(); t.ds.Next())
            benchmark::DoNotOptimize(ev.Value().DoubleResult);
    state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
}
BENCHMARK(BM_ExprValuePerRecord);

void BM_ExprAggregatePerRecord(benchmark::State &state)
{
    Table t;
    TPgxEvaluator ev;
    ev.Datasets = {&t.ds};
    ev.Prepare("SUM(Amount * Price) + COUNT");
    for (auto _ : state) {
        ev.Reset();
        for (t.ds.First(); !t.ds.Eof(); t.ds.Next())
            ev.DoAggregate();
        benchmark::DoNotOptimize(ev.Value().DoubleResult);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
}
BENCHMARK(BM_ExprAggregatePerRecord);

// Reference: the same expression in C++, reading the fields the same way.
void BM_NativePerRecord(benchmark::State &state)
{
    Table t;
    const PgxField *amount = t.ds.FindField("Amount");
    const PgxField *price = t.ds.FindField("Price");
    for (auto _ : state)
        for (t.ds.First(); !t.ds.Eof(); t.ds.Next()) {
            const int32_t a = amount->AsInteger().value_or(0);
            benchmark::DoNotOptimize(a > 10 ? a * price->AsFloat() : 0.0);
        }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
}
BENCHMARK(BM_NativePerRecord);

void BM_ExprPrepare(benchmark::State &state)
{
    Table t;
    TPgxEvaluator ev;
    ev.Datasets = {&t.ds};
    for (auto _ : state)
        ev.Prepare(kExpression);
}
BENCHMARK(BM_ExprPrepare);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    CounterCollector collector("items_per_second");
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto ns = [&](const char *name) {
        const double rate = collector.values[name];
        return rate > 0 ? 1e9 / rate : 0.0;
    };
    const double native = ns("BM_NativePerRecord");
    std::printf("\nper record over %d records      ours ns   C++ ns   ours/C++\n", kRows);
    for (const char *name : {"BM_ExprValuePerRecord", "BM_ExprAggregatePerRecord"})
        if (ns(name) > 0 && native > 0)
            std::printf("%-28s %9.1f %8.1f %10.3g\n", name, ns(name), native, ns(name) / native);
    benchmark::Shutdown();
    return 0;
}
