#pragma once
// Rich text printables: formatted text laid out inside the printable's rectangle, growing the
// band in steps while text remains (AutoStretch), and continuing on the next page from the first
// character not yet printed. TPgxDBRichText takes its text from a memo or blob field.
#include <cstdint>
#include <memory>
#include <string>

#include <QFont>
#include <QString>
#include <QTextDocument>

#include "report/bands/band.h"
#include "report/data/dataset.h"
#include "report/pages/metafile.h"
#include "report/pages/richtext.h"

namespace strandel {

// The text holder the rich text printables lay out: its Lines are rich text (RTF) or plain
// text, shown in its font, colour and alignment where the text itself says nothing.
class TPgxRichEdit
{
public:
    TPgxRichEdit();

    QString Lines() const { return m_text; }
    void SetLines(const QString &text);
    void Clear() { SetLines(QString()); }
    QFont Font() const { return m_defaults.font; }
    void SetFont(const QFont &font);
    QRgb FontColor() const { return m_defaults.color; }
    void SetFontColor(QRgb color);
    TPgxAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TPgxAlignment a);
    // Background of the control; the printable fills nothing with it.
    QRgb Color = 0xffffffff;

    // Characters of the laid-out text (paragraph ends count one each).
    int32_t GetTextLen();
    // The page formatting at a device resolution: from character start, the whole lines that
    // fit the rectangle (device pixels), drawn onto canvas when one is given; returns the first
    // character not placed.
    int32_t FormatRange(TPgxPageCanvas *canvas, const PgxRect &rect, int32_t start, int dpiX, int dpiY);
    // Height in device pixels the text from start needs in that width.
    int32_t TextHeight(int32_t width, int32_t start, int dpiX, int dpiY);
    // Drops the cached layout.
    void ReleaseLayout();
    QTextDocument &Document();

private:
    TPgxRichLayout &Layout(int dpiX, int dpiY);
    QString m_text;
    PgxRichTextDefaults m_defaults;
    TPgxAlignment m_alignment = TPgxAlignment::taLeftJustify;
    std::unique_ptr<QTextDocument> m_doc;
    std::unique_ptr<TPgxRichLayout> m_layout;
    int m_dpiX = 0, m_dpiY = 0;
};

class TPgxCustomRichText : public TPgxPrintable
{
public:
    // Band growth per step, in tenths of a millimetre.
    static constexpr double StretchStep = 50;

    TPgxCustomRichText();

    // The text's own alignment, colour, font and lines (of the inner rich edit).
    TPgxAlignment TextAlignment() { return Edit().Alignment(); }
    void SetTextAlignment(TPgxAlignment a) { Edit().SetAlignment(a); }
    QRgb RichColor() { return Edit().Color; }
    void SetRichColor(QRgb c) { Edit().Color = c; }
    QFont Font() { return Edit().Font(); }
    void SetFont(const QFont &f) { Edit().SetFont(f); }
    QString Lines() { return Edit().Lines(); }
    void SetLines(const QString &text);

    bool AutoStretch = false;
    // An outside rich edit whose text is printed instead of the own one (not owned).
    TPgxRichEdit *ParentRichEdit() const { return m_parent; }
    void SetParentRichEdit(TPgxRichEdit *edit);
    TPgxRichEdit &InnerRichEdit() { return m_inner; }

    // The first character not yet printed; a continued print starts there.
    int32_t LastChar() const { return m_lastChar; }

    void Print(int32_t ofsX, int32_t ofsY) override;
    void ForceFinish() override;

    // The picture a print offers an export filter: the rendered area of the last print.
    const TPgxMetafile *ExportPicture() const { return m_exportPicture.get(); }

protected:
    // The rich edit used for printing and measuring: the parent when set, else the inner one.
    TPgxRichEdit &Edit() { return m_parent ? *m_parent : m_inner; }
    int DpiX() const;
    int DpiY() const;

private:
    int32_t m_lastChar = 0;
    TPgxRichEdit *m_parent = nullptr;
    TPgxRichEdit m_inner;
    std::unique_ptr<TPgxMetafile> m_exportPicture;
};

class TPgxRichText : public TPgxCustomRichText
{
};

class TPgxDBRichText : public TPgxCustomRichText
{
public:
    std::string DataField;
    report::PgxDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(report::PgxDataSet *ds) { m_dataSet = ds; }
    // The data set is going away: forget it.
    void Notification(const report::PgxDataSet *removed)
    {
        if (removed == m_dataSet)
            m_dataSet = nullptr;
    }
    const report::PgxField *Field() const { return m_field; }

    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;
    void GetFieldString(QString &value) override;
    // The height, in tenths of a millimetre, the field's text needs at the printable's width:
    // the design height, grown in whole steps until everything fits.
    void GetExpandedHeight(double &height) override;

private:
    void LoadField();
    report::PgxDataSet *m_dataSet = nullptr;
    const report::PgxField *m_field = nullptr;
};

} // namespace strandel
