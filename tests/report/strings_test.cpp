#include <set>

#include <gtest/gtest.h>

#include "report/base/strings.h"

namespace strandel::report {
namespace {

TEST(PgxStrings, TableHoldsEveryIdOnceInOrder)
{
    ASSERT_EQ(PgxStringCount(), 291);
    std::set<std::string_view> names;
    int unnamed = 0;
    for (int i = 0; i < PgxStringCount(); ++i) {
        const uint16_t id = PgxStringIdAt(i);
        EXPECT_GE(id, 65232);
        if (i > 0) {
            EXPECT_GT(id, PgxStringIdAt(i - 1));
        }
        // Ids of the program's other string tables are not the library's.
        EXPECT_FALSE(id >= 65245 && id <= 65247) << id;
        EXPECT_FALSE(id >= 65520 && id <= 65529) << id;
        const std::string_view name = PgxStringName(id);
        if (name.empty()) {
            ++unnamed;
            continue;
        }
        EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_EQ(unnamed, 2);
    EXPECT_TRUE(PgxStringName(PgxVendorStringId).empty());
    EXPECT_FALSE(PgxLoadStr(PgxVendorStringId).empty());
}

TEST(PgxStrings, TextsByIdAndName)
{
    struct Case {
        uint16_t id;
        const char *name;
        const char *text;
    };
    const Case cases[] = {
        {SpgxPage, "SpgxPage", "Page"},
        {65469, "SpgxPage", "Page"},
        {SpgxPaperSize7, "SpgxPaperSize7", "Executive7 1/2 x 10 in"},
        {SpgxCompleted, "SpgxCompleted", " Completed"},
        {SpgxExpBldError, "SpgxExpBldError", "ERROR: "},
        {SpgxExpBldNoError, "SpgxExpBldNoError", "There are no errors. The result is : "},
        {SpgxExpIllegalCharInNumeric, "SpgxExpIllegalCharInNumeric", "Illegal character in numeric contant \"%s\""},
        {SpgxChild, "SpgxChild", "Child"},
        {SpgxChildBandName, "SpgxChildBandName", "ChildBand"},
        {SpgxDivisionByZero, "SpgxDivisionByZero", "Division by Zero"},
        {SpgxPaperSize5, "SpgxPaperSize5", "Legal 8 1/2 x 14 in"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PgxStringName(c.id), c.name);
        EXPECT_EQ(PgxLoadStr(c.id), c.text);
    }
    EXPECT_EQ(PgxLoadStr(65245), "");
    EXPECT_EQ(PgxLoadStr(100), "");
    EXPECT_EQ(PgxStringName(100), "");
}

TEST(PgxStrings, ReplacedTableChangesTheText)
{
    PgxSetStringTable({{SpgxPage, "Seite"}, {65245, "not ours"}});
    EXPECT_EQ(PgxLoadStr(SpgxPage), "Seite");
    EXPECT_EQ(PgxLoadStr(65245), "");
    PgxResetStringTable();
    EXPECT_EQ(PgxLoadStr(SpgxPage), "Page");
}

TEST(PgxStrings, PlaceholdersTakeTextLiterally)
{
    EXPECT_EQ(PgxFmt(SpgxExpOperatorNotCompatible, {"AND", "numeric"}),
              "Operator AND is not compatible with numeric expressions");
    // User text holding format directives stays as written.
    EXPECT_EQ(PgxFmt(SpgxExpUnknownFunction, {"%s%d%n%%"}), "Unknown function : %s%d%n%%");
    EXPECT_EQ(PgxFmt(SpgxExpIllegalCharInNumeric, {"1x"}), "Illegal character in numeric contant \"1x\"");
    EXPECT_EQ(PgxFormatText("%s and %s", {"one"}), "one and ");
    EXPECT_EQ(PgxFormatText("100%% %x %", {"a"}), "100% %x %");
    EXPECT_EQ(PgxFmt(SpgxGotoPage, {"12"}), "Select a page from 1 to 12");
}

} // namespace
} // namespace strandel::report
