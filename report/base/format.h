// Value formatting of the report engine: general float text, numeric masks, date-time
// formats and parsing. Every routine takes its locale settings explicitly; the engine's
// current settings are one process-wide value that the program (or a test) sets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <QDateTime>

class QLocale;

namespace strandel::report {

// Texts are single-byte (Latin-1) like every text of the engine.
struct PgxFormatSettings {
    char decimalSeparator = '.';
    char thousandSeparator = ',';
    char dateSeparator = '/';
    char timeSeparator = ':';
    // Date-time formats in the engine's own letters (d m y h n s z t c am/pm), not Qt's.
    std::string shortDateFormat = "dd/mm/yyyy";
    std::string longDateFormat = "dddd, d mmmm yyyy";
    std::string shortTimeFormat = "hh:nn";
    std::string longTimeFormat = "hh:nn:ss";
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January", "February", "March", "April", "May", "June",
                                               "July", "August", "September", "October", "November", "December"};
    // Sunday first.
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday", "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};

    // Settings taken from a Qt locale (its separators, names and formats).
    static PgxFormatSettings FromLocale(const QLocale &locale);
};

// The settings the engine formats with; the default is the C-like set above.
const PgxFormatSettings &PgxCurrentFormat();
void PgxSetCurrentFormat(const PgxFormatSettings &settings);

// General float text: at most 15 significant digits, no exponent unless the number needs it.
std::string PgxFloatToStr(double value, const PgxFormatSettings &fs = PgxCurrentFormat());

// Number formatted by a mask: "0" digit, "#" optional digit, "." decimal point, "," thousands,
// "E+00"/"E-00" exponent, ";" sections (positive;negative;zero), quoted literals. An empty mask
// gives the general text. Nothing for a mask with an open quote or a value that is not finite.
std::optional<std::string> PgxFormatFloat(std::string_view mask, double value,
                                          const PgxFormatSettings &fs = PgxCurrentFormat());

// Date-time by a format: c, d..dddddd, m..mmmm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz, t, tt,
// am/pm, a/p, ampm, "/" and ":" separators, quoted literals. An empty format is "c".
std::string PgxFormatDateTime(std::string_view format, const QDateTime &value,
                              const PgxFormatSettings &fs = PgxCurrentFormat());

// Parsing. Blanks around the number are allowed; anything else that is not part of it fails.
// Floats use the settings' decimal separator; integers must fit 32 bits.
std::optional<double> PgxStrToFloat(std::string_view text, const PgxFormatSettings &fs = PgxCurrentFormat());
std::optional<int32_t> PgxStrToInt(std::string_view text);
// A date in the order of the short date format, with the date separator; an optional time after
// a blank ("h:n" or "h:n:s", with the time separator).
std::optional<QDateTime> PgxStrToDateTime(std::string_view text, const PgxFormatSettings &fs = PgxCurrentFormat());
// A time alone: "h:n" or "h:n:s" with the time separator.
std::optional<QTime> PgxStrToTime(std::string_view text, const PgxFormatSettings &fs = PgxCurrentFormat());

} // namespace strandel::report
