#include "report/bands/labels.h"

namespace strandel {

namespace {

// Lengths this close (0.1 mm) are the same length: unit conversions leave rounding dust.
constexpr double Same = 1e-6;

} // namespace

TPgxLabelSetup::TPgxLabelSetup(TCustomPagorra *report) : TPgxUnitBase(report), m_report(report) {}

TPgxCustomBand *TPgxLabelSetup::Detail() const
{
    return m_report ? m_report->BandOfType(TPgxBandType::rbDetail) : nullptr;
}

double TPgxLabelSetup::FromNative(double v, bool horizontal) const
{
    return m_report->Page.LoadUnit(v, m_report->Page.GetUnits(), horizontal);
}

double TPgxLabelSetup::ToNative(double v, bool horizontal) const
{
    return m_report->Page.SaveUnit(v, m_report->Page.GetUnits(), horizontal);
}

double TPgxLabelSetup::PitchNative() const
{
    TPgxCustomBand *d = Detail();
    if (!d)
        return 0;
    const TPgxCustomBand *gap = d->GetChild();
    return d->Height() + (gap ? gap->Height() : 0);
}

void TPgxLabelSetup::SetLabel(double height, double gap)
{
    TPgxCustomBand *d = Detail();
    d->SetHeight(height);
    if (gap > Same) {
        d->SetHasChild(true);
        d->GetChild()->SetHeight(gap);
    } else {
        d->SetHasChild(false);
    }
}

int32_t TPgxLabelSetup::GetNumberAcross() const
{
    return m_report ? m_report->Page.Columns() : 0;
}

void TPgxLabelSetup::SetNumberAcross(int32_t n)
{
    if (m_report)
        m_report->Page.SetColumns(n);
}

double TPgxLabelSetup::GetValue(int index) const
{
    if (!m_report)
        return 0;
    const TPgxPage &page = m_report->Page;
    TPgxCustomBand *d = Detail();
    switch (index) {
    case TopMargin: return page.GetValue(TPgxPage::TopMargin);
    case SideMargin: return page.GetValue(TPgxPage::LeftMargin);
    case VerticalPitch: return FromNative(PitchNative(), false);
    case LabelWidth: return d ? FromNative(d->Width(), true) : 0;
    case LabelHeight: return d ? FromNative(d->Height(), false) : 0;
    case HorizontalPitch: return GetValue(LabelWidth) + page.GetValue(TPgxPage::ColumnSpace);
    default: return 0;
    }
}

bool TPgxLabelSetup::SetValue(int index, double value)
{
    if (!m_report)
        return false;
    TPgxPage &page = m_report->Page;
    const int n = page.Columns();
    TPgxCustomBand *d = Detail();
    switch (index) {
    case TopMargin:
        page.SetValue(TPgxPage::TopMargin, value);
        return true;
    case SideMargin:
        page.SetValue(TPgxPage::LeftMargin, value);
        page.SetValue(TPgxPage::RightMargin, value);
        return true;
    case VerticalPitch: {
        if (!d)
            return false;
        // The gap below a label is what the pitch leaves of it; a pitch below the label
        // height would need a gap of negative height.
        const double gap = ToNative(value, false) - d->Height();
        if (gap < -Same)
            return false;
        SetLabel(d->Height(), gap);
        return true;
    }
    case LabelWidth: {
        // The labels are centred; the column width that results is the label width.
        const double side = (page.GetValue(TPgxPage::Width) - value * n
                             - page.GetValue(TPgxPage::ColumnSpace) * (n - 1)) / 2;
        if (value < 0 || side < 0)
            return false; // the labels do not fit across the page
        return SetValue(SideMargin, side);
    }
    case LabelHeight: {
        if (!d || value < 0)
            return false;
        const double height = ToNative(value, false);
        const double pitch = PitchNative();
        // A taller label takes the pitch with it; a shorter one keeps the pitch and widens the gap.
        SetLabel(height, height >= pitch - Same ? 0 : pitch - height);
        return true;
    }
    case HorizontalPitch: {
        if (n <= 1) {
            page.SetValue(TPgxPage::ColumnSpace, 0);
            return true;
        }
        const double space = (page.GetValue(TPgxPage::Width) - 2 * page.GetValue(TPgxPage::LeftMargin)
                              - GetValue(LabelWidth) * n) / (n - 1);
        if (space < 0)
            return false; // the labels with these margins are wider than the page
        page.SetValue(TPgxPage::ColumnSpace, space);
        return true;
    }
    default:
        return false;
    }
}

TPagorraLabelReport::TPagorraLabelReport(QObject *parent) : TCustomPagorra(parent), LabelSetup(this)
{
    CreateBand(TPgxBandType::rbDetail);
}

void TPagorraLabelReport::Execute()
{
    TPgxCustomBand *detail = BandOfType(TPgxBandType::rbDetail);
    TPgxCustomBand *gap = detail ? detail->GetChild() : nullptr;
    if (!gap) {
        TCustomPagorra::Execute();
        return;
    }
    // The gap below the last label of a column is not wanted: making room for it would start
    // the next column with the gap and put every later label off its place on the sheet.
    auto own = gap->BeforePrint;
    gap->BeforePrint = [this, own](TPgxCustomBand *band, bool &print) {
        if (AvailableSpace() < PgxRound(band->Height()))
            print = false;
        else if (own)
            own(band, print);
    };
    struct Restore {
        TPgxCustomBand *gap;
        std::function<void(TPgxCustomBand *, bool &)> own;
        ~Restore() { gap->BeforePrint = std::move(own); }
    } restore{gap, own};
    TCustomPagorra::Execute();
}

} // namespace strandel
