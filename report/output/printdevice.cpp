#include "report/output/printdevice.h"

#include <mutex>

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "report/pages/units.h"

namespace strandel {

namespace {

std::mutex g_factoryLock;
TPgxPrintDeviceFactory g_factory;
std::unique_ptr<TPgxPrintDevice> g_global;
bool g_globalMade = false;

} // namespace

void PgxRegisterPrintDeviceFactory(TPgxPrintDeviceFactory factory)
{
    std::lock_guard lock(g_factoryLock);
    g_factory = std::move(factory);
    g_global.reset();
    g_globalMade = false;
}

std::unique_ptr<TPgxPrintDevice> PgxCreatePrintDevice()
{
    std::lock_guard lock(g_factoryLock);
    return g_factory ? g_factory() : nullptr;
}

TPgxPrintDevice *PgxGlobalPrintDevice()
{
    std::lock_guard lock(g_factoryLock);
    if (!g_globalMade && g_factory) {
        g_global = g_factory();
        g_globalMade = true;
    }
    return g_global.get();
}

bool PgxDevicePaperTenths(const TPgxDeviceMode &mode, int32_t &width, int32_t &length)
{
    double w, l;
    if (mode.paperSize == PgxPaperCodeCustom) {
        if (mode.paperWidth <= 0 || mode.paperLength <= 0)
            return false;
        width = mode.paperWidth;
        length = mode.paperLength;
    } else if (mode.paperSize >= 1 && mode.paperSize <= 26
               && PgxPaperDims(static_cast<TPgxPaperSize>(mode.paperSize), w, l)) {
        width = PgxRound(w * 10);
        length = PgxRound(l * 10);
    } else {
        return false;
    }
    if (mode.orientation == 2)
        std::swap(width, length);
    return true;
}

// ---- TPgxPdfDevice

TPgxPdfDevice::TPgxPdfDevice(const QString &fileName, int dpi) : m_fileName(fileName), m_dpi(dpi > 0 ? dpi : 300)
{
    m_mode.fields = DmOrientation | DmPaperSize | DmCopies | DmDefaultSource | DmDuplex;
}

TPgxPdfDevice::~TPgxPdfDevice()
{
    if (m_painter)
        EndDoc();
}

bool TPgxPdfDevice::GetDeviceMode(TPgxDeviceMode &mode) const
{
    mode = m_mode;
    return true;
}

bool TPgxPdfDevice::DocumentProperties(TPgxDeviceMode &mode) const
{
    mode.fields = m_mode.fields;
    return true;
}

void TPgxPdfDevice::SetDeviceMode(const TPgxDeviceMode &mode)
{
    m_mode = mode;
    m_mode.fields = DmOrientation | DmPaperSize | DmCopies | DmDefaultSource | DmDuplex;
}

std::vector<int32_t> TPgxPdfDevice::PaperCodes() const
{
    std::vector<int32_t> codes;
    for (int32_t c = 1; c <= 26; ++c)
        codes.push_back(c);
    codes.push_back(PgxPaperCodeCustom);
    return codes;
}

static QPageLayout LayoutOf(const TPgxDeviceMode &mode)
{
    TPgxDeviceMode portrait = mode;
    portrait.orientation = 1;
    int32_t w = 2100, l = 2970;
    PgxDevicePaperTenths(portrait, w, l);
    // Exact match: our B4 and B5 are not Qt's ISO sizes and must keep their millimetres.
    const QPageSize size(QSizeF(w / 10.0, l / 10.0), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    return QPageLayout(size, mode.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

PgxDeviceMetrics TPgxPdfDevice::Metrics() const
{
    PgxDeviceMetrics m;
    m.dpiX = m.dpiY = m_dpi;
    const QRect full = LayoutOf(m_mode).fullRectPixels(m_dpi);
    m.physWidth = m.pageWidth = full.width();
    m.physHeight = m.pageHeight = full.height();
    return m;
}

bool TPgxPdfDevice::BeginDoc(const QString &title)
{
    if (m_painter)
        return false;
    m_error.clear();
    m_writer = std::make_unique<QPdfWriter>(m_fileName);
    m_writer->setResolution(m_dpi);
    m_writer->setTitle(title);
    m_writer->setCreator(QStringLiteral("Strandel"));
    m_writer->setPageLayout(LayoutOf(m_mode));
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_writer.get())) {
        m_error = QStringLiteral("Cannot write %1").arg(m_fileName);
        m_painter.reset();
        m_writer.reset();
        return false;
    }
    return true;
}

bool TPgxPdfDevice::NewPage()
{
    return m_writer && m_writer->newPage();
}

bool TPgxPdfDevice::EndDoc()
{
    if (!m_painter)
        return false;
    const bool ok = m_painter->end();
    m_painter.reset();
    m_writer.reset();
    return ok;
}

void TPgxPdfDevice::Abort()
{
    if (!m_painter)
        return;
    m_painter->end();
    m_painter.reset();
    m_writer.reset();
    QFile::remove(m_fileName); // half a document is no document
}

} // namespace strandel
