#include "viewer/view/dvrch.h"

#include <algorithm>
#include <cstring>

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

#include "decoder/dsp.h"
#include "graphics/rx32_transforms.h"
#include "graphics/widgets/rx32_image.h"
#include "platform/debuglog.h"
#include "platform/jpeg.h"
#include "viewer/base/global.h"
#include "viewer/base/vieweroptions.h"

namespace strandel {

namespace {

constexpr int kLockTimeoutMs = 5000;
constexpr TColor32 kTitleTransparent = 0x000000FF; // the transparent colour, blue
constexpr TColor32 kTitleShadow = 0xFF000000;
constexpr TColor32 kTitleWriting = 0xFFFFFFFF;

// The zoom rubber band: a white frame with a clear inside.
class ZoomShape : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (width() < 1 || height() < 1)
            return;
        QPainter p(this);
        p.setPen(Qt::white);
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, width() - 1, height() - 1);
    }
};

QLabel *MakeLabel(QWidget *parent, const char *name, const QColor &color, const QString &text, Qt::Alignment align)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setAutoFillBackground(false);
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(11);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    label->setAlignment(align);
    label->setFixedHeight(label->fontMetrics().height());
    return label;
}

QString FieldText(const std::array<char, kFrameTextSize> &field)
{
    return QString::fromLatin1(field.data(), qsizetype(strnlen(field.data(), field.size())));
}

// Decodes one JPEG area into bitmap (at 1/reduction of its size), reusing its memory when the size stays.
bool DecodeArea(const uint8_t *data, size_t size, QImage *bitmap, std::string *why, int reduction = 1)
{
    return JpegDecodeInto(
        data, size,
        [bitmap](int w, int h, size_t *stride) -> uint32_t * {
            const bool format = bitmap->format() == QImage::Format_ARGB32 || bitmap->format() == QImage::Format_RGB32;
            if (bitmap->width() != w || bitmap->height() != h || !format)
                *bitmap = QImage(w, h, QImage::Format_RGB32);
            if (bitmap->isNull())
                return nullptr;
            *stride = size_t(bitmap->bytesPerLine() / 4);
            return reinterpret_cast<uint32_t *>(bitmap->bits());
        },
        why, reduction);
}

const QImage &As32(const QImage &src, QImage &scratch)
{
    if (src.format() == QImage::Format_ARGB32 || src.format() == QImage::Format_RGB32)
        return src;
    scratch = src.convertToFormat(QImage::Format_ARGB32);
    return scratch;
}

} // namespace

// The pane's picture control: a decoded picture is drawn straight from the pane's planar copy.
class PaneImage : public TImage32 {
public:
    PaneImage(QWidget *parent, TfrmDvrCh *pane) : TImage32(parent), pane_(pane) {}

protected:
    void ExecDrawBitmap(TBitmap32 *dest, int32_t stageNum) override
    {
        if (!pane_->PaintDecoded(dest, CachedBitmapRect()))
            TImage32::ExecDrawBitmap(dest, stageNum);
    }

private:
    TfrmDvrCh *pane_;
};

TfrmDvrCh::TfrmDvrCh(QWidget *parent, int channel) : QWidget(parent), channel_(channel)
{
    setObjectName(QStringLiteral("frmDvrCh%1").arg(channel));
    pnlBack = new QWidget(this);
    pnlBack->setObjectName("pnlBack");
    pnlBack->setAutoFillBackground(true);
    QPalette pal = pnlBack->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    pnlBack->setPalette(pal);
    pnlBack->installEventFilter(this);

    imgCh = new PaneImage(pnlBack, this);
    imgCh->setObjectName("imgCh");
    imgCh->SetBitmapAlign(baTopLeft);
    imgCh->SetColor(clMaroonColor);
    imgCh->SetScale(1);
    imgCh->SetScaleMode(smStretch);
    imgCh->OnDblClick = [this](TCustomImage32 *) { imgCh___DblClick(); };
    imgCh->OnMouseDown = [this](TCustomImage32 *, TMouseButton b, TShiftState, int32_t x, int32_t y, TCustomLayer *) {
        imgCh___MouseDown(b == mbLeft ? Qt::LeftButton : b == mbRight ? Qt::RightButton : Qt::MiddleButton, x, y);
    };
    imgCh->OnMouseMove = [this](TCustomImage32 *, TShiftState s, int32_t x, int32_t y, TCustomLayer *) {
        imgCh___MouseMove(s & ssLeft, x, y);
    };
    imgCh->OnMouseUp = [this](TCustomImage32 *, TMouseButton b, TShiftState, int32_t x, int32_t y, TCustomLayer *) {
        imgCh___MouseUp(b == mbLeft ? Qt::LeftButton : b == mbRight ? Qt::RightButton : Qt::MiddleButton, x, y);
    };
    imgCh->OnResize = [this](TCustomImage32 *) { imgChResize(); };

    shpZoom = new ZoomShape(imgCh);
    shpZoom->setObjectName("shpZoom");
    shpZoom->setAttribute(Qt::WA_TransparentForMouseEvents);
    shpZoom->hide();
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    lblTimeBack = MakeLabel(imgCh, "lblTimeBack", Qt::black, "DateTime", left);
    lblTimeFore = MakeLabel(imgCh, "lblTimeFore", Qt::white, "DateTime", left);
    lblEventBack = MakeLabel(imgCh, "lblEventBack", Qt::black, "ALM", left);
    lblEventFore = MakeLabel(imgCh, "lblEventFore", Qt::red, "ALM", left);
    lblChBack = MakeLabel(imgCh, "lblChBack", Qt::black, "Ch Id", Qt::AlignCenter);
    lblChFore = MakeLabel(imgCh, "lblChFore", Qt::white, "Ch Id", Qt::AlignCenter);
    imgTitle0 = new QLabel(imgCh);
    imgTitle0->setObjectName("imgTitle0");
    imgTitle0->setAttribute(Qt::WA_TransparentForMouseEvents);
    imgTitle0->setAlignment(Qt::AlignCenter);
    imgTitle0->setFixedHeight(17);
    imgTitle0->hide();

    SetChannelText(QStringLiteral("Ch%1").arg(channel));
    SetTimeText(QStringLiteral("No Image"));
    UpdateOverlay();
    resize(180, 120);
}

TfrmDvrCh::~TfrmDvrCh() = default;

void TfrmDvrCh::SetBitmaps(QImage *a, QImage *b)
{
    bitmapA_ = a ? a : &ownA_;
    bitmapB_ = b ? b : &ownB_;
}

void TfrmDvrCh::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    pnlBack->setGeometry(rect());
}

bool TfrmDvrCh::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pnlBack && event->type() == QEvent::Resize)
        pnlBackResize();
    return QWidget::eventFilter(watched, event);
}

// ---- Pictures

void TfrmDvrCh::SetBlack()
{
    LeaveDecoded();
    TBitmap32 &bitmap = imgCh->Bitmap();
    bitmap.Lock();
    bitmap.SetSize(8, 8);
    bitmap.Clear(clBlack32);
    bitmap.Unlock();
    imgCh->SetColor(clBlackColor);
}

void TfrmDvrCh::ShowCovert(const FrameRecordHeader &header)
{
    shownHeader_ = header;
    shown_ = true;
    SetBlack();
    SetTimeText(QString());
    SetEventText(0);
    SetChannelText(QStringLiteral("COVERT"));
}

void TfrmDvrCh::ShowFrame(const FrameRecordHeader *header, DvrRecordStream *stream)
{
    EventGuard guard(lock_, kLockTimeoutMs);
    if (header && stream) {
        const int own = header->channel2 == channel_ ? 1 : 0;
        if (header->covert & (1u << own))
            ShowCovert(*header);
        else
            ShowJpeg(*header, *stream, own);
    } else if (header) {
        if (header->covert & 1u) {
            ShowCovert(*header);
            return;
        }
        shownHeader_ = *header;
        shown_ = true;
        DrawBitmaps(*header, bitmapA_, nullptr);
        SetTimeText(QString::fromStdString(TimeText(header->time)));
        SetEventText(header->event);
        SetChannelText(FieldText(header->text[0]));
        if (OnShown)
            OnShown(*header);
    } else if (shown_) {
        shown_ = false;
        shownHeader_ = FrameRecordHeader{};
        SetBlack();
        SetTimeText(QString());
        SetEventText(0);
    }
}

void TfrmDvrCh::ShowJpeg(const FrameRecordHeader &header, DvrRecordStream &stream, int own)
{
    std::string why;
    auto fail = [&] {
        DebugPrint("Jpeg Error : %d - %d, %d\n", header.channel, channel_, int(stream.data.size()));
        DebugPrint("%s\n", why.c_str());
    };
    if (!CheckJpegRecord(header, stream.data.size(), &why)) {
        fail();
        return;
    }
    // Both panes of a two-channel record share the stream: cut it only once.
    if (!stream.blocksCut) {
        CutInsertedBlocks(header, stream.data.data());
        stream.blocksCut = true;
    }
    const uint8_t *d = stream.data.data();
    const size_t p = header.partSize[0], f = header.jpegLength;
    const bool fields = HasSecondArea(header) && f + kJpegRecordPrefix < p;
    // A whole picture drawn smaller than it is decodes at a fraction of its size; the record
    // stays for the full picture when that is read.
    const int reduction = fields || header.sizeCode == 2 || header.sizeCode == 3 ? 1 : JpegReduction();
    if (reduction > 1 && DecodeArea(d + kJpegRecordPrefix, p - kJpegRecordPrefix, bitmapA_, &why, reduction)) {
        shownHeader_ = header;
        shown_ = true;
        DrawReduced(header, *bitmapA_, reduction);
        jpegKept_.assign(d + kJpegRecordPrefix, d + p);
        SetTimeText(QString::fromStdString(TimeText(header.time)));
        SetEventText(own ? header.event2 : header.event);
        if (OnShown)
            OnShown(header);
    } else if (DecodeArea(d + kJpegRecordPrefix, p - kJpegRecordPrefix, bitmapA_, &why)) {
        shownHeader_ = header;
        shown_ = true;
        bool second = false;
        if (HasSecondArea(header) && f + kJpegRecordPrefix < p) {
            std::string whyB;
            second = DecodeArea(d + f + kJpegRecordPrefix, p - f - kJpegRecordPrefix, bitmapB_, &whyB);
            if (!second)
                DebugPrint("Jpeg Error : %d - %d, second field: %s\n", header.channel, channel_, whyB.c_str());
        }
        DrawBitmaps(header, bitmapA_, second ? bitmapB_ : nullptr);
        SetTimeText(QString::fromStdString(TimeText(header.time)));
        SetEventText(own ? header.event2 : header.event);
        if (OnShown)
            OnShown(header);
    } else {
        fail();
    }
    SetChannelText(FieldText(header.text[size_t(own)]));
}

namespace {

// Where a picture lands in the pane's bitmap: the source column and the bitmap's size.
struct Placement {
    int x0, width, height;
};

Placement PlaceIn(const FrameRecordHeader &header, int channel, int height, bool woven)
{
    const int own = header.channel2 == channel ? 1 : 0;
    int w = 720, x0 = 0;
    if (header.sizeCode == 2) {
        w = 360;
    } else if (header.sizeCode == 3) {
        w = 360;
        x0 = 360 * own;
    }
    return {x0, w - 12, std::max(0, (woven ? 2 * height : height) - 4)};
}

// Row srcY of src into row dstY of the bitmap, clipped by the smaller of source and target. The
// decoder leaves the top byte of its 32-bit pixels 0: the copy makes them opaque.
void CopyRow(TBitmap32 &bitmap, const QImage &src, int x0, int srcY, int dstY)
{
    if (srcY >= src.height() || dstY >= bitmap.Height())
        return;
    const int n = std::min(bitmap.Width(), src.width() - x0);
    if (n <= 0)
        return;
    const uint32_t *from = reinterpret_cast<const uint32_t *>(src.constScanLine(srcY)) + x0;
    TColor32 *to = bitmap.GetScanLine(dstY);
    for (int x = 0; x < n; ++x)
        to[x] = from[x] | 0xFF000000u;
}

} // namespace

int TfrmDvrCh::JpegReduction() const
{
    // Against the full picture's bitmap (708 x 476 and the like): a half when drawn smaller, a
    // quarter when drawn at half or less, on the larger side.
    const double scale = std::max(imgCh->width() / 708.0, imgCh->height() / 476.0);
    return scale >= 1.0 ? 1 : scale > 0.5 ? 2 : 4;
}

void TfrmDvrCh::DrawReduced(const FrameRecordHeader &header, const QImage &picture, int reduction)
{
    const Placement place = PlaceIn(header, channel_, picture.height() * reduction, false);
    QImage scratch;
    const QImage &a = As32(picture, scratch);
    LeaveDecoded();
    TBitmap32 &bitmap = imgCh->Bitmap();
    bitmap.Lock();
    bitmap.BeginUpdate();
    bitmap.SetSize(place.width / reduction, place.height / reduction);
    for (int y = 0; y < bitmap.Height(); ++y)
        CopyRow(bitmap, a, 0, y, y);
    bitmap.EndUpdate();
    bitmap.Unlock();
    bitmap.Changed();
    jpegReduction_ = reduction;
    jpegHeader_ = header;
}

// The kept record decoded again at the reduction the pane needs now (full size for a reader).
void TfrmDvrCh::RedecodeKept(int reduction)
{
    std::string why;
    if (reduction > 1 && DecodeArea(jpegKept_.data(), jpegKept_.size(), bitmapA_, &why, reduction)) {
        DrawReduced(jpegHeader_, *bitmapA_, reduction);
        return;
    }
    const FrameRecordHeader header = jpegHeader_;
    if (DecodeArea(jpegKept_.data(), jpegKept_.size(), bitmapA_, &why))
        DrawBitmaps(header, bitmapA_, nullptr);
    else
        DebugPrint("Jpeg Error : %d - %d, %s\n", header.channel, channel_, why.c_str());
}

void TfrmDvrCh::DrawBitmaps(const FrameRecordHeader &header, const QImage *first, const QImage *second)
{
    if (!first || first->isNull())
        return;
    if (second && second->isNull())
        second = nullptr;
    const int h = first->height();
    const Placement place = PlaceIn(header, channel_, h, second != nullptr);

    QImage scratchA, scratchB;
    const QImage &a = As32(*first, scratchA);
    const QImage *b = second ? &As32(*second, scratchB) : nullptr;
    LeaveDecoded();
    TBitmap32 &bitmap = imgCh->Bitmap();
    bitmap.Lock();
    bitmap.BeginUpdate();
    bitmap.SetSize(place.width, place.height);
    for (int y = 0; y < h; ++y) {
        if (b) {
            CopyRow(bitmap, a, place.x0, y, 2 * y);
            CopyRow(bitmap, *b, place.x0, y, 2 * y + 1);
        } else {
            CopyRow(bitmap, a, place.x0, y, y);
        }
    }
    bitmap.EndUpdate();
    bitmap.Unlock();
    bitmap.Changed();
}

uint32_t TfrmDvrCh::TakeDecoded(const FrameRecordHeader &header, PlanarPicture &picture)
{
    std::lock_guard hold(decodedMutex_);
    if (!(header.covert & 1u) && !picture.IsNull())
        std::swap(decoded_, picture);
    return leftDecoded_;
}

void TfrmDvrCh::ShowDecoded(const FrameRecordHeader &header, uint32_t ticket)
{
    EventGuard guard(lock_, kLockTimeoutMs);
    if (header.covert & 1u) {
        ShowCovert(header);
        return;
    }
    {
        std::lock_guard hold(decodedMutex_);
        if (ticket != leftDecoded_ || decoded_.IsNull())
            return; // blanked or shown a JPEG picture since: the picture is no longer the pane's
        decodedHeader_ = header;
    }
    showsDecoded_ = true;
    bitmapStale_ = true;
    jpegReduction_ = 1;
    // The full-size bitmap waits for a reader; a stand-in keeps the control's layout.
    TBitmap32 &bitmap = imgCh->Bitmap();
    bitmap.Lock();
    bitmap.SetSize(1, 1);
    bitmap.Unlock();
    bitmap.Changed();
    shownHeader_ = header;
    shown_ = true;
    SetTimeText(QString::fromStdString(TimeText(header.time)));
    SetEventText(header.event);
    SetChannelText(FieldText(header.text[0]));
    if (OnShown)
        OnShown(header);
}

void TfrmDvrCh::LeaveDecoded()
{
    jpegReduction_ = 1;
    std::lock_guard hold(decodedMutex_);
    ++leftDecoded_;
    showsDecoded_ = false;
    bitmapStale_ = false;
}

namespace {

// Picture columns of a row of n pixels, from its sampled bitmap columns: those right of the
// picture stay out (the prefix that is inside is returned).
int PictureColumns(std::vector<int32_t> &xs, int x0, int pictureWidth)
{
    int inside = 0;
    while (inside < int(xs.size()) && x0 + xs[size_t(inside)] < pictureWidth) {
        xs[size_t(inside)] += x0;
        ++inside;
    }
    return inside;
}

std::vector<int32_t> Sampling(int64_t bitmapSize, int64_t drawnSize, int64_t offset, int64_t count)
{
    if (bitmapSize == drawnSize) { // drawn at its size: a plain copy
        std::vector<int32_t> t(static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i)
            t[size_t(i)] = int32_t(offset + i);
        return t;
    }
    return NearestTable(0, bitmapSize, drawnSize, offset, count);
}

} // namespace

// The same pixels the full-size bitmap would give stretched over rect by nearest sampling, as
// the control draws a bitmap; columns the picture does not fill are transparent black, as in a
// fresh bitmap.
bool TfrmDvrCh::PaintDecoded(TBitmap32 *buffer, const TRect &rect)
{
    if (!showsDecoded_)
        return false;
    std::lock_guard hold(decodedMutex_);
    const PlanarPicture &p = decoded_;
    const Placement place = PlaceIn(decodedHeader_, channel_, p.height, false);
    const int64_t left = std::max<int64_t>(rect.Left, 0), top = std::max<int64_t>(rect.Top, 0);
    const int64_t right = std::min<int64_t>(rect.Right, buffer->Width());
    const int64_t bottom = std::min<int64_t>(rect.Bottom, buffer->Height());
    if (place.width <= 0 || place.height <= 0 || right <= left || bottom <= top)
        return true;
    const bool same = rect.Width() == place.width && rect.Height() == place.height;
    std::vector<int32_t> xs = Sampling(place.width, same ? place.width : rect.Width(), left - rect.Left, right - left);
    const std::vector<int32_t> ys =
        Sampling(place.height, same ? place.height : rect.Height(), top - rect.Top, bottom - top);
    const int inside = PictureColumns(xs, place.x0, p.width);
    const int n = int(right - left);
    const lumaset::ScaledRow row = lumaset::ScaledRowBest();
    int32_t last = -1;
    for (int64_t k = 0; k < bottom - top; ++k) {
        TColor32 *d = buffer->GetScanLine(int32_t(top + k)) + left;
        const int32_t y = ys[size_t(k)];
        if (y == last) {
            std::memcpy(d, d - buffer->Width(), size_t(n) * sizeof(TColor32));
            continue;
        }
        last = y;
        row(d, p.Y(y), p.U(y), p.V(y), xs.data(), inside);
        std::fill(d + inside, d + n, TColor32(0));
    }
    return true;
}

TBitmap32 &TfrmDvrCh::FullBitmap()
{
    if (jpegReduction_ > 1)
        RedecodeKept(1);
    TBitmap32 &bitmap = imgCh->Bitmap();
    if (!showsDecoded_ || !bitmapStale_)
        return bitmap;
    std::lock_guard hold(decodedMutex_);
    const PlanarPicture &p = decoded_;
    const Placement place = PlaceIn(decodedHeader_, channel_, p.height, false);
    bitmap.Lock();
    bitmap.BeginUpdate();
    bitmap.SetSize(place.width, place.height); // from the stand-in: fresh and zeroed
    std::vector<int32_t> xs = Sampling(place.width, place.width, 0, place.width);
    const int inside = PictureColumns(xs, place.x0, p.width);
    const lumaset::ScaledRow row = lumaset::ScaledRowBest();
    for (int y = 0; y < bitmap.Height(); ++y)
        row(bitmap.GetScanLine(y), p.Y(y), p.U(y), p.V(y), xs.data(), inside);
    bitmap.EndUpdate();
    bitmap.Unlock();
    bitmapStale_ = false;
    return bitmap;
}

QImage *TfrmDvrCh::CopyPicture(QImage *picture)
{
    EventGuard guard(lock_, kLockTimeoutMs);
    if (!shown_ || !picture)
        return nullptr;
    const bool half = shownHeader_.sizeCode == 2 || shownHeader_.sizeCode == 3;
    const int w = half ? 360 : 720, h = half ? videoHeight_ / 2 : videoHeight_;
    TBitmap32 stretched;
    stretched.SetSize(w, h);
    stretched.Clear(clBlack32);
    TBitmap32 &bitmap = FullBitmap();
    bitmap.Lock();
    bitmap.DrawTo(&stretched, MakeRect(0, 0, w, h));
    bitmap.Unlock();
    *picture = stretched.Image().convertToFormat(QImage::Format_RGB16);
    return picture;
}

// ---- Overlay

void TfrmDvrCh::SetChannelText(const QString &text)
{
    lblChFore->setText(text);
    lblChBack->setText(text);
}

void TfrmDvrCh::SetTimeText(const QString &text)
{
    lblTimeFore->setText(text);
    lblTimeBack->setText(text);
}

void TfrmDvrCh::SetEventText(uint8_t bits)
{
    const char text[4] = {(bits & 1) ? 'A' : ' ', (bits & 2) ? 'L' : ' ', (bits & 4) ? 'M' : ' ', 0};
    lblEventFore->setText(QString::fromLatin1(text));
    lblEventBack->setText(QString::fromLatin1(text));
}

void TfrmDvrCh::UpdateOverlay()
{
    const ViewerOptions &o = GetViewerOptions();
    lblChFore->setVisible(o.showChannelTitle && titleMode_ == 0);
    lblChBack->setVisible(o.showChannelTitle && titleMode_ == 0);
    imgTitle0->setVisible(o.showChannelTitle && titleMode_ != 0);
    lblTimeFore->setVisible(o.showDateTime);
    lblTimeBack->setVisible(o.showDateTime);
    lblEventFore->setVisible(o.showEvent);
    lblEventBack->setVisible(o.showEvent);
}

void TfrmDvrCh::DrawTitle(const uint8_t *bits, uint8_t mode)
{
    if (!bits) {
        titleMode_ = mode;
        if (GetViewerOptions().showChannelTitle) {
            imgTitle0->setVisible(mode != 0);
            lblChFore->setVisible(mode == 0);
            lblChBack->setVisible(mode == 0);
        }
        return;
    }
    std::memcpy(titleBits_.data(), bits, titleBits_.size());
    auto bit = [this](int x, int y) { return (titleBits_[size_t((x / 8) * 16 + y)] >> (7 - x % 8)) & 1; };
    QImage image(73, 17, QImage::Format_ARGB32);
    image.fill(kTitleTransparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 72; ++x)
            image.setPixel(x + 1, y + 1, bit(x, y) ? kTitleShadow : kTitleTransparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 72; ++x)
            if (bit(x, y))
                image.setPixel(x, y, kTitleWriting);
    titleImage_ = image;
    imgTitle0->setPixmap(QPixmap::fromImage(image));
}

// ---- Zoom and mouse

void TfrmDvrCh::Zoom()
{
    ApplyZoom();
    // A picture decoded at a fraction of its size and now drawn larger comes again from its record.
    if (jpegReduction_ > 1 && JpegReduction() < jpegReduction_)
        RedecodeKept(JpegReduction());
}

void TfrmDvrCh::ApplyZoom()
{
    const int64_t W = pnlBack->width(), H = pnlBack->height();
    if (zoomW_ > 4 && zoomH_ > 4) {
        const int64_t x = W * zoomX_ / kZoomSpaceWidth, w = W * zoomW_ / kZoomSpaceWidth;
        const int64_t y = H * zoomY_ / kZoomSpaceHeight, h = H * zoomH_ / kZoomSpaceHeight;
        if (w > 0 && h > 0) {
            imgCh->setGeometry(int(-(W * x / w)), int(-(H * y / h)), int(W * W / w), int(H * H / h));
            imgChResize();
            return;
        }
    }
    imgCh->setGeometry(0, 0, int(W), int(H));
    imgChResize();
}

void TfrmDvrCh::imgCh___MouseDown(Qt::MouseButton button, int x, int y)
{
    if (!shpZoom->isHidden()) {
        shpZoom->hide();
        return;
    }
    if (button != Qt::LeftButton)
        return;
    const QPoint at(x + imgCh->x(), y + imgCh->y());
    if (zoomed_) {
        zoomW_ = zoomH_ = 0;
        zoomed_ = 0;
        Zoom();
    }
    zoomOrigin_ = at;
    shpZoom->setGeometry(at.x(), at.y(), 0, 0);
    shpZoom->show();
}

void TfrmDvrCh::imgCh___MouseMove(bool leftHeld, int x, int y)
{
    if (shpZoom->isHidden() || !leftHeld)
        return;
    const int px = std::clamp(x + imgCh->x(), 0, imgCh->width());
    const int py = std::clamp(y + imgCh->y(), 0, imgCh->height());
    shpZoom->setGeometry(std::min(px, zoomOrigin_.x()), std::min(py, zoomOrigin_.y()), std::abs(px - zoomOrigin_.x()),
                         std::abs(py - zoomOrigin_.y()));
}

void TfrmDvrCh::imgCh___MouseUp(Qt::MouseButton button, int x, int y)
{
    if (!shpZoom->isHidden()) {
        shpZoom->hide();
        const int64_t W = pnlBack->width(), H = pnlBack->height();
        if (W <= 0 || H <= 0)
            return;
        const int64_t zw = shpZoom->width() * int64_t(kZoomSpaceWidth) / W;
        const int64_t zh = shpZoom->height() * int64_t(kZoomSpaceHeight) / H;
        if (zw >= 89 && zh >= 89) {
            zoomX_ = int32_t(shpZoom->x() * int64_t(kZoomSpaceWidth) / W);
            zoomY_ = int32_t(shpZoom->y() * int64_t(kZoomSpaceHeight) / H);
            zoomW_ = int32_t(zw);
            zoomH_ = int32_t(zh);
            zoomed_ = 1;
            Zoom();
        }
        return;
    }
    if (button == Qt::RightButton)
        emit PopupRequested(imgCh->mapToGlobal(QPoint(x, y)));
}

void TfrmDvrCh::imgCh___DblClick()
{
    emit DoubleClicked(channel_);
    shpZoom->setGeometry(shpZoom->x(), shpZoom->y(), 0, 0);
    shpZoom->show();
}

void TfrmDvrCh::imgChResize()
{
    const int L = imgCh->x(), T = imgCh->y();
    const int W = pnlBack->width(), H = pnlBack->height();
    lblChFore->setGeometry(-L, H - T - lblChFore->height(), W, lblChFore->height());
    lblChBack->setGeometry(-L + 1, H - T - lblChFore->height() + 1, W, lblChBack->height());
    imgTitle0->setGeometry(-L, H - T - imgTitle0->height(), W, imgTitle0->height());
    lblTimeFore->setGeometry(6 - L, 4 - T, W, lblTimeFore->height());
    lblTimeBack->setGeometry(7 - L, 5 - T, W, lblTimeBack->height());
    lblEventFore->setGeometry(6 - L, 20 - T, W, lblEventFore->height());
    lblEventBack->setGeometry(7 - L, 21 - T, W, lblEventBack->height());
}

} // namespace strandel
