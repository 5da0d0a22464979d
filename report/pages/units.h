#pragma once
// Report lengths: stored in tenths of a millimetre, shown in the user's unit. Holds the paper
// table, the size of a band and the page of a report.
#include <cstdint>
#include <vector>

#include <QString>

namespace strandel {

enum class TPgxUnit : uint8_t { MM = 0, Inches = 1, Pixels = 2, Characters = 3, Native = 4 };

enum class TPgxPaperSize : uint8_t {
    Default, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4, A4Small, A5,
    B4, B5, Folio, Quarto, pgx10X14, pgx11X17, Note, Env9, Env10, Env11, Env12, Env14, CSheet, DSheet,
    ESheet, Custom
};
constexpr int PgxPaperSizeCount = 28;

enum class TPgxOrientation : uint8_t { Portrait = 0, Landscape = 1 };
enum class TPgxPrintOrder : uint8_t { ColByCol = 0, RowByRow = 1 };

// Nearest integer, halves to the even neighbour; clamped to the 32-bit range, NaN gives 0.
int32_t PgxRound(double v);

// Millimetres of a named size in portrait; false for Default and Custom.
bool PgxPaperDims(TPgxPaperSize size, double &widthMM, double &lengthMM);
QString PgxPaperName(TPgxPaperSize size);
// Pixels per inch of the screen (96 without one).
int PgxScreenPpi();

// What a unit object resizes and repaints: a band or a report.
class TPgxUnitParent
{
public:
    virtual ~TPgxUnitParent() = default;
    virtual double FontSize() const { return 10; } // the report font's size, defines a character
    virtual void SetPixelSize(int32_t width, int32_t height) { (void)width; (void)height; }
    virtual void Repaint() {}
    virtual void SetBandValues() {}
    virtual void ApplyUnits() {} // the report re-applies its units (bands redraw their rulers)
};

class TPgxUnitBase
{
public:
    explicit TPgxUnitBase(TPgxUnitParent *parent = nullptr, int screenPpi = 0);
    virtual ~TPgxUnitBase() = default;

    double LoadUnit(double value, TPgxUnit unit, bool horizontal) const;
    double SaveUnit(double value, TPgxUnit unit, bool horizontal) const;

    TPgxUnit GetUnits() const { return m_units; }
    virtual void SetUnits(TPgxUnit unit) { m_units = unit; }
    void SetPixels() { m_savedUnits = m_units; m_units = TPgxUnit::Pixels; }
    void RestoreUnit() { m_units = m_savedUnits; }
    int Zoom() const { return m_zoom; }
    void SetZoom(int zoom);
    int ScreenPpi() const { return m_ppi; }
    void SetScreenPpi(int ppi) { if (ppi > 0) m_ppi = ppi; }

    virtual void SetParentSizes() = 0;
    // The stored "Values" list in tenths of a millimetre.
    virtual std::vector<double> ReadValues() const = 0;
    virtual void WriteValues(const std::vector<double> &values) = 0;

protected:
    double CharSize(bool horizontal) const;
    int m_ppi;
    TPgxUnit m_units;
    TPgxUnit m_savedUnits;
    TPgxUnitParent *m_parent;
    bool m_updating = false;
    int m_zoom = 100;
};

class TPgxBandSize : public TPgxUnitBase
{
public:
    using TPgxUnitBase::TPgxUnitBase;
    // Height (0) and width (1) in the current units.
    double GetValue(int index) const;
    void SetValue(int index, double value);
    // Stored tenths of a millimetre, whatever the units.
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    void SetStored(int index, double value);
    void SetParentSizes() override;
    std::vector<double> ReadValues() const override { return {m_height, m_width}; }
    void WriteValues(const std::vector<double> &values) override;

private:
    double m_width = 40.0, m_height = 20.0;
};

class TPgxPage : public TPgxUnitBase
{
public:
    enum Index { BottomMargin = 0, Length = 1, TopMargin = 2, Width = 3, LeftMargin = 4, RightMargin = 5, ColumnSpace = 6 };
    explicit TPgxPage(TPgxUnitParent *report = nullptr, int screenPpi = 0);

    double GetValue(int index) const;
    void SetValue(int index, double value);
    // Stored tenths of a millimetre, whatever the units.
    double Stored(int index) const;

    TPgxPaperSize GetPaperSize() const { return m_paper; }
    void SetPaperSize(TPgxPaperSize value);
    TPgxOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TPgxOrientation value);
    int Columns() const { return m_columns; }
    void SetColumns(int value);
    bool GetRuler() const { return m_ruler; }
    void SetRuler(bool value);
    void SetUnits(TPgxUnit unit) override;
    TPgxPrintOrder PrintOrder() const { return m_order; }
    void SetPrintOrder(TPgxPrintOrder value);

    void SetParentSizes() override;
    std::vector<double> ReadValues() const override;
    void WriteValues(const std::vector<double> &values) override;

private:
    double &Field(int index);
    double m_bottom = 0, m_columnSpace = 0, m_left = 0, m_length = 0, m_right = 0, m_top = 0, m_width = 0;
    int m_columns = 1;
    TPgxOrientation m_orientation = TPgxOrientation::Portrait;
    TPgxPaperSize m_paper = TPgxPaperSize::Default;
    TPgxPrintOrder m_order = TPgxPrintOrder::ColByCol;
    bool m_ruler = true;
};

} // namespace strandel
