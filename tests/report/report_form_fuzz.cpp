// Fuzz entry for the stored report form: any bytes read as a form. A refusal says why and
// leaves the form it was read into empty; a form that reads writes out a text that reads again
// into the same text. Built as a libFuzzer target with clang; the unit tests run the committed
// seeds and a fixed-seed mutation of them through the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QString>

#include "report/bands/owner.h"
#include "report/stored/formclasses.h"

int StrandelReportFormFuzz(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    strandel::TPgxOwner form;
    QString error;
    if (!strandel::PgxReadReportForm(text, form, &error)) {
        if (error.isEmpty() || form.ComponentCount() != 0)
            abort();
        return 0;
    }
    const QByteArray once = strandel::PgxWriteReportForm(form);
    strandel::TPgxOwner again;
    if (!strandel::PgxReadReportForm(once, again, &error))
        abort();
    if (strandel::PgxWriteReportForm(again) != once)
        abort();
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return StrandelReportFormFuzz(data, size);
}
#else
#include <gtest/gtest.h>

#include "seedmutation.h"

TEST(ReportFormFuzz, SeedsAndTheirMutationsReadOrRefuseCleanly)
{
    const std::vector<std::string> seeds = strandel::test::ReadSeeds(STRANDEL_TEST_DATA "/corpus/report_form_fuzz");
    ASSERT_FALSE(seeds.empty());
    const char *pieces[] = {"object ", "end\n", "(", ")", "'", "''", "#10", "#300", " = ", ": ", "1e999", "-",
                            "9223372036854775808", "TPgxBand", "TPgxLabel", "Size.Values", "LinkBand", "\n", ".",
                            "True", "rbChild", "Master", "\xff"};
    strandel::test::RunSeedsAndMutations(seeds, pieces, {175, 3000, 4, 8}, StrandelReportFormFuzz);
}
#endif
