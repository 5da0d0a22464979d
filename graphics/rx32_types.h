#pragma once
// Value types of the raster library: 32-bit colours, 16.16 fixed point, points and
// rectangles, and the free functions that build, convert and compare them.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphics/rx32_lowlevel.h"

namespace strandel {

// The library's own exception base; subclasses keep the class library's fixed messages.
class ERx32Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
class EAssertionFailed : public ERx32Error
{
public:
    using ERx32Error::ERx32Error;
};
class EReadError : public ERx32Error
{
public:
    EReadError() : ERx32Error("Stream read error") {}
};
class EConvertError : public ERx32Error
{
public:
    using ERx32Error::ERx32Error;
};

using TColor = int32_t; // a platform colour 0x00BBGGRR, or a system colour with the top bit set
using TColor32 = uint32_t;
using PColor32 = TColor32 *;
using PColor32Array = TColor32 *;
using TArrayOfColor32 = std::vector<TColor32>;
struct TPalette32
{
    TColor32 Entries[256];
    TColor32 operator[](int i) const { return Entries[i]; }
    TColor32 &operator[](int i) { return Entries[i]; }
};
using PPalette32 = TPalette32 *;

using TFixed = int32_t;
using PFixed = TFixed *;
constexpr TFixed FixedOne = 0x10000;

struct TPoint
{
    int32_t X = 0, Y = 0;
    bool operator==(const TPoint &) const = default;
};
struct TFloatPoint
{
    float X = 0, Y = 0;
    bool operator==(const TFloatPoint &) const = default;
};
struct TFixedPoint
{
    TFixed X = 0, Y = 0;
    bool operator==(const TFixedPoint &) const = default;
};
using PFloatPoint = TFloatPoint *;
using PFixedPoint = TFixedPoint *;

struct TRect
{
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect &) const = default;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};
struct TFloatRect
{
    float Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TFloatRect &) const = default;
};
struct TFixedRect
{
    TFixed Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TFixedRect &) const = default;
};

enum TRectRounding : uint8_t { rrClosest = 0, rrOutside = 1, rrInside = 2 };

using TArrayOfByte = std::vector<uint8_t>;
using TArrayOfInteger = std::vector<int32_t>;
using TArrayOfArrayOfInteger = std::vector<TArrayOfInteger>;
using TArrayOfSingle = std::vector<float>;
using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfArrayOfPoint = std::vector<TArrayOfPoint>;
using TArrayOfFloatPoint = std::vector<TFloatPoint>;
using TArrayOfArrayOfFloatPoint = std::vector<TArrayOfFloatPoint>;
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

constexpr TColor32 clBlack32 = 0xFF000000;
constexpr TColor32 clWhite32 = 0xFFFFFFFF;

extern uint8_t GAMMA_TABLE[256];
void SetGamma(double gamma);

// Colours
TColor ColorToRGB(TColor color); // resolves system colours through the application palette
TColor32 Color32(TColor winColor);
inline TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
{
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | b;
}
inline TColor32 Color32(uint8_t index, const TPalette32 &palette) { return palette[index]; }
inline TColor32 Gray32(uint8_t intensity, uint8_t alpha = 255)
{
    return TColor32(alpha) << 24 | TColor32(intensity) * 0x010101u;
}
inline TColor WinColor(TColor32 c)
{
    return TColor(((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16));
}
inline TArrayOfColor32 ArrayOfColor32(std::initializer_list<TColor32> colors) { return TArrayOfColor32(colors); }
inline int32_t RedComponent(TColor32 c) { return (c >> 16) & 0xFF; }
inline int32_t GreenComponent(TColor32 c) { return (c >> 8) & 0xFF; }
inline int32_t BlueComponent(TColor32 c) { return c & 0xFF; }
inline int32_t AlphaComponent(TColor32 c) { return c >> 24; }
inline int32_t Intensity(TColor32 c)
{
    return int32_t((((c >> 16) & 0xFF) * 61 + ((c >> 8) & 0xFF) * 174 + (c & 0xFF) * 21) >> 8);
}
inline TColor32 SetAlpha(TColor32 c, int32_t newAlpha)
{
    return (c & 0x00FFFFFF) | (TColor32(Clamp(newAlpha)) << 24);
}
TColor32 HSLtoRGB(float h, float s, float l);
void RGBtoHSL(TColor32 rgb, float &h, float &s, float &l);

// Float to integer: nearest, halves to even; NaN gives 0, out-of-range values saturate.
int32_t RoundSat(double v);

// Fixed point
TFixed Fixed(float s);
TFixed Fixed(double s);
inline TFixed Fixed(int32_t i) { return TFixed(uint32_t(i) << 16); }
inline int32_t FixedFloor(TFixed a) { return a >> 16; }
inline int32_t FixedCeil(TFixed a) { return int32_t((int64_t(a) + 0xFFFF) >> 16); }
inline int32_t FixedRound(TFixed a) { return int32_t((int64_t(a) + 0x7FFF) >> 16); }
inline TFixed FixedMul(TFixed a, TFixed b) { return MulDiv(a, b, FixedOne); }
inline TFixed FixedDiv(TFixed a, TFixed b) { return MulDiv(a, FixedOne, b); }

// Points
inline TPoint Point(int32_t x, int32_t y) { return {x, y}; }
inline TPoint Point(const TFloatPoint &p) { return {RoundSat(p.X), RoundSat(p.Y)}; }
inline TPoint Point(const TFixedPoint &p) { return {FixedRound(p.X), FixedRound(p.Y)}; }
inline TFloatPoint FloatPoint(float x, float y) { return {x, y}; }
inline TFloatPoint FloatPoint(const TPoint &p) { return {float(p.X), float(p.Y)}; }
inline TFloatPoint FloatPoint(const TFixedPoint &p)
{
    constexpr float k = 1.0f / 65536.0f;
    return {float(p.X) * k, float(p.Y) * k};
}
inline TFixedPoint FixedPoint(int32_t x, int32_t y) { return {Fixed(x), Fixed(y)}; }
inline TFixedPoint FixedPoint(float x, float y) { return {Fixed(x), Fixed(y)}; }
inline TFixedPoint FixedPoint(const TPoint &p) { return {Fixed(p.X), Fixed(p.Y)}; }
inline TFixedPoint FixedPoint(const TFloatPoint &p) { return {Fixed(p.X), Fixed(p.Y)}; }

// Rectangles
inline TRect MakeRect(int32_t l, int32_t t, int32_t r, int32_t b) { return {l, t, r, b}; }
TRect MakeRect(const TFloatRect &r, TRectRounding rounding = rrClosest);
TRect MakeRect(const TFixedRect &r, TRectRounding rounding = rrClosest);
inline TFloatRect FloatRect(float l, float t, float r, float b) { return {l, t, r, b}; }
inline TFloatRect FloatRect(const TRect &r) { return {float(r.Left), float(r.Top), float(r.Right), float(r.Bottom)}; }
bool IntersectRect(TRect &dst, const TRect &r1, const TRect &r2);
bool IntersectRectF(TFloatRect &dst, const TFloatRect &r1, const TFloatRect &r2);
inline bool EqualRect(const TRect &r1, const TRect &r2) { return r1 == r2; }
inline void InflateRect(TRect &r, int32_t dx, int32_t dy)
{
    r.Left -= dx; r.Top -= dy; r.Right += dx; r.Bottom += dy;
}
inline void InflateRectF(TFloatRect &r, float dx, float dy)
{
    r.Left -= dx; r.Top -= dy; r.Right += dx; r.Bottom += dy;
}
inline void OffsetRect(TRect &r, int32_t dx, int32_t dy)
{
    r.Left += dx; r.Right += dx; r.Top += dy; r.Bottom += dy;
}
inline void OffsetRectF(TFloatRect &r, float dx, float dy)
{
    r.Left += dx; r.Right += dx; r.Top += dy; r.Bottom += dy;
}
inline bool IsRectEmpty(const TRect &r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
inline bool IsRectEmptyF(const TFloatRect &r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
inline bool PtInRect(const TRect &r, const TPoint &p)
{
    return r.Left <= p.X && p.X < r.Right && r.Top <= p.Y && p.Y < r.Bottom;
}

} // namespace strandel
