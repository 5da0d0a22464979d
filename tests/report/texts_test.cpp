// Texts beyond ASCII keep their letters on every road through the engine: typed expressions,
// memos, the report title, strings bands, SQLite names and values, the expression builder's
// Validate, the list builder's headers, and a stored form read back.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "designforms_testutil.h"
#include "printables_fixture.h"
#include "report/bands/controllerband.h"
#include "report/bands/owner.h"
#include "report/forms/expbuilder.h"
#include "report/output/printer.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_text.h"
#include "report/stored/formclasses.h"
#include "report/stored/listbuilder.h"

using namespace strandel;
using namespace strandel::test;

namespace {

// A database with one table "Ort" of one column named after the text, holding "value <text>".
QString MakeDatabase(const QTemporaryDir &dir, const QString &text)
{
    const QString file = dir.filePath(QStringLiteral("places.db"));
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("texts_test"));
        c.setDatabaseName(file);
        c.open();
        QSqlQuery q(c);
        q.exec(QStringLiteral("CREATE TABLE Ort (\"%1\" TEXT)").arg(text));
        q.exec(QStringLiteral("INSERT INTO Ort VALUES ('value %1')").arg(text));
        c.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("texts_test"));
    return file;
}

template <class T> T *Add(TPgxCustomBand *band, int top)
{
    T *p = band->AddPrintable<T>();
    p->SetAutoSize(true);
    p->Top = top;
    return p;
}

QStringList DrawnTexts(TCustomPagorra &report)
{
    QStringList out;
    if (report.Prepare())
        for (const DrawOp &o : RecordPage(*report.Printer(), 1).Of("Text"))
            out << o.text;
    return out;
}

} // namespace

TEST(ReportTexts, NonAsciiTextsAreDrawnAsTyped)
{
    for (const QString text : {QStringLiteral("Zürich"), QStringLiteral("Relatório"), QStringLiteral("Straße"),
                               QStringLiteral("€")}) {
        SCOPED_TRACE(text.toStdString());
        QTemporaryDir dir;
        const QString db = MakeDatabase(dir, text);
        TPgxOwner form;
        QString error;
        ASSERT_TRUE(PgxReadReportForm("strandel-report-form 1\nobject Places: TTable\n  DatabaseName = '" + db.toUtf8() +
                                          "'\n  TableName = 'Ort'\nend\n",
                                      form, &error))
            << error.toStdString();
        report::PgxDataSet *places = form.ComponentAt(0).dataSet;
        ASSERT_TRUE(places->Open());

        // The list builder: the SQLite column's name heads the column, its value fills it.
        TCustomPagorra *report = nullptr;
        ASSERT_TRUE(PgxCreateList(report, &form, places, "", nullptr, &error)) << error.toStdString();
        TPgxCustomBand *title = report->CreateBand(TPgxBandType::rbTitle);
        title->SetHeight(200);
        Add<TPgxExpr>(title, 0)->SetExpression(("'expression " + text + "'").toStdString());
        Add<TPgxExpr>(title, 50)->SetExpression("REPORTTITLE");
        report->ReportTitle = QStringLiteral("title ") + text;
        Add<TPgxMemo>(title, 100)->SetLines({QStringLiteral("memo ") + text});
        auto *strings = report->AddBand(std::make_unique<TPgxStringsBand>());
        strings->SetItems({QStringLiteral("line ") + text});
        strings->SetHeight(50);
        Add<TPgxExpr>(strings, 0)->SetExpression(strings->Name().toStdString());

        const QStringList want{QStringLiteral("expression ") + text, QStringLiteral("title ") + text,
                               QStringLiteral("memo ") + text,       QStringLiteral("line ") + text,
                               text,                                 QStringLiteral("value ") + text};
        const QStringList drawn = DrawnTexts(*report);
        for (const QString &w : want)
            EXPECT_TRUE(drawn.contains(w)) << w.toStdString() << " not among: " << drawn.join(" | ").toStdString();

        // Validate shows a literal and a SQLite value as they are.
        MessageCatcher messages;
        TPgxExpressionBuilder builder(report, nullptr);
        for (const QString &e : {QStringLiteral("'") + text + QStringLiteral("'"), QStringLiteral("[") + text + "]"}) {
            builder.SetExpression(e);
            EXPECT_EQ(builder.Validate(), QStringLiteral("There are no errors. The result is : ") +
                                              (e.startsWith('[') ? QStringLiteral("value ") + text : text));
        }

        // Stored and read back, the report draws the same.
        const QByteArray stored = PgxWriteReportForm(form);
        TPgxOwner loaded;
        ASSERT_TRUE(PgxReadReportForm(stored, loaded, &error)) << error.toStdString();
        ASSERT_EQ(loaded.ComponentCount(), 2);
        ASSERT_TRUE(loaded.ComponentAt(0).dataSet->Open());
        EXPECT_EQ(DrawnTexts(*loaded.ComponentAt(1).report), drawn);
        EXPECT_EQ(PgxWriteReportForm(loaded), stored);
    }
}
