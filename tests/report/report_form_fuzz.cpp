// Fuzz entry for the stored report form: any bytes read as a form. A refusal says why and
// leaves the form it was read into empty; a form that reads writes out a text that reads again
// into the same text. Built as a libFuzzer target with clang; the unit tests run the committed
// seeds and a fixed-seed mutation of them through the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QString>

#include "report/formclasses.h"
#include "report/owner.h"

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
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(ReportFormFuzz, SeedsAndTheirMutationsReadOrRefuseCleanly)
{
    std::vector<std::string> seeds;
    for (const auto &entry : std::filesystem::directory_iterator(STRANDEL_TEST_DATA "/corpus/report_form_fuzz")) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_FALSE(seeds.empty());
    const char *pieces[] = {"object ", "end\n", "(", ")", "'", "''", "#10", "#300", " = ", ": ", "1e999", "-",
                            "9223372036854775808", "TPgxBand", "TPgxLabel", "Size.Values", "LinkBand", "\n", ".",
                            "True", "rbChild", "Master", "\xff"};
    std::mt19937 rng(175);
    for (const std::string &s : seeds)
        StrandelReportFormFuzz(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    for (int round = 0; round < 3000; ++round) {
        std::string s = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
            switch (rng() % 3) {
            case 0: s.insert(at, pieces[rng() % std::size(pieces)]); break;
            case 1: if (at < s.size()) s.erase(at, 1 + rng() % 8); break;
            default: if (at < s.size()) s[at] = char(rng()); break;
            }
        }
        StrandelReportFormFuzz(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    }
}
#endif
