#pragma once
// How a report looks while it is designed: a grid ruler on the report and on each band, the
// margins and columns as guide lines, the page frame, and the colours all of it is drawn in.
#include <utility>
#include <vector>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include "report/pages/units.h"

class QPainter;

namespace strandel {

class TCustomPagorra;
class TPgxCustomBand;

// The design colours, one record for the library, chosen once at start-up by the screen's depth.
struct TPgxDisplaySettings {
    Qt::PenStyle minorGridStyle, majorGridStyle;
    QRgb minorGridColor, majorGridColor;
    QString rulerFontName;
    QRgb rulerFontColor;
    int rulerFontSize;
    Qt::PenStyle guideStyle;
    QRgb guideColor;
    Qt::PenStyle bandStyle;
    QRgb bandColor;
};
const TPgxDisplaySettings &PgxDisplaySettings();
// Screens of many colours get soft greys and dotted guides; palette screens plain greys.
void SetPgxHiColor();
void SetPgxLoColor();

// Draws the ruler of a panel of width x height pixels at zoom for unit. A report panel labels
// its centimetres and inches; charFontSize is the font size a character is measured by.
void PgxPaintRuler(QPainter &p, TPgxUnit unit, int width, int height, int zoom, int ppi, bool reportPanel,
                   double charFontSize);

// The report's panel in pixels at its zoom.
QSize PgxReportPixelSize(TCustomPagorra &report);
// Where each band of the band list lies on the report's panel, in pixels, stacked from the top
// margin. Hidden bands all move below the page; rotating moves the first bands of the list to
// its end, that many times, to bring the others up.
std::vector<std::pair<TPgxCustomBand *, QRect>> PgxLayOutBands(TCustomPagorra &report, bool hideBands = false,
                                                                int rotateBands = 0);

// The report as it looks while designed: background (silver when disabled), the picture of the
// first generated page, the ruler, the margins, the page frame and the column guides.
void PgxPaintReport(QPainter &p, TCustomPagorra &report, const QImage &firstPage = QImage(), bool enabled = true);
void PgxPaintMargins(QPainter &p, TCustomPagorra &report);
void PgxPaintFrame(QPainter &p, TCustomPagorra &report);
void PgxPaintColumns(QPainter &p, TCustomPagorra &report);
// One band at r: background, its ruler and its outline.
void PgxPaintBand(QPainter &p, TCustomPagorra &report, TPgxCustomBand &band, const QRect &r);

} // namespace strandel
