#include "report/output/printersettings.h"

#include <algorithm>

namespace strandel {

namespace {
constexpr int32_t BinCodes[14] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};
}

int32_t PgxPaperCode(TPgxPaperSize size)
{
    return size == TPgxPaperSize::Custom ? PgxPaperCodeCustom : static_cast<int32_t>(size);
}

int32_t PgxBinCode(TPgxBin bin)
{
    return BinCodes[static_cast<size_t>(bin)];
}

TPrinterSettings::TPrinterSettings()
{
    m_supported.fill(true);
}

void TPrinterSettings::SetPrinter(TPgxPrintDevice *device)
{
    m_device = device;
    if (!device || device->Printers().isEmpty())
        m_supported.fill(true);
    else if (!device->Printers().isEmpty())
        GetPrinterSettings();
}

bool TPrinterSettings::Supported(uint32_t flags) const
{
    if (!m_device || m_device->Printers().isEmpty())
        return true;
    TPgxDeviceMode mode;
    return m_device->GetDeviceMode(mode) && (mode.fields & flags) == flags;
}

void TPrinterSettings::SetDuplex(bool v)
{
    if (!Supported(DmDuplex))
        return;
    m_duplex = v;
    ExtendedDuplex = 0;
}

void TPrinterSettings::SetPaperSize(TPgxPaperSize s)
{
    if (s == TPgxPaperSize::Default || m_supported[static_cast<size_t>(s)])
        m_paper = s;
}

int32_t TPrinterSettings::PaperWidth() const
{
    double w, l;
    return PgxPaperDims(m_paper, w, l) ? PgxRound(w * 10) : m_paperWidth;
}

int32_t TPrinterSettings::PaperLength() const
{
    double w, l;
    return PgxPaperDims(m_paper, w, l) ? PgxRound(l * 10) : m_paperLength;
}

void TPrinterSettings::GetPrinterSettings()
{
    TPgxDeviceMode mode;
    if (!m_device || !m_device->GetDeviceMode(mode))
        return;
    if (OnGetPrinterSettings) {
        bool cancel = false;
        OnGetPrinterSettings(*this, cancel, mode);
        if (cancel)
            return;
    }
    const PgxDeviceMetrics m = m_device->Metrics();
    m_ppx = m.dpiX;
    m_ppy = m.dpiY;
    m_copies = (mode.fields & DmCopies) ? mode.copies : 1;
    m_bin = TPgxBin::First;
    if (mode.fields & DmDefaultSource)
        for (int b = 0; b < 14; ++b)
            if (BinCodes[b] == mode.defaultSource) {
                m_bin = static_cast<TPgxBin>(b);
                break;
            }
    if (mode.fields & DmDuplex) {
        m_duplex = mode.duplex != PgxDuplexSimplex;
        ExtendedDuplex = m_duplex ? mode.duplex : 0;
    }
    if (m_ppx > 0 && m_ppy > 0) {
        m_leftOffset = PgxRound(static_cast<double>(m.offsetX) / m_ppx * 254);
        m_topOffset = PgxRound(static_cast<double>(m.offsetY) / m_ppy * 254);
    }
    m_orientation = mode.orientation == 2 ? TPgxOrientation::Landscape : TPgxOrientation::Portrait;
    m_paper = TPgxPaperSize::Default;
    if (mode.fields & DmPaperSize)
        for (int s = 0; s < PgxPaperSizeCount; ++s)
            if (PgxPaperCode(static_cast<TPgxPaperSize>(s)) == mode.paperSize) {
                m_paper = static_cast<TPgxPaperSize>(s);
                break;
            }
    if (m_ppx > 0 && m_ppy > 0) {
        m_paperWidth = PgxRound(static_cast<double>(m.physWidth) / m_ppx * 254);
        m_paperLength = PgxRound(static_cast<double>(m.physHeight) / m_ppy * 254);
        // The device's own paper is kept as portrait sides; a custom one as it is laid out.
        if (m_orientation == TPgxOrientation::Landscape && m_paper != TPgxPaperSize::Custom)
            std::swap(m_paperWidth, m_paperLength);
    }
    const std::vector<int32_t> codes = m_device->PaperCodes();
    m_supported.fill(false);
    for (int s = 1; s < PgxPaperSizeCount; ++s)
        m_supported[s] = std::find(codes.begin(), codes.end(), PgxPaperCode(static_cast<TPgxPaperSize>(s))) != codes.end();
    m_supported[static_cast<size_t>(TPgxPaperSize::Custom)] = true;
    PrintQuality = mode.printQuality;
    Collate = mode.collate;
    ColorOption = mode.color;
}

bool TPrinterSettings::ApplySettings()
{
    TPgxDeviceMode mode;
    if (!m_device || !m_device->GetDeviceMode(mode))
        return false;
    if (!m_device->DocumentProperties(mode))
        return false;
    // A plain duplex request binds on the long edge, the way a duplex document is read.
    mode.duplex = ExtendedDuplex != 0 ? ExtendedDuplex : m_duplex ? PgxDuplexLongEdge : PgxDuplexSimplex;
    mode.orientation = m_orientation == TPgxOrientation::Landscape ? 2 : 1;
    mode.defaultSource = UseCustomBinCode ? CustomBinCode : PgxBinCode(m_bin);
    mode.paperSize = UseCustomPaperCode ? CustomPaperCode : PgxPaperCode(m_paper);
    if (m_paper == TPgxPaperSize::Custom) {
        // The device turns its paper for landscape; a custom paper is held as laid out, so it
        // goes there with its sides the other way round.
        const bool turned = m_orientation == TPgxOrientation::Landscape;
        mode.paperWidth = turned ? m_paperLength : m_paperWidth;
        mode.paperLength = turned ? m_paperWidth : m_paperLength;
    }
    mode.copies = m_copies;
    mode.printQuality = PrintQuality;
    mode.collate = Collate;
    mode.color = ColorOption;
    if (OnApplyPrinterSettings) {
        bool cancel = false;
        OnApplyPrinterSettings(*this, cancel, mode);
        if (cancel)
            return false;
    }
    m_device->SetDeviceMode(mode);
    return true;
}

} // namespace strandel
