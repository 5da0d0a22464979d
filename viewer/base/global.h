#pragma once
// Shared helpers of the viewer: recorder time texts and IPv4 texts.
#include <cstdint>
#include <string>

namespace strandel {

// 7 bytes, most significant first, so byte-wise comparison orders them in time.
struct RecorderTime {
    uint8_t century, year, month, day, hour, minute, second;
};
constexpr int kRecorderTimeSize = 7;
RecorderTime ReadRecorderTime(const uint8_t *p);
void WriteRecorderTime(uint8_t *p, const RecorderTime &t);
int CompareRecorderTime(const RecorderTime &a, const RecorderTime &b);

constexpr int kTimeTextSize = 21;
// "YYYY/MM/DD  hh:mm:ss" of the fields read as signed bytes; writes at most kTimeTextSize
// bytes whatever the fields hold (a hostile field is cut, never overruns).
char *TimeText(const RecorderTime *t, char *buffer);
std::string TimeText(const RecorderTime &t);
// 0 = Sunday .. 6.
int DayOfWeek(const RecorderTime *t);

std::string IpToString(const uint8_t ip[4]);
// Static buffer, valid until the next call on this thread.
const char *IpToText(const uint8_t ip[4]);
// Reads up to four dot-separated decimal numbers; returns how many were read.
int TextToIp(const char *text, uint8_t ip[4]);


} // namespace strandel
