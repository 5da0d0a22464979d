#pragma once
// Rich text for the report engine: a reader for the subset of RTF that report texts use, filling
// a QTextDocument, and the page formatting of such a document: from a given character, as many
// whole lines as fit into a rectangle of device pixels, drawn onto a page canvas as text records.
//
// The subset read: groups, \b \i \ul \ulnone \strike (each with 0 to end it), \plain, \fs, \f with
// the font table, \cf with the colour table, \pard \par \line \tab, \ql \qr \qc \qj, \li \ri \fi
// \sb \sa, \'hh (Windows-1252), \uN with \ucN, the escaped \\ \{ \}, \~ \_ \-, and the named
// quotes, dashes and bullet. Destinations it has no use for (\* groups, style sheet, information,
// pictures, objects, headers, footers, footnotes, field instructions) are skipped whole; other
// unknown control words are ignored. Bytes that do not begin with "{\rtf" are plain text, one
// paragraph a line.
#include <cstdint>

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QRgb>
#include <QTextDocument>

#include "report/pages/metafile.h"

namespace strandel {

// What plain text is shown in, and what rich text starts from before it says otherwise.
struct PgxRichTextDefaults {
    QFont font = QFont(QStringLiteral("Arial"), 10);
    QRgb color = 0xff000000;
    Qt::Alignment alignment = Qt::AlignLeft;
};

// True when the bytes are RTF ("{\rtf" at the start, after any blanks).
bool PgxIsRichText(const QByteArray &bytes);
// Replaces the document's content with the bytes read as RTF, or as plain text when they are
// not. Never reads past the bytes and never makes more characters than there are bytes.
void PgxReadRichText(QTextDocument &doc, const QByteArray &bytes, const PgxRichTextDefaults &defaults);

// Page formatting of one document at a device resolution.
class TPgxRichLayout
{
public:
    TPgxRichLayout(QTextDocument &doc, int dpiX, int dpiY);

    // Characters of the document, paragraph ends included, the last one excluded.
    int32_t TextLength() const;
    // Lays the text out from character start in the rectangle's width and places the whole
    // lines that fit its height; draws them onto canvas when one is given. Returns the first
    // character not placed: TextLength() when everything from start fit, start itself when not
    // even one line did.
    int32_t FormatRange(TPgxPageCanvas *canvas, const PgxRect &rect, int32_t start);
    // Height in device pixels that the lines from start take in the given width.
    int32_t HeightFrom(int32_t width, int32_t start);
    // Drops the cached layout (a new width or text lays out again).
    void Release() { m_width = -1; }

private:
    struct Line {
        int32_t start, end; // [start, end) characters of the document
        double top, bottom; // device pixels from the top of the document
        int block, index;   // the QTextLine: block number, line in the block
    };
    void LayOut(int32_t width);
    int FirstLineAt(int32_t start) const;
    void DrawLine(TPgxPageCanvas &canvas, const Line &line, int32_t from, double x0, double y0);

    QTextDocument &m_doc;
    QImage m_device; // gives the layout the device's resolution
    int m_dpiY;
    int32_t m_width = -1;
    std::vector<Line> m_lines;
};

} // namespace strandel
