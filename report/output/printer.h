#pragma once
// The report printer: the device every report draws on, in tenths of a millimetre turned into
// device pixels. Its pages go into the page list (for the preview, saving and printing later) or
// straight onto a print device. Progress and page counts leave it as signals, which the preview
// and the forms connect queued, since a report may be generated on a worker thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "report/output/printersettings.h"
#include "report/output/progress.h"
#include "report/pages/hyperlink.h"
#include "report/pages/metafile.h"
#include "report/pages/pagestore.h"
#include "report/pages/units.h"

namespace strandel {

enum class TPgxPrinterDestination : uint8_t { pgxdMetafile = 0, pgxdPrinter = 1 };
enum class TPgxPrinterStatus : uint8_t { mpReady = 0, mpBusy = 1, mpFinished = 2 };

class TPgxPrinter;
class TPgxExportFilter;

// Shows a printer's pages; the standard preview registers one.
class TPgxPreviewInterface
{
public:
    virtual ~TPgxPreviewInterface() = default;
    virtual QObject *Show(TPgxPrinter *printer) = 0;
    virtual void ShowModal(TPgxPrinter *printer) = 0;
};
using TPgxPreviewFactory = std::function<std::unique_ptr<TPgxPreviewInterface>()>;
void RegisterPreviewClass(TPgxPreviewFactory factory);

// The window that shows how far a print or export has come and lets the user cancel it; the
// forms library registers its progress form. It attaches to the progress it is given and is
// shown when show is set. Without a registered one, or off the window's thread, there is none.
using TPgxProgressFormFactory = std::function<std::unique_ptr<TPgxProgressSink>(TPgxProgress &progress, bool show)>;
void RegisterProgressFormClass(TPgxProgressFormFactory factory);
std::unique_ptr<TPgxProgressSink> PgxCreateProgressForm(TPgxProgress &progress, bool show);

// 1-based position of sub in s; 0 when absent or empty.
int AnsiPos(const QString &sub, const QString &s);
// The fonts a report can use: the printers print with the system's own.
QStringList GetFonts();

class TPgxPrinter : public QObject
{
    Q_OBJECT
public:
    // The settings of the report that owns the printer.
    struct OwnerSettings {
        bool useStandardPrinter = false;
        int64_t memoryLimit = PgxDefaultMemoryLimit;
    };
    explicit TPgxPrinter(QObject *parent = nullptr, const OwnerSettings *owner = nullptr);
    ~TPgxPrinter() override;

    // Prints through this device from now on (a PDF device, a chosen printer); the printer
    // owns it. Ignored while a document is being generated.
    bool SetPrintDevice(std::unique_ptr<TPgxPrintDevice> device);
    TPgxPrintDevice *PrintDevice() const { return m_device; }
    bool PrintersAvailable() const { return m_device && !m_device->Printers().isEmpty(); }

    // Coordinates: tenths of a millimetre to device pixels.
    int32_t XPos(double v) const { return PgxRound((v - m_leftWaste) * m_xFactor); }
    int32_t YPos(double v) const { return PgxRound((v - m_topWaste) * m_yFactor); }
    int32_t XSize(double v) const { return PgxRound(v * m_xFactor); }
    int32_t YSize(double v) const { return PgxRound(v * m_yFactor); }
    double XFactor() const { return m_xFactor.load(); }
    double YFactor() const { return m_yFactor.load(); }
    int32_t LeftWaste() const { return m_leftWaste; }
    int32_t TopWaste() const { return m_topWaste; }
    int32_t GetLeftWaste() const;
    int32_t GetTopWaste() const;
    // The paper in 0.1 mm as the page is laid out: a named paper's sides swapped in landscape,
    // a custom paper's as given. The one vertical extent of a page: the report takes its free
    // space, its bottom alignment and its page end from it.
    int32_t PaperWidthValue() const;
    int32_t PaperLengthValue() const;

    // Document. BeginDoc and NewPage in the wrong state throw report::EPgxError and change nothing.
    void BeginDoc();
    void NewPage();
    void EndDoc();
    void AbortDoc();
    void Cancel() { m_cancelled = true; m_progress.Cancel(); }
    // Cancelled through Cancel or through the progress form's button.
    bool Cancelled() const { return m_cancelled.load() || m_progress.Cancelled(); }
    void Cleanup();
    bool CurrentPageOK() const;
    TPgxPageCanvas *Canvas() const { return m_canvas.get(); }
    void AddHyperlink(const PgxRect &rect, const QString &link);
    void AddOutline(int32_t level, const QString &caption, const PgxRect &rect);

    TPgxPrinterStatus Status() const { return m_status.load(); }
    int32_t PageCount() const { return m_pageCount.load(); }
    int32_t PageNumber() const { return m_pageNumber.load(); }
    void SetPageNumber(int32_t n);
    int32_t AvailablePages() const { return m_availablePages.load(); }
    void SetAvailablePages(int32_t n);
    int Progress() const { return m_progress.Progress(); }
    void SetProgress(int percent);
    TPgxProgress &ProgressState() { return m_progress; }
    bool ShowingPreview() const { return m_showingPreview; }
    void SetShowingPreview(bool b);

    // Stored pages.
    std::unique_ptr<TPgxMetafile> GetPage(int32_t n);
    bool GetPageEx(int32_t n, std::unique_ptr<TPgxMetafile> &page, std::unique_ptr<std::vector<THyperlink>> &links);
    // A file that cannot be read, or a document still being generated, leaves everything as it
    // was; error says why.
    bool Load(const QString &fileName, QString *error = nullptr);
    bool Save(const QString &fileName, QString *error = nullptr);
    void ExportToFilter(TPgxExportFilter *filter) { if (OnExportToFilter) OnExportToFilter(filter); }
    TPgxPageList &PageList() { return *m_pages; }
    bool StoredPages() const { return m_storedPages; }
    void SetStoredPages(bool b) { m_storedPages = b; }

    // Presentation: the report's own preview (OnPreview) or the registered preview window.
    // False, with the reason in LastError and told to the user, when there is neither.
    bool Preview();
    bool PreviewModal();
    QObject *PreviewForm() const { return m_previewForm; }
    // Handles events until this printer's preview is no longer shown; false when the
    // application quits first (that ends every wait), the preview then still up. When it
    // answers true the printer may be gone (its report releases it as the preview closes).
    bool WaitWhilePreviewShows();
    // Closes the preview window Preview showed, when it still shows.
    void CloseShownPreview();
    // The preview control that shows this printer's pages (not owned; forgotten when it goes).
    QObject *PreviewControl() const { return m_previewControl; }
    void SetPreviewControl(QObject *control) { m_previewControl = control; }
    // The report that made this printer, when one did (its preview settings reach the preview).
    QObject *ParentReport() const { return m_parentReport; }
    void SetParentReport(QObject *report) { m_parentReport = report; }
    void ClosePreview();
    // Prints the stored pages of a finished document; false when nothing was printed.
    bool Print(QString *error = nullptr);
    void PrintSetup() { if (OnPrintSetup) OnPrintSetup(); }

    TPrinterSettings &Settings() { return m_settings; }
    TPgxPrinterDestination Destination() const { return m_destination; }
    void SetDestination(TPgxPrinterDestination d) { if (m_status != TPgxPrinterStatus::mpBusy) m_destination = d; }
    bool Compression() const { return m_pages->Compression(); }
    void SetCompression(bool on) { m_pages->SetCompression(on); }
    int PrinterIndex() const { return m_device ? m_device->PrinterIndex() : -1; }
    void SetPrinterIndex(int index);
    QStringList Printers() const { return m_device ? m_device->Printers() : QStringList(); }
    // The tree the outline of the pages shows in (a form's); null detaches it.
    void SetOutline(TPgxOutlineTree *tree)
    {
        m_pages->LockList();
        m_pages->Outline().SetTreeNodes(tree);
        m_pages->UnlockList();
    }
    void SetScreenPpi(int ppi) { if (ppi > 0) m_screenPpi = ppi; }

    int32_t FirstPage = 0, LastPage = 0;
    QString Title;
    std::function<void(TPgxPrinter *)> AfterPrint, AfterPreview;
    std::function<void(TPgxExportFilter *)> OnExportToFilter;
    std::function<void()> OnPreview, OnPrintSetup;
    QString LastError() const
    {
        std::lock_guard lock(m_errorLock);
        return m_error;
    }

signals:
    void ProgressChanged(int percent);
    void AvailablePagesChanged(int pages);
    // The report should generate itself anew onto the printer. Print asks for it instead of
    // printing stored pages when someone listens (the report component, connected queued).
    void PrintRequested();
    // The preview of this printer is to close (sent directly).
    void ClosePreviewRequested(TPgxPrinter *printer);
    void ShowingPreviewChanged(bool showing);

private:
    bool ShowPreview(bool modal);
    void ClosePage(bool store);
    void OpenPage();
    void SetPrinterFactors();
    void DropPage();

    TPgxPrintDevice *m_device = nullptr;
    std::unique_ptr<TPgxPrintDevice> m_ownDevice;
    TPrinterSettings m_settings;
    std::unique_ptr<TPgxPageList> m_pages;
    std::atomic<TPgxPrinterStatus> m_status{TPgxPrinterStatus::mpReady};
    TPgxPrinterDestination m_destination = TPgxPrinterDestination::pgxdMetafile;
    std::atomic<int32_t> m_pageCount{0}, m_pageNumber{0}, m_availablePages{0};
    std::atomic<bool> m_cancelled{false};
    TPgxProgress m_progress;
    int32_t m_leftWaste = 0, m_topWaste = 0;
    // A preview on the window's thread reads them while a worker run writes them.
    std::atomic<double> m_xFactor{1.0}, m_yFactor{1.0};
    int m_screenPpi;
    std::unique_ptr<TPgxMetafile> m_metafile;
    std::unique_ptr<TPgxPageCanvas> m_canvas;
    std::unique_ptr<std::vector<THyperlink>> m_links;
    bool m_printerPageOpen = false;
    bool m_showingPreview = false;
    bool m_storedPages = false;
    QPointer<QObject> m_previewForm, m_previewControl, m_parentReport;
    // Set by a worker's run and by the window thread's preview at once: kept under its own lock.
    mutable std::mutex m_errorLock;
    QString m_error;
    void SetError(const QString &why, bool onlyFirst);
};

// The printer settings a report carries and hands to each of its report printers.
struct TPgxPrinterSettings {
    int Copies = 1;
    bool Duplex = false;
    TPgxOrientation Orientation = TPgxOrientation::Portrait;
    TPgxBin OutputBin = TPgxBin::Auto;
    TPgxPaperSize PaperSize = TPgxPaperSize::Letter;
    int PrinterIndex = -1; // the default printer
    // A PDF file chosen as the printer (print to file); empty for a printer of the system.
    QString PdfFile;
    QString Title;
    int32_t FirstPage = 0, LastPage = 0;
    int64_t MemoryLimit = PgxDefaultMemoryLimit;
    bool UseStandardPrinter = false, UseCustomBinCode = false, UseCustomPaperCode = false, PrintMetafile = false;
    int32_t CustomBinCode = 0, ExtendedDuplex = 0, CustomPaperCode = 0, PrintQuality = 0, Collate = 0, ColorOption = 0;

    // Printer index, paper, copies, duplex, orientation, bin and title, in that order.
    void ApplySettings(TPgxPrinter &printer) const;
    // The chosen printer: the PDF file when one is chosen, else the printer by index.
    void ApplyPrinter(TPgxPrinter &printer) const;
};

} // namespace strandel
