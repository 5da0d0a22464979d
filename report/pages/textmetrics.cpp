#include "report/pages/textmetrics.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>

#include "report/pages/units.h"

namespace strandel {

PgxFont TPgxFont::AtResolution(double dpi) const
{
    PgxFont f;
    f.family = Name;
    const double px = std::fabs(double(Size)) * dpi / 72.0;
    f.height = std::isfinite(px) ? std::clamp(PgxRound(px), 1, 100000) : 1;
    f.weight = Bold ? 700 : 400;
    f.italic = Italic;
    f.underline = Underline;
    f.strikeOut = StrikeOut;
    f.color = Color;
    return f;
}

namespace {

bool HaveGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

class QtTextMetrics : public TPgxTextMetrics
{
public:
    double Width(const PgxFont &font, const QString &text) const override
    {
        if (!HaveGui())
            return m_fallback.Width(font, text);
        return QFontMetricsF(PgxQtFont(font)).horizontalAdvance(text);
    }
    double Height(const PgxFont &font) const override
    {
        if (!HaveGui())
            return m_fallback.Height(font);
        return QFontMetricsF(PgxQtFont(font)).height();
    }
    std::function<double(const QString &)> Measurer(const PgxFont &font) const override
    {
        if (!HaveGui())
            return TPgxTextMetrics::Measurer(font);
        auto fm = std::make_shared<QFontMetricsF>(PgxQtFont(font));
        return [fm](const QString &text) { return fm->horizontalAdvance(text); };
    }

private:
    TPgxFixedTextMetrics m_fallback{0.55, 1.15};
};

} // namespace

const TPgxTextMetrics &PgxDefaultTextMetrics()
{
    static const QtTextMetrics metrics;
    return metrics;
}

} // namespace strandel
