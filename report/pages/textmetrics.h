#pragma once
// Fonts as printables hold them (points, like the stored forms) and the measuring of text for
// laying it out. Widths and heights are in pixels of the font's own resolution; the default
// measures with Qt's font metrics, tests and headless runs may use a fixed advance instead.
#include <cstdint>
#include <functional>

#include <QRgb>
#include <QString>

#include "report/pages/metafile.h"

namespace strandel {

// The font of a text printable: a size in points, so it prints alike on every device.
struct TPgxFont {
    QString Name = QStringLiteral("Arial");
    int32_t Size = 10; // points
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    QRgb Color = 0xff000000;

    // The font for a device of dpi pixels per inch (pixel height at least 1).
    PgxFont AtResolution(double dpi) const;
    bool operator==(const TPgxFont &) const = default;
};

class TPgxTextMetrics
{
public:
    virtual ~TPgxTextMetrics() = default;
    // Advance of the text and height of a line, in the font's pixels.
    virtual double Width(const PgxFont &font, const QString &text) const = 0;
    virtual double Height(const PgxFont &font) const = 0;
    // Widths in one font, for measuring word after word without looking the font up each time.
    virtual std::function<double(const QString &)> Measurer(const PgxFont &font) const
    {
        return [this, font](const QString &text) { return Width(font, text); };
    }
};

// Every character advances ratio x the font's pixel height; a line is lineRatio x that height.
class TPgxFixedTextMetrics : public TPgxTextMetrics
{
public:
    explicit TPgxFixedTextMetrics(double ratio = 0.5, double lineRatio = 1.0) : m_ratio(ratio), m_line(lineRatio) {}
    double Width(const PgxFont &font, const QString &text) const override
    {
        return double(text.size()) * font.height * m_ratio;
    }
    double Height(const PgxFont &font) const override { return font.height * m_line; }

private:
    double m_ratio, m_line;
};

// Qt's font metrics while a GUI application exists; without one (a headless tool), a fixed
// advance that keeps layouts sensible.
const TPgxTextMetrics &PgxDefaultTextMetrics();

} // namespace strandel
