// A list report of 10,000 rows over SQLite (page header, a detail of four fields, a page footer
// with the page number) generated into the page store and saved. Reference: the same pages
// drawn straight onto the report printer without bands. Peak memory stays bounded because pages
// past the store's limit go to its temporary file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "report/bands/pagorra.h"
#include "report/data/dataset_sql.h"

namespace {

using namespace strandel;

constexpr int Rows = 10000;

// A field of the report's data set (or a report variable) as text.
class FieldText : public TPgxPrintable
{
public:
    const report::PgxDataSet *ds = nullptr;
    int field = -1;
    std::string variable;
    void Print(int32_t ofsX, int32_t ofsY) override
    {
        TPgxPrintable::Print(ofsX, ofsY);
        TPgxPrinter *p = Printer();
        if (!p || !p->Canvas())
            return;
        const QString text = field >= 0 ? ds->FieldValue(field).toString()
                                        : QString::number(ParentReport()->Functions.Value(variable).IntResult);
        p->Canvas()->TextOut(p->XPos(ofsX + Left), p->YPos(ofsY + Top), text);
    }
};

QSqlDatabase &Database()
{
    static QSqlDatabase db = [] {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        d.setDatabaseName(QStringLiteral(":memory:"));
        d.open();
        QSqlQuery q(d);
        q.exec(QStringLiteral("CREATE TABLE ev (id INTEGER, cam TEXT, kind TEXT, secs REAL)"));
        d.transaction();
        q.prepare(QStringLiteral("INSERT INTO ev VALUES (?, ?, ?, ?)"));
        for (int i = 0; i < Rows; ++i) {
            q.addBindValue(i);
            q.addBindValue(QStringLiteral("Camera %1").arg(1 + i % 16));
            q.addBindValue(i % 3 ? QStringLiteral("motion") : QStringLiteral("alarm"));
            q.addBindValue(i * 0.25);
            q.exec();
        }
        d.commit();
        return d;
    }();
    return db;
}

int64_t PeakKiB()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return 0;
}

double g_ourPagesPerSecond = 0, g_refPagesPerSecond = 0;

void BandReport(benchmark::State &state)
{
    QTemporaryDir dir;
    report::PgxSqlDataSet ds("EV", Database(), "SELECT id, cam, kind, secs FROM ev ORDER BY id LIMIT " + std::to_string(state.range(0)));
    ds.Open();
    int64_t pages = 0;
    for (auto _ : state) {
        TPagorra rep;
        rep.SetDataSet(&ds);
        TPgxCustomBand *ph = rep.CreateBand(TPgxBandType::rbPageHeader);
        ph->SetHeight(150);
        TPgxCustomBand *d = rep.CreateBand(TPgxBandType::rbDetail);
        d->SetHeight(50);
        for (int i = 0; i < 4; ++i) {
            auto *t = d->AddPrintable<FieldText>();
            t->ds = &ds;
            t->field = i;
            t->Left = 10 + i * 450;
            t->Top = 5;
        }
        TPgxCustomBand *pf = rep.CreateBand(TPgxBandType::rbPageFooter);
        pf->SetHeight(120);
        pf->AddPrintable<FieldText>()->variable = "PAGENUMBER";
        rep.Prepare();
        rep.Printer()->Save(dir.filePath(QStringLiteral("r.qrp")));
        pages += rep.Printer()->PageList().PageCount();
    }
    state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
    state.counters["peak_KiB"] = double(PeakKiB());
    if (state.range(0) == Rows)
        g_ourPagesPerSecond = state.counters["pages/s"];
}
BENCHMARK(BandReport)->Arg(1000)->Arg(Rows)->Unit(benchmark::kMillisecond);

// The same rows written at hand-computed positions straight onto the printer.
void DirectPages(benchmark::State &state)
{
    QTemporaryDir dir;
    report::PgxSqlDataSet ds("EV", Database(), "SELECT id, cam, kind, secs FROM ev ORDER BY id");
    ds.Open();
    int64_t pages = 0;
    for (auto _ : state) {
        TPgxPrinter p;
        p.Settings().SetPaperSize(TPgxPaperSize::A4);
        p.BeginDoc();
        int page = 0, y = 1 << 30;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            if (y + 50 > 2970 - 100 - 120) {
                if (page > 0)
                    p.Canvas()->TextOut(p.XPos(100), p.YPos(2750), QString::number(page));
                p.NewPage();
                ++page;
                y = 250;
            }
            for (int i = 0; i < 4; ++i)
                p.Canvas()->TextOut(p.XPos(110 + i * 450), p.YPos(y + 5), ds.FieldValue(i).toString());
            y += 50;
        }
        p.Canvas()->TextOut(p.XPos(100), p.YPos(2750), QString::number(page));
        p.EndDoc();
        p.Save(dir.filePath(QStringLiteral("d.qrp")));
        pages += page;
    }
    state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
    g_refPagesPerSecond = state.counters["pages/s"];
}
BENCHMARK(DirectPages)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_refPagesPerSecond > 0)
        std::printf("band report: %.0f pages/s, direct drawing (reference): %.0f pages/s, ratio %.2f; peak %lld KiB\n",
                    g_ourPagesPerSecond, g_refPagesPerSecond, g_ourPagesPerSecond / g_refPagesPerSecond,
                    static_cast<long long>(PeakKiB()));
    return 0;
}
