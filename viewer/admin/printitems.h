#pragma once
// What the print form places on its report and in its window: the picture and memo printables
// and the preview control. Until the report engine ships them, the form uses the small
// stand-ins below (namespace standin); pgx names whichever set is in use.
#include <QFont>
#include <QImage>
#include <QScrollArea>
#include <QStringList>

#include <cstdint>

#include "report/band.h"

namespace strandel {

class TPgxPrinter;

namespace standin {

// A picture printed at the size it has on the screen, cut at the printable's edges.
class TPgxImage : public TPgxPrintable {
public:
    bool AutoSize = false;
    // Design zoom of the band: AutoSize takes the picture's pixel size at that zoom.
    int Zoom = 100;
    QImage Picture;
    void SetPicture(const QImage &picture);
    void Print(int32_t ofsX, int32_t ofsY) override;
};

// Lines of text, word-wrapped in the printable's width.
class TPgxMemo : public TPgxPrintable {
public:
    QStringList Lines;
    bool WordWrap = true;
    QFont Font{QStringLiteral("Arial"), 10};
    QRgb FontColor = 0xff000000;
    void SetLines(const QStringList &lines) { Lines = lines; }
    void Print(int32_t ofsX, int32_t ofsY) override;
};

// Shows page 1 of a report printer, zoomed, with a frame and a shadow.
class TPgxPreview : public QScrollArea {
    Q_OBJECT
public:
    explicit TPgxPreview(QWidget *owner = nullptr);
    ~TPgxPreview() override;
    TPgxPrinter *PgxPrinter() const { return printer_; }
    void SetPgxPrinter(TPgxPrinter *printer);
    int Zoom() const { return zoom_; }
    // 2 to 2000 percent; anything else is ignored.
    void SetZoom(int zoom);
    int PageNumber() const { return 1; }

private:
    void UpdateZoom();
    TPgxPrinter *printer_ = nullptr;
    QWidget *image_;
    int zoom_ = 100;
};

} // namespace standin

namespace pgx = standin;

} // namespace strandel
