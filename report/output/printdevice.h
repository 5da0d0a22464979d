#pragma once
// The printer as the report model sees it: a device mode, the page metrics and a painter per
// page. The Qt printer lives with the forms (it needs Qt's print support); the model ships the
// PDF device, which needs Qt Gui only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

class QPainter;
class QPdfWriter;

namespace strandel {

// Presence bits of the device mode's fields.
enum PgxDmField : uint32_t {
    DmOrientation = 1, DmPaperSize = 2, DmCopies = 256, DmDefaultSource = 512, DmDuplex = 4096,
};
constexpr int32_t PgxPaperCodeCustom = 256;
// Duplex codes: one-sided, long-edge binding, short-edge binding.
constexpr int32_t PgxDuplexSimplex = 1, PgxDuplexLongEdge = 2, PgxDuplexShortEdge = 3;

struct TPgxDeviceMode {
    uint32_t fields = 0;
    int32_t orientation = 1; // 1 portrait, 2 landscape
    int32_t paperSize = 9;   // paper code: the size's number, 256 for a custom size
    int32_t paperWidth = 0, paperLength = 0; // 0.1 mm, portrait, used by a custom size
    int32_t copies = 1;
    int32_t defaultSource = 7;
    int32_t printQuality = 0;
    int32_t color = 0;
    int32_t duplex = PgxDuplexSimplex;
    int32_t collate = 0;
};

// Device pixels of the current paper; the painter's origin is the printable area's corner.
struct PgxDeviceMetrics {
    int32_t dpiX = 300, dpiY = 300;
    int32_t offsetX = 0, offsetY = 0;           // printable area inside the paper
    int32_t physWidth = 0, physHeight = 0;      // the whole paper
    int32_t pageWidth = 0, pageHeight = 0;      // the printable area
};

class TPgxPrintDevice
{
public:
    virtual ~TPgxPrintDevice() = default;
    virtual QStringList Printers() const = 0;
    virtual int PrinterIndex() const = 0;
    virtual void SetPrinterIndex(int index) = 0;
    virtual QString DeviceName() const = 0;
    virtual QString DriverName() const { return {}; }
    virtual QString PortName() const { return {}; }

    // False when the device has no device mode.
    virtual bool GetDeviceMode(TPgxDeviceMode &mode) const = 0;
    // The driver checks and completes a copy of the mode; false on failure.
    virtual bool DocumentProperties(TPgxDeviceMode &mode) const = 0;
    virtual void SetDeviceMode(const TPgxDeviceMode &mode) = 0;
    // Paper codes the device offers.
    virtual std::vector<int32_t> PaperCodes() const = 0;
    virtual PgxDeviceMetrics Metrics() const = 0;

    virtual bool BeginDoc(const QString &title) = 0;
    virtual bool NewPage() = 0;
    virtual bool EndDoc() = 0;
    virtual void Abort() = 0;
    virtual bool Printing() const = 0;
    // Valid between BeginDoc and EndDoc.
    virtual QPainter *Painter() = 0;
};

// The device that UseStandardPrinter shares, and how a printer gets one of its own. The forms
// register Qt's printer here; with nothing registered there is no printer.
using TPgxPrintDeviceFactory = std::function<std::unique_ptr<TPgxPrintDevice>()>;
void PgxRegisterPrintDeviceFactory(TPgxPrintDeviceFactory factory);
std::unique_ptr<TPgxPrintDevice> PgxCreatePrintDevice();
TPgxPrintDevice *PgxGlobalPrintDevice();

// Writes a PDF file; every paper size is offered, custom ones included.
class TPgxPdfDevice : public TPgxPrintDevice
{
public:
    explicit TPgxPdfDevice(const QString &fileName, int dpi = 300);
    ~TPgxPdfDevice() override;
    QStringList Printers() const override { return {DeviceName()}; }
    int PrinterIndex() const override { return 0; }
    void SetPrinterIndex(int) override {}
    QString DeviceName() const override { return QStringLiteral("PDF"); }
    QString PortName() const override { return m_fileName; }
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
    QString ErrorString() const { return m_error; }

private:
    QString m_fileName;
    int m_dpi;
    TPgxDeviceMode m_mode;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    QString m_error;
};

// Paper of a device mode in 0.1 mm (portrait sides swapped for landscape); false without one.
bool PgxDevicePaperTenths(const TPgxDeviceMode &mode, int32_t &width, int32_t &length);

} // namespace strandel
