#pragma once
// The report printer's view of a printer (paper, bin, copies, duplex, orientation, offsets in
// 0.1 mm), read from and written to the device mode of a print device.
#include <array>
#include <cstdint>
#include <functional>

#include <QString>

#include "report/output/printdevice.h"
#include "report/pages/units.h"

namespace strandel {

enum class TPgxBin : uint8_t {
    First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat, LargeFormat,
    LargeCapacity, Cassette, Last
};

int32_t PgxPaperCode(TPgxPaperSize size);
int32_t PgxBinCode(TPgxBin bin);

class TPrinterSettings;
using TPgxPrinterSettingsEvent = std::function<void(TPrinterSettings &sender, bool &cancel, TPgxDeviceMode &mode)>;

class TPrinterSettings
{
public:
    TPrinterSettings();

    void SetPrinter(TPgxPrintDevice *device);
    TPgxPrintDevice *GetPrinter() const { return m_device; }
    // With no printer every setting is accepted: the pages then only go to the preview or
    // a PDF, where any paper fits.
    bool Supported(uint32_t flags) const;

    int Copies() const { return m_copies; }
    void SetCopies(int v) { if (Supported(DmCopies)) m_copies = v; }
    TPgxOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TPgxOrientation v) { if (Supported(DmOrientation)) m_orientation = v; }
    bool Duplex() const { return m_duplex; }
    // A plain request replaces a duplex mode read from the device.
    void SetDuplex(bool v);
    TPgxBin OutputBin() const { return m_bin; }
    void SetOutputBin(TPgxBin v) { if (Supported(DmDefaultSource)) m_bin = v; }
    TPgxPaperSize PaperSize() const { return m_paper; }
    void SetPaperSize(TPgxPaperSize s);
    bool GetPaperSizeSupported(TPgxPaperSize s) const { return m_supported[static_cast<size_t>(s)]; }
    // 0.1 mm, portrait: the stored value for Default and Custom, else the table's.
    int32_t PaperWidth() const;
    int32_t PaperLength() const;
    void SetPaperWidth(int32_t v) { m_paperWidth = v; }
    void SetPaperLength(int32_t v) { m_paperLength = v; }
    QString Title() const { return m_title; }
    void SetTitle(const QString &t) { m_title = t; }
    int32_t PixelsPerX() const { return m_ppx; }
    int32_t PixelsPerY() const { return m_ppy; }
    int32_t TopOffset() const { return m_topOffset; }
    int32_t LeftOffset() const { return m_leftOffset; }
    QString Driver() const { return m_device ? m_device->DriverName() : QString(); }
    QString Port() const { return m_device ? m_device->PortName() : QString(); }

    bool PrintMetafile = false;
    bool UseStandardPrinter = false;
    bool UseExtendedDuplex = false;
    int32_t ExtendedDuplex = 0;
    bool UseCustomBinCode = false;
    int32_t CustomBinCode = 0;
    int32_t PrintQuality = 0, Collate = 0, ColorOption = 0;
    int64_t MemoryLimit = 250000;
    bool UseCustomPaperCode = false;
    int32_t CustomPaperCode = 0;
    TPgxPrinterSettingsEvent OnGetPrinterSettings, OnApplyPrinterSettings;

    void GetPrinterSettings();
    // Writes the settings into the device's mode; false when the device kept its own.
    bool ApplySettings();

private:
    TPgxPrintDevice *m_device = nullptr;
    int m_copies = 0;
    bool m_duplex = false;
    TPgxOrientation m_orientation = TPgxOrientation::Portrait;
    TPgxBin m_bin = TPgxBin::First;
    TPgxPaperSize m_paper = TPgxPaperSize::A4;
    std::array<bool, PgxPaperSizeCount> m_supported{};
    int32_t m_paperWidth = 0, m_paperLength = 0, m_ppx = 0, m_ppy = 0, m_topOffset = 0, m_leftOffset = 0;
    QString m_title;
};

} // namespace strandel
