#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/output/printdevice.h"
#include "report/output/printer.h"
#include "report/pages/metafile.h"
#include "report/stored/extra.h"
#include "report/stored/formclasses.h"
#include "report/stored/listbuilder.h"

using namespace strandel;

namespace {

int PdfPages(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("pdfinfo"), {file});
    tool.waitForFinished(30000);
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(tool.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Counts the messages the model shows, for one test.
struct Messages {
    QStringList shown;
    Messages() { RegisterReportMessageHook([this](const QString &m) { shown << m; }); }
    ~Messages() { RegisterReportMessageHook(nullptr); }
};

void Write(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A list report of a few people, saved as a stored form.
QByteArray StoredList()
{
    TPgxOwner form;
    auto ds = std::make_unique<report::PgxMemoryDataSet>("People");
    ds->AddField({"Name", report::PgxFieldKind::String, {}, 12});
    auto *people = form.AddDataSet(std::move(ds), "TMemoryTable");
    TCustomPagorra *r = nullptr;
    EXPECT_TRUE(PgxCreateList(r, &form, people, "People", nullptr));
    return PgxWriteReportForm(form);
}

} // namespace

TEST(StrInMetafile, FindsTextInAnyCaseUnlessAskedNotTo)
{
    TPgxMetafile inner(100, 100, 96, 96);
    {
        TPgxMetafileCanvas c(inner);
        c.TextOut(1, 1, QStringLiteral("Grand Total: 12"));
    }
    TPgxMetafile page(800, 600, 96, 96);
    {
        TPgxMetafileCanvas c(page);
        c.TextOut(10, 10, QStringLiteral("SUMMARY"));
        c.Rectangle({0, 0, 50, 50});
        c.DrawMetafile({0, 0, 100, 100}, inner);
    }
    struct Case {
        const char *text;
        bool caseSensitive, found;
    } cases[] = {
        {"total", false, true}, {"total", true, false}, {"Total", true, true}, {"summary", false, true},
        {"SUMMARY", true, true}, {"total: 13", false, false}, {"", false, false}, {"", true, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(StrInMetafile(QString::fromLatin1(c.text), &page, c.caseSensitive), c.found)
            << c.text << " " << c.caseSensitive;
    EXPECT_FALSE(StrInMetafile(QStringLiteral("x"), nullptr, false));
}

TEST(PgxLoadReport, ReadsAStoredReportAndFreesItWithItsForm)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("list.pgf");
    Write(name, StoredList());
    Messages messages;
    QString error;
    TPagorra *r = PgxLoadReport(name, &error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(r->objectName(), "Pagorra1");
    EXPECT_TRUE(r->BandOfType(TPgxBandType::rbDetail));
    QPointer<TPagorra> watch(r);

    // A report of someone else's is not touched.
    TPagorra other;
    PgxFreeReport(&other);
    PgxFreeReport(nullptr);
    EXPECT_TRUE(watch);
    PgxFreeReport(r);
    EXPECT_FALSE(watch);
}

TEST(PgxLoadReport, AFormWithoutAReportFirstGivesNothingQuietly)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("table.pgf");
    Write(name, "strandel-report-form 1\nobject T: TTable\n  TableName = 'X'\nend\nobject P: TPagorra\nend\n");
    Messages messages;
    QString error;
    EXPECT_EQ(PgxLoadReport(name, &error), nullptr);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_TRUE(error.isEmpty());
}

TEST(PgxLoadReport, AFileThatCannotBeReadSaysErrorLoadingReport)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath("garbage.pgf"), broken = dir.filePath("broken.pgf");
    Write(garbage, QByteArray("\x89PNG\r\n\x1a\n", 8));
    Write(broken, StoredList().replace("TPgxBand", "TPgxBnad"));
    for (const QString &name : {dir.filePath("missing.pgf"), garbage, broken, dir.path()}) {
        Messages messages;
        QString error;
        EXPECT_EQ(PgxLoadReport(name, &error), nullptr) << name.toStdString();
        EXPECT_EQ(messages.shown, QStringList({"Error loading report"})) << name.toStdString();
        EXPECT_FALSE(error.isEmpty()) << name.toStdString();
    }
}

TEST(PgxPHandler, LoadsASavedReportOnceAndPrintsIt)
{
    QTemporaryDir dir;
    const QString saved = dir.filePath("people.pgx"), pdf = dir.filePath("people.pdf");
    {
        TPgxOwner form;
        auto ds = std::make_unique<report::PgxMemoryDataSet>("People");
        ds->AddField({"Name", report::PgxFieldKind::String, {}, 12});
        for (int i = 0; i < 120; ++i)
            ds->AppendRecord({QStringLiteral("Person %1").arg(i)});
        ds->Open();
        auto *people = form.AddDataSet(std::move(ds), "TMemoryTable");
        TCustomPagorra *r = nullptr;
        ASSERT_TRUE(PgxCreateList(r, &form, people, "People", nullptr));
        ASSERT_TRUE(r->Prepare());
        ASSERT_GE(r->Printer()->PageCount(), 2);
        ASSERT_TRUE(r->Printer()->Save(saved));
    }
    TPgxPHandler h;
    EXPECT_FALSE(h.Print());
    h.Preview(); // nothing loaded: returns at once
    ASSERT_TRUE(h.SetFilename(saved));
    TPgxPrinter *first = h.Printer();
    ASSERT_TRUE(first);
    const int pages = first->PageCount();
    EXPECT_GE(pages, 2);
    EXPECT_TRUE(h.SetFilename(saved));
    EXPECT_EQ(h.Printer(), first); // the same name loads nothing again
    first->SetPrintDevice(std::make_unique<TPgxPdfDevice>(pdf));
    ASSERT_TRUE(h.Print());
    EXPECT_EQ(PdfPages(pdf), pages);

    QString error;
    EXPECT_FALSE(h.SetFilename(dir.filePath("none.pgx"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(h.Printer(), nullptr);
    EXPECT_TRUE(h.Filename().isEmpty());
    EXPECT_FALSE(h.Print());
    EXPECT_TRUE(h.SetFilename(saved)); // and the good file again
    EXPECT_EQ(h.Printer()->PageCount(), pages);
}

namespace {

struct TwoPages : TPgxPrintJob {
    void CreateOutput(TPgxPrinter *p) override
    {
        p->BeginDoc();
        p->NewPage();
        p->Canvas()->TextOut(100, 100, QStringLiteral("first"));
        p->NewPage();
        p->Canvas()->TextOut(100, 100, QStringLiteral("second"));
        p->EndDoc();
    }
};

} // namespace

TEST(PgxPrintJob, PrintsWhatItsDescendantDraws)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("job.pdf");
    TwoPages job;
    job.PrintDeviceFactory = [&] { return std::make_unique<TPgxPdfDevice>(pdf); };
    job.Print();
    EXPECT_EQ(PdfPages(pdf), 2);
}

TEST(PgxPrintJob, PreviewReturnsOnceThePreviewIsClosed)
{
    struct Window : TPgxPreviewInterface {
        int *pagesAtClose;
        explicit Window(int *p) : pagesAtClose(p) {}
        QObject *Show(TPgxPrinter *printer) override
        {
            printer->SetShowingPreview(true);
            // The window object goes once shown; the timer keeps only what outlives it.
            QTimer::singleShot(20, [printer, out = pagesAtClose] {
                *out = printer->PageCount();
                printer->SetShowingPreview(false);
            });
            return nullptr;
        }
        void ShowModal(TPgxPrinter *) override {}
    };
    int pagesAtClose = -1;
    RegisterPreviewClass([&] { return std::make_unique<Window>(&pagesAtClose); });
    TwoPages job;
    job.Preview();
    RegisterPreviewClass(nullptr);
    EXPECT_EQ(pagesAtClose, 2);
}
