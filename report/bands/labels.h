#pragma once
// A label report: its detail band is one label, and its label setup speaks of the page margins,
// columns and the detail band's size as a sheet of labels does (margins, pitch, label size,
// labels across).
#include <cstdint>
#include <functional>

#include "report/bands/pagorra.h"
#include "report/pages/units.h"

namespace strandel {

class TPagorraLabelReport;

// The sheet's measures, read from and written to the report's page and detail band. Values are
// in the page's current units. A write that would leave no room (a pitch below the label, labels
// wider than the page) is refused and changes nothing.
class TPgxLabelSetup : public TPgxUnitBase
{
public:
    enum Index { TopMargin = 0, SideMargin = 1, VerticalPitch = 2, LabelWidth = 3, LabelHeight = 4, HorizontalPitch = 5 };
    explicit TPgxLabelSetup(TCustomPagorra *report);

    double GetValue(int index) const;
    // False when the value is refused.
    bool SetValue(int index, double value);

    double GetTopMargin() const { return GetValue(TopMargin); }
    bool SetTopMargin(double v) { return SetValue(TopMargin, v); }
    double GetSideMargin() const { return GetValue(SideMargin); }
    bool SetSideMargin(double v) { return SetValue(SideMargin, v); }
    double GetVerticalPitch() const { return GetValue(VerticalPitch); }
    bool SetVerticalPitch(double v) { return SetValue(VerticalPitch, v); }
    double GetLabelWidth() const { return GetValue(LabelWidth); }
    bool SetLabelWidth(double v) { return SetValue(LabelWidth, v); }
    double GetLabelHeight() const { return GetValue(LabelHeight); }
    bool SetLabelHeight(double v) { return SetValue(LabelHeight, v); }
    double GetHorizontalPitch() const { return GetValue(HorizontalPitch); }
    // The value itself is not used: the column space follows from the margins and labels.
    bool SetHorizontalPitch(double v) { return SetValue(HorizontalPitch, v); }

    // Rows per sheet: kept for the stored report; nothing sets or reads it yet.
    int32_t GetNumberDown() const { return m_numberDown; }
    void SetNumberDown(int32_t) {}
    int32_t GetNumberAcross() const;
    void SetNumberAcross(int32_t n);

    // The setup holds nothing of its own: all of it lives in the page and the band.
    void SetParentSizes() override {}
    std::vector<double> ReadValues() const override { return {}; }
    void WriteValues(const std::vector<double> &) override {}

private:
    TPgxCustomBand *Detail() const;
    // Band lengths (0.1 mm) in the page's units and back.
    double FromNative(double v, bool horizontal) const;
    double ToNative(double v, bool horizontal) const;
    double PitchNative() const;
    // Detail band height and its gap below (a child band), both 0.1 mm; gap 0 drops the child.
    void SetLabel(double height, double gap);

    TCustomPagorra *m_report;
    int32_t m_numberDown = 0;
};

class TPagorraLabelReport : public TCustomPagorra
{
    Q_OBJECT
public:
    explicit TPagorraLabelReport(QObject *parent = nullptr);
    TPgxLabelSetup LabelSetup;
    void Execute() override;
};

} // namespace strandel
