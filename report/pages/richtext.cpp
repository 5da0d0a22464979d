#include "report/pages/richtext.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

namespace strandel {

namespace {

// Paragraph indents and spacing stay in twips on the block; the layout turns them into pixels
// of its device.
constexpr int kTwipLeft = QTextFormat::UserProperty + 1;
constexpr int kTwipRight = QTextFormat::UserProperty + 2;
constexpr int kTwipFirst = QTextFormat::UserProperty + 3;
constexpr int kTwipBefore = QTextFormat::UserProperty + 4;
constexpr int kTwipAfter = QTextFormat::UserProperty + 5;

// Limits that keep hostile input small: group nesting, table sizes, font size, indents.
constexpr size_t kMaxDepth = 512;
constexpr size_t kMaxTable = 1024;
constexpr int kMaxHalfPoints = 3276;  // 1638 points
constexpr int kMaxTwips = 31680;      // 22 inches

// Windows-1252 for 0x80-0x9F; the rest of the byte range is Latin-1.
const char16_t kCp1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QChar FromByte(uint8_t b)
{
    return b >= 0x80 && b < 0xA0 ? QChar(kCp1252[b - 0x80]) : QChar(b);
}

enum class Dest : uint8_t { Text, FontTable, ColorTable, Skip };

struct Para {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0;
};

struct State {
    Dest dest = Dest::Text;
    bool bold = false, italic = false, underline = false, strike = false;
    int halfPoints = 0; // 0: the default size
    int font = -1;      // font table entry; -1: the default font
    int color = 0;      // colour table entry; 0: the default colour
    int uc = 1;         // characters that stand in for a \u character
    Para para;
};

class Reader
{
public:
    Reader(QTextDocument &doc, const QByteArray &in, const PgxRichTextDefaults &d)
        : m_in(in), m_def(d), m_cursor(&doc)
    {
        m_stack.push_back(State{});
        m_stack.back().para.align = d.alignment;
        m_textPara = m_stack.back().para;
        m_colors.push_back(d.color);
    }

    void Run()
    {
        size_t i = 0;
        const size_t n = size_t(m_in.size());
        while (i < n) {
            const uint8_t c = uint8_t(m_in[qsizetype(i)]);
            if (c == '{') {
                Flush();
                Push();
                ++i;
            } else if (c == '}') {
                Flush();
                Pop();
                ++i;
            } else if (c == '\\') {
                i = Control(i + 1);
            } else {
                if (c != '\r' && c != '\n')
                    Char(c == '\t' ? QChar('\t') : FromByte(c), true);
                ++i;
            }
        }
        Flush();
        // The last paragraph ends with the text: it keeps what was in effect for its characters.
        EndParagraph(false, m_textPara);
    }

private:
    State &S() { return m_stack.back(); }

    void Push()
    {
        m_skipChars = 0;
        if (m_stack.size() >= kMaxDepth) {
            ++m_overflow;
            return;
        }
        m_stack.push_back(m_stack.back());
    }
    void Pop()
    {
        m_skipChars = 0;
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (m_stack.size() > 1) {
            const Dest was = S().dest;
            m_stack.pop_back();
            if (was == Dest::FontTable && S().dest != Dest::FontTable)
                CommitFont();
        }
    }

    // A control word or symbol starting at i (after the backslash); returns where reading goes on.
    size_t Control(size_t i)
    {
        const size_t n = size_t(m_in.size());
        if (i >= n)
            return i;
        const uint8_t c = uint8_t(m_in[qsizetype(i)]);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            // Control symbols.
            switch (c) {
            case '\\': case '{': case '}': Char(QChar(c), true); return i + 1;
            case '~': Char(QChar(0xA0), true); return i + 1;
            case '_': Char(QChar(0x2011), true); return i + 1;
            case '-': return i + 1; // an optional hyphen is not printed
            case '*': Flush(); S().dest = Dest::Skip; return i + 1;
            case '\r': case '\n': Flush(); EndParagraph(true); return i + 1;
            case '\'': {
                int v = 0, digits = 0;
                for (size_t k = i + 1; k < n && digits < 2; ++k, ++digits) {
                    const char ch = m_in[qsizetype(k)];
                    const int hex = (ch >= '0' && ch <= '9') ? ch - '0'
                                    : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10
                                    : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : -1;
                    if (hex < 0)
                        break;
                    v = v * 16 + hex;
                }
                if (digits > 0)
                    Char(FromByte(uint8_t(v)), true);
                return i + 1 + size_t(digits);
            }
            default: return i + 1;
            }
        }
        size_t k = i;
        QByteArray word;
        while (k < n && word.size() < 32) {
            const char ch = m_in[qsizetype(k)];
            if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')))
                break;
            word += ch;
            ++k;
        }
        bool hasParam = false, negative = false;
        int64_t param = 0;
        if (k < n && m_in[qsizetype(k)] == '-') {
            negative = true;
            ++k;
        }
        int digits = 0;
        while (k < n && m_in[qsizetype(k)] >= '0' && m_in[qsizetype(k)] <= '9') {
            if (digits < 10)
                param = param * 10 + (m_in[qsizetype(k)] - '0');
            hasParam = true;
            ++digits;
            ++k;
        }
        if (negative)
            param = -param;
        param = std::clamp<int64_t>(param, INT32_MIN, INT32_MAX);
        if (k < n && m_in[qsizetype(k)] == ' ')
            ++k;
        Word(word, hasParam, int(param));
        return k;
    }

    void Word(const QByteArray &w, bool hasParam, int p)
    {
        State &s = S();
        if (s.dest == Dest::Skip)
            return;
        const bool on = !hasParam || p != 0;
        if (s.dest == Dest::FontTable) {
            if (w == "f") {
                CommitFont();
                m_fontIndex = p;
            }
            return;
        }
        if (s.dest == Dest::ColorTable) {
            if (w == "red")
                m_rgb[0] = std::clamp(p, 0, 255), m_rgbSet = true;
            else if (w == "green")
                m_rgb[1] = std::clamp(p, 0, 255), m_rgbSet = true;
            else if (w == "blue")
                m_rgb[2] = std::clamp(p, 0, 255), m_rgbSet = true;
            return;
        }
        static const char *const kSkipped[] = {"stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
                                               "headerf", "footer", "footerl", "footerr", "footerf", "footnote",
                                               "fldinst", "listtable", "listoverridetable", "rsidtbl", "generator",
                                               "themedata", "colorschememapping", "latentstyles", "datastore",
                                               "xmlnstbl", "filetbl", "revtbl", "mmathPr", "pgdsctbl", "nonshppict"};
        for (const char *d : kSkipped)
            if (w == d) {
                Flush();
                s.dest = Dest::Skip;
                return;
            }
        if (w == "fonttbl") {
            Flush();
            s.dest = Dest::FontTable;
            m_fontIndex = -1;
            m_fontName.clear();
        } else if (w == "colortbl") {
            Flush();
            s.dest = Dest::ColorTable;
            m_colors.clear();
        } else if (w == "par") {
            Flush();
            EndParagraph(true);
        } else if (w == "line") {
            Char(QChar::LineSeparator, false);
        } else if (w == "tab") {
            Char(QChar('\t'), false);
        } else if (w == "emdash") {
            Char(QChar(0x2014), false);
        } else if (w == "endash") {
            Char(QChar(0x2013), false);
        } else if (w == "bullet") {
            Char(QChar(0x2022), false);
        } else if (w == "lquote") {
            Char(QChar(0x2018), false);
        } else if (w == "rquote") {
            Char(QChar(0x2019), false);
        } else if (w == "ldblquote") {
            Char(QChar(0x201C), false);
        } else if (w == "rdblquote") {
            Char(QChar(0x201D), false);
        } else if (w == "u" && hasParam) {
            int code = p < 0 ? p + 65536 : p;
            const QChar ch(char16_t(code & 0xFFFF));
            Char(code > 0xFFFF || ch.isSurrogate() || ch.isNonCharacter() ? QChar(QChar::ReplacementCharacter) : ch, false);
            m_skipChars = s.uc;
        } else if (w == "uc") {
            s.uc = std::clamp(p, 0, 8);
        } else {
            Format(w, hasParam, p, on);
        }
    }

    void Format(const QByteArray &w, bool hasParam, int p, bool on)
    {
        State &s = S();
        State before = s;
        if (w == "b") s.bold = on;
        else if (w == "i") s.italic = on;
        else if (w == "ul") s.underline = on;
        else if (w == "ulnone") s.underline = false;
        else if (w == "strike") s.strike = on;
        else if (w == "fs" && hasParam) s.halfPoints = std::clamp(p, 2, kMaxHalfPoints);
        else if (w == "f" && hasParam) s.font = p;
        else if (w == "cf") s.color = hasParam ? p : 0;
        else if (w == "plain") {
            s.bold = s.italic = s.underline = s.strike = false;
            s.halfPoints = 0;
            s.font = -1;
            s.color = 0;
        } else if (w == "pard") {
            s.para = Para{};
            s.para.align = m_def.alignment;
        } else if (w == "ql") s.para.align = Qt::AlignLeft;
        else if (w == "qr") s.para.align = Qt::AlignRight;
        else if (w == "qc") s.para.align = Qt::AlignHCenter;
        else if (w == "qj") s.para.align = Qt::AlignJustify;
        else if (w == "li") s.para.left = std::clamp(p, 0, kMaxTwips);
        else if (w == "ri") s.para.right = std::clamp(p, 0, kMaxTwips);
        else if (w == "fi") s.para.first = std::clamp(p, -kMaxTwips, kMaxTwips);
        else if (w == "sb") s.para.before = std::clamp(p, 0, kMaxTwips);
        else if (w == "sa") s.para.after = std::clamp(p, 0, kMaxTwips);
        else return; // a control word of no consequence here
        if (before.bold != s.bold || before.italic != s.italic || before.underline != s.underline ||
            before.strike != s.strike || before.halfPoints != s.halfPoints || before.font != s.font ||
            before.color != s.color) {
            // The run so far keeps the format it was read with.
            State now = s;
            s = before;
            Flush();
            s = now;
        }
    }

    void Char(QChar ch, bool countsForSkip)
    {
        State &s = S();
        if (countsForSkip && m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        if (s.dest == Dest::Skip)
            return;
        if (s.dest == Dest::FontTable) {
            if (ch == ';')
                CommitFont();
            else if (m_fontName.size() < 64)
                m_fontName += ch;
            return;
        }
        if (s.dest == Dest::ColorTable) {
            // Entries end with ";"; one without components is the default ("auto") colour.
            if (ch == ';') {
                if (m_colors.size() < kMaxTable)
                    m_colors.push_back(m_rgbSet ? qRgb(m_rgb[0], m_rgb[1], m_rgb[2]) : m_def.color);
                m_rgb[0] = m_rgb[1] = m_rgb[2] = 0;
                m_rgbSet = false;
            }
            return;
        }
        if (ch.unicode() < 0x20 && ch != QChar('\t'))
            return;
        m_run += ch;
        m_textPara = s.para;
    }

    void CommitFont()
    {
        const QString name = m_fontName.trimmed();
        if (m_fontIndex >= 0 && !name.isEmpty() && m_fonts.size() < kMaxTable)
            m_fonts[m_fontIndex] = name;
        m_fontName.clear();
    }

    QTextCharFormat CharFormat() const
    {
        const State &s = m_stack.back();
        QTextCharFormat f;
        QFont font = m_def.font;
        if (const auto it = m_fonts.find(s.font); it != m_fonts.end())
            font.setFamilies({it->second});
        if (s.halfPoints > 0)
            font.setPointSizeF(s.halfPoints / 2.0);
        else if (font.pointSizeF() <= 0)
            font.setPointSizeF(10);
        if (s.bold)
            font.setBold(true);
        if (s.italic)
            font.setItalic(true);
        if (s.underline)
            font.setUnderline(true);
        if (s.strike)
            font.setStrikeOut(true);
        f.setFont(font);
        const QRgb color = s.color >= 0 && size_t(s.color) < m_colors.size() ? m_colors[size_t(s.color)] : m_def.color;
        f.setForeground(QColor::fromRgba(color | 0xff000000u));
        return f;
    }

    void Flush()
    {
        if (m_run.isEmpty())
            return;
        m_cursor.insertText(m_run, CharFormat());
        m_run.clear();
    }

    void EndParagraph(bool another) { EndParagraph(another, S().para); }
    void EndParagraph(bool another, const Para &p)
    {
        QTextBlockFormat b;
        b.setAlignment(p.align);
        b.setProperty(kTwipLeft, p.left);
        b.setProperty(kTwipRight, p.right);
        b.setProperty(kTwipFirst, p.first);
        b.setProperty(kTwipBefore, p.before);
        b.setProperty(kTwipAfter, p.after);
        m_cursor.setBlockFormat(b);
        if (another) {
            m_cursor.insertBlock(b, CharFormat());
            m_textPara = S().para;
        }
    }

    const QByteArray &m_in;
    const PgxRichTextDefaults &m_def;
    QTextCursor m_cursor;
    std::vector<State> m_stack;
    Para m_textPara; // paragraph properties of the paragraph being read
    size_t m_overflow = 0;
    int m_skipChars = 0;
    QString m_run;
    std::map<int, QString> m_fonts;
    int m_fontIndex = -1;
    QString m_fontName;
    std::vector<QRgb> m_colors;
    int m_rgb[3] = {0, 0, 0};
    bool m_rgbSet = false;
};

} // namespace

bool PgxIsRichText(const QByteArray &bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.mid(i, 5) == "{\\rtf";
}

void PgxReadRichText(QTextDocument &doc, const QByteArray &bytes, const PgxRichTextDefaults &defaults)
{
    doc.clear();
    doc.setDefaultFont(defaults.font);
    doc.setDocumentMargin(0);
    if (PgxIsRichText(bytes)) {
        Reader(doc, bytes, defaults).Run();
        return;
    }
    // Plain text: every line a paragraph in the default font, colour and alignment.
    QTextCursor cursor(&doc);
    QTextCharFormat f;
    f.setFont(defaults.font);
    f.setForeground(QColor::fromRgba(defaults.color | 0xff000000u));
    QTextBlockFormat b;
    b.setAlignment(defaults.alignment);
    cursor.setBlockFormat(b);
    cursor.setBlockCharFormat(f);
    QString line;
    const auto flush = [&] {
        if (!line.isEmpty())
            cursor.insertText(line, f);
        line.clear();
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uint8_t c = uint8_t(bytes[i]);
        if (c == '\n') {
            flush();
            cursor.insertBlock(b, f);
        } else if (c == '\t' || c >= 0x20) {
            line += FromByte(c);
        }
    }
    flush();
}

// ---- page formatting

TPgxRichLayout::TPgxRichLayout(QTextDocument &doc, int dpiX, int dpiY)
    : m_doc(doc), m_device(1, 1, QImage::Format_RGB32), m_dpiY(std::max(1, dpiY))
{
    m_device.setDotsPerMeterX(qRound(std::max(1, dpiX) / 0.0254));
    m_device.setDotsPerMeterY(qRound(m_dpiY / 0.0254));
}

int32_t TPgxRichLayout::TextLength() const
{
    return std::max(0, m_doc.characterCount() - 1);
}

void TPgxRichLayout::LayOut(int32_t width)
{
    width = std::max(1, width);
    if (width == m_width)
        return;
    m_width = width;
    m_doc.setDocumentMargin(0);
    m_doc.documentLayout()->setPaintDevice(&m_device);
    // Indents and spacing in device pixels.
    const double perTwipX = m_device.logicalDpiX() / 1440.0, perTwipY = m_device.logicalDpiY() / 1440.0;
    for (QTextBlock b = m_doc.begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat f = b.blockFormat();
        if (!f.hasProperty(kTwipLeft))
            continue;
        f.setLeftMargin(f.intProperty(kTwipLeft) * perTwipX);
        f.setRightMargin(f.intProperty(kTwipRight) * perTwipX);
        f.setTextIndent(f.intProperty(kTwipFirst) * perTwipX);
        f.setTopMargin(f.intProperty(kTwipBefore) * perTwipY);
        f.setBottomMargin(f.intProperty(kTwipAfter) * perTwipY);
        if (f != b.blockFormat())
            QTextCursor(b).setBlockFormat(f);
    }
    m_doc.setTextWidth(width);
    (void)m_doc.documentLayout()->documentSize(); // lays everything out now
    m_lines.clear();
    for (QTextBlock b = m_doc.begin(); b.isValid(); b = b.next()) {
        QTextLayout *layout = b.layout();
        if (!layout)
            continue;
        const double y = layout->position().y();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            Line l;
            l.start = b.position() + line.textStart();
            // The last line of a paragraph owns its paragraph end.
            l.end = i + 1 == layout->lineCount() ? b.position() + b.length() : l.start + line.textLength();
            l.top = y + line.y();
            l.bottom = l.top + line.height();
            l.block = b.blockNumber();
            l.index = i;
            m_lines.push_back(l);
        }
    }
}

int TPgxRichLayout::FirstLineAt(int32_t start) const
{
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].end > start)
            return int(i);
    return -1;
}

int32_t TPgxRichLayout::FormatRange(TPgxPageCanvas *canvas, const PgxRect &rect, int32_t start)
{
    const int32_t length = TextLength();
    start = std::max(0, start);
    if (start >= length)
        return length;
    LayOut(rect.right - rect.left);
    const int k = FirstLineAt(start);
    if (k < 0)
        return length;
    const double y0 = m_lines[size_t(k)].top;
    const double height = double(rect.bottom) - double(rect.top);
    for (size_t j = size_t(k); j < m_lines.size(); ++j) {
        const Line &line = m_lines[j];
        // Line heights are fractions of a pixel; a hair's difference still fits.
        if (line.bottom - y0 > height + 1e-6)
            return j == size_t(k) ? start : std::max(start, line.start);
        if (canvas)
            DrawLine(*canvas, line, j == size_t(k) ? start : line.start, rect.left, rect.top - y0);
    }
    return length;
}

int32_t TPgxRichLayout::HeightFrom(int32_t width, int32_t start)
{
    LayOut(width);
    const int k = FirstLineAt(std::max(0, start));
    if (k < 0)
        return 0;
    return int32_t(std::ceil(m_lines.back().bottom - m_lines[size_t(k)].top - 1e-6));
}

void TPgxRichLayout::DrawLine(TPgxPageCanvas &canvas, const Line &line, int32_t from, double x0, double y0)
{
    const QTextBlock block = m_doc.findBlockByNumber(line.block);
    QTextLayout *layout = block.layout();
    if (!layout)
        return;
    const QTextLine tl = layout->lineAt(line.index);
    const int32_t lineStart = block.position() + tl.textStart();
    const int32_t lineEnd = lineStart + tl.textLength();
    from = std::max(from, lineStart);
    const double baseline = y0 + line.top + tl.ascent();
    const double left = x0 + layout->position().x();
    // Justified lines go out word by word, so every word sits where the layout spread it.
    const bool justify = block.blockFormat().alignment() & Qt::AlignJustify;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const int32_t fs = frag.position(), fe = fs + frag.length();
        const int32_t s = std::max(fs, from), e = std::min(fe, lineEnd);
        if (s >= e)
            continue;
        const QString text = frag.text();
        const QTextCharFormat fmt = frag.charFormat();
        const QFont font(fmt.font(), &m_device);
        const QFontMetricsF fm(font, &m_device);
        PgxFont pf;
        pf.family = font.family();
        const double px = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * m_dpiY / 72.0;
        pf.height = std::max(1, int32_t(std::lround(px)));
        pf.weight = uint16_t(std::clamp(int(font.weight()), 100, 900));
        pf.italic = font.italic();
        pf.underline = font.underline();
        pf.strikeOut = font.strikeOut();
        pf.color = fmt.foreground().color().rgba();
        bool fontSet = false;
        const int32_t y = int32_t(std::lround(baseline - fm.ascent()));
        int32_t p = s;
        while (p < e) {
            const QChar c = text[p - fs];
            if (c == QChar('\t') || c == QChar::LineSeparator || (justify && c == QChar(' '))) {
                ++p;
                continue;
            }
            int32_t q = p;
            while (q < e) {
                const QChar d = text[q - fs];
                if (d == QChar('\t') || d == QChar::LineSeparator || (justify && d == QChar(' ')))
                    break;
                ++q;
            }
            const int32_t x = int32_t(std::lround(left + tl.cursorToX(p - block.position())));
            if (!fontSet) {
                canvas.SetFont(pf);
                fontSet = true;
            }
            canvas.Text({x, y, x, y}, PgxTextNoClip, text.mid(p - fs, q - p));
            p = q;
        }
    }
}

} // namespace strandel
