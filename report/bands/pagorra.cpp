#include "report/bands/pagorra.h"

#include <algorithm>

#include <cmath>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>

#include "report/bands/controllerband.h"
#include "report/bands/exportshape.h"
#include "report/base/message.h"
#include "report/data/dataset.h"
#include "report/output/exportfilter.h"

namespace strandel {

using report::TPgxEvEnvironment;
using report::TPgxEvResult;

namespace {

bool FullWidthType(TPgxBandType t, TPgxPrintOrder order)
{
    switch (t) {
    case TPgxBandType::rbTitle: case TPgxBandType::rbPageHeader: case TPgxBandType::rbPageFooter:
    case TPgxBandType::rbSummary: case TPgxBandType::rbOverlay:
        return true;
    case TPgxBandType::rbGroupHeader: case TPgxBandType::rbGroupFooter:
        return order == TPgxPrintOrder::RowByRow;
    default:
        return false;
    }
}

// Clears a flag however the scope is left.
struct RunGuard {
    std::atomic<bool> &available;
    ~RunGuard() { available = true; }
};

} // namespace

TCustomPagorra::TCustomPagorra(QObject *parent)
    : QObject(parent), Page(this), m_controller(std::make_unique<TPgxCustomController>(this))
{
    Functions.AddFunction("PAGENUMBER", "0");
    Functions.AddFunction("COLUMNNUMBER", "0");
    Functions.AddFunction("REPORTTITLE", "''");
    // Japanese systems keep their own default font.
    if (QLocale::system().language() != QLocale::Japanese)
        Font = QFont(QStringLiteral("Arial"), 10);
    Page.SetPaperSize(TPgxPaperSize::A4);
    Page.SetUnits(TPgxUnit::MM);
    for (int i : {TPgxPage::TopMargin, TPgxPage::BottomMargin, TPgxPage::LeftMargin, TPgxPage::RightMargin})
        Page.SetValue(i, 10);
    m_built = true;
}

TCustomPagorra::~TCustomPagorra()
{
    // A worker run ends before the report and its printer go.
    if (m_worker.joinable()) {
        Cancel();
        m_worker.join();
    }
}

// ---- bands

TPgxCustomBand *TCustomPagorra::CreateBand(TPgxBandType type)
{
    std::unique_ptr<TPgxCustomBand> b;
    if (type == TPgxBandType::rbChild)
        b = std::make_unique<TPgxChildBand>();
    else
        b = std::make_unique<TPgxBand>(type);
    return AddBand(std::move(b));
}

TPgxGroup *TCustomPagorra::CreateGroup()
{
    return AddBand(std::make_unique<TPgxGroup>());
}

bool TCustomPagorra::AdoptBand(std::unique_ptr<TPgxCustomBand> b)
{
    // A run walks the band list; it changes only between runs.
    if (!b || !Available())
        return false;
    TPgxCustomBand *raw = b.get();
    if (raw->Name().isEmpty()) {
        // The smallest free number after the kind's default name.
        QString base = PgxBandComponentName(raw->BandType());
        if (dynamic_cast<TPgxLoopBand *>(raw))
            base = PgxLoopBandComponentName();
        else if (dynamic_cast<TPgxStringsBand *>(raw))
            base = PgxStringsBandComponentName();
        base.remove(QLatin1Char(' '));
        for (int n = 1;; ++n) {
            const QString name = base + QString::number(n);
            bool used = false;
            for (auto &o : m_bands)
                used = used || o->Name() == name;
            if (!used) {
                raw->SetName(name);
                break;
            }
        }
    }
    m_bands.push_back(std::move(b));
    m_bandList.push_back(raw);
    raw->SetParentReport(this);
    raw->SetUnits(Units());
    raw->Size.SetZoom(Page.Zoom());
    if (auto *cb = dynamic_cast<TPgxControllerBand *>(raw); cb && !cb->Master())
        cb->SetMaster(this);
    if (auto *g = dynamic_cast<TPgxGroup *>(raw); g && !g->Master())
        g->SetMaster(this);
    SetControllerBands();
    RebuildBandList();
    SetBandValues();
    return true;
}

void TCustomPagorra::AdoptPrintable(std::unique_ptr<TPgxPrintable> p)
{
    p->SetParentReport(this);
    p->SetUnits(Units());
    m_panel.AddChild(p.get());
    m_printables.push_back(std::move(p));
}

TPgxChildBand *TCustomPagorra::CreateChildBand(TPgxCustomBand *parentBand)
{
    TPgxCustomBand *b = CreateBand(TPgxBandType::rbChild);
    TPgxChildBand *c = b ? b->AsChildBand() : nullptr;
    if (c)
        c->SetParentBand(parentBand);
    return c;
}

void TCustomPagorra::RemoveBand(TPgxCustomBand *band)
{
    if (!Available())
        return; // bands stay while a run uses them
    for (auto &b : m_bands) {
        if (b.get() == band)
            continue;
        if (b->LinkBand() == band)
            b->SetLinkBand(nullptr);
        if (TPgxChildBand *c = b->AsChildBand(); c && c->ParentBand() == band)
            c->SetParentBand(nullptr);
        if (auto *g = dynamic_cast<TPgxGroup *>(b.get()); g && g->FooterBand() == band)
            g->SetFooterBand(nullptr);
        if (auto *sd = dynamic_cast<TPgxSubDetail *>(b.get())) {
            if (sd->HeaderBand() == band)
                sd->DataController()->HeaderBand = nullptr;
            if (sd->FooterBand() == band)
                sd->DataController()->FooterBand = nullptr;
        }
        // A freed master is cleared; what hung under it now hangs under nothing.
        if (auto *cb = dynamic_cast<TPgxControllerBand *>(band)) {
            if (auto *g = dynamic_cast<TPgxGroup *>(b.get()); g && g->Master() == static_cast<TPgxComponent *>(cb))
                g->SetMaster(nullptr);
            if (auto *o = dynamic_cast<TPgxControllerBand *>(b.get());
                o && o->Master() == static_cast<TPgxComponent *>(cb))
                o->SetMaster(nullptr);
        }
        if (auto *cb = dynamic_cast<TPgxControllerBand *>(b.get()))
            for (auto &p : band->Printables())
                cb->Controller()->RemoveNotifyClient(p.get());
    }
    for (auto &p : band->Printables())
        m_controller->RemoveNotifyClient(p.get());
    if (auto *cb = dynamic_cast<TPgxControllerBand *>(band); cb && cb->HasLocalVar())
        cb->RemoveLocalVar();
    if (auto *c = dynamic_cast<TPgxController *>(m_controller.get())) {
        if (c->DetailBand == band) c->DetailBand = nullptr;
        if (c->HeaderBand == band) c->HeaderBand = nullptr;
        if (c->FooterBand == band) c->FooterBand = nullptr;
    }
    m_bandList.erase(std::remove(m_bandList.begin(), m_bandList.end(), band), m_bandList.end());
    m_bands.erase(std::remove_if(m_bands.begin(), m_bands.end(), [&](auto &b) { return b.get() == band; }),
                  m_bands.end());
    SetControllerBands();
    RebuildBandList();
    SetBandValues();
}

TPgxCustomBand *TCustomPagorra::BandOfType(TPgxBandType type) const
{
    for (TPgxCustomBand *b : m_bandList)
        if (b->BandType() == type)
            return b;
    return nullptr;
}

std::vector<TPgxCustomBand *> TCustomPagorra::AllBands() const
{
    std::vector<TPgxCustomBand *> all;
    for (auto &b : m_bands)
        all.push_back(b.get());
    return all;
}

void TCustomPagorra::RegisterBand(TPgxCustomBand *band)
{
    if (!band || std::find(m_rebuild.begin(), m_rebuild.end(), band) != m_rebuild.end())
        return;
    m_rebuild.push_back(band);
    for (TPgxCustomBand *c = band->GetChild(); c && std::find(m_rebuild.begin(), m_rebuild.end(), c) == m_rebuild.end();
         c = c->GetChild())
        m_rebuild.push_back(c);
}

void TCustomPagorra::RebuildBandList()
{
    // A run lays its bands out once as it starts; changes meanwhile wait for the next run.
    if (!Available() && !m_runSetup)
        return;
    m_controller->BuildTree();
    m_rebuild.clear();
    for (TPgxBandType t : {TPgxBandType::rbPageHeader, TPgxBandType::rbTitle, TPgxBandType::rbColumnHeader})
        for (TPgxCustomBand *b : m_bandList)
            if (b->BandType() == t)
                RegisterBand(b);
    m_controller->RegisterBands();
    for (TPgxCustomBand *b : m_bandList)
        if (b->BandType() == TPgxBandType::rbPageFooter)
            RegisterBand(b);
    for (TPgxCustomBand *b : m_bandList)
        RegisterBand(b);
    m_bandList.swap(m_rebuild);
    m_rebuild.clear();
}

void TCustomPagorra::SetBandValues()
{
    if (!m_built || (!Available() && !m_runSetup))
        return;
    const int64_t columns = std::max(1, Page.Columns());
    const int64_t full = PgxRound(Page.Stored(TPgxPage::Width))
        - PgxRound(Page.Stored(TPgxPage::LeftMargin) + Page.Stored(TPgxPage::RightMargin));
    const int64_t colWidth = (full - PgxRound(Page.Stored(TPgxPage::ColumnSpace)) * (columns - 1)) / columns;
    for (TPgxCustomBand *b : m_bandList) {
        TPgxCustomBand *eff = b;
        while (eff && eff->BandType() == TPgxBandType::rbChild)
            eff = eff->AsChildBand() ? eff->AsChildBand()->ParentBand() : nullptr;
        const TPgxBandType t = eff ? eff->BandType() : TPgxBandType::rbChild;
        b->Size.SetStored(1, double(FullWidthType(t, Page.PrintOrder()) ? full : colWidth));
        // Printables aligned to the band follow its width (a page number kept at the right
        // edge stays on a smaller paper).
        for (const auto &p : b->Printables())
            p->PgxNotification(b, TPgxNotifyOperation::pgxBandSizeChange);
    }
}

void TCustomPagorra::SetController(std::unique_ptr<TPgxCustomController> c)
{
    if (c && Available())
        m_controller = std::move(c);
}

void TCustomPagorra::RegisterDataSet(report::PgxDataSet *ds)
{
    if (ds && std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end())
        m_dataSets.push_back(ds);
}

void TCustomPagorra::AddRunDataSet(report::PgxDataSet *ds)
{
    if (Available() || !ds || !ds->IsOpen())
        return;
    if (std::find(m_runDataSets.begin(), m_runDataSets.end(), ds) == m_runDataSets.end())
        m_runDataSets.push_back(ds);
}

double TCustomPagorra::FontSize() const
{
    const double points = Font.pointSizeF();
    return points > 0 ? points : 10;
}

void TCustomPagorra::SetUnits(TPgxUnit unit)
{
    // The page, every band and every printable show their sizes in the unit; what they hold
    // stays in tenths of a millimetre.
    Page.SetUnits(unit);
    for (auto &b : m_bands)
        b->SetUnits(unit);
    for (auto &p : m_printables)
        p->SetUnits(unit);
}

void TCustomPagorra::SetZoom(int zoom)
{
    if (zoom < 1 || zoom > 300)
        return;
    m_panel.SetZoom(zoom);
    Page.SetZoom(zoom);
    for (auto &b : m_bands)
        b->Size.SetZoom(zoom);
    Page.SetParentSizes();
    SetBandValues();
}

int32_t TCustomPagorra::TextWidth(const QFont &font, const QString &text) const
{
    // Fonts are measured only where a GUI application can answer for the screen.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return 0;
    return QFontMetrics(font).horizontalAdvance(text) + 1;
}

int32_t TCustomPagorra::TextHeight(const QFont &font, const QString &text) const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return 0;
    (void)text; // one line of the font, whatever it holds
    return QFontMetrics(font).height();
}

void TCustomPagorra::UnregisterDataSet(report::PgxDataSet *ds)
{
    m_dataSets.erase(std::remove(m_dataSets.begin(), m_dataSets.end(), ds), m_dataSets.end());
}

// ---- the run

std::unique_ptr<TPgxPrinter> TCustomPagorra::NewPrinter()
{
    auto p = std::make_unique<TPgxPrinter>();
    p->SetParentReport(this);
    connect(p.get(), &TPgxPrinter::AvailablePagesChanged, this, &TCustomPagorra::OnPagesAvailable, Qt::QueuedConnection);
    connect(p.get(), &TPgxPrinter::PrintRequested, this, &TCustomPagorra::OnPrintRequested, Qt::QueuedConnection);
    connect(p.get(), &TPgxPrinter::ClosePreviewRequested, this, &TCustomPagorra::OnPreviewClosed, Qt::QueuedConnection);
    return p;
}

void TCustomPagorra::HookPrinter(TPgxPrinter &p)
{
    p.SetDestination(TPgxPrinterDestination::pgxdMetafile);
    p.OnExportToFilter = [this](TPgxExportFilter *f) { ExportToFilter(f); };
    p.OnPrintSetup = [this] { PrinterSetup(); };
    p.Title = ReportTitle;
    if (OnPreview)
        p.OnPreview = [this] { OnPreview(this); };
}

void TCustomPagorra::SetPrinterValues(TPgxPrinter &p)
{
    PrinterSettings.ApplySettings(p);
    TPrinterSettings &s = p.Settings();
    s.SetPaperSize(Page.GetPaperSize());
    if (s.PaperSize() == TPgxPaperSize::Custom) {
        s.SetPaperWidth(PgxRound(Page.Stored(TPgxPage::Width)));
        s.SetPaperLength(PgxRound(Page.Stored(TPgxPage::Length)));
    }
    s.SetOrientation(Page.Orientation());
    p.FirstPage = PrinterSettings.FirstPage;
    p.LastPage = PrinterSettings.LastPage;
}

bool TCustomPagorra::Prepare()
{
    if (!Available())
        return false;
    // The pages of an earlier run go with its printer.
    m_printer = NewPrinter();
    HookPrinter(*m_printer);
    const bool ok = CreateReport();
    m_printer->SetStoredPages(true);
    return ok;
}

bool TCustomPagorra::Preview()
{
    QCoreApplication::processEvents();
    if (!Available())
        return false;
    m_printer = NewPrinter();
    HookPrinter(*m_printer);
    SetPrinterValues(*m_printer);
    TPgxPrinter *shown = m_printer.get();
    if (!shown->Preview()) {
        // Nothing would show the pages; the printer says why.
        m_printer.reset();
        return false;
    }
    const bool ok = CreateReport();
    if (m_printer.get() == shown)
        m_printer->SetStoredPages(true);
    if (Cancelled()) {
        if (m_printer.get() == shown)
            m_printer.reset();
        return false;
    }
    // The preview closes through its message, which releases the printer. A program that quits
    // meanwhile closes the preview, and its printer goes.
    if (m_printer.get() == shown && !shown->WaitWhilePreviewShows() && m_printer.get() == shown) {
        shown->CloseShownPreview();
        m_printer.reset();
    }
    return ok;
}

bool TCustomPagorra::Print()
{
    if (!Available())
        return false;
    std::unique_ptr<TPgxPrinter> previous = std::move(m_printer);
    m_printer = NewPrinter();
    if (PrintDeviceFactory)
        m_printer->SetPrintDevice(PrintDeviceFactory());
    bool ok = false;
    if (m_printer->PrintersAvailable()) {
        m_printer->SetDestination(TPgxPrinterDestination::pgxdPrinter);
        m_printer->Title = ReportTitle;
        std::unique_ptr<TPgxProgressSink> progressForm = PgxCreateProgressForm(m_printer->ProgressState(), ShowProgress);
        try {
            ok = CreateReport();
        } catch (...) {
            progressForm.reset();
            m_printer = std::move(previous);
            throw;
        }
        // A device that took nothing says why (a cancel is no failure to tell).
        if (!ok && !m_printer->LastError().isEmpty())
            PgxShowMessage(m_printer->LastError());
    }
    // The printing printer is freed; the earlier one stays the report's.
    m_printer = std::move(previous);
    return ok;
}

bool TCustomPagorra::ExportToFilter(TPgxExportFilter *filter)
{
    // An export never starts while a run is in progress: it would share the run's state.
    if (!filter || !Available())
        return false;
    std::unique_ptr<TPgxPrinter> previous = std::move(m_printer);
    m_printer = NewPrinter();
    m_filter = filter;
    m_canvasOutput = false;
    bool ok = false;
    std::unique_ptr<TPgxProgressSink> progressForm = PgxCreateProgressForm(m_printer->ProgressState(), ShowProgress);
    try {
        ok = CreateReport();
    } catch (...) {
        progressForm.reset();
        m_filter = nullptr;
        m_canvasOutput = true;
        m_printer = std::move(previous);
        throw;
    }
    progressForm.reset();
    m_filter = nullptr;
    m_canvasOutput = true;
    m_printer = std::move(previous);
    return ok;
}

bool TCustomPagorra::ClaimForWorker()
{
    bool expected = true;
    if (!m_available.compare_exchange_strong(expected, false))
        return false;
    if (m_worker.joinable())
        m_worker.join(); // a finished run whose end is still queued
    return true;
}

bool TCustomPagorra::PrepareInBackground()
{
    if (!ClaimForWorker())
        return false;
    m_cancelled = false;
    m_printer = NewPrinter();
    HookPrinter(*m_printer);
    m_printer->SetStoredPages(true);
    StartWorker();
    return true;
}

bool TCustomPagorra::PrintBackground()
{
    if (!ClaimForWorker())
        return false;
    std::unique_ptr<TPgxPrinter> printer = NewPrinter();
    if (PrintDeviceFactory)
        printer->SetPrintDevice(PrintDeviceFactory());
    if (!printer->PrintersAvailable()) {
        m_available = true;
        return false;
    }
    m_cancelled = false;
    m_printer = std::move(printer);
    m_printer->SetDestination(TPgxPrinterDestination::pgxdPrinter);
    m_printer->Title = ReportTitle;
    StartWorker();
    return true;
}

void TCustomPagorra::StartWorker()
{
    m_worker = std::thread([this] {
        bool ok = false;
        try {
            ok = CreateReport(true);
        } catch (...) {
            ok = false;
        }
        QMetaObject::invokeMethod(this, "OnWorkerDone", Qt::QueuedConnection, Q_ARG(bool, ok));
    });
}

bool TCustomPagorra::PreviewModeless()
{
    if (!PrepareInBackground())
        return false;
    if (!m_printer->Preview()) {
        DropUnshownRun();
        return false;
    }
    return true;
}

void TCustomPagorra::DropUnshownRun()
{
    // Nothing shows the worker's pages: it stops, and its printer goes with them.
    Cancel();
    WaitForRun();
    m_printer.reset();
}

bool TCustomPagorra::PreviewModal()
{
    if (!PrepareInBackground())
        return false;
    // The printer stays while the modal preview shows it, whatever ends the run meanwhile.
    TPgxPrinter *shown = m_printer.get();
    ++m_modalPreview;
    const bool shownModal = shown->PreviewModal();
    --m_modalPreview;
    if (!shownModal) {
        DropUnshownRun();
        return false;
    }
    if (m_releasePrinter && m_modalPreview == 0) {
        m_releasePrinter = false;
        if (Available()) {
            WaitForRun();
            if (m_printer.get() == shown) {
                if (m_printer->ShowingPreview())
                    m_printer->SetShowingPreview(false);
                m_printer.reset();
            }
        }
    }
    return true;
}

void TCustomPagorra::WaitForRun()
{
    if (m_worker.joinable())
        m_worker.join();
}

void TCustomPagorra::OnWorkerDone(bool ok)
{
    // The printer goes only once the worker no longer uses it.
    WaitForRun();
    if (m_cancelled && m_printer && m_modalPreview > 0) {
        m_releasePrinter = true;
    } else if (m_cancelled && m_printer) {
        if (m_printer->ShowingPreview())
            m_printer->SetShowingPreview(false);
        m_printer.reset();
    }
    emit RunFinished(ok);
}

namespace {

TPgxPrinterSetupHook &SetupDialog()
{
    static TPgxPrinterSetupHook dialog;
    return dialog;
}

} // namespace

void RegisterPrinterSetupHook(TPgxPrinterSetupHook dialog)
{
    SetupDialog() = std::move(dialog);
}

bool RunPrinterSetupHook(TPgxPrinterSetupChoice &choice)
{
    return SetupDialog() && SetupDialog()(choice);
}

bool TCustomPagorra::PrinterSetup()
{
    TPgxPrinterSetupChoice c;
    c.PrinterIndex = PrinterSettings.PrinterIndex;
    c.PdfFile = PrinterSettings.PdfFile;
    c.Copies = PrinterSettings.Copies;
    c.Orientation = Page.Orientation();
    if (m_printer && m_printer->Status() == TPgxPrinterStatus::mpFinished) {
        c.MinPage = c.FromPage = 1;
        c.MaxPage = c.ToPage = m_printer->PageCount();
    }
    const bool ok = RunPrinterSetupHook(c);
    if (!ok) {
        Tag = 1;
        return false;
    }
    PrinterSettings.Copies = c.Copies;
    PrinterSettings.PrinterIndex = c.PrinterIndex;
    PrinterSettings.PdfFile = c.PdfFile;
    Page.SetOrientation(c.Orientation);
    if (c.PrintRange == TPgxPrinterSetupChoice::PageNums) {
        PrinterSettings.FirstPage = c.FromPage;
        PrinterSettings.LastPage = c.ToPage;
    } else {
        PrinterSettings.FirstPage = PrinterSettings.LastPage = 0;
    }
    Tag = 0;
    return true;
}

void TCustomPagorra::Cancel()
{
    if (Available())
        return;
    m_cancelled = true;
    if (m_printer)
        m_printer->Cancel();
}

void TCustomPagorra::OnPagesAvailable(int pages)
{
    if (pages == 1)
        emit FirstPageAvailable();
}

void TCustomPagorra::OnPrintRequested()
{
    Print();
}

void TCustomPagorra::OnPreviewClosed(TPgxPrinter *printer)
{
    if (!Available()) {
        Cancel();
        return;
    }
    if (m_printer && m_printer.get() == printer && m_modalPreview > 0) {
        m_releasePrinter = true;
    } else if (m_printer && m_printer.get() == printer) {
        if (m_printer->ShowingPreview())
            m_printer->SetShowingPreview(false);
        m_printer.reset();
    }
}

bool TCustomPagorra::CreateReport(bool claimed)
{
    bool expected = true;
    if (!claimed && !m_available.compare_exchange_strong(expected, false))
        return false;
    RunGuard guard{m_available};
    // Margins that leave no room are dropped, pair by pair.
    if (Page.Stored(TPgxPage::Width) - Page.Stored(TPgxPage::LeftMargin) - Page.Stored(TPgxPage::RightMargin) < 0) {
        const TPgxUnit u = Page.GetUnits();
        Page.SetUnits(TPgxUnit::Native);
        Page.SetValue(TPgxPage::LeftMargin, 0);
        Page.SetValue(TPgxPage::RightMargin, 0);
        Page.SetUnits(u);
    }
    if (Page.Stored(TPgxPage::Length) - Page.Stored(TPgxPage::TopMargin) - Page.Stored(TPgxPage::BottomMargin) < 0) {
        const TPgxUnit u = Page.GetUnits();
        Page.SetUnits(TPgxUnit::Native);
        Page.SetValue(TPgxPage::TopMargin, 0);
        Page.SetValue(TPgxPage::BottomMargin, 0);
        Page.SetUnits(u);
    }
    if (!claimed)
        m_cancelled = false; // a worker run's cancel may already have come
    m_finalPage = m_headerPrinted = m_columnArmed = m_columnBreak = false;
    m_settingUpPage = 0;

    m_runDataSets.clear();
    for (report::PgxDataSet *ds : m_dataSets)
        if (ds->IsOpen())
            m_runDataSets.push_back(ds);

    // The last image printable on the report with the name given is the background.
    m_backImage = nullptr;
    for (auto &pr : m_printables)
        if (!BackImageControl.isEmpty() && pr->Name == BackImageControl && pr->Picture())
            m_backImage = pr.get();

    bool printReport = true;
    if (BeforePrint)
        BeforePrint(this, printReport);
    if (!printReport) {
        m_backImage = nullptr;
        return false;
    }
    const TPgxUnit shownUnits = Page.GetUnits();
    Page.SetUnits(TPgxUnit::Native);
    struct UnitsBack {
        TPgxPage &page;
        TPgxUnit units;
        ~UnitsBack() { page.SetUnits(units); }
    } unitsBack{Page, shownUnits};

    TPgxPrinter &p = *m_printer;
    const bool composite = m_compositeRun;
    // A composite member prints on the composite's paper; its own page comes back afterwards.
    const TPgxPaperSize ownPaper = Page.GetPaperSize();
    const TPgxOrientation ownOrientation = Page.Orientation();
    const double ownWidth = Page.Stored(TPgxPage::Width), ownLength = Page.Stored(TPgxPage::Length);
    if (!composite) {
        SetPrinterValues(p);
        p.Title = ReportTitle;
        p.SetCompression((Options & Compression) != 0);
        p.BeginDoc();
        m_currentY = -1;
        m_pageNumber = 0;
        m_column = std::max(1, Page.Columns());
    } else {
        Page.SetPaperSize(p.Settings().PaperSize());
        Page.SetOrientation(p.Settings().Orientation());
        if (Page.GetPaperSize() == TPgxPaperSize::Custom)
            SetCustomPage(p.Settings().PaperWidth(), p.Settings().PaperLength());
        // Continues in column 1 of the page the previous member left open; with no page begun
        // yet the first column break begins page 1, as in a report of its own.
        m_column = m_pageNumber > 0 ? 1 : std::max(1, Page.Columns());
        m_columnTop = m_currentY;
    }
    bool ok = false;
    try {
        if (m_filter && !m_filter->Active)
            m_filter->Start(PgxRound(Page.Stored(TPgxPage::Width)), PgxRound(Page.Stored(TPgxPage::Length)), PgxFont());
        ResetPageFooterSize();
        for (auto &b : m_bands)
            b->SetParentReport(this);
        for (auto &pr : m_printables)
            pr->SetParentReport(this);
        m_currentX = PgxRound(Page.Stored(TPgxPage::LeftMargin));
        m_runSetup = true;
        SetControllerBands();
        RebuildBandList();
        SetBandValues();
        m_runSetup = false;
        Functions.Datasets = m_runDataSets;
        Functions.Prepare();
        m_pageNumberElement = Functions.GetConstant("PAGENUMBER");
        m_columnElement = Functions.GetConstant("COLUMNNUMBER");
        m_titleElement = Functions.GetConstant("REPORTTITLE");
        TPgxEvEnvironment::SetStringConstant(m_titleElement, ReportTitle.toStdString());
        // A composite member goes on counting from the page it starts on.
        TPgxEvEnvironment::SetIntegerConstant(m_pageNumberElement, composite ? m_pageNumber : 0);
        TPgxEvEnvironment::SetIntegerConstant(m_columnElement, composite && m_pageNumber > 0 ? m_column : 0);
        m_controller->Prepare();
        for (auto &b : m_bands)
            b->PrepareComponents();
        m_panel.PrepareComponents();
        Execute();
        m_currentX = PgxRound(Page.Stored(TPgxPage::LeftMargin));
        // A composite member other than the last leaves its page open for the next one.
        if (!composite || Tag == 999) {
            m_finalPage = true;
            if (!Cancelled() && !p.Cancelled())
                EndPage();
            if (m_filter)
                m_filter->Finish();
        }
        ok = !Cancelled() && !p.Cancelled();
    } catch (...) {
        for (auto &b : m_bands)
            b->UnprepareComponents();
        m_panel.UnprepareComponents();
        m_backImage = nullptr;
        m_controller->Unprepare();
        Functions.Unprepare();
        if (composite)
            RestorePage(ownPaper, ownOrientation, ownWidth, ownLength);
        p.AbortDoc();
        throw;
    }
    if (composite)
        RestorePage(ownPaper, ownOrientation, ownWidth, ownLength);
    for (auto &b : m_bands)
        b->UnprepareComponents();
    m_panel.UnprepareComponents();
    m_backImage = nullptr;
    m_controller->Unprepare();
    Functions.Unprepare();
    m_pageNumberElement = m_columnElement = m_titleElement = nullptr;
    if (!ok)
        p.AbortDoc();
    else if (composite)
        return ok; // the composite ends its document after its last member
    else if (m_canvasOutput)
        p.EndDoc();
    else
        p.AbortDoc(); // an export leaves no printer document
    return ok;
}

void TCustomPagorra::RestorePage(TPgxPaperSize paper, TPgxOrientation orientation, double width, double length)
{
    if (Page.GetPaperSize() == paper && Page.Orientation() == orientation && Page.Stored(TPgxPage::Width) == width
        && Page.Stored(TPgxPage::Length) == length)
        return;
    // Still inside the run: the bands take the report's own page again all the same.
    m_runSetup = true;
    Page.SetOrientation(orientation);
    Page.SetPaperSize(paper);
    if (paper == TPgxPaperSize::Custom)
        SetCustomPage(width, length);
    SetBandValues();
    m_runSetup = false;
}

void TCustomPagorra::SetCustomPage(double width, double length)
{
    const TPgxUnit u = Page.GetUnits();
    Page.SetUnits(TPgxUnit::Native);
    Page.SetValue(TPgxPage::Width, width);
    Page.SetValue(TPgxPage::Length, length);
    Page.SetUnits(u);
}

void TCustomPagorra::Execute()
{
    m_controller->Execute();
}

// ---- page flow

int32_t TCustomPagorra::PaperExtent() const
{
    return m_printer ? m_printer->PaperLengthValue() : PgxRound(Page.Stored(TPgxPage::Length));
}

void TCustomPagorra::PrintBand(TPgxCustomBand *band)
{
    if (!band)
        return;
    if (band->AlignToBottom) {
        if (band->BandType() == TPgxBandType::rbSummary && !(Options & LastPageFooter))
            m_pageFooterSize = 0;
        const int32_t h = PgxRound(band->Height() + Page.Stored(TPgxPage::BottomMargin) + m_pageFooterSize);
        const int32_t room = PaperExtent() - m_currentY;
        if (room >= h)
            m_currentY = PaperExtent() - PgxRound(band->Height())
                - PgxRound(Page.Stored(TPgxPage::BottomMargin) + m_pageFooterSize);
    }
    band->Print();
}

void TCustomPagorra::ResetPageFooterSize()
{
    m_pageFooterSize = 0;
    for (auto &b : m_bands) {
        if (b->BandType() != TPgxBandType::rbPageFooter || !b->Enabled)
            continue;
        m_pageFooterSize += b->Height();
        for (TPgxCustomBand *c = b->GetChild(); c; c = c->GetChild())
            m_pageFooterSize += c->Height();
    }
}

int32_t TCustomPagorra::AvailableSpace() const
{
    if (Available() || m_currentY == -1)
        return 0;
    if (m_filter && m_filter->GetStreaming())
        return PaperExtent();
    return PgxRound(PaperExtent() - Page.Stored(TPgxPage::BottomMargin) - m_pageFooterSize - m_currentY);
}

void TCustomPagorra::NewColumn()
{
    const int columns = std::max(1, Page.Columns());
    if (m_column >= columns) {
        m_column = 1;
        m_currentX = PgxRound(Page.Stored(TPgxPage::LeftMargin));
        NewPage();
    } else {
        int64_t width;
        if (TPgxCustomBand *detail = BandOfType(TPgxBandType::rbDetail)) {
            width = PgxRound(detail->Width());
        } else {
            width = (int64_t(PgxRound(Page.Stored(TPgxPage::Width)
                                      - (Page.Stored(TPgxPage::LeftMargin) + Page.Stored(TPgxPage::RightMargin))))
                     - int64_t(PgxRound(Page.Stored(TPgxPage::ColumnSpace))) * (columns - 1))
                / columns;
        }
        m_currentX = int32_t(m_currentX + width + PgxRound(Page.Stored(TPgxPage::ColumnSpace)));
        m_currentY = m_columnTop;
        ++m_column;
    }
    TPgxEvEnvironment::SetIntegerConstant(m_columnElement, m_column);
    if (!(m_column == 1 && m_pageNumber == 1)) {
        ++m_settingUpPage;
        PrintBand(BandOfType(TPgxBandType::rbColumnHeader));
        --m_settingUpPage;
        m_controller->NewPageCheckGroups();
    }
}

void TCustomPagorra::NewPage()
{
    EndPage();
    if (m_filter)
        m_filter->NewPage();
    ++m_pageNumber;
    TPgxEvEnvironment::SetIntegerConstant(m_pageNumberElement, m_pageNumber);
    if (m_canvasOutput || m_pageNumber == 1)
        m_printer->NewPage();
    m_currentY = PgxRound(Page.Stored(TPgxPage::TopMargin));
    if (OnStartPage)
        OnStartPage(this);
    PrintBackgroundImage();
    if (m_pageNumber > 1 || (Options & FirstPageHeader)) {
        ++m_settingUpPage;
        PrintBand(BandOfType(TPgxBandType::rbPageHeader));
        --m_settingUpPage;
    }
    m_columnTop = m_currentY;
    if (m_pageNumber == 1)
        if (TPgxCustomBand *title = BandOfType(TPgxBandType::rbTitle))
            m_columnTop += PgxRound(title->Height());
}

void TCustomPagorra::EndPage()
{
    if (m_pageNumber > 0) {
        m_currentY = PgxRound(PaperExtent() - Page.Stored(TPgxPage::BottomMargin) - m_pageFooterSize);
        m_currentX = PgxRound(Page.Stored(TPgxPage::LeftMargin));
        if (!(m_finalPage && !(Options & LastPageFooter))) {
            ++m_settingUpPage;
            PrintBand(BandOfType(TPgxBandType::rbPageFooter));
            --m_settingUpPage;
        }
        PrintPageFrame();
        if (OnEndPage)
            OnEndPage(this);
        // A filter hears of the end of a page only when one was begun.
        if (m_filter)
            m_filter->EndPage();
    }
}

void TCustomPagorra::PrintBackgroundImage()
{
    if (!m_backImage)
        return;
    const QImage *picture = m_backImage->Picture();
    if (!picture || picture->isNull())
        return;
    TPgxPrinter &p = *m_printer;
    // At the picture's own pixel size, where the image sits on the report.
    const int32_t x = p.XPos(m_backImage->Left), y = p.YPos(m_backImage->Top);
    if (m_canvasOutput && p.Canvas())
        p.Canvas()->StretchDraw({x, y, x + picture->width(), y + picture->height()}, *picture);
    if (m_filter)
        m_filter->AcceptGraphic(x, y, m_backImage);
}

void TCustomPagorra::ExportShape(const PgxFrameShape &shape)
{
    if (!m_filter)
        return;
    std::unique_ptr<TPgxPrintable> temporary = PgxMakeExportShape(shape);
    temporary->SetParentReport(this);
    m_filter->AcceptGraphic(shape.left, shape.top, temporary.get());
}

void TCustomPagorra::PrintPageFrame()
{
    if (!(m_canvasOutput || m_filter) || !m_printer->Canvas() || !Frame().AnyFrame())
        return;
    TPgxPrinter &p = *m_printer;
    const PgxRect r{p.XPos(Page.Stored(TPgxPage::LeftMargin)), p.YPos(Page.Stored(TPgxPage::TopMargin)),
                    p.XPos(Page.Stored(TPgxPage::Width) - Page.Stored(TPgxPage::RightMargin)),
                    p.YPos(PaperExtent() - Page.Stored(TPgxPage::BottomMargin))};
    Frame().PaintIt(*p.Canvas(), r, p.XFactor(), p.YFactor());
}

void TCustomPagorra::ForceNewColumn()
{
    if (Available())
        return;
    if (m_columnArmed || m_column > 1)
        NewColumn();
    else
        m_columnArmed = true;
}

void TCustomPagorra::ForceNewPage()
{
    if (Available())
        return;
    if (m_headerPrinted) {
        m_headerPrinted = false;
        return;
    }
    do
        NewColumn();
    while (m_column != 1);
}

// ---- data-set report

TPagorra::TPagorra(QObject *parent) : TCustomPagorra(parent)
{
    m_controller = std::make_unique<TPgxController>(this);
}

report::PgxDataSet *TPagorra::DataSet() const
{
    auto *c = dynamic_cast<TPgxController *>(m_controller.get());
    return c ? c->DataSet : nullptr;
}

void TPagorra::SetDataSet(report::PgxDataSet *ds)
{
    if (auto *c = dynamic_cast<TPgxController *>(m_controller.get())) {
        c->DataSet = ds;
        RegisterDataSet(ds);
    }
}

int TPagorra::RecordCount() const
{
    report::PgxDataSet *ds = DataSet();
    return ds && ds->IsOpen() ? ds->RecordCount() : 1;
}

int TPagorra::RecordNumber() const
{
    auto *c = dynamic_cast<TPgxController *>(m_controller.get());
    return c ? c->DetailNumber() : 0;
}

void TPagorra::SetControllerBands()
{
    auto *c = dynamic_cast<TPgxController *>(m_controller.get());
    if (!c)
        return;
    c->DetailBand = BandOfType(TPgxBandType::rbDetail);
    c->HeaderBand = BandOfType(TPgxBandType::rbTitle);
    c->FooterBand = BandOfType(TPgxBandType::rbSummary);
}

void TPagorra::Execute()
{
    SetControllerBands();
    if (auto *c = dynamic_cast<TPgxController *>(m_controller.get()))
        c->OnNeedData = OnNeedData;
    TCustomPagorra::Execute();
}

} // namespace strandel
