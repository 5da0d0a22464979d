#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "report/bands/controllerband.h"
#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_richtext.h"
#include "report/printables/printables_text.h"
#include "report/stored/formclasses.h"
#include "report/stored/formstream.h"
#include "report/stored/listbuilder.h"

using namespace strandel;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

QByteArray ReadSeed(const char *name)
{
    QFile f(QStringLiteral(STRANDEL_TEST_DATA "/corpus/report_form_fuzz/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

std::unique_ptr<PgxMemoryDataSet> People()
{
    auto ds = std::make_unique<PgxMemoryDataSet>("People");
    ds->AddField({"Name", PgxFieldKind::String, "Full name", 12});
    ds->AddField({"Age", PgxFieldKind::Integer, {}, 4});
    ds->AddField({"City", PgxFieldKind::String, {}, 10});
    const char *names[] = {"Ada", "Brendan", "Chidi", "Dagny", "Eun-ji", "Farid"};
    for (int i = 0; i < 60; ++i)
        ds->AppendRecord({QString("%1 %2").arg(names[i % 6]).arg(i), 20 + i, i % 2 ? "Lyon" : "Oslo"});
    ds->Open();
    return ds;
}

// Every page of a run as the bytes of its metafile.
std::vector<std::vector<uint8_t>> Pages(TCustomPagorra &r)
{
    std::vector<std::vector<uint8_t>> pages;
    EXPECT_TRUE(r.Prepare());
    for (int32_t i = 1; i <= r.Printer()->PageCount(); ++i)
        if (auto page = r.Printer()->GetPage(i))
            pages.push_back(page->Save());
    return pages;
}

} // namespace

TEST(ReportForm, ValuesRoundTripThroughTheText)
{
    TPgxFormDocument doc;
    TPgxFormNode n;
    n.className = "TThing";
    n.name = "odd name";
    n.Add("I", TPgxFormValue::Int(INT64_MIN));
    n.Add("F", TPgxFormValue::Floats({0.1, 2970, -1e-300, 1.0 / 3}));
    n.Add("S", TPgxFormValue::Str("it's\r\n\tdone \xc3\xa9"));
    n.Add("E", TPgxFormValue::Str(""));
    n.Add("B", TPgxFormValue::Bool(true));
    n.Add("L", TPgxFormValue::Strings({"a", "", "'"}));
    n.children.push_back(TPgxFormNode{"TChild", {}, {}, {}, 0});
    doc.components.push_back(n);
    const QByteArray text = PgxWriteForm(doc);
    TPgxFormDocument back;
    QString error;
    ASSERT_TRUE(PgxParseForm(text, back, &error)) << error.toStdString() << "\n" << text.toStdString();
    ASSERT_EQ(back.components.size(), 1u);
    const TPgxFormNode &b = back.components[0];
    EXPECT_EQ(b.name, "odd name");
    EXPECT_EQ(b.children.size(), 1u);
    ASSERT_EQ(b.properties.size(), 6u);
    EXPECT_EQ(b.properties[0].value.integer, INT64_MIN);
    std::vector<double> f;
    ASSERT_TRUE(b.properties[1].value.ToFloats(f));
    EXPECT_EQ(f, (std::vector<double>{0.1, 2970, -1e-300, 1.0 / 3}));
    EXPECT_EQ(b.properties[2].value.text, QString::fromUtf8("it's\r\n\tdone \xc3\xa9"));
    EXPECT_EQ(b.properties[3].value.text, "");
    bool t = false;
    EXPECT_TRUE(b.properties[4].value.ToBool(t) && t);
    std::vector<std::string> l;
    ASSERT_TRUE(b.properties[5].value.ToStrings(l));
    EXPECT_EQ(l, (std::vector<std::string>{"a", "", "'"}));
    EXPECT_EQ(PgxWriteForm(back), text);
}

TEST(ReportForm, RefusesHostileTextWithTheLineItFailedOn)
{
    const QByteArray deep = [] {
        QByteArray s = "strandel-report-form 1\n";
        for (int i = 0; i < 20; ++i)
            s += "object TPgxBand\n";
        return s;
    }();
    const QByteArray manyBands = [] {
        QByteArray s = "strandel-report-form 1\nobject P: TPagorra\n";
        for (int i = 0; i < 257; ++i)
            s += "object TPgxBand\nend\n";
        return s + "end\n";
    }();
    struct Case {
        const char *text;
        const char *message;
    } cases[] = {
        {manyBands.constData(), "line 515: more than 256 bands"},
        {"", "not a stored report form"},
        {"PK\x03\x04 zip", "not a stored report form"},
        {"strandel-report-form 2\n", "version 2"},
        {"strandel-report-form 1 more\n", "first line"},
        {"strandel-report-form 1\nobject P: TPagorra\n  ReportTitle = 'open\nend\n", "line 3: a string is not closed"},
        {"strandel-report-form 1\nobject P: TPagorra\n", "\"end\" of TPagorra missing"},
        {"strandel-report-form 1\nobject P: TNoSuchClass\nend\n", "line 2: class TNoSuchClass not found"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Colour = 1\nend\n", "line 3: TPagorra has no property Colour"},
        {"strandel-report-form 1\nobject P: TPagorra\n  ReportTitle = 12\nend\n", "line 3: bad value of ReportTitle"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Tag = 9223372036854775808\nend\n", "not a whole number"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Page.Values = (1 2 3 4 5 6 1e999)\nend\n", "not a number"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Page.Values = (100 2970 100)\nend\n", "bad value of Page.Values"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Page.Values = (0 0 0 0 0 0 0)\nend\n", "bad value of Page.Values"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Functions.DATA = (('x'))\nend\n", "lists do not nest"},
        {"strandel-report-form 1\nobject B: TPgxBand\nend\n", "a TPgxBand cannot stand here"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object L: TPgxLabel\n    object M: TPgxLabel\n    end\n  end\nend\n", "line 4: a TPgxLabel cannot stand here"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object B: TPgxBand\n    BandType = rbChild\n  end\nend\n", "line 4: bad value of BandType"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object B: TPgxBand\n  end\n  object b: TPgxBand\n  end\nend\n", "named b already exists"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object B: TPgxBand\n    LinkBand = 'Gone'\n  end\nend\n", "line 4: LinkBand of B names no other band"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object A: TPgxBand\n    LinkBand = 'B'\n  end\n"
         "  object B: TPgxBand\n    LinkBand = 'A'\n  end\nend\n", "loop of bands"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object A: TPgxLoopBand\n    Master = 'B'\n  end\n"
         "  object B: TPgxLoopBand\n    Master = 'A'\n  end\nend\n", "line 7: Master of B would make a loop of bands"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object A: TPgxLoopBand\n    Master = 'A'\n  end\nend\n",
         "names no other controller band"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object G: TPgxGroup\n    Master = 'D'\n  end\n"
         "  object D: TPgxBand\n  end\nend\n", "line 4: Master of G names no other controller band of its report: D"},
        {"strandel-report-form 1\nobject P: TPagorra\n  object D: TPgxBand\n    Master = 'P'\n  end\nend\n", "bad value of Master"},
        {"strandel-report-form 1\nobject P: TPagorra\n  DataSet = Nothing\nend\n", "bad value of DataSet"},
        {"strandel-report-form 1\nobject P: TPagorra\n  ReportTitle = #256\nend\n", "character code"},
        {deep.constData(), "nest deeper than 16"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Page.Values = (100 2970 100 2100 1100 1000 0)\nend\n", "line 2: the page's margins"},
        // A property is named by its own line, not its component's.
        {"strandel-report-form 1\nobject P: TPagorra\n  ReportTitle = 'x'\n\n  Tag = 1\n  Page.Columns = 0\nend\n",
         "line 6: bad value of Page.Columns of TPagorra"},
        {"strandel-report-form 1\nobject P: TPagorra\n  Page.Columns = 3\n  Page.Values = (100 2970 100 2100 100 100 1000)\nend\n", "no room"},
    };
    for (const Case &c : cases) {
        TPgxOwner form;
        QString error;
        EXPECT_FALSE(PgxReadReportForm(QByteArray(c.text), form, &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.message))) << c.text << "\n gave: " << error.toStdString();
        EXPECT_EQ(form.ComponentCount(), 0) << c.text;
    }
}

TEST(ReportForm, ARefusedFormLeavesTheOwnerAsItWas)
{
    TPgxOwner form;
    auto *mine = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    mine->setObjectName("Mine");
    QString error;
    EXPECT_FALSE(PgxReadReportForm("strandel-report-form 1\nobject mine: TPagorra\nend\n", form, &error));
    EXPECT_TRUE(error.contains("named mine already exists"));
    EXPECT_FALSE(PgxReadReportForm("strandel-report-form 1\nobject Other: TPagorra\nend\nobject X: TFoo\nend\n", form, &error));
    EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(ReportForm, ReadsTheThreeExtraProperties)
{
    TPgxOwner form;
    QString error;
    ASSERT_TRUE(PgxReadReportForm(ReadSeed("list-report"), form, &error)) << error.toStdString();
    ASSERT_EQ(form.ComponentCount(), 2);
    auto *r = dynamic_cast<TPagorra *>(form.ComponentAt(1).report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->DataSet(), form.ComponentAt(0).dataSet);
    // "Values" of the page and of a band, in tenths of a millimetre.
    EXPECT_EQ(r->Page.ReadValues(), (std::vector<double>{100, 2100, 100, 2970, 100, 100, 0}));
    EXPECT_EQ(r->Page.Orientation(), TPgxOrientation::Landscape);
    TPgxCustomBand *title = r->BandOfType(TPgxBandType::rbTitle);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->Height(), 80);
    // "FontSize" of a label.
    auto *label = dynamic_cast<TPgxLabel *>(title->Printables().at(0).get());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->Font().Size, 14);
    EXPECT_TRUE(label->Font().Bold);
    EXPECT_EQ(label->Caption(), "Customers\r\nand 'friends'");
    // "DATA" of the environment: one expression per name.
    ASSERT_EQ(r->Functions.Count(), 4);
    EXPECT_EQ(r->Functions.Name(3), "RATE");
    EXPECT_EQ(r->Functions.Expression(3), "2.5");
    auto *expr = dynamic_cast<TPgxExpr *>(r->BandOfType(TPgxBandType::rbDetail)->Printables().at(0).get());
    ASSERT_TRUE(expr);
    EXPECT_EQ(expr->Expression(), "[Name]");
    EXPECT_EQ(expr->Alignment(), TPgxAlignment::taRightJustify);
    EXPECT_EQ(expr->Name, "PgxExpr1");
}

TEST(ReportForm, ResolvesBandReferencesAndKeepsThemOnWriting)
{
    TPgxOwner form;
    QString error;
    ASSERT_TRUE(PgxReadReportForm(ReadSeed("groups"), form, &error)) << error.toStdString();
    TCustomPagorra *r = form.ComponentAt(1).report;
    ASSERT_TRUE(r);
    auto *group = dynamic_cast<TPgxGroup *>(r->BandOfType(TPgxBandType::rbGroupHeader));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->Expression, "Orders.Region");
    ASSERT_TRUE(group->FooterBand());
    EXPECT_EQ(group->FooterBand()->Name(), "RegionFooter");
    ASSERT_TRUE(group->FooterBand()->LinkBand());
    EXPECT_EQ(group->FooterBand()->LinkBand()->Name(), "Details");
    auto *child = dynamic_cast<TPgxChildBand *>(r->BandOfType(TPgxBandType::rbChild));
    ASSERT_TRUE(child && child->ParentBand());
    EXPECT_EQ(child->ParentBand()->Name(), "Details");
    EXPECT_EQ(r->Page.Columns(), 2);
    EXPECT_EQ(r->Panel().Zoom(), 150);
    // A printable on the report itself, not on a band.
    ASSERT_EQ(r->Printables().size(), 1u);
    EXPECT_EQ(r->Printables()[0]->Name, "Watermark");
    EXPECT_EQ(r->Printables()[0]->Top, 900);
    auto *sub = dynamic_cast<TPgxSubDetail *>(r->BandOfType(TPgxBandType::rbSubDetail));
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->DataSet(), form.ComponentAt(0).dataSet);
    EXPECT_FALSE(sub->PrintIfEmpty());
    ASSERT_TRUE(sub->HeaderBand());
    EXPECT_EQ(sub->HeaderBand()->Name(), "LinesHeader");

    const QByteArray written = PgxWriteReportForm(form);
    for (const char *kept : {"FooterBand = 'RegionFooter'", "LinkBand = 'Details'", "ParentBand = 'Details'",
                             "SQL.Strings = ('SELECT * FROM Orders' 'WHERE Total > :Min' 'ORDER BY Region')",
                             "Shape = pgxsRoundRect", "HeaderBand = 'LinesHeader'", "DataSet = 'Orders'",
                             "PrintCount = 3", "Items.Strings = ('north' 'south')", "object Watermark: TPgxShape", "Lines.Strings = ('first line' '' 'third, with a tab'#9'here')"})
        EXPECT_TRUE(written.contains(kept)) << kept << "\n" << written.toStdString();
}

TEST(ReportForm, RegistersTheNineClassesAndTakesNewOnes)
{
    const QStringList names = PgxRegisteredClasses();
    for (const char *c : {"TPagorra", "TPgxBand", "TPgxGroup", "TPgxSubDetail", "TPgxExpr", "TPgxShape", "TTable", "TQuery",
                          "TPgxChildBand", "TPgxLabel"})
        EXPECT_TRUE(names.contains(c)) << c;

    struct TStamp : TPgxPrintable {
        QString Text;
    };
    PgxRegisterPrintableClass<TStamp>(
        "TStamp", [](const TStamp &s, TPgxFormNode &n) { n.Add("Text", TPgxFormValue::Str(s.Text)); },
        [](TStamp &s, const TPgxFormProperty &p, QString &why) {
            if (p.name != "Text")
                return false;
            if (!p.value.ToString(s.Text))
                why = "bad Text";
            return true;
        });
    TPgxOwner form;
    auto *r = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    r->CreateBand(TPgxBandType::rbDetail)->AddPrintable<TStamp>()->Text = "approved";
    const QByteArray text = PgxWriteReportForm(form);
    EXPECT_TRUE(text.contains("object TStamp\n")) << text.toStdString();
    TPgxOwner back;
    QString error;
    ASSERT_TRUE(PgxReadReportForm(text, back, &error)) << error.toStdString();
    auto *stamp = dynamic_cast<TStamp *>(back.ComponentAt(0).report->BandOfType(TPgxBandType::rbDetail)->Printables().at(0).get());
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->Text, "approved");
}

TEST(ReportForm, SavingAFormThatWouldLoseAComponentIsRefused)
{
    struct TUnstorable : TPgxPrintable {};
    TPgxOwner form;
    auto *r = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    TPgxCustomBand *detail = r->CreateBand(TPgxBandType::rbDetail);
    detail->AddPrintable<TPgxLabel>()->SetCaption("kept");
    detail->AddPrintable<TUnstorable>()->Name = "Stamp1";
    QTemporaryDir dir;
    const QString path = dir.filePath("report.srf");
    QString error;
    EXPECT_FALSE(PgxSaveReportForm(form, path, &error));
    EXPECT_TRUE(error.contains("Stamp1")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    QStringList leftOut;
    EXPECT_TRUE(PgxWriteReportForm(form, &leftOut).contains("kept"));
    EXPECT_EQ(leftOut, QStringList{"Stamp1"});
}

TEST(ReportForm, AStoredListReportGeneratesTheSamePages)
{
    TPgxOwner form;
    auto *people = form.AddDataSet(People(), "TMemoryTable");
    TCustomPagorra *report = nullptr;
    QString error;
    ASSERT_TRUE(PgxCreateList(report, &form, people, "People", nullptr, &error)) << error.toStdString();
    ASSERT_TRUE(report);
    report->Functions.AddFunction("GREETING", "'Hello'");
    report->BandOfType(TPgxBandType::rbTitle)->SetHeight(120);
    const auto before = Pages(*report);
    ASSERT_GE(before.size(), 2u);

    // The data set is the form's own; the stored form names it.
    const QByteArray text = PgxWriteReportForm(form);
    EXPECT_TRUE(text.contains("DataSet = 'People'"));
    TPgxOwner loaded;
    loaded.AddDataSet(People(), "TMemoryTable");
    ASSERT_TRUE(PgxReadReportForm(text, loaded, &error)) << error.toStdString() << "\n" << text.toStdString();
    ASSERT_EQ(loaded.ComponentCount(), 2);
    TCustomPagorra *again = loaded.ComponentAt(1).report;
    EXPECT_EQ(static_cast<TPagorra *>(again)->DataSet(), loaded.ComponentAt(0).dataSet);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Functions.Expression(again->Functions.Count() - 1), "'Hello'");
    const auto after = Pages(*again);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(after[i] == before[i]) << "page " << i + 1;
    EXPECT_EQ(PgxWriteReportForm(loaded).toStdString(), text.toStdString());
}

TEST(ReportForm, AStoredMasterDetailReportKeepsItsMastersAndPages)
{
    auto cities = [] {
        auto ds = std::make_unique<PgxMemoryDataSet>("Cities");
        ds->AddField({"City", PgxFieldKind::String, {}, 10});
        for (const char *c : {"Lyon", "Oslo", "Quito"})
            ds->AppendRecord({c});
        ds->Open();
        return ds;
    };
    TPgxOwner form;
    auto *people = form.AddDataSet(People(), "TMemoryTable");
    auto *places = form.AddDataSet(cities(), "TMemoryTable");
    auto *r = static_cast<TPagorra *>(form.AddReport(std::make_unique<TPagorra>(), "TPagorra"));
    r->SetDataSet(people);
    r->CreateBand(TPgxBandType::rbDetail)->AddPrintable<TPgxLabel>()->SetCaption("person");
    auto *lines = r->AddBand(std::make_unique<TPgxSubDetail>());
    lines->SetName("Lines");
    lines->SetDataSet(places);
    lines->AddPrintable<TPgxLabel>()->SetCaption("city");
    // Twice per city, not per person: only its master says so.
    auto *copies = r->AddBand(std::make_unique<TPgxLoopBand>());
    copies->SetName("Copies");
    copies->SetPrintCount(2);
    ASSERT_TRUE(copies->SetMaster(lines));
    copies->AddPrintable<TPgxLabel>()->SetCaption("copy");
    auto *byCity = r->CreateGroup();
    byCity->SetName("ByCity");
    byCity->Expression = "Cities.City";
    ASSERT_TRUE(byCity->SetMaster(lines));
    const auto before = Pages(*r);
    ASSERT_GE(before.size(), 2u);

    const QByteArray text = PgxWriteReportForm(form);
    TPgxOwner loaded;
    loaded.AddDataSet(People(), "TMemoryTable");
    loaded.AddDataSet(cities(), "TMemoryTable");
    QString error;
    ASSERT_TRUE(PgxReadReportForm(text, loaded, &error)) << error.toStdString() << "\n" << text.toStdString();
    TCustomPagorra *again = loaded.ComponentAt(2).report;
    ASSERT_TRUE(again);
    TPgxSubDetail *lines2 = nullptr;
    for (TPgxCustomBand *b : again->AllBands())
        if (b->Name() == "Lines")
            lines2 = dynamic_cast<TPgxSubDetail *>(b);
    ASSERT_TRUE(lines2);
    EXPECT_EQ(lines2->Master(), static_cast<TPgxComponent *>(again));
    for (TPgxCustomBand *b : again->AllBands()) {
        if (auto *l = dynamic_cast<TPgxLoopBand *>(b)) {
            EXPECT_EQ(l->Master(), static_cast<TPgxComponent *>(lines2));
        } else if (auto *g = dynamic_cast<TPgxGroup *>(b)) {
            EXPECT_EQ(g->Master(), static_cast<TPgxComponent *>(lines2));
        }
    }
    const auto after = Pages(*again);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(after[i] == before[i]) << "page " << i + 1;
    EXPECT_EQ(PgxWriteReportForm(loaded).toStdString(), text.toStdString());
}

TEST(ReportForm, TablesAndQueriesReadTheirDatabaseWithoutWritingIt)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("shop.db");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "formtest");
        c.setDatabaseName(db);
        ASSERT_TRUE(c.open());
        QSqlQuery q(c);
        ASSERT_TRUE(q.exec("CREATE TABLE People (Name TEXT, Age INTEGER)"));
        ASSERT_TRUE(q.exec("INSERT INTO People VALUES ('Ada', 36), ('Bob', 41), ('Cy', 12)"));
        c.close();
    }
    QSqlDatabase::removeDatabase("formtest");
    const QString missing = dir.filePath("missing.db");
    const QByteArray text = "strandel-report-form 1\nobject People: TTable\n  DatabaseName = '" + db.toUtf8()
                            + "'\n  TableName = 'People'\nend\nobject Adults: TQuery\n  DatabaseName = '" + db.toUtf8()
                            + "'\n  SQL.Strings = ('SELECT Name FROM People' 'WHERE Age >= 18')\nend\n"
                              "object Nowhere: TTable\n  DatabaseName = '" + missing.toUtf8() + "'\n  TableName = 'X'\nend\n";
    TPgxOwner form;
    QString error;
    ASSERT_TRUE(PgxReadReportForm(text, form, &error)) << error.toStdString();
    ASSERT_EQ(form.ComponentCount(), 3);
    report::PgxDataSet *people = form.ComponentAt(0).dataSet, *adults = form.ComponentAt(1).dataSet;
    ASSERT_TRUE(people->Open());
    EXPECT_EQ(people->RecordCount(), 3);
    EXPECT_EQ(people->Name(), "People");
    ASSERT_TRUE(adults->Open());
    EXPECT_EQ(adults->RecordCount(), 2);
    EXPECT_EQ(adults->FieldCount(), 1);
    EXPECT_FALSE(form.ComponentAt(2).dataSet->Open());
    EXPECT_FALSE(QFile::exists(missing));
    // Written back as they were read.
    const QByteArray again = PgxWriteReportForm(form);
    EXPECT_TRUE(again.contains("SQL.Strings = ('SELECT Name FROM People' 'WHERE Age >= 18')")) << again.toStdString();
    EXPECT_TRUE(again.contains("TableName = 'People'"));
}

TEST(ReportForm, DataTextsFindTheirDataSetOnceTheFormIsRead)
{
    TPgxOwner form;
    auto *people = form.AddDataSet(People(), "TMemoryTable");
    const QByteArray text = "strandel-report-form 1\nobject P: TPagorra\n  object D: TPgxBand\n    BandType = rbDetail\n"
                            "    object Who: TPgxDBText\n      DataSet = 'people'\n      DataField = 'Name'\n"
                            "      Mask = ''\n    end\n    object When: TPgxSysData\n      Data = pgxsPageNumber\n"
                            "      Text = 'Page '\n    end\n    object Rich: TPgxRichText\n      Lines = 'Plain words'\n"
                            "      TextAlignment = taCenter\n      Font.Size = 14\n    end\n    object RichDb: TPgxDBRichText\n"
                            "      DataSet = 'People'\n      DataField = 'City'\n    end\n  end\nend\n";
    QString error;
    ASSERT_TRUE(PgxReadReportForm(text, form, &error)) << error.toStdString();
    TPgxCustomBand *detail = form.ComponentAt(1).report->BandOfType(TPgxBandType::rbDetail);
    auto *who = dynamic_cast<TPgxDBText *>(detail->Printables().at(0).get());
    auto *when = dynamic_cast<TPgxSysData *>(detail->Printables().at(1).get());
    ASSERT_TRUE(who && when);
    EXPECT_EQ(who->DataSet(), people);
    EXPECT_EQ(who->DataField(), "Name");
    EXPECT_EQ(when->Data(), TPgxSysDataType::pgxsPageNumber);
    EXPECT_EQ(when->Text(), "Page ");
    auto *rich = dynamic_cast<TPgxRichText *>(detail->Printables().at(2).get());
    auto *richDb = dynamic_cast<TPgxDBRichText *>(detail->Printables().at(3).get());
    ASSERT_TRUE(rich && richDb);
    EXPECT_EQ(rich->Lines(), "Plain words");
    EXPECT_EQ(rich->TextAlignment(), TPgxAlignment::taCenter);
    EXPECT_EQ(rich->Font().pointSize(), 14);
    EXPECT_EQ(richDb->DataSet(), people);
    EXPECT_EQ(richDb->DataField, "City");
    const QByteArray written = PgxWriteReportForm(form);
    for (const char *kept : {"DataSet = 'People'", "DataField = 'Name'", "Data = pgxsPageNumber", "Text = 'Page '",
                             "Lines = 'Plain words'", "DataField = 'City'", "TextAlignment = taCenter"})
        EXPECT_TRUE(written.contains(kept)) << kept << "\n" << written.toStdString();
    // Outside a read there is nothing to resolve against.
    EXPECT_FALSE(PgxFormResolveDataSet("People", [](report::PgxDataSet *) {}));
}
