#include "report/forms/designpaint.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "report/bands/pagorra.h"
#include "report/pages/metafile.h"
#include "report/printables/printables_paint.h"

namespace strandel {

namespace {

// Colours are written as the library's $00BBGGRR values.
constexpr QRgb Bgr(uint32_t v)
{
    return qRgb(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
}

const TPgxDisplaySettings HiColor = {
    Qt::SolidLine, Qt::SolidLine, Bgr(0xF9F9F9), Bgr(0xF0F0F0), QStringLiteral("Small Fonts"), Bgr(0x707070), 6,
    Qt::DotLine, Bgr(0xFF8080), Qt::DotLine, Bgr(0x606060),
};
const TPgxDisplaySettings LoColor = {
    Qt::DotLine, Qt::SolidLine, Bgr(0xC0C0C0), Bgr(0xC0C0C0), QStringLiteral("Small Fonts"), Bgr(0xC0C0C0), 6,
    Qt::DashLine, Bgr(0x808080), Qt::SolidLine, Bgr(0x808080),
};

const TPgxDisplaySettings *&Current()
{
    static const TPgxDisplaySettings *current = [] {
        int depth = 32;
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            if (QScreen *s = QGuiApplication::primaryScreen())
                depth = s->depth();
        return depth <= 8 ? &LoColor : &HiColor;
    }();
    return current;
}

QPen GridPen(bool major)
{
    const TPgxDisplaySettings &d = PgxDisplaySettings();
    QPen pen(QColor::fromRgb(major ? d.majorGridColor : d.minorGridColor));
    pen.setWidth(1);
    pen.setStyle(major ? d.majorGridStyle : d.minorGridStyle);
    return pen;
}

void SetRulerFont(QPainter &p)
{
    const TPgxDisplaySettings &d = PgxDisplaySettings();
    QFont f(d.rulerFontName);
    f.setPointSize(d.rulerFontSize);
    f.setStyleHint(QFont::SansSerif);
    p.setFont(f);
}

void Label(QPainter &p, int x, int y, int n)
{
    const QPen keep = p.pen();
    p.setPen(QColor::fromRgb(PgxDisplaySettings().rulerFontColor));
    const QFontMetrics fm = p.fontMetrics();
    p.drawText(x, y + fm.ascent(), QString::number(n));
    p.setPen(keep);
}

// Lines every step pixels across and down; every majorEvery-th is a major line, labelled with
// its count when labels is on. Minor lines only when minor is on.
void Grid(QPainter &p, int width, int height, double stepX, double stepY, int majorEvery, bool minor, bool labels)
{
    if (!(stepX > 0) || !(stepY > 0))
        return;
    for (int i = 1;; ++i) {
        const int x = PgxRound(i * stepX);
        if (x >= width)
            break;
        const bool major = i % majorEvery == 0;
        if (!major && !minor)
            continue;
        p.setPen(GridPen(major));
        p.drawLine(x, 0, x, height - 1);
        if (major && labels)
            Label(p, x + 2, 2, i / majorEvery);
    }
    for (int i = 1;; ++i) {
        const int y = PgxRound(i * stepY);
        if (y >= height)
            break;
        const bool major = i % majorEvery == 0;
        if (!major && !minor)
            continue;
        p.setPen(GridPen(major));
        p.drawLine(0, y, width - 1, y);
        if (major && labels)
            Label(p, 2, y + 2, i / majorEvery);
    }
}

// The page's values in pixels at its zoom.
struct PixelPage {
    double width, length, left, right, top, bottom, columnSpace;
    int columns;
    explicit PixelPage(TPgxPage &page)
    {
        page.SetPixels();
        width = page.GetValue(TPgxPage::Width);
        length = page.GetValue(TPgxPage::Length);
        left = page.GetValue(TPgxPage::LeftMargin);
        right = page.GetValue(TPgxPage::RightMargin);
        top = page.GetValue(TPgxPage::TopMargin);
        bottom = page.GetValue(TPgxPage::BottomMargin);
        columnSpace = page.GetValue(TPgxPage::ColumnSpace);
        columns = std::max(1, page.Columns());
        page.RestoreUnit();
    }
};

} // namespace

const TPgxDisplaySettings &PgxDisplaySettings()
{
    return *Current();
}

void SetPgxHiColor()
{
    Current() = &HiColor;
}

void SetPgxLoColor()
{
    Current() = &LoColor;
}

void PgxPaintRuler(QPainter &p, TPgxUnit unit, int width, int height, int zoom, int ppi, bool reportPanel,
                   double charFontSize)
{
    if (zoom <= 0 || ppi <= 0 || width <= 0 || height <= 0)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor::fromRgb(Bgr(0xC0C0C0)));
    SetRulerFont(p);
    const double pixelsPerInch = double(ppi) * zoom / 100;
    switch (unit) {
    case TPgxUnit::MM: {
        const double halfCmPerPixel = 5.08 / ppi / zoom * 100;
        const double step = 1 / halfCmPerPixel;
        Grid(p, width, height, step, step, 2, zoom > 59, reportPanel && zoom > 59);
        break;
    }
    case TPgxUnit::Inches: {
        const double step = pixelsPerInch / 4;
        Grid(p, width, height, step, step, 4, zoom > 49, reportPanel);
        break;
    }
    case TPgxUnit::Characters: {
        const double s = std::fabs(charFontSize);
        if (s == 0)
            break;
        // A character's width and a line's height in millimetres, as the unit measures them.
        const double charX = 80.0 / s / 2.54 / 25.4 * pixelsPerInch;
        const double charY = 145.3 / s / 2.54 / 25.4 * pixelsPerInch;
        QPen dotted(QColor::fromRgb(PgxDisplaySettings().majorGridColor));
        dotted.setStyle(Qt::DotLine);
        for (int i = 1;; ++i) {
            const int x = PgxRound(i * 10 * charX);
            if (charX <= 0 || x >= width)
                break;
            p.setPen(dotted);
            p.drawLine(x, 0, x, height - 1);
            Label(p, x + 2, 2, i * 10);
        }
        for (int i = 1;; ++i) {
            const int y = PgxRound(i * charY);
            if (charY <= 0 || y >= height)
                break;
            p.setPen(dotted);
            p.drawLine(0, y, width - 1, y);
            Label(p, 2, y + 2, i);
        }
        break;
    }
    case TPgxUnit::Pixels:
    case TPgxUnit::Native:
        break;
    }
    p.restore();
}

QSize PgxReportPixelSize(TCustomPagorra &report)
{
    const PixelPage px(report.Page);
    return {PgxRound(px.width), PgxRound(px.length)};
}

std::vector<std::pair<TPgxCustomBand *, QRect>> PgxLayOutBands(TCustomPagorra &report, bool hideBands,
                                                                int rotateBands)
{
    std::vector<std::pair<TPgxCustomBand *, QRect>> out;
    const PixelPage px(report.Page);
    TPgxPage &page = report.Page;
    std::vector<TPgxCustomBand *> list = report.BandList();
    if (!list.empty() && rotateBands > 0)
        std::rotate(list.begin(), list.begin() + rotateBands % int(list.size()), list.end());
    int64_t y = PgxRound(px.top);
    for (TPgxCustomBand *b : list) {
        if (!b)
            continue;
        const int h = PgxRound(page.LoadUnit(b->Height(), TPgxUnit::Pixels, false));
        const int w = PgxRound(page.LoadUnit(b->Width(), TPgxUnit::Pixels, true));
        const int top = hideBands ? PgxRound(px.length) : int(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
        out.emplace_back(b, QRect(PgxRound(px.left), top, w, h));
        y += h;
    }
    return out;
}

void PgxPaintMargins(QPainter &p, TCustomPagorra &report)
{
    const PixelPage px(report.Page);
    const QSize size = PgxReportPixelSize(report);
    const TPgxDisplaySettings &d = PgxDisplaySettings();
    QPen pen(QColor::fromRgb(d.guideColor));
    pen.setStyle(d.guideStyle);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const int l = PgxRound(px.left), t = PgxRound(px.top);
    const int r = size.width() - PgxRound(px.right), b = size.height() - PgxRound(px.bottom);
    // The rectangle's right and bottom edges lie inside it, one pixel before r and b.
    p.drawLine(l, t, r - 1, t);
    p.drawLine(l, b - 1, r - 1, b - 1);
    p.drawLine(l, t, l, b - 1);
    p.drawLine(r - 1, t, r - 1, b - 1);
}

void PgxPaintFrame(QPainter &p, TCustomPagorra &report)
{
    const TPgxFrame &f = report.Frame();
    if (!f.AnyFrame())
        return;
    const PixelPage px(report.Page);
    QPen pen(QColor::fromRgb(f.Color()));
    pen.setWidth(1);
    switch (f.Style()) {
    case PgxPenStyle::Dash: pen.setStyle(Qt::DashLine); break;
    case PgxPenStyle::Dot: pen.setStyle(Qt::DotLine); break;
    case PgxPenStyle::DashDot: pen.setStyle(Qt::DashDotLine); break;
    case PgxPenStyle::DashDotDot: pen.setStyle(Qt::DashDotDotLine); break;
    case PgxPenStyle::Clear: pen.setStyle(Qt::NoPen); break;
    default: break;
    }
    p.setPen(pen);
    const int t = PgxRound(px.top), l = PgxRound(px.left);
    const int r = PgxRound(px.width - px.right) - 1, b = PgxRound(px.length - px.bottom) - 1;
    if (f.DrawTop())
        p.drawLine(l, t, r, t);
    if (f.DrawBottom())
        p.drawLine(l, b, r, b);
    if (f.DrawLeft())
        p.drawLine(l, t, l, b);
    if (f.DrawRight())
        p.drawLine(r, t, r, b);
}

void PgxPaintColumns(QPainter &p, TCustomPagorra &report)
{
    const PixelPage px(report.Page);
    if (px.columns <= 1)
        return;
    const TPgxDisplaySettings &d = PgxDisplaySettings();
    QPen pen(QColor::fromRgb(d.guideColor));
    pen.setWidth(1);
    pen.setStyle(d.guideStyle);
    p.setPen(pen);
    const int n = px.columns;
    const double c = PgxRound((px.width - px.left - px.right - px.columnSpace * (n - 1)) / n);
    const int top = PgxRound(px.top);
    for (int i = 1; i < n; ++i) {
        const int endOfColumn = PgxRound(px.columnSpace * (i - 1) + px.left + i * c);
        const int startOfNext = PgxRound((px.columnSpace + c) * i + px.left);
        p.drawLine(endOfColumn, 0, endOfColumn, top);
        p.drawLine(startOfNext, 0, startOfNext, top);
    }
}

void PgxPaintReport(QPainter &p, TCustomPagorra &report, const QImage &firstPage, bool enabled)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QSize size = PgxReportPixelSize(report);
    const QRect all(QPoint(0, 0), size);
    p.fillRect(all, enabled ? QColor(Qt::white) : QColor::fromRgb(Bgr(0xC0C0C0)));
    if (!firstPage.isNull())
        p.drawImage(all, firstPage);
    if (report.Page.GetRuler())
        PgxPaintRuler(p, report.Units(), size.width(), size.height(), report.Page.Zoom(), report.Page.ScreenPpi(),
                      true, std::fabs(report.FontSize()));
    PgxPaintMargins(p, report);
    PgxPaintFrame(p, report);
    PgxPaintColumns(p, report);
    p.restore();
}

void PgxPaintBand(QPainter &p, TCustomPagorra &report, TPgxCustomBand &band, const QRect &r)
{
    if (r.isEmpty())
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.translate(r.topLeft());
    p.setClipRect(QRect(QPoint(0, 0), r.size()));
    p.fillRect(QRect(QPoint(0, 0), r.size()),
               band.Enabled ? QColor::fromRgb(band.Color) : QColor::fromRgb(Bgr(0xC0C0C0)));
    if (report.Page.GetRuler())
        PgxPaintRuler(p, report.Units(), r.width(), r.height(), report.Page.Zoom(), report.Page.ScreenPpi(), false,
                      std::fabs(report.FontSize()));
    const TPgxDisplaySettings &d = PgxDisplaySettings();
    QPen pen(QColor::fromRgb(d.bandColor));
    pen.setStyle(d.bandStyle);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const int w = r.width() - 1, h = r.height() - 1;
    p.drawLine(0, 0, w, 0);
    p.drawLine(0, h, w, h);
    p.drawLine(0, 0, 0, h);
    p.drawLine(w, 0, w, h);
    const double perTenth = report.Page.ScreenPpi() / 254.0;
    {
        TPgxPainterCanvas canvas(p);
        band.Frame().PaintIt(canvas, {0, 0, w, h}, perTenth, perTenth);
        // The printables where they sit on the band, each in its own pixels.
        const int zoom = report.Page.Zoom();
        for (const auto &printable : band.Printables()) {
            p.save();
            p.translate(PgxRound(printable->Left * perTenth * zoom / 100.0),
                        PgxRound(printable->Top * perTenth * zoom / 100.0));
            PgxPaintPrintable(*printable, canvas, zoom);
            p.restore();
        }
    }
    // The band's type name in the small font, at its foot.
    QFont small(d.rulerFontName);
    small.setPixelSize(std::max(1, PgxRound(d.rulerFontSize * report.Page.ScreenPpi() / 72.0)));
    p.setFont(small);
    p.setPen(QColor::fromRgb(d.rulerFontColor));
    const QFontMetrics fm(small);
    p.drawText(2, r.height() - fm.height() - 4 + fm.ascent(), band.BandTypeName());
    p.restore();
}

} // namespace strandel
