#include "report/printables/printables_richtext.h"

#include <algorithm>
#include <cmath>

#include "report/bands/pagorra.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"

namespace strandel {

// ---- the text holder

TPgxRichEdit::TPgxRichEdit() = default;

void TPgxRichEdit::SetLines(const QString &text)
{
    if (text == m_text && m_doc)
        return;
    m_text = text;
    m_doc.reset();
    m_layout.reset();
}

void TPgxRichEdit::SetFont(const QFont &font)
{
    m_defaults.font = font;
    m_doc.reset();
    m_layout.reset();
}

void TPgxRichEdit::SetFontColor(QRgb color)
{
    m_defaults.color = color;
    m_doc.reset();
    m_layout.reset();
}

void TPgxRichEdit::SetAlignment(TPgxAlignment a)
{
    m_alignment = a;
    m_defaults.alignment = a == TPgxAlignment::taRightJustify ? Qt::AlignRight
                           : a == TPgxAlignment::taCenter     ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
    m_doc.reset();
    m_layout.reset();
}

QTextDocument &TPgxRichEdit::Document()
{
    if (!m_doc) {
        m_doc = std::make_unique<QTextDocument>();
        PgxReadRichText(*m_doc, m_text.toLatin1(), m_defaults);
        m_layout.reset();
    }
    return *m_doc;
}

TPgxRichLayout &TPgxRichEdit::Layout(int dpiX, int dpiY)
{
    QTextDocument &doc = Document();
    if (!m_layout || dpiX != m_dpiX || dpiY != m_dpiY) {
        m_layout = std::make_unique<TPgxRichLayout>(doc, dpiX, dpiY);
        m_dpiX = dpiX;
        m_dpiY = dpiY;
    }
    return *m_layout;
}

int32_t TPgxRichEdit::GetTextLen()
{
    return std::max(0, Document().characterCount() - 1);
}

int32_t TPgxRichEdit::FormatRange(TPgxPageCanvas *canvas, const PgxRect &rect, int32_t start, int dpiX, int dpiY)
{
    return Layout(dpiX, dpiY).FormatRange(canvas, rect, start);
}

int32_t TPgxRichEdit::TextHeight(int32_t width, int32_t start, int dpiX, int dpiY)
{
    return Layout(dpiX, dpiY).HeightFrom(width, start);
}

void TPgxRichEdit::ReleaseLayout()
{
    if (m_layout)
        m_layout->Release();
}

// ---- rich text printable

TPgxCustomRichText::TPgxCustomRichText()
{
    PrintFinished = true;
    // 100 x 100 screen pixels (96 per inch), in tenths of a millimetre.
    Width = Height = std::round(100 * 254.0 / 96.0);
}

void TPgxCustomRichText::SetLines(const QString &text)
{
    m_inner.SetLines(text);
    if (m_parent)
        m_parent->SetLines(text);
}

void TPgxCustomRichText::SetParentRichEdit(TPgxRichEdit *edit)
{
    m_parent = edit;
    if (edit)
        m_inner.SetLines(edit->Lines());
}

int TPgxCustomRichText::DpiX() const
{
    return Printer() ? std::max(1, int(std::lround(Printer()->XFactor() * 254))) : 96;
}

int TPgxCustomRichText::DpiY() const
{
    return Printer() ? std::max(1, int(std::lround(Printer()->YFactor() * 254))) : 96;
}

void TPgxCustomRichText::ForceFinish()
{
    PrintFinished = true;
    m_lastChar = 0;
    Edit().ReleaseLayout();
}

void TPgxCustomRichText::Print(int32_t ofsX, int32_t ofsY)
{
    TPgxPrinter *pr = Printer();
    TCustomPagorra *rep = ParentReport();
    if (!pr || !rep) {
        PrintFinished = true;
        PrintProgress = true;
        return;
    }
    TPgxRichEdit &edit = Edit();
    const int dpiX = DpiX(), dpiY = DpiY();
    PgxRect rect{pr->XPos(ofsX + Left), pr->YPos(ofsY + Top), pr->XPos(ofsX + Left + Width),
                 pr->YPos(ofsY + Top + Height)};
    if (PrintFinished)
        m_lastChar = 0;
    const int32_t start = m_lastChar;
    const int32_t length = edit.GetTextLen();
    TPgxPageCanvas *canvas = rep->CanvasOutput() ? pr->Canvas() : nullptr;

    m_lastChar = edit.FormatRange(nullptr, rect, start, dpiX, dpiY);
    if (m_lastChar < length && AutoStretch && Band() && length > 0) {
        PrintFinished = false;
        // The band grows a step at a time while text remains; once everything fits it stops.
        double expanded = 0;
        bool stepped = false;
        while (m_lastChar < length && Band()->CanExpand(StretchStep)) {
            Band()->ExpandBand(StretchStep, expanded, stepped);
            rect.bottom = pr->YPos(ofsY + Top + Height + expanded);
            m_lastChar = edit.FormatRange(nullptr, rect, start, dpiX, dpiY);
        }
        // Drawn once, in the rectangle the band finally gives.
        m_lastChar = edit.FormatRange(canvas, rect, start, dpiX, dpiY);
        if (m_lastChar >= length || m_lastChar < 0) {
            m_lastChar = length;
            PrintFinished = true;
        }
        PrintProgress = PrintFinished || m_lastChar > start;
    } else {
        // What does not fit is cut: the printable is done with this record either way.
        m_lastChar = edit.FormatRange(canvas, rect, start, dpiX, dpiY);
        PrintFinished = true;
        TPgxPrintable::Print(ofsX, ofsY);
    }

    if (rep->Exporting()) {
        // The rendered area once more, as a picture of the rectangle's size for the filter.
        const int32_t w = std::max(1, rect.right - rect.left), h = std::max(1, rect.bottom - rect.top);
        m_exportPicture = std::make_unique<TPgxMetafile>(w, h, dpiX, dpiY);
        TPgxMetafileCanvas picture(*m_exportPicture);
        edit.FormatRange(&picture, {0, 0, w, h}, start, dpiX, dpiY);
        rep->ExportFilter()->AcceptGraphic(pr->XPos(ofsX + Left), pr->YPos(ofsY + Top), this);
    }
    if (PrintFinished)
        edit.ReleaseLayout();
}

// ---- data-bound rich text

void TPgxDBRichText::Prepare()
{
    TPgxCustomRichText::Prepare();
    m_field = m_dataSet ? m_dataSet->FindField(DataField) : nullptr;
    if (m_field && m_field->IsBlob())
        Edit().Clear();
}

void TPgxDBRichText::UnPrepare()
{
    m_field = nullptr;
    TPgxCustomRichText::UnPrepare();
}

void TPgxDBRichText::LoadField()
{
    if (m_field && m_field->IsBlob())
        Edit().SetLines(QString::fromLatin1(m_field->AsBytes()));
}

void TPgxDBRichText::Print(int32_t ofsX, int32_t ofsY)
{
    LoadField();
    TPgxCustomRichText::Print(ofsX, ofsY);
}

void TPgxDBRichText::GetFieldString(QString &value)
{
    if (!Enabled)
        return;
    Prepare();
    if (!m_field) {
        value.clear();
        return;
    }
    if (m_field->IsBlob())
        Edit().SetLines(QString::fromLatin1(m_field->AsString().c_str()));
    else if (m_field->Kind() == report::PgxFieldKind::String)
        value = QString::fromStdString(m_field->DisplayText());
}

void TPgxDBRichText::GetExpandedHeight(double &height)
{
    QString unused;
    GetFieldString(unused);
    TPgxPrinter *pr = Printer();
    if (!pr || !Enabled)
        return;
    TPgxRichEdit &edit = Edit();
    const int dpiX = DpiX(), dpiY = DpiY();
    const int32_t width = pr->XSize(Width);
    const int32_t length = edit.GetTextLen();
    double extra = 0;
    if (length > 0 && edit.FormatRange(nullptr, {0, 0, width, pr->YSize(Height)}, 0, dpiX, dpiY) < length) {
        // Start from the whole steps the text's height asks for, then step until it all fits
        // (and no further: the text is finite, so this ends).
        const double need = edit.TextHeight(width, 0, dpiX, dpiY) / std::max(1e-9, pr->YFactor());
        extra = std::max(0.0, std::floor((need - Height) / StretchStep) * StretchStep);
        for (int guard = 0; guard < 1000; ++guard) {
            const int32_t end = edit.FormatRange(nullptr, {0, 0, width, pr->YSize(Height + extra)}, 0, dpiX, dpiY);
            if (end >= length || end < 0)
                break;
            extra += StretchStep;
        }
    }
    height = Height + extra;
    edit.ReleaseLayout();
}

} // namespace strandel
