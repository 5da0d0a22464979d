#include <gtest/gtest.h>

#include "report/output/exportfilter.h"

using namespace strandel;

namespace {

class CsvFilter : public TPgxExportFilter
{
public:
    using TPgxExportFilter::TPgxExportFilter;
    QString GetFilterName() override { return QStringLiteral("Comma separated"); }
    QString GetExtension() override { return QStringLiteral("csv"); }
};

class HtmlFilter : public TPgxExportFilter
{
public:
    using TPgxExportFilter::TPgxExportFilter;
    QString GetFilterName() override { return QStringLiteral("Web page"); }
    QString GetExtension() override { return QStringLiteral("htm"); }
};

} // namespace

TEST(ExportFilters, TheLibraryBuildsTheSaveDialogList)
{
    TPgxExportFilterLibrary lib;
    EXPECT_EQ(lib.GetSaveDialogFilter(), QStringLiteral("Pagorra file(*.Pgx)|*.Pgx"));
    // The process-wide library has no filter registered.
    EXPECT_EQ(PgxExportFilterLibrary().GetSaveDialogFilter(), lib.GetSaveDialogFilter());
    lib.AddFilter(PgxFilterClass<CsvFilter>());
    lib.AddFilter(PgxFilterClass<HtmlFilter>());
    EXPECT_EQ(lib.GetSaveDialogFilter(),
              QStringLiteral("Pagorra file(*.Pgx)|*.Pgx|Comma separated (*.csv)|*.csv|Web page (*.htm)|*.htm"));
    lib.RemoveFilter(PgxFilterClass<CsvFilter>());
    EXPECT_EQ(lib.GetSaveDialogFilter(), QStringLiteral("Pagorra file(*.Pgx)|*.Pgx|Web page (*.htm)|*.htm"));
}

TEST(ExportFilters, TheBaseFilterDoesNothingButTrackItsRun)
{
    TPgxExportFilter f(QStringLiteral("out.txt"));
    EXPECT_EQ(f.FileName, QStringLiteral("out.txt"));
    EXPECT_EQ(f.GetDescription(), QStringLiteral("Abstract non-working export filter"));
    EXPECT_EQ(f.GetFilterName(), QStringLiteral("Abstract filter"));
    EXPECT_TRUE(f.GetExtension().isEmpty());
    EXPECT_FALSE(f.GetVendorName().isEmpty());
    EXPECT_FALSE(f.GetStreaming());
    EXPECT_FALSE(f.Active);
    f.Start(2100, 2970, PgxFont{});
    EXPECT_TRUE(f.Active);
    f.TextOut(1, 2, PgxFont{}, 0xffffffff, PgxAlignment::Center, QStringLiteral("x"));
    f.Finish();
    EXPECT_FALSE(f.Active);
}
