#pragma once
// Bands and the printables they hold, as the report generates them: a band makes room on the
// page, stretches for growing content, prints its printables, background and frame, and chains
// to its child band. Lengths are tenths of a millimetre; the printer maps them to device pixels.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QString>

#include "report/bands/basepanel.h"
#include "report/pages/units.h"

namespace strandel {

class TCustomPagorra;
class TPgxChildBand;
class TPgxCustomBand;
class TPgxCustomController;
class TPgxPrinter;

enum class TPgxBandType : uint8_t {
    rbTitle = 0, rbPageHeader = 1, rbDetail = 2, rbPageFooter = 3, rbSummary = 4, rbGroupHeader = 5,
    rbGroupFooter = 6, rbSubDetail = 7, rbColumnHeader = 8, rbOverlay = 9, rbChild = 10
};
constexpr int PgxBandTypeCount = 11;

enum class TPgxNotifyOperation : uint8_t { pgxMasterDataAdvance = 0, pgxBandPrinted = 1, pgxBandSizeChange = 2 };
enum class TPgxAlignment : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

QString PgxBandTypeName(TPgxBandType type);
QString PgxBandComponentName(TPgxBandType type);

// What a master link may point at: a report, a controller or a controller band.
class TPgxComponent
{
public:
    virtual ~TPgxComponent() = default;
};

// What every control printed inside a band shares: its place on the band, a frame, alignment
// to the band, and the flag that carries unfinished content to the next column or page.
class TPgxPrintable : public TPgxPanelChild, public TPgxFrameParent
{
public:
    TPgxPrintable();
    ~TPgxPrintable() override = default;

    QString Name;
    // Place on the band, in tenths of a millimetre.
    double Left = 20, Top = 20, Width = 20, Height = 20;
    bool Enabled = true;
    bool Transparent = false;
    QRgb Color = 0xffffffff;

    TPgxFrame &Frame() { return m_frame; }
    TPgxAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TPgxAlignment a);
    bool AlignToBand() const { return m_alignToBand; }
    void SetAlignToBand(bool on);
    // Left, right or centre of the band, as the alignment says; only with AlignToBand.
    virtual void AlignIt();
    // The class of the printable's design-time editor, by name; the forms make the editor from
    // it. The base names the editor base, which edits nothing of its own.
    virtual QString GetEditorClass() const { return QStringLiteral("TPgxPrintableEditor"); }

    // Geometry as the user sees it, in the printable's units (which it takes from its band or
    // report); Left, Top, Width and Height stay in tenths of a millimetre.
    enum SizeIndex { SizeHeight = 0, SizeLeft = 1, SizeTop = 2, SizeWidth = 3 };
    double GetSizeValue(int index) const;
    void SetSizeValue(int index, double value);
    TPgxUnit GetUnits() const { return m_units; }
    void SetUnits(TPgxUnit unit) { m_units = unit; }

    TPgxCustomBand *Band() const { return m_band; }
    TCustomPagorra *ParentReport() const { return m_report; }
    // The report it is placed on: its own link, else its band's.
    TCustomPagorra *PlacedReport() const;
    void SetParentReport(TCustomPagorra *report) { m_report = report; }
    TPgxPrinter *Printer() const { return m_printer; }
    bool Printing() const { return m_printing; }

    void SetZoom(int) override {}
    void Prepare() override;
    void UnPrepare() override;
    void Repaint() override {}

    // Draws the printable with the band at (ofsX, ofsY) on the page; the base draws the frame.
    // Descendants that cannot place all their content clear PrintFinished and are printed again
    // at the top of the next column.
    virtual void Print(int32_t ofsX, int32_t ofsY);
    // A printable printed again on a fresh column that still placed nothing gives up: what is
    // left goes out clipped, so a report never loops on content that can never fit.
    virtual void ForceFinish() { PrintFinished = true; }
    virtual void PgxNotification(TPgxCustomBand *sender, TPgxNotifyOperation operation);
    virtual void GetExpandedHeight(double &height) { (void)height; }
    virtual void GetFieldString(QString &value) { (void)value; }
    // The picture of an image printable, null for the others; one placed on the report by the
    // name the report gives is drawn behind every page.
    virtual const QImage *Picture() const { return nullptr; }

    // Set by Print: all content placed. PrintProgress: some content placed by the last Print.
    bool PrintFinished = true;
    bool PrintProgress = true;

private:
    friend class TPgxCustomBand;
    TPgxFrame m_frame;
    TPgxAlignment m_alignment = TPgxAlignment::taLeftJustify;
    bool m_alignToBand = false;
    bool m_aligning = false;
    bool m_printing = false;
    TPgxUnit m_units = TPgxUnit::Native;
    TPgxCustomBand *m_band = nullptr;
    TCustomPagorra *m_report = nullptr;
    TPgxPrinter *m_printer = nullptr;
};

class TPgxCustomBand : public TPgxBasePanel
{
public:
    explicit TPgxCustomBand(TPgxBandType type = TPgxBandType::rbDetail);
    ~TPgxCustomBand() override;

    const QString &Name() const { return m_name; }
    // Controller bands also rename the report variable they publish.
    virtual void SetName(const QString &name) { m_name = name; }

    TPgxBandType BandType() const { return m_type; }
    // With a report, its band list is rebuilt. A type the band's kind cannot take is refused
    // (false) and changes nothing: only a child band is rbChild, and it stays one.
    bool SetBandType(TPgxBandType type);
    virtual bool TakesBandType(TPgxBandType type) const
    {
        return type != TPgxBandType::rbChild && type != TPgxBandType::rbSubDetail;
    }
    // The band as a child band; null for every other kind, whatever its type says.
    virtual TPgxChildBand *AsChildBand() { return nullptr; }
    const TPgxChildBand *AsChildBand() const { return const_cast<TPgxCustomBand *>(this)->AsChildBand(); }
    virtual QString BandTypeName() const { return PgxBandTypeName(m_type); }

    // Band size: GetValue and SetValue in the band's units (its report's), Height, Width and
    // SetHeight in tenths of a millimetre, as the values are held.
    TPgxBandSize Size{&m_sizeParent};
    double Height() const { return Size.Height(); }
    void SetHeight(double h) { Size.SetStored(0, h); }
    double Width() const { return Size.Width(); }
    TPgxUnit GetUnits() const { return Size.GetUnits(); }
    // The band and every printable on it show their sizes in unit from now on.
    void SetUnits(TPgxUnit unit);

    bool Enabled = true;
    bool ForceNewColumn = false;
    bool ForceNewPage = false;
    bool KeepOnOnePage = false;
    bool PreCaluculateBandHeight = false;
    bool AlignToBottom = false;
    bool TransparentBand = false;
    QRgb Color = 0xffffffff;

    std::function<void(TPgxCustomBand *, bool &printBand)> BeforePrint;
    std::function<void(TPgxCustomBand *, bool bandPrinted)> AfterPrint;

    TPgxCustomBand *LinkBand() const { return m_link; }
    // Refused (false) when the chain of links would come back to this band.
    bool SetLinkBand(TPgxCustomBand *band);

    TCustomPagorra *ParentReport() const { return m_report; }
    virtual void SetParentReport(TCustomPagorra *report);
    TPgxCustomController *ParentController() const { return m_controller; }
    void SetParentController(TPgxCustomController *c) { m_controller = c; }

    // Printables on the band, in placing order; the band owns them.
    template <class T, class... Args> T *AddPrintable(Args &&...args)
    {
        auto p = std::make_unique<T>(std::forward<Args>(args)...);
        T *raw = p.get();
        Adopt(std::move(p));
        return raw;
    }
    const std::vector<std::unique_ptr<TPgxPrintable>> &Printables() const { return m_printables; }
    // Frees one of the band's printables; false when it is not on this band.
    bool FreePrintable(TPgxPrintable *p);

    TPgxCustomBand *GetChild() const;
    bool HasChild() const { return GetChild() != nullptr; }
    // True creates a child band on the report; false frees it, keeping a grandchild.
    void SetHasChild(bool value);

    // The run.
    void Print();
    void MakeSpace();
    double StretchHeight(bool includeLinks) const;
    double ExpandedHeight();
    bool CanExpand(double value) const;
    bool ExpandBand(double value, double &newTop, bool &expanded);
    void AdvancePaper();
    double Expansion() const { return m_expansion; }
    PgxRect BandRect() const { return m_bandRect; }

protected:
    void Adopt(std::unique_ptr<TPgxPrintable> p);
    QString m_name;
    TPgxBandType m_type;
    TCustomPagorra *m_report = nullptr;

private:
    // What the band's size reads of its report: the font that makes a character.
    struct SizeParent : TPgxUnitParent {
        const TPgxCustomBand *band;
        explicit SizeParent(const TPgxCustomBand *b) : band(b) {}
        double FontSize() const override;
    } m_sizeParent{this};
    TPgxCustomBand *m_link = nullptr;
    TPgxCustomController *m_controller = nullptr;
    std::vector<std::unique_ptr<TPgxPrintable>> m_printables;
    double m_expansion = 0;
    double m_heightCache = 0;
    PgxRect m_bandRect;
};

class TPgxBand : public TPgxCustomBand
{
public:
    using TPgxCustomBand::TPgxCustomBand;
};

class TPgxChildBand : public TPgxCustomBand
{
public:
    TPgxChildBand() : TPgxCustomBand(TPgxBandType::rbChild) {}
    bool TakesBandType(TPgxBandType type) const override { return type == TPgxBandType::rbChild; }
    TPgxChildBand *AsChildBand() override { return this; }
    TPgxCustomBand *ParentBand() const { return m_parentBand; }
    // Refused (false) when the chain of parent bands would come back to this band.
    bool SetParentBand(TPgxCustomBand *band);

private:
    TPgxCustomBand *m_parentBand = nullptr;
};

} // namespace strandel
