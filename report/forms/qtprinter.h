#pragma once
// The report printer's device on a Qt printer: a real printer by name, or a PDF file.
#include <memory>

#include <QString>

#include "report/output/printdevice.h"

class QPrinter;

namespace strandel {

class TPgxQtPrintDevice : public TPgxPrintDevice
{
public:
    // The system's default printer; with pdfFile, a PDF file instead.
    explicit TPgxQtPrintDevice(const QString &pdfFile = QString());
    ~TPgxQtPrintDevice() override;

    QPrinter &Printer() { return *m_printer; }
    bool IsPdf() const { return m_pdf; }

    QStringList Printers() const override;
    int PrinterIndex() const override;
    void SetPrinterIndex(int index) override;
    QString DeviceName() const override;
    bool GetDeviceMode(TPgxDeviceMode &mode) const override;
    bool DocumentProperties(TPgxDeviceMode &mode) const override;
    void SetDeviceMode(const TPgxDeviceMode &mode) override;
    std::vector<int32_t> PaperCodes() const override;
    PgxDeviceMetrics Metrics() const override;
    bool BeginDoc(const QString &title) override;
    bool NewPage() override;
    bool EndDoc() override;
    void Abort() override;
    bool Printing() const override { return m_painter != nullptr; }
    QPainter *Painter() override { return m_painter.get(); }

private:
    uint32_t Fields() const;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
    bool m_pdf;
};

// Makes every report printer that is not given a device of its own print through Qt.
void PgxRegisterQtPrinter();

} // namespace strandel
