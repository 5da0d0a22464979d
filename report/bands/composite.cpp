#include "report/bands/composite.h"

#include <algorithm>

#include "report/output/exportfilter.h"

namespace strandel {

// ---- the member's side

void TCustomPagorra::SetCompositePosition(int32_t y, int32_t pageNumber, int32_t column)
{
    if (!Available())
        return;
    m_currentY = y;
    m_pageNumber = pageNumber;
    m_column = column;
}

bool TCustomPagorra::CreateCompositeReport(std::unique_ptr<TPgxPrinter> &printer)
{
    return ExportComposite(nullptr, printer);
}

bool TCustomPagorra::ExportComposite(TPgxExportFilter *filter, std::unique_ptr<TPgxPrinter> &printer)
{
    if (!printer || !Available())
        return false;
    // The member's own printer (pages of an earlier preview) waits aside while it prints on
    // the composite's.
    std::unique_ptr<TPgxPrinter> own = std::move(m_printer);
    m_printer = std::move(printer);
    m_compositeRun = true;
    if (filter) {
        m_filter = filter;
        m_canvasOutput = false;
    }
    // However the run ends, the printer goes back, and the report is an ordinary one again: a
    // filter left attached would keep later runs of this report off the page.
    struct Restore {
        TCustomPagorra &r;
        std::unique_ptr<TPgxPrinter> &lent, &own;
        ~Restore()
        {
            lent = std::move(r.m_printer);
            r.m_printer = std::move(own);
            r.m_compositeRun = false;
            r.m_filter = nullptr;
            r.m_canvasOutput = true;
        }
    } restore{*this, printer, own};
    return CreateReport();
}

// ---- the composite

TPgxCompositeReport::TPgxCompositeReport(QObject *parent) : QObject(parent) {}

TPgxCompositeReport::~TPgxCompositeReport() = default;

bool TPgxCompositeReport::AddReports()
{
    Reports.clear();
    if (OnAddReports)
        OnAddReports(this);
    Reports.erase(std::remove(Reports.begin(), Reports.end(), nullptr), Reports.end());
    return !Reports.empty();
}

void TPgxCompositeReport::TakeFirstReportPaper()
{
    // Every output prints on the first member's paper, so that the preview shows the pages
    // the printer will print.
    TCustomPagorra *first = Reports.front();
    PrinterSettings.Orientation = first->Page.Orientation();
    PrinterSettings.PaperSize = first->Page.GetPaperSize();
    // A custom paper goes to the printer as the report gives it its own.
    m_paperWidth = PgxRound(first->Page.Stored(TPgxPage::Width));
    m_paperLength = PgxRound(first->Page.Stored(TPgxPage::Length));
}

std::unique_ptr<TPgxPrinter> TPgxCompositeReport::NewPrinter()
{
    const TPgxPrinter::OwnerSettings owner{PrinterSettings.UseStandardPrinter, PrinterSettings.MemoryLimit};
    auto p = std::make_unique<TPgxPrinter>(nullptr, &owner);
    connect(p.get(), &TPgxPrinter::PrintRequested, this, &TPgxCompositeReport::OnPrintRequested, Qt::QueuedConnection);
    connect(p.get(), &TPgxPrinter::ClosePreviewRequested, this, &TPgxCompositeReport::OnPreviewClosed,
            Qt::QueuedConnection);
    return p;
}

void TPgxCompositeReport::SetPrinterValues()
{
    TPgxPrinter &p = *m_printer;
    const TPgxCompositePrinterSettings &s = PrinterSettings;
    TPrinterSettings &d = p.Settings();
    s.ApplyPrinter(p);
    d.SetPaperSize(s.PaperSize);
    if (d.PaperSize() == TPgxPaperSize::Custom) {
        d.SetPaperWidth(m_paperWidth);
        d.SetPaperLength(m_paperLength);
    }
    d.SetOrientation(s.Orientation);
    d.SetCopies(s.Copies);
    d.SetOutputBin(s.OutputBin);
    p.FirstPage = s.FirstPage;
    p.LastPage = s.LastPage;
    p.Title = s.Title;
    d.UseStandardPrinter = s.UseStandardPrinter;
    d.PrintMetafile = s.PrintMetafile;
    d.UseCustomBinCode = s.UseCustomBinCode;
    d.CustomBinCode = s.CustomBinCode;
    d.UseCustomPaperCode = s.UseCustomPaperCode;
    d.CustomPaperCode = s.CustomPaperCode;
    d.ExtendedDuplex = s.ExtendedDuplex;
    d.PrintQuality = s.PrintQuality;
    d.Collate = s.Collate;
    d.ColorOption = s.ColorOption;
}

bool TPgxCompositeReport::RunMembers(TPgxExportFilter *filter)
{
    struct Busy {
        TPgxCompositeReport &c;
        ~Busy()
        {
            c.m_busy = false;
            c.m_current = nullptr;
        }
    } busy{*this};
    TCustomPagorra *first = Reports.front();
    // The first band of the first member finds no room and so begins a page.
    int32_t y = PgxRound(first->Page.Stored(TPgxPage::Length));
    int32_t page = 0, column = 0;
    bool cancelled = false;
    m_busy = true;
    for (size_t i = 0; i < Reports.size(); ++i) {
        TCustomPagorra *r = Reports[i];
        m_current = r;
        r->SetCompositePosition(y, page, column);
        const int tag = r->Tag;
        if (i + 1 == Reports.size())
            r->Tag = 999; // the last member ends the last page
        struct RestoreTag {
            TCustomPagorra *r;
            int tag;
            ~RestoreTag() { r->Tag = tag; }
        } restoreTag{r, tag};
        // A member that vetoes its run prints nothing; the next one goes on in its place.
        if (filter)
            r->ExportComposite(filter, m_printer);
        else
            r->CreateCompositeReport(m_printer);
        cancelled = r->Cancelled() || m_printer->Cancelled();
        if (cancelled)
            break;
        if (OnFinished)
            OnFinished(r);
        y = r->CurrentY();
        page = r->PageNumber();
        column = r->CurrentColumn();
    }
    if (cancelled) {
        m_printer.reset();
        return false;
    }
    m_printer->EndDoc();
    return true;
}

bool TPgxCompositeReport::CreateComposite()
{
    // A member busy with a run of its own cannot join: the document would miss its pages.
    for (TCustomPagorra *r : Reports)
        if (!r->Available())
            return false;
    SetPrinterValues();
    m_printer->BeginDoc();
    bool ok = false;
    try {
        ok = RunMembers(nullptr);
    } catch (...) {
        m_printer.reset();
        throw;
    }
    if (OnFinished)
        OnFinished(this);
    return ok;
}

bool TPgxCompositeReport::Print()
{
    if (m_busy || !AddReports())
        return false;
    TakeFirstReportPaper();
    std::unique_ptr<TPgxPrinter> previous = std::move(m_printer);
    m_printer = NewPrinter();
    if (PrintDeviceFactory)
        m_printer->SetPrintDevice(PrintDeviceFactory());
    bool ok = false;
    if (m_printer->PrintersAvailable()) {
        m_printer->SetDestination(TPgxPrinterDestination::pgxdPrinter);
        try {
            ok = CreateComposite();
        } catch (...) {
            m_printer = std::move(previous);
            throw;
        }
    }
    // The printing printer goes; an earlier one (a preview's pages) stays.
    m_printer = std::move(previous);
    return ok;
}

void TPgxCompositeReport::MakePreviewReport()
{
    TCustomPagorra *first = Reports.front();
    auto r = std::make_unique<TPagorra>();
    r->Page.SetOrientation(first->Page.Orientation());
    r->Page.SetPaperSize(first->Page.GetPaperSize());
    if (r->Page.GetPaperSize() == TPgxPaperSize::Custom) {
        r->Page.SetUnits(TPgxUnit::Native);
        r->Page.SetValue(TPgxPage::Width, first->Page.Stored(TPgxPage::Width));
        r->Page.SetValue(TPgxPage::Length, first->Page.Stored(TPgxPage::Length));
    }
    r->PreviewWidth = first->PreviewWidth;
    r->PreviewHeight = first->PreviewHeight;
    r->PrevFormStyle = first->PrevFormStyle;
    r->PreviewInitialState = first->PreviewInitialState;
    r->PrevShowThumbs = first->PrevShowThumbs;
    r->PrevShowSearch = first->PrevShowSearch;
    // The preview's set-up button applies these to the printer.
    r->PrinterSettings = PrinterSettings;
    m_printer->SetParentReport(r.get());
    m_previewReport = std::move(r);
}

bool TPgxCompositeReport::GeneratePages()
{
    TakeFirstReportPaper();
    // The pages of an earlier output go with its printer.
    m_printer = NewPrinter();
    m_printer->OnPrintSetup = [this] { PrinterSetup(); };
    MakePreviewReport();
    if (!CreateComposite() || !m_printer)
        return false;
    // Printing from the preview prints these very pages.
    m_printer->SetStoredPages(true);
    return true;
}

bool TPgxCompositeReport::Prepare()
{
    if (m_busy)
        return false;
    if (!AddReports()) {
        if (OnFinished)
            OnFinished(this);
        return false;
    }
    return GeneratePages();
}

bool TPgxCompositeReport::Preview()
{
    if (m_busy || !AddReports() || !GeneratePages())
        return false;
    return m_printer->Preview();
}

bool TPgxCompositeReport::ExportToFilter(TPgxExportFilter *filter)
{
    if (!filter || m_busy)
        return false;
    std::unique_ptr<TPgxPrinter> previous = std::move(m_printer);
    m_printer = NewPrinter();
    m_printer->SetDestination(TPgxPrinterDestination::pgxdPrinter);
    bool ok = false;
    bool members = AddReports();
    for (TCustomPagorra *r : Reports)
        members = members && r->Available();
    if (members) {
        TakeFirstReportPaper();
        SetPrinterValues();
        m_printer->SetDestination(TPgxPrinterDestination::pgxdMetafile);
        try {
            m_printer->BeginDoc();
            m_printer->NewPage();
            ok = RunMembers(filter);
        } catch (...) {
            m_printer = std::move(previous);
            throw;
        }
    }
    m_printer = std::move(previous);
    if (OnFinished)
        OnFinished(this);
    return ok;
}

bool TPgxCompositeReport::PrinterSetup()
{
    TPgxPrinterSetupChoice c;
    c.Copies = PrinterSettings.Copies;
    c.PrinterIndex = PrinterSettings.PrinterIndex;
    c.PdfFile = PrinterSettings.PdfFile;
    if (m_printer && m_printer->Status() == TPgxPrinterStatus::mpFinished) {
        c.MinPage = c.FromPage = 1;
        c.MaxPage = c.ToPage = m_printer->PageCount();
    }
    if (!RunPrinterSetupHook(c)) {
        Tag = 1;
        return false;
    }
    // The orientation stays the first member's.
    PrinterSettings.Copies = c.Copies;
    PrinterSettings.PrinterIndex = c.PrinterIndex;
    PrinterSettings.PdfFile = c.PdfFile;
    if (c.PrintRange == TPgxPrinterSetupChoice::PageNums) {
        PrinterSettings.FirstPage = c.FromPage;
        PrinterSettings.LastPage = c.ToPage;
    } else {
        PrinterSettings.FirstPage = PrinterSettings.LastPage = 0;
    }
    if (m_previewReport)
        m_previewReport->PrinterSettings = PrinterSettings;
    Tag = 0;
    return true;
}

void TPgxCompositeReport::OnPreviewClosed(TPgxPrinter *printer)
{
    if (m_busy) {
        if (m_current)
            m_current->Cancel();
        return;
    }
    if (m_printer && m_printer.get() == printer) {
        if (m_printer->ShowingPreview())
            m_printer->SetShowingPreview(false);
        m_printer.reset();
        m_previewReport.reset();
    }
}

void TPgxCompositeReport::OnPrintRequested()
{
    Print();
}

} // namespace strandel
