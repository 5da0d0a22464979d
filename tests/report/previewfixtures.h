#pragma once
// Small generated reports for the preview tests: A4 pages at 96 dpi, each with a coloured block,
// a caption naming the page and, on even pages, a link.
#include <memory>

#include <QColor>
#include <QString>

#include "report/output/printer.h"

namespace strandel::test {

inline QRgb PageColour(int page)
{
    static const QRgb colours[] = {0xffd04040, 0xff40a040, 0xff4060d0, 0xffd0a020};
    return colours[(page - 1) % 4];
}

inline QString LinkOfPage(int page)
{
    return QStringLiteral("EXT:https://example.invalid/%1").arg(page);
}

// Draws page n onto the printer's open page.
inline void DrawTestPage(TPgxPrinter &p, int n)
{
    TPgxPageCanvas &c = *p.Canvas();
    c.SetBrush({PageColour(n), PgxBrushStyle::Solid});
    c.FillRect({50, 50, 300, 200});
    PgxFont f;
    f.family = QStringLiteral("DejaVu Sans");
    f.height = 20;
    c.SetFont(f);
    c.TextOut(60, 260, QStringLiteral("Page %1 of the test").arg(n));
    if (n % 2 == 0)
        p.AddHyperlink({100, 100, 300, 140}, LinkOfPage(n));
}

// A finished (or, with finish false, still busy) document of the given number of pages.
inline std::unique_ptr<TPgxPrinter> MakeReport(int pages, bool finish = true)
{
    auto p = std::make_unique<TPgxPrinter>();
    p->SetScreenPpi(96);
    p->Settings().SetPaperSize(TPgxPaperSize::A4);
    p->BeginDoc();
    for (int i = 1; i <= pages; ++i) {
        p->NewPage();
        DrawTestPage(*p, i);
    }
    if (finish)
        p->EndDoc();
    return p;
}

} // namespace strandel::test
