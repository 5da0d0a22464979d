#pragma once
// The recorder's configuration record: 9638 bytes, no header, no checksum. One table lists
// every field with its offset, width and encoding, and the control it belongs to; the codec
// turns one element's bytes into the value a control shows and back. Bytes that no field
// names are the recorder's and travel unchanged.
#include "viewer/protocol/dvrcommand.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace strandel {

enum class EnvEncoding : uint8_t {
    Index,    // position in a list of (max + 1) items; 255 = nothing chosen
    Number,   // unsigned byte, min..max
    Position, // picture position: wire = shown + 4, shown -4..4
    OneBased, // list position counted from 1 on the wire (months, weeks, hours)
    Audio,    // OFF/ON list; the wire holds 99 for off
    Flag,     // 1 on, 0 off; any non-zero byte reads as on
    Schedule, // 2 = recording on (item 0), 6 = off (item 1); any other byte reads as off
    Mark,     // schedule mark: written from the schedule (1 for on, 0 for off)
    Digits,   // one decimal digit value (0-9) per byte, most significant first
    Ip,       // 12 digit bytes: four octets of three digits
    Text,     // NUL-terminated text of at most textMax characters inside the field
    Title,    // 8 characters blank-padded, NUL in the 9th byte
    Time,     // 7-byte RecorderTime
    Password, // 8 digit values, changed only through the old/new/retype rule
    Block,    // carried whole here (record programs, motion masks); other forms edit it
};

// Which recorders a binding applies to, by channel count.
enum EnvChannels : uint8_t { kEnvCh4 = 1, kEnvCh8 = 2, kEnvCh16 = 4, kEnvChAll = 7 };

struct DvrEnvField {
    const char *name;   // control name; element i of an array is name + i
    uint16_t offset;    // first byte of element 0
    uint16_t count;     // elements
    uint16_t stride;    // bytes from one element to the next
    uint16_t width;     // bytes of one element
    EnvEncoding encoding;
    int16_t min, max;   // shown range of a number; an index list has max + 1 items
    uint8_t textMax;    // characters of a text
    uint8_t channels;   // EnvChannels the binding applies to
};

constexpr int kEnvTitleOffset = 59;
constexpr int kEnvTitleWidth = 9;
constexpr int kEnvScheduleOffset = 414;
constexpr int kEnvMarkOffset = 582;
constexpr int kEnvProgramOffset = 752;
constexpr int kEnvProgramSize = 451;
constexpr int kEnvProgramCount = 11;
constexpr int kEnvAudioOffset = 5713;
constexpr int kEnvMotionOffset = 5819; // 16 blocks of 97: sensitivity, then the 96-byte mask
constexpr int kEnvMotionStride = 97;
constexpr int kEnvClockOffset = 7481;
constexpr int kEnvMasterPassword = 7500;
constexpr int kEnvSlavePassword = 7508;
constexpr int kEnvPortOffset = 7570;
constexpr int kEnvAllDayOffset = 9528;
constexpr int kEnvQuickImageSize = 7637;
constexpr int kEnvQuickRecordFrame = 7638;

// Every field, in the order the editor transfers them.
const std::vector<DvrEnvField> &DvrEnvFields();
// The field that holds the control of that name (element index through *element), or null.
const DvrEnvField *FindEnvField(const std::string &controlName, int *element = nullptr);
// Byte ranges [first, last] that no field names.
struct EnvRange {
    uint16_t first, last;
};
const std::vector<EnvRange> &DvrEnvReserved();

// The channel bit of a channel count: 4, 8, else 16.
uint8_t EnvChannelBit(int channels);
// The control name of element i.
std::string EnvControlName(const DvrEnvField &f, int i);
// Byte offset of element i.
inline size_t EnvElementOffset(const DvrEnvField &f, int i) { return size_t(f.offset) + size_t(i) * f.stride; }

// The shown value of one element of a one-value field (Index, Number, Position, OneBased,
// Audio, Flag, Schedule, Mark, Digits); nothing when the bytes hold no value the control can
// show (an index past its list, a digit above 9, a position outside -4..4).
std::optional<int> DecodeEnvValue(const DvrEnvField &f, const uint8_t *element);
// Writes a shown value in wire form. Values outside the field's range are not written (false).
bool EncodeEnvValue(const DvrEnvField &f, int value, uint8_t *element);
// Encodings that write their canonical form whenever they hold a value (flags 0/1, schedule
// 2/6, audio 1/99, marks), even when the control was not touched.
bool EnvEncodingNormalises(EnvEncoding e);

// One octet of an Ip field (k = 0..3): nothing when a digit is above 9 or the value above 255.
std::optional<int> DecodeEnvOctet(const uint8_t *element, int k);
void EncodeEnvOctet(uint8_t *element, int k, int value);

// Text of a Text or Title element, never read past the field (a full field has no NUL).
std::string DecodeEnvText(const DvrEnvField &f, const uint8_t *element);
// Text: at most textMax characters, then a NUL when the field has room; the bytes after the
// NUL are left as they were. Title: the text cut to 8 characters, blank-padded, NUL.
void EncodeEnvText(const DvrEnvField &f, const std::string &text, uint8_t *element);

// Decimal number of n digit values (each byte's value as it is) and back (n low digits).
uint32_t DigitsToNumber(const uint8_t *bytes, int n);
void NumberToDigits(uint8_t *bytes, uint32_t value, int n);
// True when every one of the n bytes is a digit value 0..9.
bool DigitsValid(const uint8_t *bytes, int n);

} // namespace strandel
