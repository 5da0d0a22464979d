#include "report/printables/printables_text.h"

#include <algorithm>
#include <cmath>

#include "report/bands/pagorra.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"

namespace strandel {

// ---- paragraphs

namespace {

using WidthFn = std::function<int32_t(const QString &)>;

// How many leading characters of w make a line of their own: as many as keep the line strictly
// below the limit, and never fewer than one (nor half a surrogate pair). The count is found by
// doubling, then halving, so a long word costs a few measurements per line.
qsizetype FittingPrefix(QStringView w, const WidthFn &width, int32_t limit)
{
    auto fits = [&](qsizetype k) { return width(w.left(k).toString()) < limit; };
    const qsizetype n = w.size();
    qsizetype lo = 0, hi = 0;
    for (qsizetype k = 1;; k = std::min(n, k * 2)) {
        if (!fits(k)) {
            hi = k;
            break;
        }
        lo = k;
        if (k == n)
            return n;
    }
    while (hi - lo > 1) {
        const qsizetype mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    if (lo > 0 && lo < n && w.at(lo - 1).isHighSurrogate())
        --lo;
    if (lo == 0)
        lo = w.at(0).isHighSurrogate() && n > 1 ? 2 : 1;
    return lo;
}

// A frame's lines reach the report's export filter as shapes, as a band's do.
struct FrameToFilter : TPgxFrameShapeSink {
    TCustomPagorra &report;
    explicit FrameToFilter(TCustomPagorra &r) : report(r) {}
    void AcceptShape(const PgxFrameShape &shape) override { report.ExportShape(shape); }
};

struct ParagraphBreaker {
    const WidthFn &width;
    const PgxParagraphOptions &opt;
    QStringList &out;
    QString line;
    bool ended = false;

    void AddWord(const QString &word)
    {
        // Without word wrap, nothing after the first overflow of a paragraph prints.
        if (ended)
            return;
        if (width(line + word) <= opt.limit) {
            line += word;
            return;
        }
        if (!line.isEmpty()) {
            out << line;
            line.clear();
            if (!opt.wordWrap) {
                ended = true;
                return;
            }
            if (width(word) <= opt.limit) {
                line = word;
                return;
            }
        }
        // Too wide for a line of its own: cut it, and carry the rest on.
        QStringView w(word);
        for (;;) {
            const qsizetype k = FittingPrefix(w, width, opt.limit);
            if (k == w.size()) {
                line = w.toString();
                return;
            }
            out << w.left(k).toString();
            w = w.mid(k);
            if (!opt.wordWrap) {
                ended = true;
                return;
            }
            // A word holds a blank only at its end: one left alone is not a line.
            if (w == QLatin1String(" "))
                return;
            // What is left may still just fit (a width right at the limit).
            if (w.size() <= 2 && width(w.toString()) <= opt.limit) {
                line = w.toString();
                return;
            }
        }
    }

    void Run(const QString &s)
    {
        line.clear();
        ended = false;
        const qsizetype before = out.size();
        if (opt.autoSize) {
            out << s;
            return;
        }
        qsizetype start = 0;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QChar c = s.at(i);
            if (c == QLatin1Char(' ') || c == QLatin1Char('-')) {
                AddWord(s.mid(start, i - start + 1));
                start = i + 1;
            }
        }
        if (start < s.size())
            AddWord(s.mid(start));
        // An empty paragraph is one empty line; a cut word leaves nothing pending.
        if (!ended && (!line.isEmpty() || out.size() == before))
            out << line;
    }
};

} // namespace

void PgxFormatParagraph(const QString &text, const WidthFn &width, const PgxParagraphOptions &options,
                        QStringList &out)
{
    QString s = text;
    s.remove(QLatin1Char('\n'));
    ParagraphBreaker breaker{width, options, out, QString(), false};
    // Each carriage return ends a paragraph; what follows the last one is one more, even empty.
    qsizetype start = 0, cr;
    while ((cr = s.indexOf(QLatin1Char('\r'), start)) >= 0) {
        breaker.Run(s.mid(start, cr - start));
        start = cr + 1;
    }
    breaker.Run(start == 0 ? s : s.mid(start));
}

QStringList PgxSplitLines(const QString &text)
{
    QStringList lines;
    if (text.isEmpty())
        return lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

// ---- label

TPgxCustomLabel::TPgxCustomLabel()
{
    Transparent = false;
}

void TPgxCustomLabel::SetName(const QString &name)
{
    if (m_caption.isEmpty() || m_caption == PgxPrintableName(*this))
        SetCaption(name);
    PgxSetPrintableName(*this, name);
}

void TPgxCustomLabel::SetCaption(const QString &value)
{
    m_caption = value;
    m_printCaption = value;
    m_formatted = false;
    FormatLines();
}

void TPgxCustomLabel::SetLines(const QStringList &value)
{
    m_lines = value;
    m_formatted = false;
}

void TPgxCustomLabel::SetFont(const TPgxFont &font)
{
    m_font = font;
    m_formatted = false;
    FormatLines();
}

void TPgxCustomLabel::Loaded()
{
    if (m_fontSize > 0)
        SetFont([&] { TPgxFont f = m_font; f.Size = m_fontSize; return f; }());
}

double TPgxCustomLabel::PixelsPerTenth() const
{
    const int zoom = ParentReport() ? ParentReport()->Panel().Zoom() : 100;
    return PgxScreenPpi() / 254.0 * zoom / 100.0;
}

std::function<int32_t(const QString &)> TPgxCustomLabel::LineWidths() const
{
    auto measure = TextMetrics().Measurer(m_font.AtResolution(PgxScreenPpi()));
    if (!ParentReport())
        return [measure](const QString &s) { return PgxRound(measure(s)); };
    // The report measures one pixel more than the extent, then applies its zoom.
    const int64_t zoom = ParentReport()->Panel().Zoom();
    return [measure, zoom](const QString &s) {
        const int64_t w = PgxRound(measure(s));
        return int32_t(std::clamp<int64_t>(((w + 1) * zoom + 50) / 100, 0, INT32_MAX));
    };
}

int32_t TPgxCustomLabel::MinLineHeight() const
{
    const int zoom = ParentReport() ? ParentReport()->Panel().Zoom() : 100;
    const int64_t h = PgxRound(TextMetrics().Height(m_font.AtResolution(PgxScreenPpi())));
    return int32_t(std::clamp<int64_t>(h * zoom / 100 + 1, 1, INT32_MAX));
}

void TPgxCustomLabel::FormatParagraph(const QString &s, const std::function<int32_t(const QString &)> &width)
{
    PgxParagraphOptions o;
    o.autoSize = m_autoSize;
    o.wordWrap = m_wordWrap;
    o.limit = PgxRound(Width * PixelsPerTenth());
    PgxFormatParagraph(s, width, o, m_formattedLines);
}

void TPgxCustomLabel::FormatLines()
{
    if (!Band() && !ParentReport()) {
        m_formatted = true;
        return;
    }
    m_formattedLines.clear();
    const bool report = ParentReport() != nullptr;
    const double k = PixelsPerTenth();
    const auto width = LineWidths();
    if (GetCaptionBased()) {
        FormatParagraph(m_printCaption, width);
        if (report && !m_sizing) {
            m_sizing = true;
            const int32_t minH = MinLineHeight();
            if (PgxRound(Height * k) < minH)
                Height = minH / k;
            m_sizing = false;
        }
    } else if (m_lines.isEmpty()) {
        // An empty memo shows its name on the design surface, and prints nothing.
        if (!Printing())
            FormatParagraph(PgxPrintableName(*this), width);
    } else if (m_autoSize) {
        m_formattedLines = m_lines;
    } else {
        for (const QString &p : m_lines)
            FormatParagraph(p, width);
    }
    if (m_autoSize && !m_sizing && report) {
        m_sizing = true;
        int64_t newWidth = 0;
        for (const QString &l : m_formattedLines)
            newWidth = std::max<int64_t>(newWidth, width(l));
        const int frameWidth = std::max(0, Frame().Width());
        if (Frame().DrawLeft())
            newWidth += frameWidth;
        if (Frame().DrawRight())
            newWidth += frameWidth;
        TPgxAlignment a = Alignment();
        if (UseRightToLeftAlignment() && a != TPgxAlignment::taCenter)
            a = a == TPgxAlignment::taLeftJustify ? TPgxAlignment::taRightJustify : TPgxAlignment::taLeftJustify;
        const int64_t leftPx = PgxRound(Left * k), widthPx = PgxRound(Width * k);
        if (a == TPgxAlignment::taRightJustify)
            Left = double(leftPx + widthPx - newWidth) / k;
        else if (a == TPgxAlignment::taCenter)
            Left = double(leftPx + (widthPx - newWidth) / 2) / k;
        Width = double(newWidth) / k;
        const int32_t minH = MinLineHeight();
        if (!Printing() && m_formattedLines.isEmpty())
            Height = minH / k;
        if (PgxRound(Height * k) < minH)
            Height = minH / k;
        m_sizing = false;
    }
    m_formatted = true;
}

void TPgxCustomLabel::Prepare()
{
    TPgxPrintable::Prepare();
    m_currentLine = 0;
    SetCaption(QString(m_caption));
}

void TPgxCustomLabel::UnPrepare()
{
    TPgxPrintable::UnPrepare();
}

double TPgxCustomLabel::PrintLineHeight() const
{
    // On the printer's resolution, so that heights match what is printed there.
    const TPgxPrinter *p = Printer();
    const double yf = p && p->YFactor() > 0 ? p->YFactor() : PgxScreenPpi() / 254.0;
    return TextMetrics().Height(m_font.AtResolution(yf * 254.0)) / yf;
}

void TPgxCustomLabel::Print(int32_t ofsX, int32_t ofsY)
{
    PrintProgress = true;
    if (!Enabled) {
        PrintFinished = true;
        return;
    }
    TPgxPrinter *p = Printer();
    PrintToCanvas(p ? p->Canvas() : nullptr, Left + ofsX, Top + ofsY, Width, Height, PrintLineHeight(), m_autoStretch);
}

void TPgxCustomLabel::ForceFinish()
{
    m_currentLine = int32_t(m_formattedLines.size());
    PrintFinished = true;
}

void TPgxCustomLabel::PrintToCanvas(TPgxPageCanvas *canvas, double aLeft, double aTop, double aWidth,
                                    double aHeight, double lineHeight, bool canExpand)
{
    TCustomPagorra *report = ParentReport();
    TPgxPrinter *printer = Printer();
    if (!report || !printer) {
        PrintFinished = true;
        PrintProgress = true;
        return;
    }
    const double leftBefore = Left;
    QString savedCaption;
    bool restore = false;
    if (!m_printCaption.isEmpty() && OnPrint) {
        QString value = m_printCaption;
        OnPrint(this, value);
        aHeight = Height;
        lineHeight = PrintLineHeight();
        if (value != m_printCaption) {
            savedCaption = m_printCaption;
            restore = true;
            m_printCaption = value;
            FormatLines();
        }
    }
    FormatLines();
    // An auto-sized printable may have moved: its box, fill and frame go with it.
    aLeft += Left - leftBefore;
    aWidth = Width;

    const PgxFont deviceFont = m_font.AtResolution(printer->YFactor() * 254.0);
    const bool canvasOut = report->CanvasOutput() && canvas;
    if (canvasOut) {
        canvas->SetFont(deviceFont);
        if (!Transparent) {
            canvas->SetBrush({Color, PgxBrushStyle::Solid});
            canvas->FillRect({printer->XPos(aLeft), printer->YPos(aTop), printer->XPos(aLeft + aWidth),
                              printer->YPos(aTop + aHeight)});
        }
    }
    const double boxLeft = aLeft, boxTop = aTop;
    if (Frame().AnyFrame()) {
        // The frame width is in points; a hairline takes no room.
        const double shift = std::max(0, PgxRound(Frame().Width() / 72.0 * 254.0));
        if (Frame().DrawTop())
            aTop += shift;
        if (Frame().DrawLeft())
            aLeft += shift;
    }
    double bottom = aTop + aHeight + 1.0;
    double y = aTop;
    double x = aLeft;
    TPgxAlignment a = Alignment();
    if (UseRightToLeftAlignment() && a != TPgxAlignment::taCenter)
        a = a == TPgxAlignment::taLeftJustify ? TPgxAlignment::taRightJustify : TPgxAlignment::taLeftJustify;
    uint32_t flags = PgxTextNoClip;
    PgxAlignment exportAlign = PgxAlignment::LeftJustify;
    if (a == TPgxAlignment::taRightJustify) {
        flags |= PgxTextRight;
        exportAlign = PgxAlignment::RightJustify;
        x += aWidth;
    } else if (a == TPgxAlignment::taCenter) {
        flags |= PgxTextHCenter;
        exportAlign = PgxAlignment::Center;
        x += aWidth / 2;
    }

    if (PrintFinished)
        m_currentLine = 0;
    double expanded = 0;
    bool hasExpanded = false;
    int printed = 0;
    TPgxCustomBand *band = Band();
    const int32_t count = int32_t(m_formattedLines.size());
    while (m_currentLine < count) {
        if (!(y + lineHeight <= bottom)) {
            if (!canExpand || !band || !band->CanExpand(lineHeight))
                break;
            const double before = expanded;
            double newTop = expanded;
            band->ExpandBand(lineHeight, newTop, hasExpanded);
            if (!(newTop > before))
                break;
            expanded = newTop;
            bottom = aTop + aHeight + 1.0 + expanded;
            if (canvasOut && !Transparent)
                canvas->FillRect({printer->XPos(boxLeft), printer->YPos(boxTop + aHeight + before),
                                  printer->XPos(boxLeft + aWidth), printer->YPos(boxTop + aHeight + expanded)});
            continue;
        }
        const QString &line = m_formattedLines.at(m_currentLine);
        if (canvasOut && !line.isEmpty()) {
            const int32_t px = printer->XPos(x), py = printer->YPos(y);
            canvas->Text({px, py, px, py}, flags, line);
        }
        if (report->Exporting())
            report->ExportFilter()->TextOut(x, y, deviceFont, Color, exportAlign, line);
        y += lineHeight;
        ++m_currentLine;
        ++printed;
    }
    PrintFinished = m_currentLine >= count || !m_autoStretch;
    PrintProgress = printed > 0 || PrintFinished;
    if (canvas)
        canvas->ResetClip();
    if (restore) {
        m_printCaption = savedCaption;
        m_formatted = false;
    }
    if ((canvasOut || report->Exporting()) && canvas && Frame().AnyFrame()) {
        FrameToFilter sink(*report);
        Frame().PaintIt(*canvas,
                        {printer->XPos(boxLeft), printer->YPos(boxTop), printer->XPos(boxLeft + aWidth),
                         printer->YPos(boxTop + Height + expanded)},
                        printer->XFactor(), printer->YFactor(), report->Exporting() ? &sink : nullptr);
    }
}

// ---- memo

void TPgxMemo::Print(int32_t ofsX, int32_t ofsY)
{
    SetCaption(QString());
    TPgxCustomLabel::Print(ofsX, ofsY);
    SetCaption(PgxPrintableName(*this));
}

void TPgxMemo::GetExpandedHeight(double &height)
{
    FormatLines();
    // Measured as the lines print, so the height holds on every printer.
    height = double(m_formattedLines.size()) * PrintLineHeight();
}

} // namespace strandel
