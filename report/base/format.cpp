#include "report/base/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include <QLocale>

namespace strandel::report {
namespace {

PgxFormatSettings &Current()
{
    static PgxFormatSettings settings;
    return settings;
}

// A non-negative decimal number: value = 0.digits * 10^exp; no digits means zero.
struct Decimal {
    std::string digits;
    int exp = 0;
};

void StripTrailingZeros(Decimal &d)
{
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.exp = 0;
}

// |value| to `significant` decimal digits (correctly rounded by the C library).
Decimal ToDecimal(double value, int significant = 15)
{
    Decimal d;
    value = std::fabs(value);
    if (value == 0)
        return d;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, value);
    const char *p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits += *p;
    int e = 0;
    if (*p == 'e')
        std::from_chars(p + 1 + (p[1] == '+'), buf + sizeof buf, e);
    d.exp = e + 1;
    StripTrailingZeros(d);
    return d;
}

// Keeps `keep` leading digits, rounding half away from zero.
void RoundKeep(Decimal &d, int keep)
{
    if (d.digits.empty() || keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        d.exp = 0;
        return;
    }
    const bool up = d.digits[size_t(keep)] >= '5';
    d.digits.resize(size_t(keep));
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (d.digits[size_t(i)] == '9') {
                d.digits[size_t(i)] = '0';
            } else {
                ++d.digits[size_t(i)];
                break;
            }
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exp;
        }
    }
    StripTrailingZeros(d);
}

std::string Pad2(int v)
{
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

// Format letters are ASCII; the C library's case mapping would follow the process locale.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool IEquals(std::string_view text, size_t at, std::string_view word)
{
    if (at + word.size() > text.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (AsciiLower(text[at + i]) != word[i])
            return false;
    return true;
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Qt's date-time letters to the engine's.
std::string FromQtFormat(const QString &qt)
{
    std::string out;
    const std::string s = qt.toStdString();
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        size_t n = 1;
        while (i + n < s.size() && s[i + n] == c)
            ++n;
        if (c == '\'') {
            size_t j = s.find('\'', i + 1);
            if (j == std::string::npos)
                j = s.size() - 1;
            out += '"' + s.substr(i + 1, j - i - 1) + '"';
            i = j + 1;
            continue;
        }
        switch (c) {
        case 'M': out.append(n, 'm'); break;
        case 'm': out.append(std::min<size_t>(n, 2), 'n'); break;
        case 'H': out.append(std::min<size_t>(n, 2), 'h'); break;
        case 'A': case 'a': out += "ampm"; break;
        case 'P': case 'p': break;
        case 'z': out.append(n >= 3 ? 3 : 1, 'z'); break;
        case 'd': case 'y': case 'h': case 's': out.append(n, c); break;
        case 't': break;
        default: out.append(n, c); break;
        }
        i += n;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

void FormatDateTimeInto(std::string &out, std::string_view f, const QDateTime &dt, const PgxFormatSettings &fs, int depth)
{
    if (depth > 2)
        return;
    const QDate date = dt.date();
    const QTime time = dt.time();
    bool hour12 = false;
    for (size_t i = 0; i < f.size(); ++i)
        if (IEquals(f, i, "am/pm") || IEquals(f, i, "a/p") || IEquals(f, i, "ampm"))
            hour12 = true;
    bool afterHour = false;
    for (size_t i = 0; i < f.size();) {
        const char c = f[i];
        const char u = AsciiUpper(c);
        size_t n = 1;
        while (i + n < f.size() && AsciiUpper(f[i + n]) == u)
            ++n;
        bool hourToken = false;
        switch (u) {
        case '"':
        case '\'': {
            size_t j = f.find(c, i + 1);
            if (j == std::string_view::npos)
                j = f.size();
            out.append(f.substr(i + 1, j - i - 1));
            i = j + 1;
            continue;
        }
        case 'C':
            FormatDateTimeInto(out, fs.shortDateFormat, dt, fs, depth + 1);
            if (time.isValid() && time != QTime(0, 0)) {
                out += ' ';
                FormatDateTimeInto(out, fs.longTimeFormat, dt, fs, depth + 1);
            }
            n = 1;
            break;
        case 'D':
            if (n == 1)
                out += std::to_string(date.day());
            else if (n == 2)
                out += Pad2(date.day());
            else if (n == 3)
                out += fs.shortDayNames[size_t(date.dayOfWeek() % 7)];
            else if (n == 4)
                out += fs.longDayNames[size_t(date.dayOfWeek() % 7)];
            else if (n == 5)
                FormatDateTimeInto(out, fs.shortDateFormat, dt, fs, depth + 1);
            else
                FormatDateTimeInto(out, fs.longDateFormat, dt, fs, depth + 1);
            n = std::min<size_t>(n, 6);
            break;
        case 'M':
            if (afterHour && n <= 2)
                out += n == 1 ? std::to_string(time.minute()) : Pad2(time.minute());
            else if (n == 1)
                out += std::to_string(date.month());
            else if (n == 2)
                out += Pad2(date.month());
            else if (date.month() >= 1)
                out += n == 3 ? fs.shortMonthNames[size_t(date.month() - 1)] : fs.longMonthNames[size_t(date.month() - 1)];
            n = std::min<size_t>(n, 4);
            break;
        case 'Y':
            out += n <= 2 ? Pad2(date.year() % 100) : std::to_string(date.year());
            break;
        case 'H': {
            int h = time.hour();
            if (hour12) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += n == 1 ? std::to_string(h) : Pad2(h);
            n = std::min<size_t>(n, 2);
            hourToken = true;
            break;
        }
        case 'N':
            out += n == 1 ? std::to_string(time.minute()) : Pad2(time.minute());
            n = std::min<size_t>(n, 2);
            break;
        case 'S':
            out += n == 1 ? std::to_string(time.second()) : Pad2(time.second());
            n = std::min<size_t>(n, 2);
            break;
        case 'Z': {
            char b[8];
            std::snprintf(b, sizeof b, n >= 3 ? "%03d" : "%d", time.msec());
            out += b;
            n = std::min<size_t>(n, 3);
            break;
        }
        case 'T':
            FormatDateTimeInto(out, n == 1 ? fs.shortTimeFormat : fs.longTimeFormat, dt, fs, depth + 1);
            n = std::min<size_t>(n, 2);
            break;
        case 'A': {
            const bool pm = time.hour() >= 12;
            if (IEquals(f, i, "am/pm")) {
                const bool lower = c == 'a';
                out += pm ? (lower ? "pm" : "PM") : (lower ? "am" : "AM");
                i += 5;
                continue;
            }
            if (IEquals(f, i, "a/p")) {
                const bool lower = c == 'a';
                out += pm ? (lower ? 'p' : 'P') : (lower ? 'a' : 'A');
                i += 3;
                continue;
            }
            if (IEquals(f, i, "ampm")) {
                out += pm ? fs.timePMString : fs.timeAMString;
                i += 4;
                continue;
            }
            out += c;
            n = 1;
            break;
        }
        case '/':
            out += fs.dateSeparator;
            n = 1;
            break;
        case ':':
            out += fs.timeSeparator;
            n = 1;
            break;
        default:
            out += c;
            n = 1;
            break;
        }
        if (u >= 'A' && u <= 'Z')
            afterHour = hourToken;
        i += n;
    }
}

} // namespace

PgxFormatSettings PgxFormatSettings::FromLocale(const QLocale &locale)
{
    PgxFormatSettings fs;
    auto text = [](const QString &s) { return s.toStdString(); };
    // A separator is one byte of the engine's UTF-8 texts: a wider space (French groups) is
    // a plain one, anything else wider the fallback.
    auto firstChar = [](const QString &s, char fallback) {
        if (s.isEmpty())
            return fallback;
        if (s[0].unicode() < 128)
            return char(s[0].unicode());
        return s[0].isSpace() ? ' ' : fallback;
    };
    fs.decimalSeparator = firstChar(locale.decimalPoint(), '.');
    fs.thousandSeparator = firstChar(locale.groupSeparator(), ',');
    fs.shortDateFormat = FromQtFormat(locale.dateFormat(QLocale::ShortFormat));
    fs.longDateFormat = FromQtFormat(locale.dateFormat(QLocale::LongFormat));
    fs.shortTimeFormat = FromQtFormat(locale.timeFormat(QLocale::ShortFormat));
    fs.longTimeFormat = FromQtFormat(locale.timeFormat(QLocale::LongFormat));
    for (char c : fs.shortDateFormat)
        if (c != 'd' && c != 'm' && c != 'y') {
            fs.dateSeparator = c;
            break;
        }
    fs.timeAMString = text(locale.amText());
    fs.timePMString = text(locale.pmText());
    for (int m = 0; m < 12; ++m) {
        fs.shortMonthNames[size_t(m)] = text(locale.monthName(m + 1, QLocale::ShortFormat));
        fs.longMonthNames[size_t(m)] = text(locale.monthName(m + 1, QLocale::LongFormat));
    }
    for (int d = 0; d < 7; ++d) {
        const int qtDay = d == 0 ? 7 : d;
        fs.shortDayNames[size_t(d)] = text(locale.dayName(qtDay, QLocale::ShortFormat));
        fs.longDayNames[size_t(d)] = text(locale.dayName(qtDay, QLocale::LongFormat));
    }
    return fs;
}

const PgxFormatSettings &PgxCurrentFormat() { return Current(); }

void PgxSetCurrentFormat(const PgxFormatSettings &settings) { Current() = settings; }

std::string PgxFloatToStr(double value, const PgxFormatSettings &fs)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    const Decimal d = ToDecimal(value);
    if (d.digits.empty())
        return "0";
    std::string out = value < 0 ? "-" : "";
    if (d.exp > 15 || d.exp < -3) {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += fs.decimalSeparator;
            out += d.digits.substr(1);
        }
        out += 'E';
        out += std::to_string(d.exp - 1);
        return out;
    }
    if (d.exp <= 0) {
        out += '0';
        out += fs.decimalSeparator;
        out.append(size_t(-d.exp), '0');
        out += d.digits;
        return out;
    }
    const size_t intLen = size_t(d.exp);
    std::string digits = d.digits;
    if (digits.size() < intLen)
        digits.append(intLen - digits.size(), '0');
    out += digits.substr(0, intLen);
    if (digits.size() > intLen) {
        out += fs.decimalSeparator;
        out += digits.substr(intLen);
    }
    return out;
}

std::optional<std::string> PgxFormatFloat(std::string_view mask, double value, const PgxFormatSettings &fs)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // Sections split at ";" outside quotes; an open quote refuses the mask.
    std::vector<std::string_view> sections;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(mask.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote)
        return std::nullopt;
    sections.push_back(mask.substr(start));

    std::string_view sec = sections[0];
    bool showSign = true;
    if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
        sec = sections[1];
        showSign = false;
    } else if (value == 0 && sections.size() > 2 && !sections[2].empty()) {
        sec = sections[2];
    }
    if (sec.empty())
        return PgxFloatToStr(value, fs);

    // What the section asks for.
    int intDigits = 0, intZeros = -1, fracDigits = 0, fracZeros = 0, expDigits = 0;
    bool thousands = false, sci = false, seenPoint = false, anyPlaceholder = false;
    for (size_t i = 0; i < sec.size(); ++i) {
        const char c = sec[i];
        if (c == '"' || c == '\'') {
            i = sec.find(c, i + 1);
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-') && !sci) {
            sci = true;
            size_t j = i + 2;
            while (j < sec.size() && sec[j] == '0')
                ++j, ++expDigits;
            i = j - 1;
            continue;
        }
        if (c == '0' || c == '#') {
            anyPlaceholder = true;
            if (seenPoint) {
                ++fracDigits;
                if (c == '0')
                    fracZeros = fracDigits;
            } else {
                ++intDigits;
                if (c == '0' && intZeros < 0)
                    intZeros = 0;
                if (intZeros >= 0)
                    ++intZeros;
            }
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (c == ',') {
            thousands = true;
        }
    }
    if (intZeros < 0)
        intZeros = 0;
    if (!sci && std::fabs(value) >= 1e18)
        return PgxFloatToStr(value, fs);

    std::string intStr, fracStr, expStr;
    bool isZero;
    if (sci) {
        Decimal d = ToDecimal(value);
        const int precision = std::max(1, intDigits + fracDigits);
        RoundKeep(d, precision);
        isZero = d.digits.empty();
        std::string all = d.digits;
        all.resize(size_t(precision), '0');
        const int lead = std::max(intDigits, 0);
        intStr = all.substr(0, size_t(lead));
        fracStr = all.substr(size_t(lead));
        const int e = isZero ? 0 : d.exp - lead;
        const std::string expNum = std::to_string(std::abs(e));
        expStr.assign(1, e < 0 ? '-' : '+');
        if (int(expNum.size()) < expDigits)
            expStr.append(size_t(expDigits) - expNum.size(), '0');
        expStr += expNum;
        while (intStr.size() > size_t(intZeros) && !intStr.empty() && intStr[0] == '0' && !isZero)
            intStr.erase(0, 1);
        if (isZero)
            intStr = std::string(size_t(intZeros), '0');
    } else {
        Decimal d = ToDecimal(value);
        RoundKeep(d, d.exp + fracDigits);
        isZero = d.digits.empty();
        if (!isZero && d.exp > 0) {
            intStr = d.digits.substr(0, std::min<size_t>(d.digits.size(), size_t(d.exp)));
            intStr.resize(size_t(d.exp), '0');
        }
        for (int k = 0; k < fracDigits; ++k) {
            const int pos = (isZero ? 0 : d.exp) + k;
            fracStr += pos >= 0 && !isZero && size_t(pos) < d.digits.size() ? d.digits[size_t(pos)] : '0';
        }
        if (intStr.size() < size_t(intZeros))
            intStr.insert(0, size_t(intZeros) - intStr.size(), '0');
        if (thousands && intStr.size() > 3) {
            std::string grouped;
            for (size_t i = 0; i < intStr.size(); ++i) {
                if (i > 0 && (intStr.size() - i) % 3 == 0)
                    grouped += fs.thousandSeparator;
                grouped += intStr[i];
            }
            intStr = grouped;
        }
    }
    while (fracStr.size() > size_t(fracZeros) && fracStr.back() == '0')
        fracStr.pop_back();

    std::string out;
    bool numberDone = false;
    int fracAt = 0;
    auto emitNumber = [&] {
        if (numberDone)
            return;
        numberDone = true;
        if (value < 0 && showSign && !isZero)
            out += '-';
        out += intStr;
    };
    seenPoint = false;
    for (size_t i = 0; i < sec.size(); ++i) {
        const char c = sec[i];
        if (c == '"' || c == '\'') {
            const size_t j = sec.find(c, i + 1);
            out.append(sec.substr(i + 1, j - i - 1));
            i = j;
            continue;
        }
        if (sci && (c == 'E' || c == 'e') && i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-')) {
            emitNumber();
            out += c;
            if (sec[i + 1] == '+' || expStr[0] == '-')
                out += expStr[0];
            out += expStr.substr(1);
            size_t j = i + 2;
            while (j < sec.size() && sec[j] == '0')
                ++j;
            i = j - 1;
            sci = false; // one exponent only
            continue;
        }
        if (c == '0' || c == '#') {
            if (!seenPoint) {
                emitNumber();
            } else {
                if (size_t(fracAt) < fracStr.size())
                    out += fracStr[size_t(fracAt)];
                ++fracAt;
            }
            continue;
        }
        if (c == '.' && !seenPoint) {
            seenPoint = true;
            if (anyPlaceholder)
                emitNumber();
            if (!fracStr.empty())
                out += fs.decimalSeparator;
            continue;
        }
        if (c == ',')
            continue;
        out += c;
    }
    return out;
}

std::string PgxFormatDateTime(std::string_view format, const QDateTime &value, const PgxFormatSettings &fs)
{
    std::string out;
    FormatDateTimeInto(out, format.empty() ? std::string_view("c") : format, value, fs, 0);
    return out;
}

std::optional<double> PgxStrToFloat(std::string_view text, const PgxFormatSettings &fs)
{
    text = TrimBlanks(text);
    std::string c;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        c += text[i++];
    int digits = 0, magnitude = 0; // magnitude: integer digits after leading zeros
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (magnitude > 0 || text[i] != '0')
            ++magnitude;
        c += text[i++], ++digits;
    }
    if (i < text.size() && text[i] == fs.decimalSeparator) {
        c += '.';
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            c += text[i++], ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        c += 'e';
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            c += text[i++];
        int expDigits = 0, exponent = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 100000);
            c += text[i++], ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
        magnitude += negative ? -exponent : exponent;
    }
    if (i != text.size())
        return std::nullopt;
    double v = 0;
    const char *b = c.data() + (c[0] == '+');
    auto [p, ec] = std::from_chars(b, c.data() + c.size(), v);
    if (p != c.data() + c.size())
        return std::nullopt;
    if (ec == std::errc::result_out_of_range)
        return magnitude > 0 ? std::nullopt : std::optional<double>(0.0); // overflow fails, underflow is zero
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int32_t> PgxStrToInt(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    if (text.empty() || text[0] == '+')
        return std::nullopt;
    int32_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size())
        return std::nullopt;
    return v;
}

namespace {

// Blank-free numbers between separators; empty when any piece is not a number.
std::vector<int> SeparatedNumbers(std::string_view s, char sep)
{
    std::vector<int> out;
    size_t at = 0;
    while (true) {
        const size_t next = s.find(sep, at);
        const std::string_view piece = s.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
        int v = 0;
        auto [p, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), v);
        if (piece.empty() || ec != std::errc() || p != piece.data() + piece.size() || v < 0)
            return {};
        out.push_back(v);
        if (next == std::string_view::npos)
            return out;
        at = next + 1;
    }
}

} // namespace

std::optional<QTime> PgxStrToTime(std::string_view text, const PgxFormatSettings &fs)
{
    const std::vector<int> t = SeparatedNumbers(TrimBlanks(text), fs.timeSeparator);
    if (t.size() < 2 || t.size() > 3)
        return std::nullopt;
    const QTime time(t[0], t[1], t.size() == 3 ? t[2] : 0);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<QDateTime> PgxStrToDateTime(std::string_view text, const PgxFormatSettings &fs)
{
    text = TrimBlanks(text);
    const size_t blank = text.find(' ');
    const std::string_view datePart = text.substr(0, blank);
    const std::string_view timePart = blank == std::string_view::npos ? std::string_view() : TrimBlanks(text.substr(blank));
    const std::vector<int> d = SeparatedNumbers(datePart, fs.dateSeparator);
    if (d.size() != 3)
        return std::nullopt;
    // Field order as the short date format writes them.
    std::string order;
    for (char c : fs.shortDateFormat) {
        const char l = AsciiLower(c);
        if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos)
            order += l;
    }
    if (order.size() != 3)
        order = "dmy";
    int day = 0, month = 0, year = 0;
    for (size_t i = 0; i < 3; ++i)
        (order[i] == 'd' ? day : order[i] == 'm' ? month : year) = d[i];
    if (year < 100)
        year += year < 50 ? 2000 : 1900;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (!timePart.empty()) {
        const std::optional<QTime> t = PgxStrToTime(timePart, fs);
        if (!t)
            return std::nullopt;
        time = *t;
    }
    return QDateTime(date, time);
}

} // namespace strandel::report
