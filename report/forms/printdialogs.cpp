#include "report/forms/printdialogs.h"

#include <QGuiApplication>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QTimer>

#include "report/bands/pagorra.h"
#include "report/forms/qtprinter.h"

namespace strandel {

bool TPgxCommonDialog::Run(QDialog &dialog)
{
    // Placed once it has its size, before the user sees it move.
    QTimer::singleShot(0, &dialog, [&dialog, this] {
        if (QScreen *screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen()) {
            const QRect avail = screen->geometry();
            const QSize size = dialog.frameGeometry().size();
            dialog.move(avail.left() + (avail.width() - size.width()) / 2,
                        avail.top() + (avail.height() - size.height()) / 3);
        }
        if (OnShow)
            OnShow();
    });
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (OnClose)
        OnClose();
    return ok;
}

bool TPgxPrinterSetupDialog::Execute(TPgxQtPrintDevice &device, QWidget *parent)
{
    QPageSetupDialog dialog(&device.Printer(), parent);
    return Run(dialog);
}

bool TPgxPrintDialog::Execute(TPgxQtPrintDevice &device, QWidget *parent)
{
    QPrinter &printer = device.Printer();
    QPrintDialog dialog(&printer, parent);
    QAbstractPrintDialog::PrintDialogOptions opts = QAbstractPrintDialog::PrintShowPageSize;
    if ((Options & poPrintToFile) && !(Options & poDisablePrintToFile))
        opts |= QAbstractPrintDialog::PrintToFile;
    if (Options & poPageNums)
        opts |= QAbstractPrintDialog::PrintPageRange;
    if (Options & poSelection)
        opts |= QAbstractPrintDialog::PrintSelection;
    opts |= QAbstractPrintDialog::PrintCollateCopies;
    dialog.setOptions(opts);
    if (MinPage > 0 || MaxPage > 0)
        dialog.setMinMax(MinPage, MaxPage >= MinPage ? MaxPage : MinPage);
    printer.setFromTo(FromPage, ToPage);
    printer.setCollateCopies(Collate);
    if (Copies > 0)
        printer.setCopyCount(Copies);
    printer.setPrintRange(PrintRange == prSelection ? QPrinter::Selection
                          : PrintRange == prPageNums ? QPrinter::PageRange
                                                     : QPrinter::AllPages);
    if (!Run(dialog))
        return false;
    PrintToFile = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
    PrintRange = printer.printRange() == QPrinter::Selection ? prSelection
                 : printer.printRange() == QPrinter::PageRange ? prPageNums
                                                               : prAllPages;
    FromPage = printer.fromPage();
    ToPage = printer.toPage();
    Copies = printer.copyCount();
    Collate = printer.collateCopies();
    device.GetDeviceMode(DeviceMode);
    Duplex = DeviceMode.duplex != PgxDuplexSimplex;
    return true;
}

} // namespace strandel

namespace strandel {

void PgxRegisterReportPrinterSetup(std::function<std::unique_ptr<TPgxQtPrintDevice>()> device)
{
    RegisterPrinterSetupHook([device](TPgxPrinterSetupChoice &c) {
        std::unique_ptr<TPgxQtPrintDevice> dev = device ? device() : std::make_unique<TPgxQtPrintDevice>();
        if (c.PrinterIndex >= 0)
            dev->SetPrinterIndex(c.PrinterIndex);
        if (!c.PdfFile.isEmpty()) {
            dev->Printer().setOutputFormat(QPrinter::PdfFormat);
            dev->Printer().setOutputFileName(c.PdfFile);
        }
        TPgxDeviceMode mode;
        if (dev->GetDeviceMode(mode)) {
            mode.orientation = c.Orientation == TPgxOrientation::Landscape ? 2 : 1;
            dev->SetDeviceMode(mode);
        }
        TPgxPrintDialog d;
        // Printing to a PDF file is offered always: a machine without a printer queue can print too.
        d.Options = TPgxPrintDialog::poPageNums | TPgxPrintDialog::poWarning | TPgxPrintDialog::poPrintToFile;
        d.MinPage = c.MinPage;
        d.MaxPage = c.MaxPage;
        d.FromPage = c.FromPage;
        d.ToPage = c.ToPage;
        d.Copies = c.Copies;
        if (!d.Execute(*dev))
            return false;
        c.Copies = d.Copies;
        c.PdfFile = d.PrintToFile ? dev->Printer().outputFileName() : QString();
        c.PrinterIndex = d.PrintToFile ? -1 : dev->PrinterIndex();
        if (dev->GetDeviceMode(mode))
            c.Orientation = mode.orientation == 2 ? TPgxOrientation::Landscape : TPgxOrientation::Portrait;
        c.PrintRange = d.PrintRange == TPgxPrintDialog::prPageNums ? TPgxPrinterSetupChoice::PageNums
                     : d.PrintRange == TPgxPrintDialog::prSelection ? TPgxPrinterSetupChoice::Selection
                                                                    : TPgxPrinterSetupChoice::AllPages;
        c.FromPage = d.FromPage;
        c.ToPage = d.ToPage;
        return true;
    });
}

} // namespace strandel
