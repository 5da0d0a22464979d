#include <gtest/gtest.h>

#include <QPointer>

#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/expr/expr.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_text.h"
#include "report/stored/listbuilder.h"

using namespace strandel;
using report::PgxAlignment;
using report::PgxFieldDef;
using report::PgxFieldKind;
using report::PgxMemoryDataSet;

namespace {

PgxMemoryDataSet *Table(TPgxOwner &form, std::vector<PgxFieldDef> fields)
{
    auto ds = std::make_unique<PgxMemoryDataSet>("Items");
    for (auto &f : fields)
        ds->AddField(std::move(f));
    return static_cast<PgxMemoryDataSet *>(form.AddDataSet(std::move(ds), "TMemoryTable"));
}

template <class T> std::vector<T *> On(TCustomPagorra *r, TPgxBandType type)
{
    std::vector<T *> out;
    if (TPgxCustomBand *b = r->BandOfType(type))
        for (const auto &p : b->Printables())
            if (auto *t = dynamic_cast<T *>(p.get()))
                out.push_back(t);
    return out;
}

QStringList Captions(TCustomPagorra *r)
{
    QStringList s;
    for (TPgxLabel *l : On<TPgxLabel>(r, TPgxBandType::rbColumnHeader))
        s << l->Caption();
    return s;
}

QStringList Expressions(TCustomPagorra *r)
{
    QStringList s;
    for (TPgxExpr *e : On<TPgxExpr>(r, TPgxBandType::rbDetail))
        s << QString::fromStdString(e->Expression());
    return s;
}

} // namespace

TEST(ListBuilder, ColumnsOfTheVisibleFieldsWithATitleAndPageNumber)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"Name", PgxFieldKind::String, "Full name", 10},
                            {"Notes", PgxFieldKind::Memo},
                            {"Photo", PgxFieldKind::Blob},
                            {"Secret", PgxFieldKind::String, {}, 5, {}, false},
                            {"Qty", PgxFieldKind::Integer, {}, 6, PgxAlignment::Center}});
    TCustomPagorra *r = nullptr;
    QString error;
    ASSERT_TRUE(PgxCreateList(r, &form, ds, "Stock list", nullptr, &error)) << error.toStdString();
    ASSERT_TRUE(r);
    EXPECT_TRUE(form.Owns(r));
    EXPECT_EQ(static_cast<TPagorra *>(r)->DataSet(), ds);
    // The title is only the title label's caption: the report's own title stays empty.
    EXPECT_EQ(r->ReportTitle, "");
    EXPECT_EQ(Captions(r), QStringList({"Full name", "Qty"}));
    EXPECT_EQ(Expressions(r), QStringList({"[Name]", "[Qty]"}));

    auto labels = On<TPgxLabel>(r, TPgxBandType::rbColumnHeader);
    auto exprs = On<TPgxExpr>(r, TPgxBandType::rbDetail);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(exprs[i]->Left, labels[i]->Left);
        EXPECT_EQ(exprs[i]->Width, labels[i]->Width);
        EXPECT_TRUE(labels[i]->Frame().DrawBottom());
        EXPECT_FALSE(labels[i]->AutoSize());
        EXPECT_FALSE(exprs[i]->AutoSize());
    }
    // Sized to the display width in X's: ten for Name, six for Qty.
    EXPECT_GT(labels[0]->Width, labels[1]->Width);
    EXPECT_GT(labels[1]->Left, labels[0]->Left + labels[0]->Width);
    EXPECT_EQ(exprs[0]->Alignment(), TPgxAlignment::taLeftJustify);
    EXPECT_EQ(exprs[1]->Alignment(), TPgxAlignment::taCenter);

    auto titles = On<TPgxLabel>(r, TPgxBandType::rbTitle);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0]->Caption(), "Stock list");
    EXPECT_EQ(titles[0]->Font().Size, 14);
    EXPECT_TRUE(titles[0]->Font().Bold);
    EXPECT_EQ(titles[0]->Alignment(), TPgxAlignment::taCenter);
    EXPECT_TRUE(titles[0]->AlignToBand());
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbTitle)->Height(), 20); // as the band was created

    auto footer = On<TPgxExpr>(r, TPgxBandType::rbPageFooter);
    ASSERT_EQ(footer.size(), 1u);
    EXPECT_EQ(footer[0]->Expression(), "'Page ' + PageNumber");
    EXPECT_EQ(footer[0]->Alignment(), TPgxAlignment::taRightJustify);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbPageFooter)->Height(), PgxRound(footer[0]->Height * 1.5));
    // Rows one and a half times the height a column label was made with.
    const double rows = PgxRound(labels[1]->Height * 1.5);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbDetail)->Height(), rows);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbColumnHeader)->Height(), rows);

    // Every part is named after its class.
    EXPECT_EQ(r->objectName(), "Pagorra1");
    EXPECT_EQ(labels[0]->Name, "PgxLabel2");
    EXPECT_EQ(titles[0]->Name, "PgxLabel1");
    EXPECT_EQ(exprs[1]->Name, "PgxExpr3");
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbTitle)->Name(), "TitleBand1"); // the report names its bands
}

TEST(ListBuilder, EveryNameAnExpressionCanReferenceGetsAColumn)
{
    const std::vector<std::string> names{"Unit Price", "A-B", "Odd/Name", "Back\\Slash", "R&D", "Rate %",
                                         " Lead", "Wh[at", "x.y", "a]b"};
    const QStringList all = [&] {
        QStringList l;
        for (const std::string &n : names)
            l << QString::fromStdString(n);
        return l;
    }();
    for (const QStringList *list : {static_cast<const QStringList *>(nullptr), &all}) {
        TPgxOwner form;
        std::vector<PgxFieldDef> defs;
        std::vector<QVariant> row;
        for (const std::string &n : names) {
            defs.push_back({n, PgxFieldKind::String, {}, 2});
            row.push_back(QString::fromStdString("v:" + n));
        }
        auto *ds = Table(form, defs);
        ds->AppendRecord(row);
        ASSERT_TRUE(ds->Open());
        TCustomPagorra *r = nullptr;
        QString error;
        ASSERT_TRUE(PgxCreateList(r, &form, ds, "", list, &error));
        // Only the name with a closing bracket is left out, and the caller hears of it.
        EXPECT_EQ(Captions(r), all.mid(0, all.size() - 1));
        EXPECT_TRUE(error.endsWith(QStringLiteral(": a]b"))) << error.toStdString();
        // Each column's expression reaches its own field.
        const QStringList exprs = Expressions(r);
        ASSERT_EQ(exprs.size(), all.size() - 1);
        for (qsizetype i = 0; i < exprs.size(); ++i) {
            report::TPgxEvaluator ev;
            ev.Datasets = {ds};
            EXPECT_EQ(ev.Calculate(exprs[i].toStdString()).StringResult, "v:" + names[size_t(i)]) << exprs[i].toStdString();
        }
    }
}

TEST(ListBuilder, AFieldListGivesInvisibleFieldsAColumnInItsOrder)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"A"}, {"B", PgxFieldKind::String, {}, 0, {}, false}, {"C"}});
    TCustomPagorra *r = nullptr;
    const QStringList fields{"c", "B"};
    ASSERT_TRUE(PgxCreateList(r, &form, ds, "", &fields));
    EXPECT_EQ(Expressions(r), QStringList({"[C]", "[B]"}));
    // No title: no title band.
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbTitle), nullptr);
}

TEST(ListBuilder, NoVisibleFieldsStillGivesTheBandsAndThePageNumber)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"Hidden", PgxFieldKind::String, {}, 5, {}, false}});
    TCustomPagorra *r = nullptr;
    ASSERT_TRUE(PgxCreateList(r, &form, ds, "T", nullptr));
    EXPECT_TRUE(Captions(r).isEmpty());
    // A new band is 2 mm: rows of round(20 / 1.5) = 13, bands of round(19.5) = 20.
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbDetail)->Height(), 20);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbColumnHeader)->Height(), 20);
    EXPECT_EQ(On<TPgxExpr>(r, TPgxBandType::rbPageFooter).size(), 1u);
}

TEST(ListBuilder, TurnsToLandscapeOnceAndDropsWhatDoesNotFitEvenThen)
{
    // How wide one X prints, from a column of a hundred of them.
    double perX = 0;
    {
        TPgxOwner form;
        auto *ds = Table(form, {{"W", PgxFieldKind::String, {}, 100}});
        TCustomPagorra *r = nullptr;
        ASSERT_TRUE(PgxCreateList(r, &form, ds, "", nullptr));
        perX = On<TPgxLabel>(r, TPgxBandType::rbColumnHeader).at(0)->Width / 100;
    }
    ASSERT_GT(perX, 1);
    auto xs = [&](double tenths) { return int(tenths / perX); };
    // Portrait gives 1900 of width, landscape 2770; columns start at 50, 10 apart.
    TPgxOwner form;
    auto *ds = Table(form, {{"F1", PgxFieldKind::String, {}, xs(1000)},
                            {"F2", PgxFieldKind::String, {}, xs(1000)},
                            {"F3", PgxFieldKind::String, {}, xs(1000)},
                            {"F4", PgxFieldKind::String, {}, xs(300)},
                            {"F5", PgxFieldKind::String, {}, xs(1000)}});
    TCustomPagorra *r = nullptr;
    ASSERT_TRUE(PgxCreateList(r, &form, ds, "", nullptr));
    EXPECT_EQ(r->Page.Orientation(), TPgxOrientation::Landscape);
    EXPECT_EQ(Expressions(r), QStringList({"[F1]", "[F2]", "[F4]"}));
    auto labels = On<TPgxLabel>(r, TPgxBandType::rbColumnHeader);
    // F4 stands where F3 would have.
    EXPECT_EQ(labels[2]->Left, labels[1]->Left + labels[1]->Width + 10);
    for (TPgxExpr *e : On<TPgxExpr>(r, TPgxBandType::rbDetail))
        EXPECT_LE(e->Left + e->Width, r->BandOfType(TPgxBandType::rbDetail)->Width());
}

TEST(ListBuilder, AReportPassedInGetsOnlyColumns)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"A", PgxFieldKind::String, {}, 4}});
    auto *given = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    TPgxCustomBand *detail = given->CreateBand(TPgxBandType::rbDetail);
    detail->SetHeight(90);
    TCustomPagorra *r = given;
    ASSERT_TRUE(PgxCreateList(r, &form, ds, "Ignored", nullptr));
    EXPECT_EQ(r, given);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbTitle), nullptr);
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbPageFooter), nullptr);
    EXPECT_EQ(Expressions(r), QStringList({"[A]"}));
    // The existing detail band keeps its height; the new column header takes 1.5 rows.
    EXPECT_EQ(detail->Height(), 90);
    const double row = On<TPgxLabel>(r, TPgxBandType::rbColumnHeader).at(0)->Height;
    EXPECT_EQ(r->BandOfType(TPgxBandType::rbColumnHeader)->Height(), PgxRound(row * 1.5));
}

TEST(ListBuilder, ABadFieldListFreesThePartialReportOnceAndSaysWhy)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"A"}});
    TCustomPagorra *r = nullptr;
    const QStringList fields{"A", "Nope"};
    QString error;
    EXPECT_FALSE(PgxCreateList(r, &form, ds, "Title", &fields, &error));
    EXPECT_EQ(r, nullptr);
    EXPECT_TRUE(error.contains("Field 'Nope' not found")) << error.toStdString();
    EXPECT_EQ(form.ComponentCount(), 1); // the data set alone: the partial report is gone

    // A report given stays the caller's, as it was.
    auto *given = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    QPointer<TCustomPagorra> watch(given);
    r = given;
    EXPECT_FALSE(PgxCreateList(r, &form, ds, "", &fields, &error));
    EXPECT_EQ(r, given);
    ASSERT_TRUE(watch);
    EXPECT_TRUE(given->AllBands().empty());
    EXPECT_TRUE(form.Owns(given));
}

TEST(ListBuilder, WithoutADataSetNothingIsBuilt)
{
    TPgxOwner form;
    TCustomPagorra *r = nullptr;
    EXPECT_TRUE(PgxCreateList(r, &form, nullptr, "T", nullptr));
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(ListBuilder, AnActiveBuilderSetsTitleAndOrientationOnItsReport)
{
    TPgxOwner form;
    auto *ds = Table(form, {{"A"}});
    QPointer<TCustomPagorra> built;
    {
        TPgxListBuilder b(&form);
        b.DataSet = ds;
        EXPECT_TRUE(b.SetActive(true));
        ASSERT_TRUE(b.Report());
        built = b.Report();
        b.SetTitle("Now");
        EXPECT_EQ(b.Report()->ReportTitle, "Now");
        b.SetOrientation(TPgxOrientation::Landscape);
        EXPECT_EQ(b.Report()->Page.Orientation(), TPgxOrientation::Landscape);
        EXPECT_EQ(b.NewName("TPgxLabel"), "PgxLabel1");
        EXPECT_EQ(b.NewName("TPgxLabel"), "PgxLabel2");
        EXPECT_EQ(b.NewName("TPgxExpr"), "PgxExpr1");
    }
    // A builder that was not asked for its report frees it.
    EXPECT_FALSE(built);
    EXPECT_EQ(form.ComponentCount(), 1);

    // A report its owner already freed is not freed again.
    TPgxListBuilder b(&form);
    b.DataSet = ds;
    b.SetActive(true);
    ASSERT_TRUE(form.Free(b.Report()));
    EXPECT_EQ(b.Report(), nullptr);
    b.SetActive(false);
    b.AddAllFields();
    EXPECT_EQ(b.Fields, QStringList({"A"}));
}
