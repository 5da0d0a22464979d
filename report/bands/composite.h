#pragma once
// A composite report prints several reports as one document: each member is generated into the
// one shared report printer, going on where the previous member stopped, with page numbers that
// run on. No widgets: the preview and the print dialog come through the hooks the forms
// register.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

#include "report/bands/pagorra.h"
#include "report/output/printer.h"

namespace strandel {

class TPgxExportFilter;

// The composite's printer settings: besides those of a report, the paper and orientation every
// member prints on (taken from the first member at each output).
struct TPgxCompositePrinterSettings : TPgxPrinterSettings {
};

class TPgxCompositeReport : public QObject
{
    Q_OBJECT
public:
    explicit TPgxCompositeReport(QObject *parent = nullptr);
    ~TPgxCompositeReport() override;

    // Fills Reports; called once at the start of every output, on an empty list.
    std::function<void(TPgxCompositeReport *)> OnAddReports;
    // After each member (sender: that report) and once at the end (sender: the composite).
    std::function<void(QObject *sender)> OnFinished;
    // Kept for the stored report; the output does not read them (the title comes from the
    // printer settings).
    uint8_t Options = 0;
    QString ReportTitle;
    TPgxCompositePrinterSettings PrinterSettings;
    // Member reports in output order; not owned.
    std::vector<TCustomPagorra *> Reports;
    int Tag = 0;
    // The device Print sends the pages to.
    std::function<std::unique_ptr<TPgxPrintDevice>()> PrintDeviceFactory;

    // Each answers false when nothing was generated: no members, a member busy with a run of its
    // own, the run cancelled, or (Print) no printer.
    bool Print();
    // Generates the pages and shows them; the printer stays until the preview closes. False
    // when no preview can show them.
    bool Preview();
    // Generates the pages; they stay in Printer().
    bool Prepare();
    bool ExportToFilter(TPgxExportFilter *filter);
    // Lets the user choose printer, copies and page range; false when cancelled.
    bool PrinterSetup();

    TPgxPrinter *Printer() const { return m_printer.get(); }
    // The report the pages' preview takes its window settings and printer settings from: the
    // first member's window and paper, the composite's printer settings.
    TCustomPagorra *PreviewReport() const { return m_previewReport.get(); }
    bool Busy() const { return m_busy; }
    TCustomPagorra *CurrentReport() const { return m_current; }

private slots:
    void OnPreviewClosed(TPgxPrinter *printer);
    void OnPrintRequested();

private:
    bool AddReports();
    void TakeFirstReportPaper();
    std::unique_ptr<TPgxPrinter> NewPrinter();
    void SetPrinterValues();
    // The member loop: every member onto the printer, or into filter. False when cancelled.
    bool RunMembers(TPgxExportFilter *filter);
    bool CreateComposite();
    bool GeneratePages();

    void MakePreviewReport();

    std::unique_ptr<TPagorra> m_previewReport; // outlives the printer that names it
    std::unique_ptr<TPgxPrinter> m_printer;
    bool m_busy = false;
    TCustomPagorra *m_current = nullptr;
    // The paper of the first member, for a custom size (0.1 mm).
    int32_t m_paperWidth = 0, m_paperLength = 0;
};

} // namespace strandel
