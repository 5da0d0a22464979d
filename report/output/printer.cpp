#include "report/output/printer.h"

#include <cmath>
#include <cstdlib>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QMetaMethod>
#include <QPainter>

#include "platform/uithread.h"
#include "report/base/hook.h"
#include "report/base/message.h"
#include "report/base/strings.h"
#include "report/expr/expr.h"

namespace strandel {

namespace {

TPgxHook<TPgxPreviewFactory> g_previewFactory;
TPgxHook<TPgxProgressFormFactory> g_progressFormFactory;

[[noreturn]] void Fail(uint16_t id)
{
    throw report::EPgxError(report::PgxLoadStr(id));
}

// Lets the window breathe during long work, but only on its own thread.
void ProcessEvents()
{
    if (IsUiThread())
        QCoreApplication::processEvents();
}

// Within this many tenths of a millimetre a page counts as a named paper: a page stored at
// screen resolution loses up to a pixel to rounding.
constexpr double PaperTolerance = 10;

} // namespace

void RegisterPreviewClass(TPgxPreviewFactory factory)
{
    g_previewFactory.Set(std::move(factory));
}

void RegisterProgressFormClass(TPgxProgressFormFactory factory)
{
    g_progressFormFactory.Set(std::move(factory));
}

std::unique_ptr<TPgxProgressSink> PgxCreateProgressForm(TPgxProgress &progress, bool show)
{
    if (!IsUiThread())
        return nullptr;
    const TPgxProgressFormFactory factory = g_progressFormFactory.Get();
    return factory ? factory(progress, show) : nullptr;
}

int AnsiPos(const QString &sub, const QString &s)
{
    return sub.isEmpty() ? 0 : static_cast<int>(s.indexOf(sub)) + 1;
}

QStringList GetFonts()
{
    return QFontDatabase::families();
}

TPgxPrinter::TPgxPrinter(QObject *parent, const OwnerSettings *owner)
    : QObject(parent), m_pages(std::make_unique<TPgxPageList>()), m_screenPpi(PgxScreenPpi())
{
    if (owner) {
        m_settings.UseStandardPrinter = owner->useStandardPrinter;
        m_settings.MemoryLimit = owner->memoryLimit;
    }
    if (m_settings.UseStandardPrinter) {
        m_device = PgxGlobalPrintDevice();
    } else {
        m_ownDevice = PgxCreatePrintDevice();
        m_device = m_ownDevice.get();
    }
    if (PrintersAvailable())
        m_settings.SetPrinter(m_device);
    m_topWaste = m_settings.TopOffset();
    m_leftWaste = m_settings.LeftOffset();
}

TPgxPrinter::~TPgxPrinter()
{
    if (m_status == TPgxPrinterStatus::mpBusy)
        AbortDoc();
    if (m_status != TPgxPrinterStatus::mpReady)
        Cleanup();
}

bool TPgxPrinter::SetPrintDevice(std::unique_ptr<TPgxPrintDevice> device)
{
    if (m_status == TPgxPrinterStatus::mpBusy)
        return false;
    m_ownDevice = std::move(device);
    m_device = m_ownDevice.get();
    m_settings.SetPrinter(m_device);
    return true;
}

int32_t TPgxPrinter::GetLeftWaste() const
{
    return m_destination == TPgxPrinterDestination::pgxdPrinter ? m_settings.LeftOffset() : 0;
}

int32_t TPgxPrinter::GetTopWaste() const
{
    return m_destination == TPgxPrinterDestination::pgxdPrinter ? m_settings.TopOffset() : 0;
}

// A custom paper holds the sides its report laid it out with, so landscape turns only the
// sides of a named or the device's own paper.
static bool SidesSwapped(const TPrinterSettings &s)
{
    return s.Orientation() == TPgxOrientation::Landscape && s.PaperSize() != TPgxPaperSize::Custom;
}

int32_t TPgxPrinter::PaperWidthValue() const
{
    return SidesSwapped(m_settings) ? m_settings.PaperLength() : m_settings.PaperWidth();
}

int32_t TPgxPrinter::PaperLengthValue() const
{
    return SidesSwapped(m_settings) ? m_settings.PaperWidth() : m_settings.PaperLength();
}

bool TPgxPrinter::CurrentPageOK() const
{
    if (FirstPage > 0 && m_pageCount < FirstPage)
        return false;
    if (LastPage >= 1 && m_pageCount > LastPage)
        return false;
    return true;
}

void TPgxPrinter::SetPrinterFactors()
{
    const PgxDeviceMetrics m = m_device->Metrics();
    m_xFactor = m.dpiX / 254.0;
    m_yFactor = m.dpiY / 254.0;
}

void TPgxPrinter::SetError(const QString &why, bool onlyFirst)
{
    std::lock_guard lock(m_errorLock);
    if (!onlyFirst || m_error.isEmpty())
        m_error = why;
}

void TPgxPrinter::BeginDoc()
{
    if (m_status != TPgxPrinterStatus::mpReady)
        Fail(report::SpgxPgxPrinterNotReady);
    m_metafile.reset();
    m_canvas.reset();
    m_links.reset();
    m_printerPageOpen = false;
    SetError(QString(), false);
    m_availablePages = 0;
    m_cancelled = false;
    m_progress.ResetCancel();
    if (m_destination == TPgxPrinterDestination::pgxdPrinter && PrintersAvailable())
        m_settings.ApplySettings();
    m_topWaste = GetTopWaste();
    m_leftWaste = GetLeftWaste();
    m_pageNumber = 0;
    m_pageCount = 0;
    if (m_destination == TPgxPrinterDestination::pgxdMetafile) {
        // Under the list's lock, which every reader takes before the stream's.
        m_pages->LockList();
        m_pages->SetStream(std::make_unique<TPgxStream>(m_settings.MemoryLimit));
        m_pages->Clear();
        m_pages->Outline().Clear();
        m_pages->UnlockList();
        m_xFactor = m_yFactor = m_screenPpi / 254.0;
    } else if (PrintersAvailable()) {
        SetPrinterFactors();
    }
    m_status = TPgxPrinterStatus::mpBusy;
}

void TPgxPrinter::DropPage()
{
    m_canvas.reset();
    m_metafile.reset();
    m_links.reset();
}

void TPgxPrinter::ClosePage(bool store)
{
    if (m_metafile) {
        m_canvas.reset(); // completes the metafile
        if (store) {
            QString error;
            const std::vector<THyperlink> *links = m_links && !m_links->empty() ? m_links.get() : nullptr;
            if (!m_pages->AddPageEx(*m_metafile, links, &error))
                SetError(error, true);
        }
        DropPage();
    } else if (m_printerPageOpen) {
        m_canvas.reset();
        m_links.reset();
        m_printerPageOpen = false;
        if (m_device->Printing() && m_pageCount != LastPage)
            m_device->NewPage();
    }
}

void TPgxPrinter::OpenPage()
{
    const bool toPrinter = m_destination == TPgxPrinterDestination::pgxdPrinter && CurrentPageOK() && PrintersAvailable();
    if (toPrinter) {
        bool ok = m_device->Printing();
        if (!ok) {
            ok = m_device->BeginDoc(Title);
            if (!ok)
                SetError(QStringLiteral("The printer \"%1\" refused the document").arg(m_device->DeviceName()), true);
        }
        if (ok && m_device->Painter()) {
            m_canvas = std::make_unique<TPgxPainterCanvas>(*m_device->Painter());
            m_links = std::make_unique<std::vector<THyperlink>>();
            m_printerPageOpen = true;
            SetPrinterFactors();
            return;
        }
        // A page the device cannot take is not printed: the run stops, and the reason stays.
        if (ok)
            SetError(QStringLiteral("The printer \"%1\" gives nothing to draw on").arg(m_device->DeviceName()), true);
        Cancel();
    }
    // A stored page, a page outside the printed range, or a printer that is not there: a
    // metafile, kept or thrown away when the page closes.
    m_xFactor = m_yFactor = m_screenPpi / 254.0;
    m_metafile = std::make_unique<TPgxMetafile>(XSize(PaperWidthValue()), YSize(PaperLengthValue()), m_screenPpi, m_screenPpi);
    m_canvas = std::make_unique<TPgxMetafileCanvas>(*m_metafile);
    m_links = std::make_unique<std::vector<THyperlink>>();
}

void TPgxPrinter::NewPage()
{
    if (m_status != TPgxPrinterStatus::mpBusy)
        Fail(report::SpgxIllegalNewPage);
    if (m_pageNumber > 0) {
        ClosePage(m_destination == TPgxPrinterDestination::pgxdMetafile);
        SetAvailablePages(m_availablePages + 1);
    }
    ++m_pageCount;
    ++m_pageNumber;
    OpenPage();
}

void TPgxPrinter::EndDoc()
{
    if (m_status != TPgxPrinterStatus::mpBusy)
        return;
    if (m_destination == TPgxPrinterDestination::pgxdPrinter) {
        // The last page ends with the document: no page break after it, or the device
        // would add a blank page.
        if (m_printerPageOpen) {
            m_canvas.reset();
            m_links.reset();
            m_printerPageOpen = false;
        } else {
            ClosePage(false);
        }
        if (m_device && m_device->Printing())
            m_device->EndDoc();
    } else if (m_pageCount > 0) {
        ClosePage(true);
    }
    SetAvailablePages(m_availablePages + 1);
    m_status = TPgxPrinterStatus::mpFinished;
    if (m_destination == TPgxPrinterDestination::pgxdMetafile)
        m_pages->Finish();
    else if (AfterPrint)
        AfterPrint(this);
}

void TPgxPrinter::AbortDoc()
{
    if (m_status != TPgxPrinterStatus::mpBusy)
        return;
    if (m_destination == TPgxPrinterDestination::pgxdPrinter) {
        m_canvas.reset();
        DropPage();
        m_printerPageOpen = false;
        if (m_device && m_device->Printing())
            m_device->Abort();
    } else {
        if (m_pageNumber > 0)
            ClosePage(true);
        m_pages->Finish();
    }
    m_status = TPgxPrinterStatus::mpFinished;
}

void TPgxPrinter::Cleanup()
{
    if (m_status == TPgxPrinterStatus::mpBusy) {
        // The document belongs to whoever generates it; it ends it, then cleans up.
        Cancel();
        return;
    }
    m_pages->LockList();
    m_pages->TakeStream();
    m_pages->Clear();
    m_pages->Outline().Clear();
    m_pages->UnlockList();
    m_pageCount = 0;
    m_pageNumber = 0;
    m_status = TPgxPrinterStatus::mpReady;
}

void TPgxPrinter::AddHyperlink(const PgxRect &rect, const QString &link)
{
    if (m_links)
        m_links->emplace_back(rect, link);
}

void TPgxPrinter::AddOutline(int32_t level, const QString &caption, const PgxRect &rect)
{
    if (m_status == TPgxPrinterStatus::mpBusy)
        m_pages->AddOutline(level, caption, rect, m_pageNumber);
}

void TPgxPrinter::SetPageNumber(int32_t n)
{
    if (n >= 1 && n <= m_pageCount)
        m_pageNumber = n;
}

void TPgxPrinter::SetAvailablePages(int32_t n)
{
    m_availablePages = n;
    emit AvailablePagesChanged(n);
}

void TPgxPrinter::SetProgress(int percent)
{
    m_progress.SetProgress(percent);
    emit ProgressChanged(percent);
}

void TPgxPrinter::SetShowingPreview(bool b)
{
    const bool was = m_showingPreview;
    if (was && !b) {
        if (m_status == TPgxPrinterStatus::mpBusy)
            Cancel();
        if (AfterPreview)
            AfterPreview(this);
    }
    m_showingPreview = b;
    if (was != b)
        emit ShowingPreviewChanged(b);
}

bool TPgxPrinter::WaitWhilePreviewShows()
{
    if (!m_showingPreview)
        return true;
    if (!QCoreApplication::instance() || QCoreApplication::closingDown())
        return false;
    // An event loop of its own: the application's quitting ends it too, so a program closed
    // with a preview up still ends.
    QEventLoop wait;
    bool closed = false;
    auto done = [&wait, &closed] {
        closed = true;
        wait.quit();
    };
    connect(this, &TPgxPrinter::ShowingPreviewChanged, &wait, [done](bool showing) {
        if (!showing)
            done();
    });
    connect(this, &QObject::destroyed, &wait, done);
    wait.exec();
    return closed; // this printer may be gone now: nothing of it is touched
}

void TPgxPrinter::CloseShownPreview()
{
    if (m_previewForm)
        QMetaObject::invokeMethod(m_previewForm.data(), "close");
    SetShowingPreview(false);
}

std::unique_ptr<TPgxMetafile> TPgxPrinter::GetPage(int32_t n)
{
    if (m_status == TPgxPrinterStatus::mpReady || n < 1 || n > m_pageCount)
        return nullptr;
    return m_pages->GetPage(n);
}

bool TPgxPrinter::GetPageEx(int32_t n, std::unique_ptr<TPgxMetafile> &page, std::unique_ptr<std::vector<THyperlink>> &links)
{
    if (m_status == TPgxPrinterStatus::mpReady || n < 1 || n > m_pageCount)
        return false;
    return m_pages->GetPageEx(n, page, links);
}

bool TPgxPrinter::Load(const QString &fileName, QString *error)
{
    if (m_status == TPgxPrinterStatus::mpBusy) {
        // Pages are still being written into the current stream; it must not go away.
        if (error)
            *error = QString::fromStdString(report::PgxLoadStr(report::SpgxPgxPrinterNotReady));
        return false;
    }
    if (!m_pages->LoadFromFile(fileName, error))
        return false; // the pages held so far stay
    m_pageCount = m_pages->PageCount();
    m_pageNumber = 0;
    m_xFactor = m_yFactor = m_screenPpi / 254.0;
    if (m_pageCount > 0)
        if (std::unique_ptr<TPgxMetafile> first = m_pages->GetPage(1); first && first->DpiX() > 0 && first->DpiY() > 0) {
            const double w = first->Width() * 254.0 / first->DpiX(), h = first->Height() * 254.0 / first->DpiY();
            auto near = [](double a, double b) { return std::fabs(a - b) <= PaperTolerance; };
            bool named = false;
            for (int s = 1; s <= 26 && !named; ++s) {
                double tw, tl;
                PgxPaperDims(static_cast<TPgxPaperSize>(s), tw, tl);
                tw *= 10;
                tl *= 10;
                const bool portrait = near(tw, w) && near(tl, h);
                if (portrait || (near(tw, h) && near(tl, w))) {
                    // The first match: later ones (A4Small, Note) are aliases of it.
                    m_settings.SetPaperSize(static_cast<TPgxPaperSize>(s));
                    m_settings.SetOrientation(portrait ? TPgxOrientation::Portrait : TPgxOrientation::Landscape);
                    named = true;
                }
            }
            if (!named) {
                // Keeping the printer's old paper would stretch every page into it.
                m_settings.SetPaperSize(TPgxPaperSize::Custom);
                m_settings.SetPaperWidth(static_cast<int32_t>(std::lround(w)));
                m_settings.SetPaperLength(static_cast<int32_t>(std::lround(h)));
                m_settings.SetOrientation(TPgxOrientation::Portrait);
            }
        }
    m_status = TPgxPrinterStatus::mpFinished;
    OnPrintSetup = nullptr;
    OnExportToFilter = nullptr;
    m_storedPages = true;
    return true;
}

bool TPgxPrinter::Save(const QString &fileName, QString *error)
{
    if (m_status != TPgxPrinterStatus::mpFinished)
        return false;
    return m_pages->SaveToFile(fileName, error);
}

bool TPgxPrinter::Preview()
{
    return ShowPreview(false);
}

bool TPgxPrinter::PreviewModal()
{
    return ShowPreview(true);
}

bool TPgxPrinter::ShowPreview(bool modal)
{
    if (OnPreview) {
        OnPreview();
        return true;
    }
    const TPgxPreviewFactory factory = g_previewFactory.Get();
    std::unique_ptr<TPgxPreviewInterface> p = factory ? factory() : nullptr;
    if (!p) {
        // Pages nobody can see are no preview: the caller hears of it, and so does the user.
        const QString why = QStringLiteral("The report cannot be previewed: no preview window is registered.");
        SetError(why, false);
        PgxShowMessage(why);
        return false;
    }
    if (modal)
        p->ShowModal(this);
    else
        m_previewForm = p->Show(this);
    return true;
}

void TPgxPrinter::ClosePreview()
{
    emit ClosePreviewRequested(this);
}

bool TPgxPrinter::Print(QString *error)
{
    if (m_status != TPgxPrinterStatus::mpFinished)
        return false;
    if (!m_storedPages && !m_settings.PrintMetafile
        && isSignalConnected(QMetaMethod::fromSignal(&TPgxPrinter::PrintRequested))) {
        emit PrintRequested();
        return true;
    }
    if (!PrintersAvailable())
        return false;
    m_cancelled = false; // a cancelled print does not cancel the next one
    m_progress.ResetCancel();
    if (m_device->Printing())
        m_device->Abort();
    m_settings.ApplySettings();
    if (!m_device->BeginDoc(Title)) {
        if (error)
            *error = QStringLiteral("The printer \"%1\" refused the document").arg(m_device->DeviceName());
        return false;
    }
    // A page counts as printed only once it was drawn; anything that keeps one off the paper
    // ends the job with its reason.
    auto fail = [&](const QString &why) {
        m_device->Abort();
        SetError(why, false);
        if (error)
            *error = why;
        return false;
    };
    int32_t first = FirstPage > 0 ? FirstPage : 1;
    int32_t last = LastPage > 0 ? LastPage : m_pageCount.load();
    if (last > m_pageCount)
        last = m_pageCount;
    const PgxDeviceMetrics m = m_device->Metrics();
    bool printed = false;
    for (int32_t i = first; i <= last; ++i) {
        ProcessEvents();
        SetPageNumber(i);
        QPainter *painter = m_device->Painter();
        if (!painter)
            return fail(QStringLiteral("The printer \"%1\" gives nothing to draw page %2 on").arg(m_device->DeviceName()).arg(i));
        std::unique_ptr<TPgxMetafile> page = GetPage(i);
        if (!page)
            return fail(QStringLiteral("Page %1 of the report cannot be read").arg(i));
        // The page is the whole paper: it keeps its size, and the printable area's corner,
        // where the device's origin lies, is moved off by the printer's margins.
        const double w = page->DpiX() > 0 ? page->Width() * double(m.dpiX) / page->DpiX() : 0;
        const double h = page->DpiY() > 0 ? page->Height() * double(m.dpiY) / page->DpiY() : 0;
        page->Replay(*painter, QRectF(-m.offsetX, -m.offsetY, w, h));
        printed = true;
        if (Cancelled()) {
            m_device->Abort();
            return false;
        }
        if (i < last && !m_device->NewPage())
            return fail(QStringLiteral("The printer \"%1\" refused page %2").arg(m_device->DeviceName()).arg(i + 1));
    }
    if (m_device->Printing() && !m_device->EndDoc())
        return fail(QStringLiteral("The printer \"%1\" could not finish the document").arg(m_device->DeviceName()));
    return printed;
}

void TPgxPrinter::SetPrinterIndex(int index)
{
    if (!PrintersAvailable() || m_settings.UseStandardPrinter)
        return;
    m_device->SetPrinterIndex(index);
    m_settings.GetPrinterSettings();
}

void TPgxPrinterSettings::ApplyPrinter(TPgxPrinter &printer) const
{
    if (!PdfFile.isEmpty())
        printer.SetPrintDevice(std::make_unique<TPgxPdfDevice>(PdfFile));
    else
        printer.SetPrinterIndex(PrinterIndex);
}

void TPgxPrinterSettings::ApplySettings(TPgxPrinter &printer) const
{
    ApplyPrinter(printer);
    TPrinterSettings &s = printer.Settings();
    s.SetPaperSize(PaperSize);
    s.SetCopies(Copies);
    s.SetDuplex(Duplex);
    s.SetOrientation(Orientation);
    s.SetOutputBin(OutputBin);
    printer.Title = Title;
}

} // namespace strandel
