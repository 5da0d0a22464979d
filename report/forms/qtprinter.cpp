#include "report/forms/qtprinter.h"

#include <cmath>

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "report/pages/units.h"

namespace strandel {

namespace {

// Paper sources by their device-mode codes; the ones Qt numbers one below, cassette and form apart.
int32_t SourceCode(QPrinter::PaperSource s)
{
    switch (s) {
    case QPrinter::Cassette: return 14;
    case QPrinter::FormSource: return 15;
    default: return static_cast<int32_t>(s) + 1;
    }
}

QPrinter::PaperSource SourceOf(int32_t code)
{
    if (code == 14)
        return QPrinter::Cassette;
    if (code == 15)
        return QPrinter::FormSource;
    if (code >= 1 && code <= 11)
        return static_cast<QPrinter::PaperSource>(code - 1);
    return QPrinter::Auto;
}

// The first table size within half a millimetre; 256 (custom) otherwise.
int32_t CodeOfSize(const QSizeF &mm)
{
    for (int s = 1; s <= 26; ++s) {
        double w, l;
        PgxPaperDims(static_cast<TPgxPaperSize>(s), w, l);
        if (std::fabs(w - mm.width()) <= 0.5 && std::fabs(l - mm.height()) <= 0.5)
            return s;
    }
    return PgxPaperCodeCustom;
}

QPageSize PageSizeOf(const TPgxDeviceMode &mode)
{
    TPgxDeviceMode portrait = mode;
    portrait.orientation = 1;
    int32_t w = 0, l = 0;
    if (!PgxDevicePaperTenths(portrait, w, l))
        return {};
    // Exact: our B4 and B5 keep their millimetres instead of becoming Qt's ISO sizes.
    return QPageSize(QSizeF(w / 10.0, l / 10.0), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

} // namespace

TPgxQtPrintDevice::TPgxQtPrintDevice(const QString &pdfFile)
    : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)), m_pdf(!pdfFile.isEmpty())
{
    if (m_pdf) {
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(pdfFile);
        m_printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    }
}

TPgxQtPrintDevice::~TPgxQtPrintDevice()
{
    if (m_painter)
        EndDoc();
}

QStringList TPgxQtPrintDevice::Printers() const
{
    if (m_pdf)
        return {QStringLiteral("PDF")};
    return QPrinterInfo::availablePrinterNames();
}

int TPgxQtPrintDevice::PrinterIndex() const
{
    return Printers().indexOf(DeviceName());
}

void TPgxQtPrintDevice::SetPrinterIndex(int index)
{
    if (m_pdf || m_painter)
        return;
    const QStringList names = Printers();
    if (index < 0)
        m_printer->setPrinterName(QPrinterInfo::defaultPrinterName());
    else if (index < names.size())
        m_printer->setPrinterName(names.at(index));
}

QString TPgxQtPrintDevice::DeviceName() const
{
    return m_pdf ? QStringLiteral("PDF") : m_printer->printerName();
}

uint32_t TPgxQtPrintDevice::Fields() const
{
    uint32_t f = DmOrientation | DmPaperSize | DmCopies | DmDefaultSource;
    // A PDF has no sides to bind.
    if (!m_pdf && QPrinterInfo(*m_printer).supportedDuplexModes().size() > 1)
        f |= DmDuplex;
    return f;
}

bool TPgxQtPrintDevice::GetDeviceMode(TPgxDeviceMode &mode) const
{
    if (!m_pdf && !m_printer->isValid())
        return false;
    const QPageLayout layout = m_printer->pageLayout();
    const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
    mode.fields = Fields();
    mode.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    mode.paperSize = CodeOfSize(mm);
    mode.paperWidth = PgxRound(mm.width() * 10);
    mode.paperLength = PgxRound(mm.height() * 10);
    mode.copies = m_printer->copyCount();
    mode.defaultSource = SourceCode(m_printer->paperSource());
    mode.printQuality = m_printer->resolution();
    mode.color = m_printer->colorMode() == QPrinter::Color ? 2 : 1;
    switch (m_printer->duplex()) {
    case QPrinter::DuplexNone: mode.duplex = PgxDuplexSimplex; break;
    case QPrinter::DuplexShortSide: mode.duplex = PgxDuplexShortEdge; break;
    default: mode.duplex = PgxDuplexLongEdge; break;
    }
    mode.collate = m_printer->collateCopies() ? 1 : 0;
    return true;
}

bool TPgxQtPrintDevice::DocumentProperties(TPgxDeviceMode &mode) const
{
    if (!m_pdf && !m_printer->isValid())
        return false;
    mode.fields = Fields();
    return true;
}

void TPgxQtPrintDevice::SetDeviceMode(const TPgxDeviceMode &mode)
{
    if (m_painter)
        return; // a document in progress keeps its paper
    const QPageSize size = PageSizeOf(mode);
    if (size.isValid())
        m_printer->setPageSize(size);
    m_printer->setPageOrientation(mode.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (mode.copies > 0)
        m_printer->setCopyCount(mode.copies);
    m_printer->setCollateCopies(mode.collate != 0);
    if (mode.color != 0)
        m_printer->setColorMode(mode.color == 1 ? QPrinter::GrayScale : QPrinter::Color);
    m_printer->setDuplex(mode.duplex == PgxDuplexLongEdge ? QPrinter::DuplexLongSide
                         : mode.duplex == PgxDuplexShortEdge ? QPrinter::DuplexShortSide
                                                             : QPrinter::DuplexNone);
    m_printer->setPaperSource(SourceOf(mode.defaultSource));
    if (m_pdf)
        m_printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

std::vector<int32_t> TPgxQtPrintDevice::PaperCodes() const
{
    std::vector<int32_t> codes;
    if (m_pdf) {
        for (int32_t c = 1; c <= 26; ++c)
            codes.push_back(c);
    } else {
        for (const QPageSize &s : QPrinterInfo(*m_printer).supportedPageSizes()) {
            const int32_t c = CodeOfSize(s.size(QPageSize::Millimeter));
            if (c != PgxPaperCodeCustom)
                codes.push_back(c);
        }
    }
    codes.push_back(PgxPaperCodeCustom);
    return codes;
}

PgxDeviceMetrics TPgxQtPrintDevice::Metrics() const
{
    PgxDeviceMetrics m;
    const int dpi = m_printer->resolution();
    m.dpiX = m.dpiY = dpi > 0 ? dpi : 300;
    const QPageLayout layout = m_printer->pageLayout();
    const QRect paper = layout.fullRectPixels(m.dpiX);
    const QRect paint = layout.paintRectPixels(m.dpiX);
    m.physWidth = paper.width();
    m.physHeight = paper.height();
    m.offsetX = paint.left() - paper.left();
    m.offsetY = paint.top() - paper.top();
    m.pageWidth = paint.width();
    m.pageHeight = paint.height();
    return m;
}

bool TPgxQtPrintDevice::BeginDoc(const QString &title)
{
    if (m_painter)
        return false;
    m_printer->setDocName(title);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_printer.get())) {
        m_painter.reset();
        return false;
    }
    return true;
}

bool TPgxQtPrintDevice::NewPage()
{
    return m_painter && m_printer->newPage();
}

bool TPgxQtPrintDevice::EndDoc()
{
    if (!m_painter)
        return false;
    const bool ok = m_painter->end();
    m_painter.reset();
    return ok;
}

void TPgxQtPrintDevice::Abort()
{
    if (!m_painter)
        return;
    m_printer->abort();
    m_painter->end();
    m_painter.reset();
    if (m_pdf)
        QFile::remove(m_printer->outputFileName());
}

void PgxRegisterQtPrinter()
{
    PgxRegisterPrintDeviceFactory([] { return std::make_unique<TPgxQtPrintDevice>(); });
}

} // namespace strandel
