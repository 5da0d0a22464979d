#include "report/pages/units.h"

#include <cmath>
#include <limits>

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>

#include "report/base/strings.h"

namespace strandel {

namespace {

struct PaperEntry { double width, length; };

// Letter..ESheet, portrait millimetres.
constexpr PaperEntry PaperTable[26] = {
    {215.9, 279.4}, {215.9, 279.4}, {279.4, 431.8}, {431.8, 279.4}, {215.9, 355.6}, {139.7, 215.9},
    {190.5, 254.0}, {297.0, 420.0}, {210.0, 297.0}, {210.0, 297.0}, {148.0, 210.0}, {250.0, 354.0},
    {182.0, 257.0}, {215.9, 330.2}, {215.0, 275.0}, {254.0, 355.6}, {279.4, 431.8}, {215.9, 279.0},
    {98.43, 225.4}, {104.8, 241.3}, {114.3, 263.5}, {101.6, 279.4}, {127.0, 292.1}, {100.0, 100.0},
    {100.0, 100.0}, {100.0, 100.0},
};

constexpr uint16_t PaperNames[PgxPaperSizeCount] = {
    report::SpgxPaperSize0, report::SpgxPaperSize1, report::SpgxPaperSize2, report::SpgxPaperSize3,
    report::SpgxPaperSize4, report::SpgxPaperSize5, report::SpgxPaperSize6, report::SpgxPaperSize7,
    report::SpgxPaperSize8, report::SpgxPaperSize9, report::SpgxPaperSize10, report::SpgxPaperSize11,
    report::SpgxPaperSize12, report::SpgxPaperSize13, report::SpgxPaperSize14, report::SpgxPaperSize15,
    report::SpgxPaperSize16, report::SpgxPaperSize17, report::SpgxPaperSize18, report::SpgxPaperSize19,
    report::SpgxPaperSize20, report::SpgxPaperSize21, report::SpgxPaperSize22, report::SpgxPaperSize23,
    report::SpgxPaperSize24, report::SpgxPaperSize25, report::SpgxPaperSize26, report::SpgxPaperSize27,
};

bool UsMeasure()
{
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
}

} // namespace

int32_t PgxRound(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    // The default rounding mode sends halves to the even neighbour.
    return static_cast<int32_t>(std::nearbyint(v));
}

bool PgxPaperDims(TPgxPaperSize size, double &widthMM, double &lengthMM)
{
    const int i = static_cast<int>(size);
    if (i < 1 || i > 26)
        return false;
    widthMM = PaperTable[i - 1].width;
    lengthMM = PaperTable[i - 1].length;
    return true;
}

QString PgxPaperName(TPgxPaperSize size)
{
    const int i = static_cast<int>(size);
    if (i < 0 || i >= PgxPaperSizeCount)
        return {};
    return QString::fromStdString(report::PgxLoadStr(PaperNames[i]));
}

int PgxScreenPpi()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        if (QScreen *s = QGuiApplication::primaryScreen()) {
            const int ppi = static_cast<int>(std::lround(s->logicalDotsPerInchY()));
            if (ppi > 0)
                return ppi;
        }
    return 96;
}

// ---- TPgxUnitBase

TPgxUnitBase::TPgxUnitBase(TPgxUnitParent *parent, int screenPpi)
    : m_ppi(screenPpi > 0 ? screenPpi : PgxScreenPpi()),
      m_units(UsMeasure() ? TPgxUnit::Inches : TPgxUnit::MM), m_savedUnits(m_units), m_parent(parent)
{
}

void TPgxUnitBase::SetZoom(int zoom)
{
    if (zoom <= 0)
        return;
    m_zoom = zoom;
    SetParentSizes();
}

double TPgxUnitBase::CharSize(bool horizontal) const
{
    const double s = std::fabs(m_parent ? m_parent->FontSize() : 10.0);
    if (s == 0)
        return 0;
    return (horizontal ? 80.0 : 145.3) / s / 2.54;
}

double TPgxUnitBase::LoadUnit(double v, TPgxUnit unit, bool horizontal) const
{
    switch (unit) {
    case TPgxUnit::MM: return v / 10;
    case TPgxUnit::Inches: return v / 254;
    case TPgxUnit::Pixels: return v / (254.0 / m_ppi) * m_zoom / 100;
    case TPgxUnit::Characters: {
        const double c = CharSize(horizontal);
        return c == 0 ? 0 : v / c / 10;
    }
    case TPgxUnit::Native: return v;
    }
    return v;
}

double TPgxUnitBase::SaveUnit(double v, TPgxUnit unit, bool horizontal) const
{
    switch (unit) {
    case TPgxUnit::MM: return v * 10;
    case TPgxUnit::Inches: return v * 254;
    case TPgxUnit::Pixels: return 254.0 / m_ppi * v / m_zoom * 100;
    case TPgxUnit::Characters: return CharSize(horizontal) * v * 10;
    case TPgxUnit::Native: return v;
    }
    return v;
}

// ---- TPgxBandSize

double TPgxBandSize::GetValue(int index) const
{
    if (index == 0)
        return LoadUnit(m_height, m_units, false);
    if (index == 1)
        return LoadUnit(m_width, m_units, true);
    return 0;
}

void TPgxBandSize::SetValue(int index, double value)
{
    SetStored(index, SaveUnit(value, m_units, index == 1));
}

void TPgxBandSize::SetStored(int index, double value)
{
    if (index == 0)
        m_height = value;
    else if (index == 1)
        m_width = value;
    SetParentSizes();
}

void TPgxBandSize::SetParentSizes()
{
    if (!m_parent)
        return;
    m_updating = true;
    m_parent->SetPixelSize(PgxRound(LoadUnit(m_width, TPgxUnit::Pixels, true)),
                           PgxRound(LoadUnit(m_height, TPgxUnit::Pixels, false)));
    m_updating = false;
}

void TPgxBandSize::WriteValues(const std::vector<double> &values)
{
    if (values.size() > 0) m_height = values[0];
    if (values.size() > 1) m_width = values[1];
    SetParentSizes();
}

// ---- TPgxPage

TPgxPage::TPgxPage(TPgxUnitParent *report, int screenPpi) : TPgxUnitBase(report, screenPpi)
{
    if (UsMeasure()) {
        m_units = TPgxUnit::Inches;
        SetPaperSize(TPgxPaperSize::Letter);
        m_top = m_bottom = m_right = m_left = 127; // half an inch
    } else {
        m_units = TPgxUnit::MM;
        SetPaperSize(TPgxPaperSize::A4);
        m_top = m_bottom = m_right = m_left = 100;
    }
    m_savedUnits = m_units;
}

double &TPgxPage::Field(int index)
{
    switch (index) {
    case BottomMargin: return m_bottom;
    case Length: return m_length;
    case TopMargin: return m_top;
    case Width: return m_width;
    case LeftMargin: return m_left;
    case RightMargin: return m_right;
    default: return m_columnSpace;
    }
}

double TPgxPage::Stored(int index) const
{
    return const_cast<TPgxPage *>(this)->Field(index);
}

double TPgxPage::GetValue(int index) const
{
    return LoadUnit(Stored(index), m_units, index > 2);
}

void TPgxPage::SetValue(int index, double value)
{
    if ((index == Length || index == Width) && m_paper != TPgxPaperSize::Custom)
        return;
    Field(index) = SaveUnit(value, m_units, index > 2);
    if (m_parent)
        m_parent->SetBandValues();
    if (index == BottomMargin || index == Length || index == Width)
        SetParentSizes();
    else if (m_parent)
        m_parent->Repaint();
}

void TPgxPage::SetPaperSize(TPgxPaperSize value)
{
    double w, l;
    if (PgxPaperDims(value, w, l)) {
        SetPixels();
        m_units = TPgxUnit::MM;
        m_paper = TPgxPaperSize::Custom;
        const bool portrait = m_orientation == TPgxOrientation::Portrait;
        SetValue(Width, portrait ? w : l);
        SetValue(Length, portrait ? l : w);
        RestoreUnit();
        if (m_parent)
            m_parent->SetBandValues();
    }
    m_paper = value;
}

void TPgxPage::SetOrientation(TPgxOrientation value)
{
    m_orientation = value;
    SetPaperSize(m_paper);
}

void TPgxPage::SetColumns(int value)
{
    if (value == m_columns || value < 1)
        return;
    m_columns = value;
    if (m_parent) {
        m_parent->SetBandValues();
        m_parent->Repaint();
    }
}

void TPgxPage::SetRuler(bool value)
{
    if (value == m_ruler)
        return;
    m_ruler = value;
    if (m_parent) {
        m_parent->Repaint();
        m_parent->ApplyUnits();
    }
}

void TPgxPage::SetUnits(TPgxUnit unit)
{
    m_units = unit;
    if (m_parent)
        m_parent->Repaint();
}

void TPgxPage::SetPrintOrder(TPgxPrintOrder value)
{
    m_order = value;
    if (m_parent)
        m_parent->SetBandValues();
}

void TPgxPage::SetParentSizes()
{
    if (m_updating || !m_parent)
        return;
    m_updating = true;
    m_parent->SetPixelSize(PgxRound(LoadUnit(m_width, TPgxUnit::Pixels, true)),
                           PgxRound(LoadUnit(m_length, TPgxUnit::Pixels, false)));
    m_updating = false;
}

std::vector<double> TPgxPage::ReadValues() const
{
    return {m_bottom, m_length, m_top, m_width, m_left, m_right, m_columnSpace};
}

void TPgxPage::WriteValues(const std::vector<double> &values)
{
    for (size_t i = 0; i < values.size() && i < 7; ++i)
        Field(static_cast<int>(i)) = values[i];
    SetParentSizes();
}

} // namespace strandel
