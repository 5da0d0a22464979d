#pragma once
// How the printables look on the design surface: drawn in the control's own screen pixels,
// (0, 0) to its zoomed width and height, onto any page canvas. Nothing is drawn while a report
// is printing them.
#include <cstdint>

#include "report/pages/metafile.h"

namespace strandel {

class TPgxPrintable;

// The control's size in screen pixels at a zoom in percent.
PgxRect PgxDesignRect(const TPgxPrintable &p, int zoom);
// Paints a printable of any kind as the designer shows it.
void PgxPaintPrintable(TPgxPrintable &p, TPgxPageCanvas &canvas, int zoom);
// What every printable shares: its white ground unless transparent, and its frame.
void PgxPaintPrintableBase(TPgxPrintable &p, TPgxPageCanvas &canvas, int zoom);
// The marks at the corners that show where a printable is.
void PgxPaintCorners(TPgxPageCanvas &canvas, const PgxRect &r);

} // namespace strandel
