#include "graphics/rx32_types.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QGuiApplication>
#include <QPalette>

namespace strandel {

uint8_t GAMMA_TABLE[256];

void SetGamma(double gamma)
{
    for (int i = 0; i < 256; ++i) {
        const long double v = i == 0 ? 0.0L : 255.0L * std::pow(i / 255.0L, (long double)gamma);
        GAMMA_TABLE[i] = uint8_t(Clamp(RoundSat(double(std::nearbyint(v)))));
    }
}

namespace {
struct GammaStart
{
    GammaStart() { SetGamma(0.7); }
} gammaStart;
} // namespace

TColor ColorToRGB(TColor color)
{
    if (color >= 0)
        return color & 0x00FFFFFF;
    // System colours name a role of the application palette.
    QPalette::ColorRole role;
    QPalette::ColorGroup group = QPalette::Active;
    switch (color & 0xFF) {
    case 5: role = QPalette::Base; break;              // window
    case 6: role = QPalette::WindowText; break;        // window frame
    case 8: role = QPalette::Text; break;              // window text
    case 13: role = QPalette::Highlight; break;
    case 14: role = QPalette::HighlightedText; break;
    case 15: role = QPalette::Button; break;           // button face
    case 16: role = QPalette::Dark; break;             // button shadow
    case 17: role = QPalette::Text; group = QPalette::Disabled; break; // gray text
    case 18: role = QPalette::ButtonText; break;
    case 20: role = QPalette::Light; break;            // 3-D highlight
    case 21: role = QPalette::Shadow; break;           // 3-D dark shadow
    case 22: role = QPalette::Midlight; break;         // 3-D light
    case 23: role = QPalette::ToolTipText; break;
    case 24: role = QPalette::ToolTipBase; break;
    default: role = QPalette::Window; break;
    }
    const QPalette palette = qGuiApp ? QGuiApplication::palette() : QPalette();
    const QRgb rgb = palette.color(group, role).rgb();
    return TColor(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
}

TColor32 Color32(TColor winColor)
{
    return ColorSwap(uint32_t(ColorToRGB(winColor)));
}

int32_t RoundSat(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return int32_t(r);
}

TFixed Fixed(float s) { return RoundSat(double(s) * 65536.0); }
TFixed Fixed(double s) { return RoundSat(s * 65536.0); }

namespace {
int32_t FloorSat(double v) { return RoundSat(std::isnan(v) ? v : std::floor(v)); }
int32_t CeilSat(double v) { return RoundSat(std::isnan(v) ? v : std::ceil(v)); }

TRect RoundRect(TRect closest, TRect outside, TRect inside, TRectRounding rounding)
{
    switch (rounding) {
    case rrOutside: return outside;
    case rrInside:
        if (inside.Right < inside.Left)
            inside.Right = inside.Left;
        if (inside.Bottom < inside.Top)
            inside.Bottom = inside.Top;
        return inside;
    default: return closest;
    }
}
} // namespace

TRect MakeRect(const TFloatRect &r, TRectRounding rounding)
{
    return RoundRect({RoundSat(r.Left), RoundSat(r.Top), RoundSat(r.Right), RoundSat(r.Bottom)},
                     {FloorSat(r.Left), FloorSat(r.Top), CeilSat(r.Right), CeilSat(r.Bottom)},
                     {CeilSat(r.Left), CeilSat(r.Top), FloorSat(r.Right), FloorSat(r.Bottom)}, rounding);
}

TRect MakeRect(const TFixedRect &r, TRectRounding rounding)
{
    return RoundRect({FixedRound(r.Left), FixedRound(r.Top), FixedRound(r.Right), FixedRound(r.Bottom)},
                     {FixedFloor(r.Left), FixedFloor(r.Top), FixedCeil(r.Right), FixedCeil(r.Bottom)},
                     {FixedCeil(r.Left), FixedCeil(r.Top), FixedFloor(r.Right), FixedFloor(r.Bottom)},
                     rounding);
}

bool IntersectRect(TRect &dst, const TRect &r1, const TRect &r2)
{
    TRect d{std::max(r1.Left, r2.Left), std::max(r1.Top, r2.Top), std::min(r1.Right, r2.Right),
            std::min(r1.Bottom, r2.Bottom)};
    const bool result = d.Right >= d.Left && d.Bottom >= d.Top;
    dst = result ? d : TRect{};
    return result;
}

bool IntersectRectF(TFloatRect &dst, const TFloatRect &r1, const TFloatRect &r2)
{
    TFloatRect d{std::max(r1.Left, r2.Left), std::max(r1.Top, r2.Top), std::min(r1.Right, r2.Right),
                 std::min(r1.Bottom, r2.Bottom)};
    const bool result = d.Left <= d.Right && d.Top <= d.Bottom;
    dst = result ? d : TFloatRect{};
    return result;
}

TColor32 HSLtoRGB(float h, float s, float l)
{
    using X = long double; // the x87 extended precision the colours were pinned with
    if (s == 0) {
        const uint8_t v = uint8_t(Clamp(RoundSat(double(std::nearbyint(255.0L * X(l))))));
        return Color32(v, v, v, 255);
    }
    const X L = l, S = s;
    const X m2 = L <= 0.5L ? L * (1 + S) : L + S - L * S;
    const X m1 = 2 * L - m2;
    auto hue = [&](X hh) {
        hh = hh - std::floor(hh);
        X v;
        if (6 * hh < 1)
            v = m1 + (m2 - m1) * hh * 6;
        else if (2 * hh < 1)
            v = m2;
        else if (3 * hh < 2)
            v = m1 + (m2 - m1) * (2.0L / 3.0L - hh) * 6;
        else
            v = m1;
        return uint8_t(Clamp(RoundSat(double(std::nearbyint(255 * v)))));
    };
    const X H = h;
    return Color32(hue(H + 1.0L / 3.0L), hue(H), hue(H - 1.0L / 3.0L), 255);
}

void RGBtoHSL(TColor32 rgb, float &h, float &s, float &l)
{
    const float r = RedComponent(rgb) / 255.0f;
    const float g = GreenComponent(rgb) / 255.0f;
    const float b = BlueComponent(rgb) / 255.0f;
    const float m1 = std::max({r, g, b});
    const float m2 = std::min({r, g, b});
    l = (m1 + m2) / 2;
    if (m1 == m2) {
        h = 0;
        s = 0;
        return;
    }
    const float d = m1 - m2;
    s = l < 0.5f ? d / (m1 + m2) : d / (2 - m1 - m2);
    if (r == m1)
        h = (g - b) / d;
    else if (g == m1)
        h = 2 + (b - r) / d;
    else
        h = 4 + (r - g) / d;
    h = h / 6;
    if (h < 0)
        h = h + 1;
}

} // namespace strandel
