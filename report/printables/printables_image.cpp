#include "report/printables/printables_image.h"

#include <QBuffer>
#include <QImageReader>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"

namespace strandel {

namespace {

// A new image printable is 105 pixels square on the screen.
constexpr double NewSizePixels = 105;

// Destination of the printable on the page, in device pixels.
PgxRect DestRect(const TPgxPrinter &p, const TPgxPrintable &x, int32_t ofsX, int32_t ofsY)
{
    return {p.XPos(ofsX + x.Left), p.YPos(ofsY + x.Top), p.XPos(ofsX + x.Left + x.Width),
            p.YPos(ofsY + x.Top + x.Height)};
}

// Clipped to the printable, at its natural size, at the top left or centred.
void DrawNatural(TPgxPageCanvas &c, const TPgxPrinter &p, const TPgxPrintable &x, const PgxRect &dest,
                 const QImage &picture, bool center)
{
    c.SetClipRect(dest);
    PgxRect r = PgxNaturalPictureRect(p, picture, dest.left, dest.top);
    if (center) {
        const int64_t dy = (int64_t(p.YSize(x.Height)) - (r.bottom - r.top)) / 2;
        const int64_t dx = (int64_t(p.XSize(x.Width)) - (r.right - r.left)) / 2;
        r = {int32_t(r.left + dx), int32_t(r.top + dy), int32_t(r.right + dx), int32_t(r.bottom + dy)};
    }
    c.StretchDraw(r, picture);
    c.ResetClip();
}

double PixelsToTenths(double px)
{
    return px * 254.0 / PgxScreenPpi();
}

} // namespace

bool PgxDecodePicture(const QByteArray &bytes, QImage &picture)
{
    picture = QImage();
    if (bytes.isEmpty())
        return false;
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    // The reader refuses pictures beyond its allocation limit before it allocates them.
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage img;
    if (!reader.read(&img) || img.isNull())
        return false;
    picture = img;
    return true;
}

PgxRect PgxNaturalPictureRect(const TPgxPrinter &printer, const QImage &picture, int32_t left, int32_t top)
{
    const double ppi = PgxScreenPpi();
    const int32_t w = PgxRound(picture.width() / ppi * 254.0 * printer.XFactor());
    const int32_t h = PgxRound(picture.height() / ppi * 254.0 * printer.YFactor());
    return {left, top, int32_t(int64_t(left) + w), int32_t(int64_t(top) + h)};
}

// ---- image

TPgxImage::TPgxImage()
{
    Width = Height = PixelsToTenths(NewSizePixels);
}

void TPgxImage::SetPicture(const QImage &picture)
{
    m_picture = picture;
    PictureChanged();
}

bool TPgxImage::LoadPicture(const QByteArray &bytes)
{
    QImage img;
    if (!PgxDecodePicture(bytes, img))
        return false;
    SetPicture(img);
    return true;
}

void TPgxImage::SetAutoSize(bool on)
{
    m_autoSize = on;
    PictureChanged();
}

void TPgxImage::SetStretch(bool on)
{
    if (on == m_stretch)
        return;
    m_stretch = on;
    PictureChanged();
}

void TPgxImage::SetCenter(bool on)
{
    if (on == m_center)
        return;
    m_center = on;
    PictureChanged();
}

void TPgxImage::PictureChanged()
{
    if (m_autoSize && m_picture.width() >= 1 && m_picture.height() >= 1) {
        Width = PixelsToTenths(m_picture.width());
        Height = PixelsToTenths(m_picture.height());
    }
    // A picture that covers the whole control paints it opaquely.
    const double k = PgxScreenPpi() / 254.0;
    Transparent = !(m_picture.width() >= PgxRound(Width * k) && m_picture.height() >= PgxRound(Height * k));
}

void TPgxImage::Print(int32_t ofsX, int32_t ofsY)
{
    TCustomPagorra *report = ParentReport();
    TPgxPrinter *p = Printer();
    if (report && p) {
        if (report->Exporting())
            report->ExportFilter()->AcceptGraphic(p->XPos(ofsX + Left), p->YPos(ofsY + Top), this);
        TPgxPageCanvas *c = p->Canvas();
        if (Enabled && report->CanvasOutput() && c && !m_picture.isNull()) {
            const PgxRect dest = DestRect(*p, *this, ofsX, ofsY);
            if (m_stretch)
                c->StretchDraw(dest, m_picture);
            else
                DrawNatural(*c, *p, *this, dest, m_picture, m_center);
        }
    }
    TPgxPrintable::Print(ofsX, ofsY);
}

// ---- data-bound image

TPgxDBImage::TPgxDBImage()
{
    Width = Height = PixelsToTenths(NewSizePixels);
}

void TPgxDBImage::SetDesignPicture(const QImage &picture)
{
    m_picture = picture;
    m_pictureLoaded = true;
}

const report::PgxField *TPgxDBImage::Field() const
{
    if (!m_dataSet || m_fieldIndex < 0)
        return nullptr;
    // Looked up again each time: a data set may make its fields anew when it opens.
    const report::PgxField *f = m_dataSet->Field(m_fieldIndex);
    if (!f || !report::PgxSameName(f->FieldName(), m_dataField))
        f = m_dataSet->FindField(m_dataField);
    return f && f->IsBlob() ? f : nullptr;
}

bool TPgxDBImage::FieldPicture(QImage &picture) const
{
    const report::PgxField *f = Field();
    return f && PgxDecodePicture(f->AsBytes(), picture);
}

void TPgxDBImage::LoadPicture()
{
    QImage img;
    if (!m_pictureLoaded && FieldPicture(img))
        m_picture = img;
}

void TPgxDBImage::Prepare()
{
    TPgxPrintable::Prepare();
    m_fieldIndex = -1;
    if (m_dataSet)
        if (const report::PgxField *f = m_dataSet->FindField(m_dataField))
            m_fieldIndex = f->Index();
}

void TPgxDBImage::UnPrepare()
{
    m_fieldIndex = -1;
    TPgxPrintable::UnPrepare();
}

void TPgxDBImage::GetExpandedHeight(double &height)
{
    height = Height;
    if (Field()) {
        QImage img;
        FieldPicture(img);
        height = PixelsToTenths(img.height());
    }
}

void TPgxDBImage::Print(int32_t ofsX, int32_t ofsY)
{
    TCustomPagorra *report = ParentReport();
    TPgxPrinter *p = Printer();
    if (report && p) {
        if (report->Exporting())
            report->ExportFilter()->AcceptGraphic(p->XPos(ofsX + Left), p->YPos(ofsY + Top), this);
        TPgxPageCanvas *c = p->Canvas();
        if (Enabled && report->CanvasOutput() && c && Field()) {
            c->SetBrush({Color, PgxBrushStyle::Solid});
            QImage picture;
            FieldPicture(picture);
            const PgxRect dest = DestRect(*p, *this, ofsX, ofsY);
            if (!m_stretch) {
                if (!picture.isNull())
                    DrawNatural(*c, *p, *this, dest, picture, m_center);
            } else if (!picture.isNull()) {
                c->StretchDraw(dest, picture);
            } else {
                c->FillRect(dest); // an empty blob: a blank box in the printable's colour
            }
        }
    }
    TPgxPrintable::Print(ofsX, ofsY);
}

} // namespace strandel
