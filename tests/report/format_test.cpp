#include <cmath>
#include <limits>

#include <QLocale>

#include <gtest/gtest.h>

#include "report/base/format.h"

namespace strandel::report {
namespace {

PgxFormatSettings Comma()
{
    PgxFormatSettings fs;
    fs.decimalSeparator = ',';
    fs.thousandSeparator = '.';
    fs.dateSeparator = '.';
    return fs;
}

TEST(PgxFormat, GeneralFloatText)
{
    const struct {
        double v;
        const char *text;
    } cases[] = {
        {1.5, "1.5"}, {2.0, "2"}, {-2.5, "-2.5"}, {0.0, "0"}, {1.0 / 3, "0.333333333333333"},
        {0.1 + 0.2, "0.3"}, {1e20, "1E20"}, {1e15, "1E15"}, {123456789012345.0, "123456789012345"},
        {1e-5, "1E-5"}, {0.0001, "0.0001"}, {-1.25e-7, "-1.25E-7"}, {2147483648.0, "2147483648"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PgxFloatToStr(c.v, PgxFormatSettings()), c.text) << c.v;
    EXPECT_EQ(PgxFloatToStr(1.5, Comma()), "1,5");
}

TEST(PgxFormat, NumericMasks)
{
    const struct {
        const char *mask;
        double v;
        const char *text;
    } cases[] = {
        {"0.00", 3.14159, "3.14"},
        {"0.00", 2.675, "2.68"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#,##0", 1234567, "1,234,567"},
        {"#,##0", 123, "123"},
        {"0", 0.5, "1"},
        {"0", -0.5, "-1"},
        {"0", 2.5, "3"},
        {"0", -0.4, "0"},
        {"0", 123456.7, "123457"},
        {"#.##", 0.5, ".5"},
        {"0.##", 1, "1"},
        {"0.##", 1.5, "1.5"},
        {"0.0#", 1.5, "1.5"},
        {"0.0#", 1, "1.0"},
        {"00000", 42, "00042"},
        {"#", 0, ""},
        {"0.00E+00", 1234.5, "1.23E+03"},
        {"0.00E-00", 0.00012345, "1.23E-04"},
        {"0.0E-00", 1234.5, "1.2E03"},
        {"0.00E+00", 0, "0.00E+00"},
        {"0.00;(0.00);\"zero\"", -5.5, "(5.50)"},
        {"0.00;(0.00);\"zero\"", 0, "zero"},
        {"0.00;(0.00);\"zero\"", 5.5, "5.50"},
        {"0.00;", -5.5, "-5.50"},
        {"\"Total: \"0 'pcs'", 7, "Total: 7 pcs"},
        {"", 1.5, "1.5"},
        {"0.00", -1234.5, "-1234.50"},
    };
    for (const auto &c : cases) {
        const auto got = PgxFormatFloat(c.mask, c.v, PgxFormatSettings());
        ASSERT_TRUE(got.has_value()) << c.mask;
        EXPECT_EQ(*got, c.text) << c.mask << " " << c.v;
    }
    EXPECT_EQ(PgxFormatFloat("#,##0.00", 1234.5, Comma()).value_or("?"), "1.234,50");
    EXPECT_FALSE(PgxFormatFloat("0.00", std::nan(""), PgxFormatSettings()));
    EXPECT_FALSE(PgxFormatFloat("0.00", std::numeric_limits<double>::infinity(), PgxFormatSettings()));
    EXPECT_FALSE(PgxFormatFloat("\"open 0", 1, PgxFormatSettings()));
}

TEST(PgxFormat, DateTimeForms)
{
    const QDateTime dt(QDate(2024, 3, 5), QTime(14, 7, 9, 45));
    const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
    const PgxFormatSettings fs;
    const struct {
        const char *format;
        QDateTime v;
        const char *text;
    } cases[] = {
        {"c", dt, "05/03/2024 14:07:09"},
        {"c", midnight, "05/03/2024"},
        {"", dt, "05/03/2024 14:07:09"},
        {"t", dt, "14:07"},
        {"tt", dt, "14:07:09"},
        {"d/m/yy", dt, "5/3/24"},
        {"dddd d mmmm yyyy", dt, "Tuesday 5 March 2024"},
        {"ddd mmm", dt, "Tue Mar"},
        {"ddddd", dt, "05/03/2024"},
        {"hh:mm", dt, "14:07"},
        {"h:nn am/pm", dt, "2:07 pm"},
        {"h:nn AMPM", dt, "2:07 PM"},
        {"h:nn a/p", midnight, "12:00 a"},
        {"yyyy-mm-dd'T'hh:nn:ss.zzz", dt, "2024-03-05T14:07:09.045"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PgxFormatDateTime(c.format, c.v, fs), c.text) << c.format;
    EXPECT_EQ(PgxFormatDateTime("dd/mm/yyyy", dt, Comma()), "05.03.2024");
    // A format that names itself does not loop.
    PgxFormatSettings loop;
    loop.shortDateFormat.assign(1, 'c');
    EXPECT_FALSE(PgxFormatDateTime("c", dt, loop).empty());
}

TEST(PgxFormat, Parsing)
{
    const PgxFormatSettings fs;
    EXPECT_EQ(PgxStrToFloat("1.5", fs), 1.5);
    EXPECT_EQ(PgxStrToFloat(" -2.5e3 ", fs), -2500.0);
    EXPECT_EQ(PgxStrToFloat("1,5", Comma()), 1.5);
    for (const char *bad : {"1.5x", "abc", "1e", "", ".", "1.5.2", "1e400"})
        EXPECT_FALSE(PgxStrToFloat(bad, fs)) << bad;
    EXPECT_FALSE(PgxStrToFloat("1.5", Comma()));
    EXPECT_EQ(PgxStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(PgxStrToInt("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(PgxStrToInt(" +42 "), 42);
    for (const char *bad : {"2147483648", "4x", "++5", "", "1.0"})
        EXPECT_FALSE(PgxStrToInt(bad)) << bad;
    EXPECT_EQ(PgxStrToDateTime("05/03/2024 14:07", fs), QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    EXPECT_EQ(PgxStrToDateTime("5.3.24", Comma()), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    EXPECT_FALSE(PgxStrToDateTime("31/02/2024", fs));
    EXPECT_FALSE(PgxStrToDateTime("05/03", fs));
}

} // namespace
} // namespace strandel::report

namespace strandel::report {
namespace {

TEST(PgxFormat, SettingsFromAQtLocale)
{
    const PgxFormatSettings de = PgxFormatSettings::FromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.decimalSeparator, ',');
    EXPECT_EQ(de.thousandSeparator, '.');
    EXPECT_EQ(de.dateSeparator, '.');
    EXPECT_EQ(de.longMonthNames[2], "M\xc3\xa4rz" /* März */);
    const QDateTime dt(QDate(2024, 3, 5), QTime(14, 7, 9));
    EXPECT_EQ(PgxFormatDateTime("c", dt, de), "05.03.24 14:07:09");
    EXPECT_EQ(PgxFormatFloat("#,##0.00", 1234.5, de).value_or("?"), "1.234,50");
    const PgxFormatSettings us = PgxFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(PgxFormatDateTime("t", dt, us), "2:07 PM");
}

} // namespace
} // namespace strandel::report
