#include "report/bands/band.h"

#include <algorithm>
#include <cmath>

#include "report/bands/controller.h"
#include "report/bands/pagorra.h"
#include "report/base/strings.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"

namespace strandel {

namespace {

// Converts a printable's sizes: through its report's page (its zoom, its font), or at 100 %
// with the default font when it is on none.
const TPgxUnitBase &PgxUnitConverter(const TCustomPagorra *report)
{
    static const TPgxBandSize standalone{};
    return report ? static_cast<const TPgxUnitBase &>(report->Page) : standalone;
}

bool IsPageBand(TPgxBandType t)
{
    return t == TPgxBandType::rbTitle || t == TPgxBandType::rbPageHeader || t == TPgxBandType::rbPageFooter
        || t == TPgxBandType::rbOverlay;
}

// Frame lines of a band reach the report's export filter as shapes.
struct ExportSink : TPgxFrameShapeSink {
    TCustomPagorra &report;
    explicit ExportSink(TCustomPagorra &r) : report(r) {}
    void AcceptShape(const PgxFrameShape &shape) override { report.ExportShape(shape); }
};

} // namespace

QString PgxBandTypeName(TPgxBandType type)
{
    using namespace report;
    static constexpr uint16_t ids[PgxBandTypeCount] = {SpgxTitle, SpgxPageHeader, SpgxDetail, SpgxPageFooter,
        SpgxSummary, SpgxGroupHeader, SpgxGroupFooter, SpgxSubDetail, SpgxColumnHeader, SpgxOverlay, SpgxChild};
    const auto i = static_cast<size_t>(type);
    return i < PgxBandTypeCount ? QString::fromStdString(PgxLoadStr(ids[i])) : QString();
}

QString PgxBandComponentName(TPgxBandType type)
{
    using namespace report;
    static constexpr uint16_t ids[PgxBandTypeCount] = {SpgxTitleBandName, SpgxPageHeaderBandName,
        SpgxDetailBandName, SpgxPageFooterBandName, SpgxSummaryBandName, SpgxGroupHeaderBandName,
        SpgxGroupFooterBandName, SpgxSubDetailBandName, SpgxColumnHeaderBandName, SpgxOverlayBandName,
        SpgxChildBandName};
    const auto i = static_cast<size_t>(type);
    return i < PgxBandTypeCount ? QString::fromStdString(PgxLoadStr(ids[i])) : QString();
}

// ---- printable

TPgxPrintable::TPgxPrintable() : m_frame(this) {}

void TPgxPrintable::SetAlignment(TPgxAlignment a)
{
    m_alignment = a;
    if (m_alignToBand)
        AlignIt();
}

void TPgxPrintable::SetAlignToBand(bool on)
{
    m_alignToBand = on;
    AlignIt();
}

void TPgxPrintable::AlignIt()
{
    if (!m_alignToBand || m_aligning)
        return;
    m_aligning = true;
    switch (m_alignment) {
    case TPgxAlignment::taLeftJustify:
        Left = 0;
        break;
    case TPgxAlignment::taRightJustify:
        if (m_band)
            Left = m_band->Width() - Width;
        break;
    case TPgxAlignment::taCenter:
        if (m_band)
            Left = std::trunc((m_band->Width() - Width) / 2);
        break;
    }
    m_aligning = false;
}

void TPgxPrintable::Prepare()
{
    m_printing = true;
    m_printer = m_report ? m_report->Printer() : nullptr;
    PrintFinished = true;
}

void TPgxPrintable::UnPrepare()
{
    m_printing = false;
    m_printer = nullptr;
}

void TPgxPrintable::Print(int32_t ofsX, int32_t ofsY)
{
    PrintFinished = true;
    PrintProgress = true;
    if (!m_report || !m_printer || !m_report->CanvasOutput() || !m_frame.AnyFrame() || !m_printer->Canvas())
        return;
    const PgxRect r{m_printer->XPos(ofsX + Left), m_printer->YPos(ofsY + Top), m_printer->XPos(ofsX + Left + Width),
                    m_printer->YPos(ofsY + Top + Height)};
    m_frame.PaintIt(*m_printer->Canvas(), r, m_printer->XFactor(), m_printer->YFactor());
}

void TPgxPrintable::PgxNotification(TPgxCustomBand *, TPgxNotifyOperation operation)
{
    if (operation == TPgxNotifyOperation::pgxBandSizeChange)
        AlignIt();
}

double TPgxPrintable::GetSizeValue(int index) const
{
    const double stored = index == SizeHeight ? Height : index == SizeLeft ? Left : index == SizeTop ? Top : Width;
    return PgxUnitConverter(PlacedReport()).LoadUnit(stored, m_units, index == SizeLeft || index == SizeWidth);
}

void TPgxPrintable::SetSizeValue(int index, double value)
{
    const double stored =
        PgxUnitConverter(PlacedReport()).SaveUnit(value, m_units, index == SizeLeft || index == SizeWidth);
    (index == SizeHeight ? Height : index == SizeLeft ? Left : index == SizeTop ? Top : Width) = stored;
}

TCustomPagorra *TPgxPrintable::PlacedReport() const
{
    if (m_report)
        return m_report;
    return m_band ? m_band->ParentReport() : nullptr;
}

// ---- band

TPgxCustomBand::TPgxCustomBand(TPgxBandType type) : m_type(type)
{
    Size.SetUnits(TPgxUnit::Native);
}

double TPgxCustomBand::SizeParent::FontSize() const
{
    return band->m_report ? band->m_report->FontSize() : TPgxUnitParent::FontSize();
}

void TPgxCustomBand::SetUnits(TPgxUnit unit)
{
    Size.SetUnits(unit);
    for (auto &p : m_printables)
        p->SetUnits(unit);
}

TPgxCustomBand::~TPgxCustomBand() = default;

bool TPgxCustomBand::SetBandType(TPgxBandType type)
{
    if (!TakesBandType(type))
        return false;
    m_type = type;
    if (m_report) {
        m_report->RebuildBandList();
        m_report->SetBandValues();
    }
    return true;
}

bool TPgxCustomBand::SetLinkBand(TPgxCustomBand *band)
{
    for (TPgxCustomBand *b = band; b; b = b->m_link)
        if (b == this)
            return false;
    m_link = band;
    return true;
}

void TPgxCustomBand::SetParentReport(TCustomPagorra *report)
{
    m_report = report;
    for (auto &p : m_printables)
        p->SetParentReport(report);
}

void TPgxCustomBand::Adopt(std::unique_ptr<TPgxPrintable> p)
{
    p->m_band = this;
    p->SetParentReport(m_report);
    p->SetUnits(GetUnits());
    AddChild(p.get());
    m_printables.push_back(std::move(p));
    // Placed right of everything already on the band (the new one included).
    double r = 1;
    for (auto &q : m_printables)
        if (q->Left + q->Width > r)
            r = q->Left + q->Width + 10;
    m_printables.back()->Left = r;
}

bool TPgxCustomBand::FreePrintable(TPgxPrintable *p)
{
    for (auto it = m_printables.begin(); it != m_printables.end(); ++it)
        if (it->get() == p) {
            RemoveChild(p);
            m_printables.erase(it);
            return true;
        }
    return false;
}

TPgxCustomBand *TPgxCustomBand::GetChild() const
{
    if (!m_report)
        return nullptr;
    for (TPgxCustomBand *b : m_report->AllBands())
        if (const TPgxChildBand *c = b->AsChildBand(); c && b->BandType() == TPgxBandType::rbChild && c->ParentBand() == this)
            return b;
    return nullptr;
}

void TPgxCustomBand::SetHasChild(bool value)
{
    if (value == HasChild() || !m_report)
        return;
    if (value) {
        m_report->CreateChildBand(this);
        return;
    }
    TPgxCustomBand *child = GetChild();
    if (TPgxCustomBand *grandChild = child->GetChild())
        grandChild->AsChildBand()->SetParentBand(this);
    m_report->RemoveBand(child);
}

bool TPgxChildBand::SetParentBand(TPgxCustomBand *band)
{
    for (TPgxCustomBand *b = band; b;) {
        if (b == this)
            return false;
        const TPgxChildBand *c = b->AsChildBand();
        b = c && b->BandType() == TPgxBandType::rbChild ? c->ParentBand() : nullptr;
    }
    m_parentBand = band;
    if (m_report) {
        m_report->RebuildBandList();
        m_report->SetBandValues();
    }
    return true;
}

// A linked band's height counts once, in tenths of a millimetre like the band's own.
double TPgxCustomBand::StretchHeight(bool includeLinks) const
{
    double h = Size.Height();
    if (includeLinks && m_link)
        h += m_link->StretchHeight(true);
    return h;
}

// Heights of printables are held in tenths of a millimetre already, so what a printable needs
// adds up without going through screen pixels or printer factors.
double TPgxCustomBand::ExpandedHeight()
{
    m_heightCache = Size.Height();
    double extra = 0;
    for (auto &p : m_printables) {
        if (!p->Enabled)
            continue;
        double e = p->Height;
        p->GetExpandedHeight(e);
        const double v = p->Top + e;
        if (v > m_heightCache) {
            m_heightCache = v;
            extra = std::max(0.0, Size.Height() - p->Top - p->Height);
        }
    }
    return m_heightCache + extra;
}

bool TPgxCustomBand::CanExpand(double value) const
{
    if (!m_report)
        return false;
    return int64_t(PgxRound(Size.Height() + m_expansion + value)) <= int64_t(m_report->AvailableSpace());
}

bool TPgxCustomBand::ExpandBand(double value, double &newTop, bool &expanded)
{
    if (!CanExpand(value))
        return false;
    if (!expanded && value < m_expansion) {
        newTop = m_expansion;
        expanded = true;
        return true;
    }
    m_expansion += value;
    newTop = m_expansion;
    expanded = true;
    return false;
}

void TPgxCustomBand::AdvancePaper()
{
    if (m_report)
        m_report->SetCurrentY(m_report->CurrentY() + PgxRound(Size.Height() + m_expansion));
}

void TPgxCustomBand::MakeSpace()
{
    TCustomPagorra *r = m_report;
    // Bands printed while a page is set up (headers, footers) never break it.
    if (r->SettingUpPage())
        return;
    // Across-then-down columns make no room of their own, but the first page still begins.
    if (r->Page.PrintOrder() == TPgxPrintOrder::RowByRow && r->Page.Columns() != 1 && r->PageNumber() != 0)
        return;
    const int32_t h = PgxRound(StretchHeight(true));
    const bool detail = m_type == TPgxBandType::rbDetail;
    if (m_type != TPgxBandType::rbPageFooter && r->AvailableSpace() < h) {
        const double pageRoom = r->PaperExtent()
            - (r->Page.Stored(TPgxPage::TopMargin) + r->Page.Stored(TPgxPage::BottomMargin));
        if (h <= pageRoom) {
            r->SetColumnBreak(detail);
            r->NewColumn();
            return;
        }
    }
    if (r->PageNumber() != 0) {
        if (detail)
            r->SetColumnBreak(false);
        return;
    }
    r->SetColumnBreak(detail);
    r->NewColumn();
}

void TPgxCustomBand::Print()
{
    TCustomPagorra *r = m_report;
    if (!r)
        return;
    bool printBand = Enabled;
    if (Enabled && BeforePrint)
        BeforePrint(this, printBand);
    if (!printBand) {
        if (m_controller && !Enabled)
            m_controller->NotifyClients(TPgxNotifyOperation::pgxMasterDataAdvance);
    } else {
        if (ForceNewPage && !r->ColumnBreak() && !IsPageBand(m_type) && r->PageNumber() > 0 && !r->SettingUpPage()) {
            r->ForceNewPage();
            r->SetColumnBreak(false);
        } else if (ForceNewColumn && !IsPageBand(m_type) && r->PageNumber() > 0 && !r->SettingUpPage()) {
            r->ForceNewColumn();
        } else {
            MakeSpace();
        }
        if (m_controller)
            m_controller->NotifyClients(TPgxNotifyOperation::pgxMasterDataAdvance);
        if (KeepOnOnePage && !r->SettingUpPage() && ExpandedHeight() > r->AvailableSpace())
            r->NewColumn();

        // The position is taken now, after any break above.
        TPgxPrinter *pr = r->Printer();
        double x = r->CurrentX(), y = r->CurrentY();
        const double designHeight = Size.Height();
        if (!TransparentBand) {
            const double h = PreCaluculateBandHeight ? ExpandedHeight() : designHeight;
            m_bandRect = {pr->XPos(x), pr->YPos(y), pr->XPos(x + Size.Width()), pr->YPos(y + h)};
            if (r->Exporting()) {
                PgxFrameShape bg;
                bg.kind = PgxFrameShapeKind::Rectangle;
                bg.left = m_bandRect.left;
                bg.top = m_bandRect.top;
                bg.width = m_bandRect.right - m_bandRect.left;
                bg.height = m_bandRect.bottom - m_bandRect.top;
                bg.brush = {Color, PgxBrushStyle::Solid};
                bg.pen = {Color, 1, PgxPenStyle::Clear};
                r->ExportShape(bg);
            }
        }
        if (designHeight != 0) {
            m_expansion = 0;
            bool first = true;
            bool freshColumn = false;
            for (;;) {
                if (r->CanvasOutput() && !TransparentBand && pr->Canvas()) {
                    pr->Canvas()->SetBrush({Color, PgxBrushStyle::Solid});
                    pr->Canvas()->FillRect(m_bandRect);
                }
                bool fits = true, progressed = false;
                for (auto &p : m_printables) {
                    if (!p->Enabled)
                        continue;
                    if (first || !p->PrintFinished) {
                        p->Print(int32_t(x), int32_t(y));
                        progressed = progressed || p->PrintProgress;
                    }
                    fits = fits && p->PrintFinished;
                }
                if ((r->CanvasOutput() || r->Exporting()) && pr->Canvas()) {
                    m_bandRect = {pr->XPos(x), pr->YPos(y), pr->XPos(x + Size.Width()),
                                  pr->YPos(y + Size.Height() + m_expansion + 1.0)};
                    ExportSink sink(*r);
                    Frame().PaintIt(*pr->Canvas(), m_bandRect, pr->XFactor(), pr->YFactor(),
                                    r->Exporting() ? &sink : nullptr);
                }
                if (!fits && (r->SettingUpPage() || (freshColumn && !progressed))) {
                    // Nothing more can be placed here: what is left goes out clipped.
                    for (auto &p : m_printables)
                        if (p->Enabled && !p->PrintFinished)
                            p->ForceFinish();
                    fits = true;
                }
                if (fits)
                    break;
                r->SetColumnBreak(true);
                r->NewColumn();
                r->SetColumnBreak(false);
                Size.SetStored(0, designHeight);
                m_expansion = 0;
                first = false;
                freshColumn = true;
                x = r->CurrentX();
                y = r->CurrentY();
                m_bandRect = {pr->XPos(x), pr->YPos(y), pr->XPos(x + Size.Width()), pr->YPos(y + designHeight)};
            }
            AdvancePaper();
            Size.SetStored(0, designHeight);
        }
        if (r->Exporting())
            r->ExportFilter()->AcceptBand(this, x, y, m_expansion);
    }
    if (AfterPrint)
        AfterPrint(this, printBand);
    if (TPgxCustomBand *child = GetChild()) {
        const bool footer = m_type == TPgxBandType::rbPageFooter;
        if (footer)
            child->m_type = TPgxBandType::rbPageFooter;
        r->PrintBand(child);
        if (footer)
            child->m_type = TPgxBandType::rbChild;
    }
    r->SetColumnBreak(false);
}

} // namespace strandel
