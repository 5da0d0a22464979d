#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>

#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/forms/fontsizecombo.h"
#include "report/forms/messagebox.h"
#include "report/stored/extra.h"

using namespace strandel;
using report::PgxMemoryDataSet;

namespace {

PgxMemoryDataSet *AddTable(TPgxOwner &owner, const char *name)
{
    return static_cast<PgxMemoryDataSet *>(owner.AddDataSet(std::make_unique<PgxMemoryDataSet>(name), "TTable"));
}

} // namespace

TEST(FontSizeCombo, ListsTheSixteenSizesInOrderReplacingOldItems)
{
    QComboBox combo;
    combo.addItems({"old", "items"});
    PopulateFontSizeCombo(&combo);
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    EXPECT_EQ(items.join(','), "8,9,10,11,12,14,16,18,20,22,24,26,28,36,48,72");
}

TEST(AllDataSets, WalksContainersInIndexOrderThenDataModules)
{
    TPgxOwner form("Form1");
    auto *a = AddTable(form, "Customers");
    form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    TPgxOwner *panel = form.AddContainer(std::make_unique<TPgxOwner>("Panel1"), "TPanel");
    auto *b = AddTable(*panel, "Orders");
    TPgxOwner *inner = panel->AddContainer(std::make_unique<TPgxOwner>("Panel2"), "TPanel");
    auto *c = AddTable(*inner, "Lines");
    auto *d = AddTable(form, "Parts");

    TPgxDataModule module("DataModule1");
    auto *e = AddTable(module, "Stock");
    // A data module's containers are not descended into.
    AddTable(*module.AddContainer(std::make_unique<TPgxOwner>("Nested"), "TPanel"), "Hidden");

    auto names = [](const std::vector<TPgxNamedDataSet> &v) {
        QStringList out;
        for (const auto &n : v)
            out << n.Name;
        return out.join(',');
    };
    auto withModules = AllDataSets(&form, true);
    EXPECT_EQ(names(withModules), "Customers,Orders,Lines,Parts,Stock");
    ASSERT_EQ(withModules.size(), 5u);
    const report::PgxDataSet *expected[] = {a, b, c, d, e};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(withModules[i].DataSet, expected[i]);
    EXPECT_EQ(names(AllDataSets(&form, false)), "Customers,Orders,Lines,Parts");
    EXPECT_EQ(names(AllDataSets(nullptr, true)), "Stock");
}

TEST(UniqueName, TakesTheSmallestFreeNumberAcrossReportParts)
{
    TPgxOwner form;
    auto *report = form.AddReport(std::make_unique<TPagorra>(), "TPagorra");
    report->setObjectName("Pagorra1");
    EXPECT_EQ(UniqueName(form, "Pagorra"), "Pagorra2");
    TPgxCustomBand *band = report->CreateBand(TPgxBandType::rbDetail);
    band->SetName("pgxband1");
    band->AddPrintable<TPgxPrintable>()->Name = "Label2";
    EXPECT_EQ(UniqueName(form, "PgxBand"), "PgxBand2");
    EXPECT_EQ(UniqueName(form, "Label"), "Label1");
    EXPECT_TRUE(form.FindComponent("LABEL2"));
    EXPECT_TRUE(form.Free(report));
    EXPECT_FALSE(form.Free(report));
    EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(ReportMessageBox, ShowsTheModelsMessageModally)
{
    InstallReportMessageBox();
    QString seen;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen = box->text();
            box->accept();
        }
    });
    PgxShowMessage("Error loading report");
    RegisterReportMessageHook(nullptr);
    EXPECT_EQ(seen, "Error loading report");
}
