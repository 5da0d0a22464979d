#pragma once
// The print and printer set-up dialogs of the report component, on Qt's dialogs over the
// report printer's Qt device. Both open centred across the screen, a third of the way down.
#include <cstdint>
#include <functional>

#include "report/output/printdevice.h"

class QDialog;
class QWidget;

namespace strandel {

class TPgxQtPrintDevice;

class TPgxCommonDialog
{
public:
    virtual ~TPgxCommonDialog() = default;
    virtual bool Execute(TPgxQtPrintDevice &device, QWidget *parent = nullptr) = 0;
    std::function<void()> OnShow, OnClose;

protected:
    // Places the dialog, runs it modally and reports the show and the close.
    bool Run(QDialog &dialog);
};

class TPgxPrinterSetupDialog : public TPgxCommonDialog
{
public:
    bool Execute(TPgxQtPrintDevice &device, QWidget *parent = nullptr) override;
};

class TPgxPrintDialog : public TPgxCommonDialog
{
public:
    enum Option : uint32_t { poPrintToFile = 1, poPageNums = 2, poSelection = 4, poWarning = 8, poHelp = 16, poDisablePrintToFile = 32 };
    enum Range : uint8_t { prAllPages = 0, prSelection = 1, prPageNums = 2 };

    bool Execute(TPgxQtPrintDevice &device, QWidget *parent = nullptr) override;

    int32_t FromPage = 0, ToPage = 0, MinPage = 0, MaxPage = 0;
    int32_t Copies = 1;
    bool Collate = false;
    uint32_t Options = 0;
    bool PrintToFile = false;
    Range PrintRange = prAllPages;
    // The chosen device mode after a successful dialog.
    TPgxDeviceMode DeviceMode;
    bool Duplex = false;
};

} // namespace strandel

#include <memory>

namespace strandel {

// Reports show this print dialog for their printer setup, on the device the factory makes
// (the system's printer without one).
void PgxRegisterReportPrinterSetup(std::function<std::unique_ptr<TPgxQtPrintDevice>()> device = {});

} // namespace strandel
