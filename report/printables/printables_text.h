#pragma once
// Text printables: a label prints its caption, a memo its lines. Both break the text into lines
// that fit the printable's width, size themselves to the text when asked, and when the band may
// stretch, grow it line by line and carry what does not fit to the next page.
//
// Text is laid out in screen pixels, as the design surface shows it, and printed in tenths of a
// millimetre on the report printer.
#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>

#include "report/bands/band.h"
#include "report/pages/textmetrics.h"

namespace strandel {

class TPgxPageCanvas;

// How one paragraph is broken into lines: widths come from width(), the limit is in the same
// pixels. A word too wide for a line of its own is cut, and its rest goes on the next lines;
// every line takes at least one character, so the breaking always ends.
struct PgxParagraphOptions {
    bool autoSize = false; // one line per paragraph, nothing wrapped
    bool wordWrap = true;  // off: one line per paragraph, cut at the first word that overflows
    int32_t limit = 0;
};
void PgxFormatParagraph(const QString &text, const std::function<int32_t(const QString &)> &width,
                        const PgxParagraphOptions &options, QStringList &out);
// Splits a text into lines at CR LF, CR or LF, as a memo's text is read.
QStringList PgxSplitLines(const QString &text);

// The component name of a printable: the one place that knows where the base keeps it.
inline const QString &PgxPrintableName(const TPgxPrintable &p)
{
    return p.Name;
}
inline void PgxSetPrintableName(TPgxPrintable &p, const QString &name)
{
    p.Name = name;
}

class TPgxCustomLabel : public TPgxPrintable
{
public:
    using TPgxLabelOnPrintEvent = std::function<void(TPgxCustomLabel *sender, QString &value)>;

    TPgxCustomLabel();

    // A caption that is empty or still the old name follows the name.
    void SetName(const QString &name);

    const QString &Caption() const { return m_caption; }
    void SetCaption(const QString &value);
    const QStringList &Lines() const { return m_lines; }
    // Formatted again when next printed.
    void SetLines(const QStringList &value);

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on) { m_autoSize = on; }
    bool AutoStretch() const { return m_autoStretch; }
    void SetAutoStretch(bool on) { m_autoStretch = on; }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool on) { m_wordWrap = on; }
    const TPgxFont &Font() const { return m_font; }
    void SetFont(const TPgxFont &font);
    // Right-to-left reading: alignment mirrors, and the text goes out with that reading order.
    bool RightToLeft = false;
    virtual bool UseRightToLeftAlignment() const { return RightToLeft; }

    // May replace the caption just before it prints (never for memos).
    TPgxLabelOnPrintEvent OnPrint;
    // How text is measured; null is Qt's font metrics.
    const TPgxTextMetrics *Metrics = nullptr;

    // The stored form's "FontSize": written always, applied by Loaded when above 0.
    int32_t WriteFontSize() const { return m_font.Size; }
    void ReadFontSize(int32_t size) { m_fontSize = size; }
    void Loaded();

    virtual bool GetCaptionBased() const { return m_captionBased; }
    // Breaks the text into the printed lines (and resizes an AutoSize printable).
    virtual void FormatLines();
    const QStringList &FormattedLines() const { return m_formattedLines; }
    int CurrentLine() const { return m_currentLine; }

    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;
    void ForceFinish() override;
    // Prints the formatted lines into the box (tenths of a millimetre); lineHeight likewise.
    void PrintToCanvas(TPgxPageCanvas *canvas, double aLeft, double aTop, double aWidth, double aHeight,
                       double lineHeight, bool canExpand);
    // Height of one printed line in tenths of a millimetre, measured on the report printer.
    double PrintLineHeight() const;

protected:
    const TPgxTextMetrics &TextMetrics() const { return Metrics ? *Metrics : PgxDefaultTextMetrics(); }
    // Screen pixels per tenth of a millimetre at the report's zoom.
    double PixelsPerTenth() const;
    // Widths of lines in screen pixels at the report's zoom.
    std::function<int32_t(const QString &)> LineWidths() const;
    int32_t LineWidth(const QString &s) const { return LineWidths()(s); }
    int32_t MinLineHeight() const;
    void FormatParagraph(const QString &s, const std::function<int32_t(const QString &)> &width);

    bool m_captionBased = true;
    bool m_formatted = false;
    QString m_printCaption;
    QStringList m_formattedLines;
    QStringList m_lines;

private:
    bool m_autoSize = true;
    bool m_autoStretch = false;
    bool m_wordWrap = true;
    bool m_sizing = false;
    QString m_caption;
    int32_t m_currentLine = 0;
    int32_t m_fontSize = 0;
    TPgxFont m_font;
};

class TPgxLabel : public TPgxCustomLabel
{
public:
    TPgxLabel() = default;
    QString GetEditorClass() const override { return QStringLiteral("TPgxLabelEditor"); }
};

class TPgxMemo : public TPgxCustomLabel
{
public:
    TPgxMemo() { m_captionBased = false; }
    bool GetCaptionBased() const override { return false; }
    void Print(int32_t ofsX, int32_t ofsY) override;
    // The height its formatted lines need, in tenths of a millimetre.
    void GetExpandedHeight(double &height) override;
};

} // namespace strandel
