#include "viewer/admin/printitems.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include "report/metafile.h"
#include "report/pagorra.h"
#include "report/printer.h"

namespace strandel::standin {

void TPgxImage::SetPicture(const QImage &picture)
{
    Picture = picture;
    if (AutoSize && picture.width() >= 1 && picture.height() >= 1) {
        // Pixels at the design zoom, kept in tenths of a millimetre.
        const double perPixel = 100.0 / Zoom * 254.0 / PgxScreenPpi();
        Width = picture.width() * perPixel;
        Height = picture.height() * perPixel;
    }
}

void TPgxImage::Print(int32_t ofsX, int32_t ofsY)
{
    TPgxPrinter *p = Printer();
    if (p && p->Canvas() && ParentReport() && ParentReport()->CanvasOutput() && !Picture.isNull()) {
        TPgxPageCanvas &c = *p->Canvas();
        const PgxRect r{p->XPos(ofsX + Left), p->YPos(ofsY + Top), p->XPos(ofsX + Left + Width), p->YPos(ofsY + Top + Height)};
        const int ppi = PgxScreenPpi();
        const int32_t w = PgxRound(Picture.width() / double(ppi) * 254 * p->XFactor());
        const int32_t h = PgxRound(Picture.height() / double(ppi) * 254 * p->YFactor());
        c.SetClipRect(r);
        c.StretchDraw({r.left, r.top, r.left + w, r.top + h}, Picture);
        c.ResetClip();
    }
    TPgxPrintable::Print(ofsX, ofsY);
}

void TPgxMemo::Print(int32_t ofsX, int32_t ofsY)
{
    TPgxPrinter *p = Printer();
    if (p && p->Canvas() && ParentReport() && ParentReport()->CanvasOutput() && !Lines.isEmpty()) {
        TPgxPageCanvas &c = *p->Canvas();
        const PgxRect r{p->XPos(ofsX + Left), p->YPos(ofsY + Top), p->XPos(ofsX + Left + Width), p->YPos(ofsY + Top + Height)};
        PgxFont f;
        f.family = Font.family();
        f.height = std::max(1, PgxRound(Font.pointSizeF() / 72.0 * 254 * p->YFactor()));
        f.weight = Font.bold() ? 700 : 400;
        f.italic = Font.italic();
        f.underline = Font.underline();
        f.strikeOut = Font.strikeOut();
        f.color = FontColor;
        c.SetFont(f);
        c.Text(r, WordWrap ? uint32_t(PgxTextWordWrap) : 0u, Lines.join('\n'));
    }
    TPgxPrintable::Print(ofsX, ofsY);
}

namespace {

class PageImage : public QWidget {
public:
    explicit PageImage(QWidget *parent) : QWidget(parent) {}
    TPgxPrinter *printer = nullptr;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const int w = width(), h = height();
        p.fillRect(1, 1, w - 4, h - 4, Qt::white);
        if (printer)
            if (std::unique_ptr<TPgxMetafile> page = printer->GetPage(1))
                page->Replay(p, QRectF(0, 0, w, h));
        p.setPen(Qt::black);
        p.drawRect(0, 0, w - 3, h - 3);
        p.fillRect(w - 2, 2, 2, h - 2, Qt::black);
        p.fillRect(2, h - 2, w - 2, 2, Qt::black);
    }
};

} // namespace

TPgxPreview::TPgxPreview(QWidget *owner) : QScrollArea(owner), image_(new PageImage(this))
{
    setWidget(image_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter);
    UpdateZoom();
}

TPgxPreview::~TPgxPreview()
{
    if (printer_)
        SetPgxPrinter(nullptr);
}

void TPgxPreview::SetPgxPrinter(TPgxPrinter *printer)
{
    if (printer_) {
        printer_->SetShowingPreview(false);
        disconnect(printer_, nullptr, this, nullptr);
    }
    printer_ = printer;
    static_cast<PageImage *>(image_)->printer = printer;
    if (printer) {
        printer->SetShowingPreview(true);
        connect(printer, &TPgxPrinter::AvailablePagesChanged, image_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    }
    UpdateZoom();
}

void TPgxPreview::SetZoom(int zoom)
{
    if (zoom < 2 || zoom > 2000)
        return;
    zoom_ = zoom;
    UpdateZoom();
}

void TPgxPreview::UpdateZoom()
{
    int w, h;
    if (printer_) {
        w = printer_->XSize(printer_->PaperWidthValue() / 100.0 * zoom_) + 4;
        h = printer_->YSize(printer_->PaperLengthValue() / 100.0 * zoom_) + 4;
    } else {
        w = PgxRound(215.9 / 100 * zoom_) + 4;
        h = PgxRound(279.4 / 100 * zoom_) + 4;
    }
    image_->resize(w, h);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    image_->update();
}

} // namespace strandel::standin
