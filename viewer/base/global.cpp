#include "viewer/base/global.h"


#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace strandel {

RecorderTime ReadRecorderTime(const uint8_t *p) { return {p[0], p[1], p[2], p[3], p[4], p[5], p[6]}; }

void WriteRecorderTime(uint8_t *p, const RecorderTime &t)
{
    const uint8_t b[7] = {t.century, t.year, t.month, t.day, t.hour, t.minute, t.second};
    std::memcpy(p, b, 7);
}

int CompareRecorderTime(const RecorderTime &a, const RecorderTime &b)
{
    uint8_t x[7], y[7];
    WriteRecorderTime(x, a);
    WriteRecorderTime(y, b);
    return std::memcmp(x, y, 7);
}

char *TimeText(const RecorderTime *t, char *buffer)
{
    auto s = [](uint8_t v) { return int(int8_t(v)); };
    // Hostile fields print wider than 20 characters: format in full, then keep what fits.
    char full[64];
    std::snprintf(full, sizeof full, "%02d%02d/%02d/%02d  %02d:%02d:%02d", s(t->century), s(t->year), s(t->month),
                  s(t->day), s(t->hour), s(t->minute), s(t->second));
    std::memcpy(buffer, full, kTimeTextSize - 1);
    buffer[kTimeTextSize - 1] = 0;
    return buffer;
}

std::string TimeText(const RecorderTime &t)
{
    char buf[kTimeTextSize];
    return TimeText(&t, buf);
}

int DayOfWeek(const RecorderTime *t)
{
    static const int T[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int month = t->month;
    int y = t->century * 100 + t->year - (month < 3 ? 1 : 0);
    const int m = (month >= 1 && month <= 12) ? month : 1; // a hostile month must not index outside T
    int r = (y + y / 4 - y / 100 + y / 400 + T[m - 1] + t->day) % 7;
    return r < 0 ? r + 7 : r;
}

std::string IpToString(const uint8_t ip[4])
{
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
           std::to_string(ip[3]);
}

const char *IpToText(const uint8_t ip[4])
{
    // One buffer per thread: the reader threads and the UI thread never overwrite each other.
    static thread_local char buf[16];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    return buf;
}

int TextToIp(const char *text, uint8_t ip[4])
{
    if (!text)
        return 0;
    int count = 0;
    const char *p = text;
    while (count < 4) {
        if (*p < '0' || *p > '9')
            break;
        unsigned long v = 0;
        while (*p >= '0' && *p <= '9') {
            v = (v * 10 + unsigned(*p - '0')) & 0xFFFFFFFFul;
            ++p;
        }
        ip[count++] = uint8_t(v);
        if (*p != '.')
            break;
        ++p;
    }
    return count;
}

} // namespace strandel
