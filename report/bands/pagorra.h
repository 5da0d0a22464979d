#pragma once
// The report: holds the bands, keeps the page and column position while its controller prints
// them, starts columns and pages with their headers and footers, and generates the pages into a
// report printer (stored pages, a print device, or an export filter). No widgets: it runs
// headless and its signals reach the forms queued.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QFont>
#include <QObject>
#include <QString>
#include <QStringList>

#include "report/bands/band.h"
#include "report/bands/controller.h"
#include "report/expr/environment.h"
#include "report/output/previewsettings.h"
#include "report/output/printer.h"
#include "report/pages/units.h"

namespace strandel {

class TPgxExportFilter;

enum TPagorraOption : uint8_t { FirstPageHeader = 1, LastPageFooter = 2, Compression = 4 };

// The bands of a report; a base so that they exist before the page, which calls back into the
// report while it is built.
struct TPgxReportBandStore {
    std::vector<std::unique_ptr<TPgxCustomBand>> m_bands;
    std::vector<TPgxCustomBand *> m_bandList, m_rebuild;
    bool m_built = false;
};

// What the print dialog shows and what the user chose there.
struct TPgxPrinterSetupChoice {
    int Copies = 1;
    int PrinterIndex = -1;
    QString PdfFile; // print to this PDF file instead of a printer
    TPgxOrientation Orientation = TPgxOrientation::Portrait;
    enum Range : uint8_t { AllPages, Selection, PageNums } PrintRange = AllPages;
    int32_t MinPage = 0, MaxPage = 9999, FromPage = 0, ToPage = 0;
};
// Shows the print dialog (the forms register it); false when the user cancelled.
using TPgxPrinterSetupHook = std::function<bool(TPgxPrinterSetupChoice &)>;
void RegisterPrinterSetupHook(TPgxPrinterSetupHook dialog);
// Runs the registered print dialog; false when the user cancelled or none is registered.
bool RunPrinterSetupHook(TPgxPrinterSetupChoice &choice);

class TCustomPagorra : public QObject, public TPgxComponent, public TPgxUnitParent, protected TPgxReportBandStore
{
    Q_OBJECT
public:
    explicit TCustomPagorra(QObject *parent = nullptr);
    ~TCustomPagorra() override;

    TPgxPage Page;
    // The report's own panel: its zoom and the frame drawn around every page's margins.
    TPgxBasePanel &Panel() { return m_panel; }
    TPgxFrame &Frame() { return m_panel.Frame(); }
    report::TPgxEvEnvironment Functions;
    TPgxPrinterSettings PrinterSettings;
    uint8_t Options = FirstPageHeader | LastPageFooter;
    QString ReportTitle;
    // The standard preview window of this report: style, size, state, side panel, first zoom.
    TPgxFormStyle PrevFormStyle = TPgxFormStyle::fsNormal;
    TPgxWindowState PreviewInitialState = TPgxWindowState::wsNormal;
    int32_t PreviewWidth = 600, PreviewHeight = 500;
    int32_t GetPreviewWidth() const { return PreviewWidth > 0 ? PreviewWidth : 600; }
    int32_t GetPreviewHeight() const { return PreviewHeight > 0 ? PreviewHeight : 600; }
    bool PrevShowThumbs = true, PrevShowSearch = true;
    // Print and export show the progress form (with its Cancel button) while they run.
    bool ShowProgress = true;
    bool GetPrevShowThumbs() const { return PrevShowThumbs; }
    TPgxZoomState PrevInitialZoom = TPgxZoomState::pgxZoomToFit;
    std::function<void(TCustomPagorra *, bool &printReport)> BeforePrint;
    std::function<void(TCustomPagorra *)> OnStartPage, OnEndPage;
    // A preview of the caller's own (an embedded one): the report's printer shows its pages
    // there instead of in a preview window.
    std::function<void(TCustomPagorra *)> OnPreview;
    QStringList Description;
    QFont Font;
    double FontSize() const override;

    // Shown units of the page and of every printable placed on the report; a run switches to
    // Native and back.
    TPgxUnit Units() const { return Page.GetUnits(); }
    void SetUnits(TPgxUnit unit);
    int Zoom() const { return m_panel.Zoom(); }
    // 1..300 percent; other values are ignored.
    void SetZoom(int zoom);

    // Width and height of a text in the font, in screen pixels; 0 when it cannot be measured.
    int32_t TextWidth(const QFont &font, const QString &text) const;
    int32_t TextHeight(const QFont &font, const QString &text) const;

    // Printables placed on the report itself, not on a band; the report owns them.
    template <class T, class... Args> T *AddPrintable(Args &&...args)
    {
        auto p = std::make_unique<T>(std::forward<Args>(args)...);
        T *raw = p.get();
        AdoptPrintable(std::move(p));
        return raw;
    }
    const std::vector<std::unique_ptr<TPgxPrintable>> &Printables() const { return m_printables; }
    // Name of an image printable on the report that is drawn behind every page.
    QString BackImageControl;
    TPgxPrintable *BackgroundImage() const { return m_backImage; }
    // Hands a band background or frame line to the export filter as a temporary shape.
    void ExportShape(const PgxFrameShape &shape);

    // Bands: the report owns them; the band list holds them in print order. Bands are neither
    // created nor removed while a run is in progress (null, no change).
    TPgxCustomBand *CreateBand(TPgxBandType type);
    // Takes a band made elsewhere (a controller band, say); a controller band or group without
    // a master hangs under the report.
    template <class T> T *AddBand(std::unique_ptr<T> band)
    {
        T *raw = band.get();
        return AdoptBand(std::move(band)) ? raw : nullptr;
    }
    TPgxGroup *CreateGroup();
    TPgxChildBand *CreateChildBand(TPgxCustomBand *parentBand);
    void RemoveBand(TPgxCustomBand *band);
    const std::vector<TPgxCustomBand *> &BandList() const { return m_bandList; }
    TPgxCustomBand *BandOfType(TPgxBandType type) const;
    // Every band created, in creation order.
    std::vector<TPgxCustomBand *> AllBands() const;
    void RegisterBand(TPgxCustomBand *band);
    void RebuildBandList();
    // Band positions and widths from the page: full width for title, page header and footer,
    // summary and overlay, the column width for the others.
    void SetBandValues() override;

    TPgxCustomController *Controller() const { return m_controller.get(); }
    void SetController(std::unique_ptr<TPgxCustomController> c);
    bool PrintIfEmpty() const { return m_controller->PrintIfEmpty; }
    void SetPrintIfEmpty(bool b) { m_controller->PrintIfEmpty = b; }
    void AddNotifyClient(TPgxPrintable *p) { m_controller->AddNotifyClient(p); }

    // Data sets that expressions and controllers of this report may name; not owned.
    void RegisterDataSet(report::PgxDataSet *ds);
    void UnregisterDataSet(report::PgxDataSet *ds);
    const std::vector<const report::PgxDataSet *> &DataSets() const { return m_runDataSets; }
    // Every data set registered, also between runs (what design-time dialogs offer).
    const std::vector<report::PgxDataSet *> &RegisteredDataSets() const { return m_dataSets; }
    // Adds an open data set to the current run's list (controllers register theirs).
    void AddRunDataSet(report::PgxDataSet *ds);

    // Entry points; each answers false when nothing was generated (a run in progress, vetoed).
    bool Prepare();
    // Generates the pages, shows them and returns when the preview is closed. With no preview
    // to show them (no OnPreview, no preview window registered) nothing is generated and the
    // answer is false; the printer tells the user why.
    bool Preview();
    // Shows a modal preview at once while a worker generates the pages.
    bool PreviewModal();
    bool Print();
    bool ExportToFilter(TPgxExportFilter *filter);
    // Generates the pages into a fresh printer on a worker thread and returns at once;
    // RunFinished follows (queued). The preview shows the pages while they arrive.
    bool PrepareInBackground();
    bool PreviewModeless();
    // Generates straight to the printer on a worker thread, without a progress form, and
    // returns at once; RunFinished follows (queued). False with no printer installed: the
    // report's printer then stays as it was.
    bool PrintBackground();
    // One member of a composite document: generates onto the composite's printer (lent for
    // the run and handed back), continuing at the page, position and column set with
    // SetCompositePosition. The document stays open; the last page is ended only when Tag is
    // 999 (the last member). ExportComposite feeds filter as well; the filter stays active
    // for the next member.
    bool CreateCompositeReport(std::unique_ptr<TPgxPrinter> &printer);
    bool ExportComposite(TPgxExportFilter *filter, std::unique_ptr<TPgxPrinter> &printer);
    void SetCompositePosition(int32_t y, int32_t pageNumber, int32_t column);
    bool CompositeRun() const { return m_compositeRun; }
    // Waits for a worker run to end (the caller then still gets RunFinished).
    void WaitForRun();
    void Cancel();
    // Lets the user choose printer, copies, orientation and page range; false when cancelled
    // (or no dialog is registered), leaving the settings as they were.
    bool PrinterSetup();
    int Tag = 0;
    TPgxPrinter *Printer() const { return m_printer.get(); }
    std::unique_ptr<TPgxPrinter> TakePrinter() { return std::move(m_printer); }
    // The device Print sends pages to (the printer takes its own copy of the choice).
    std::function<std::unique_ptr<TPgxPrintDevice>()> PrintDeviceFactory;

    // Page flow, used by bands and controllers while a run is in progress.
    void PrintBand(TPgxCustomBand *band);
    void NewColumn();
    void NewPage();
    void EndPage();
    void ForceNewColumn();
    void ForceNewPage();
    int32_t AvailableSpace() const;
    // Length of the paper the run prints on (the printer's, which may have refused the page's).
    int32_t PaperExtent() const;
    void ResetPageFooterSize();
    virtual void Execute();
    virtual void SetControllerBands() {}

    bool Available() const { return m_available.load(); }
    bool Cancelled() const { return m_cancelled.load(); }
    int32_t CurrentX() const { return m_currentX; }
    int32_t CurrentY() const { return m_currentY; }
    void SetCurrentY(int32_t y) { m_currentY = y; }
    int32_t PageNumber() const { return m_pageNumber; }
    int32_t CurrentColumn() const { return m_column; }
    bool Exporting() const { return m_filter != nullptr; }
    TPgxExportFilter *ExportFilter() const { return m_filter; }
    bool CanvasOutput() const { return m_canvasOutput; }
    bool SettingUpPage() const { return m_settingUpPage > 0; }
    // Set while a detail band has just started a column, so it does not force a page as well.
    bool ColumnBreak() const { return m_columnBreak; }
    // While set, the controller stops after page 1.
    bool FirstPageOnly() const { return m_firstPageOnly.load(); }
    void SetFirstPageOnly(bool b) { m_firstPageOnly = b; }
    void SetColumnBreak(bool b) { m_columnBreak = b; }
    void SetHeaderPrinted(bool b) { m_headerPrinted = b; }
    double PageFooterSize() const { return m_pageFooterSize; }

signals:
    // Page 1 of a run became available (the design surface shows it).
    void FirstPageAvailable();
    // A worker run ended; a cancelled run has already given up its printer.
    void RunFinished(bool ok);

private slots:
    void OnPagesAvailable(int pages);
    void OnPrintRequested();
    void OnPreviewClosed(TPgxPrinter *printer);
    void OnWorkerDone(bool ok);

protected:
    bool AdoptBand(std::unique_ptr<TPgxCustomBand> band);
    void AdoptPrintable(std::unique_ptr<TPgxPrintable> p);
    void PrintBackgroundImage();
    // claimed: the caller already took the report for this run.
    bool CreateReport(bool claimed = false);
    std::unique_ptr<TPgxPrinter> NewPrinter();
    // Takes the report for a worker run (false while a run is in progress).
    bool ClaimForWorker();
    // Runs CreateReport on the worker with the report already claimed; RunFinished follows.
    void StartWorker();
    // Stops a worker run whose pages no preview shows, and drops its printer.
    void DropUnshownRun();
    void HookPrinter(TPgxPrinter &p);
    void SetPrinterValues(TPgxPrinter &p);
    void PrintPageFrame();
    void RestorePage(TPgxPaperSize paper, TPgxOrientation orientation, double width, double length);
    void SetCustomPage(double width, double length);

    TPgxBasePanel m_panel;
    std::unique_ptr<TPgxCustomController> m_controller;
    std::vector<report::PgxDataSet *> m_dataSets;
    std::vector<std::unique_ptr<TPgxPrintable>> m_printables;
    TPgxPrintable *m_backImage = nullptr;
    // A modal preview is showing the printer: it is released only once the preview returns.
    int m_modalPreview = 0;
    bool m_releasePrinter = false;
    std::vector<const report::PgxDataSet *> m_runDataSets;
    std::unique_ptr<TPgxPrinter> m_printer;
    TPgxExportFilter *m_filter = nullptr;
    std::thread m_worker;

    // Run state; each report keeps its own.
    std::atomic<bool> m_available{true}, m_cancelled{false}, m_firstPageOnly{false};
    bool m_canvasOutput = true, m_finalPage = false, m_headerPrinted = false, m_columnArmed = false;
    bool m_columnBreak = false;
    bool m_runSetup = false; // the run itself lays out its bands
    bool m_compositeRun = false;
    int m_settingUpPage = 0;
    int32_t m_currentX = 0, m_currentY = -1, m_columnTop = 0, m_column = 1, m_pageNumber = 0;
    double m_pageFooterSize = 0;
    report::TPgxEvElement *m_pageNumberElement = nullptr, *m_columnElement = nullptr, *m_titleElement = nullptr;
};

// The report with a data-set controller: detail per record, title and summary around them.
class TPagorra : public TCustomPagorra
{
    Q_OBJECT
public:
    explicit TPagorra(QObject *parent = nullptr);
    report::PgxDataSet *DataSet() const;
    void SetDataSet(report::PgxDataSet *ds);
    std::function<void(bool &moreData)> OnNeedData;
    int RecordCount() const;
    // Records printed so far in this run.
    int RecordNumber() const;
    void SetControllerBands() override;
    void Execute() override;
};

} // namespace strandel
