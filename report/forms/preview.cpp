#include "report/forms/preview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "report/output/printer.h"
#include "report/pages/outline.h"
#include "report/pages/units.h"

namespace strandel {

namespace {

// The page shown without a printer that knows its paper: Letter, millimetres taken as pixels.
constexpr double FallbackWidth = 215.9, FallbackLength = 279.4;
// Room for the frame and the shadow around the page.
constexpr int FrameExtra = 4;

} // namespace

void PaintPageToCanvas(const TPgxMetafile *page, QPainter &canvas, const QRect &r, bool frame)
{
    const int w = r.width(), h = r.height();
    const int left = r.left(), top = r.top(), right = r.left() + w, bottom = r.top() + h;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (page || frame)
        canvas.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(left + w - 4, top + h - 4)), Qt::white);
    if (page)
        page->Replay(canvas, QRectF(r));
    if (page || frame) {
        canvas.setPen(QPen(Qt::black, 1));
        canvas.setBrush(Qt::NoBrush);
        const QPoint outline[] = {{left, top}, {left, top + h - 3}, {left + w - 3, top + h - 3}, {left + w - 3, top}, {left, top}};
        canvas.drawPolyline(outline, 5);
        canvas.fillRect(QRect(QPoint(left + w - 2, top + 2), QPoint(right - 1, bottom - 1)), Qt::black);
        canvas.fillRect(QRect(QPoint(left + 2, top + h - 2), QPoint(right - 1, bottom - 1)), Qt::black);
    }
    canvas.restore();
}

// ---- the page image

TPgxPreviewImage::TPgxPreviewImage(TPgxPreview *owner) : QWidget(nullptr), m_owner(owner)
{
    setObjectName(QStringLiteral("PgxPreviewImage"));
    setMouseTracking(true);
    resize(100, 50);
}

TPgxPreviewImage::~TPgxPreviewImage() = default;

void TPgxPreviewImage::SetPageNumber(int32_t n)
{
    m_pageNumber = n;
    m_page.reset();
    m_links.reset();
    if (m_printer) {
        // The page's links come with it, so links work in every preview.
        std::unique_ptr<TPgxMetafile> page;
        std::unique_ptr<std::vector<THyperlink>> links;
        if (m_printer->GetPageEx(n, page, links)) {
            m_page = std::move(page);
            m_links = std::move(links);
        }
    }
    if (m_isLink)
        SetIsLink(false);
    PaintPage();
}

void TPgxPreviewImage::PaintPage()
{
    update();
}

void TPgxPreviewImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    PaintPageToCanvas(m_page.get(), p, rect(), false);
}

QString TPgxPreviewImage::Hyperlink(int x, int y)
{
    if (!m_links || m_zoom <= 0)
        return QString();
    const int32_t px = PgxRound(double(x) / m_zoom * 100), py = PgxRound(double(y) / m_zoom * 100);
    for (const THyperlink &l : *m_links)
        if (px >= l.Rect.left && px <= l.Rect.right && py >= l.Rect.top && py <= l.Rect.bottom) {
            m_link = l.Link;
            return l.Link;
        }
    return QString();
}

void TPgxPreviewImage::SetIsLink(bool b)
{
    if (b == m_isLink)
        return;
    m_isLink = b;
    if (OnHyperlink) {
        bool handled = false;
        OnHyperlink(m_printer.data(), b ? TPgxHyperlinkEventType::heCursorMoveOver : TPgxHyperlinkEventType::heCursorMoveAway,
                    b ? m_link : QString(), handled);
    }
}

void TPgxPreviewImage::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_owner->MouseMove(e->modifiers(), pos.x(), pos.y());
    if (!Hyperlink(pos.x(), pos.y()).isEmpty()) {
        setCursor(Qt::PointingHandCursor);
        SetIsLink(true);
    } else {
        unsetCursor();
        SetIsLink(false);
    }
}

void TPgxPreviewImage::leaveEvent(QEvent *e)
{
    QWidget::leaveEvent(e);
    unsetCursor();
    SetIsLink(false);
}

void TPgxPreviewImage::mousePressEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_owner->MouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
    if (e->button() != Qt::LeftButton || !m_isLink)
        return;
    bool handled = false;
    if (OnHyperlink)
        OnHyperlink(m_printer.data(), TPgxHyperlinkEventType::heGoto, m_link, handled);
    // Without a handler the link is followed too: the hand cursor promised it.
    if (!handled)
        PerformHyperlink(m_printer.data(), m_link);
}

void TPgxPreviewImage::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_owner->MouseUp(e->button(), e->modifiers(), pos.x(), pos.y());
    if (e->button() == Qt::LeftButton && rect().contains(pos))
        emit m_owner->Click();
}

void TPgxPreviewImage::mouseDoubleClickEvent(QMouseEvent *e)
{
    QWidget::mouseDoubleClickEvent(e);
    emit m_owner->DblClick();
}

// ---- the control

TPgxPreview::TPgxPreview(QWidget *parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("PgxPreview"));
    m_image = new TPgxPreviewImage(this);
    setWidget(m_image);
    setWidgetResizable(false);
    // Centred while smaller than the view; at the left and top (and scrolled) once larger.
    setAlignment(Qt::AlignCenter);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    resize(250, 250);
}

TPgxPreview::~TPgxPreview()
{
    if (m_printer)
        SetPgxPrinter(nullptr);
}

void TPgxPreview::Detach()
{
    for (const QMetaObject::Connection &c : m_connections)
        disconnect(c);
    m_connections.clear();
    if (m_printer && m_printer->PreviewControl() == this) {
        m_printer->SetShowingPreview(false);
        m_printer->SetPreviewControl(nullptr);
    }
    m_printer = nullptr;
}

void TPgxPreview::PrinterGone()
{
    // The printer is being destroyed: nothing of it may be called any more.
    m_connections.clear();
    m_printer = nullptr;
    m_image->SetPrinter(nullptr);
}

void TPgxPreview::SetPgxPrinter(TPgxPrinter *p)
{
    if (m_printer)
        Detach();
    m_printer = p;
    m_image->SetPrinter(p);
    if (p) {
        p->SetPreviewControl(this);
        p->SetShowingPreview(true);
        m_connections.push_back(connect(p, &TPgxPrinter::AvailablePagesChanged, this, &TPgxPreview::PageAvailable, Qt::QueuedConnection));
        m_connections.push_back(connect(p, &TPgxPrinter::ProgressChanged, this, &TPgxPreview::ProgressUpdate, Qt::QueuedConnection));
        m_connections.push_back(connect(p, &QObject::destroyed, this, &TPgxPreview::PrinterGone));
    }
    // A new document starts at its first page, whatever the old one showed.
    m_pageNumber = 1;
    m_image->SetPageNumber(1);
    // The page size comes from the printer: lay the page out again (a zoom set before binding
    // was laid out without one).
    Fixvalues();
    update();
    if (p)
        p->SetOutline(m_outline);
}

void TPgxPreview::SetPageNumber(int32_t n)
{
    if (n == m_pageNumber && m_image->ImageOK())
        return;
    if (n > 0 && m_printer && n <= m_printer->PageCount()) {
        m_image->SetPageNumber(n);
        m_pageNumber = n;
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
}

void TPgxPreview::UpdateImage()
{
    if (!m_image->ImageOK() && m_printer)
        m_image->SetPageNumber(m_image->PageNumber());
}

void TPgxPreview::SetZoom(int z)
{
    if (z < 2 || z > 2000)
        return;
    m_zoomState = TPgxZoomState::pgxZoomOther;
    m_zoom = z;
    UpdateZoom();
}

bool TPgxPreview::PageSize(double zoom, int &w, int &h) const
{
    // A printer knows its paper and factor once its document has begun (a loaded one too).
    if (m_printer && m_printer->Status() != TPgxPrinterStatus::mpReady) {
        const double pw = m_printer->PaperWidthValue(), pl = m_printer->PaperLengthValue();
        if (m_printer->XSize(pw) > 0 && m_printer->YSize(pl) > 0) {
            w = m_printer->XSize(pw / 100 * zoom);
            h = m_printer->YSize(pl / 100 * zoom);
            return true;
        }
    }
    w = PgxRound(FallbackWidth / 100 * zoom);
    h = PgxRound(FallbackLength / 100 * zoom);
    return false;
}

QSize TPgxPreview::ImageSizeFor(int zoom) const
{
    int w = 0, h = 0;
    PageSize(zoom, w, h);
    return QSize(w + FrameExtra, h + FrameExtra);
}

void TPgxPreview::UpdateZoom()
{
    m_image->SetZoom(m_zoom);
    m_image->resize(ImageSizeFor(m_zoom));
    m_image->update();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TPgxPreview::ZoomToFit()
{
    int pw = 0, pl = 0;
    double dx = FallbackWidth, dy = FallbackLength;
    if (PageSize(100, pw, pl)) {
        dx = m_printer->XSize(m_printer->PaperWidthValue());
        dy = m_printer->YSize(m_printer->PaperLengthValue());
    }
    const int zx = PgxRound(width() / dx * 95), zy = PgxRound(height() / dy * 95);
    SetZoom(zx < zy ? zx : zy);
    UpdateZoom();
    m_zoomState = TPgxZoomState::pgxZoomToFit;
}

void TPgxPreview::ZoomToWidth()
{
    int pw = 0, pl = 0;
    int z;
    if (PageSize(100, pw, pl))
        z = PgxRound(width() / double(m_printer->XSize(m_printer->PaperWidthValue())) * 90);
    else
        z = PgxRound(width() / FallbackWidth * 95);
    SetZoom(z);
    UpdateZoom();
    m_zoomState = TPgxZoomState::pgxZoomToWidth;
}

void TPgxPreview::Fixvalues()
{
    if (m_zoomState == TPgxZoomState::pgxZoomToFit)
        ZoomToFit();
    else if (m_zoomState == TPgxZoomState::pgxZoomToWidth)
        ZoomToWidth();
    UpdateZoom();
}

void TPgxPreview::resizeEvent(QResizeEvent *e)
{
    QScrollArea::resizeEvent(e);
    Fixvalues();
}

void TPgxPreview::SetOutline(TPgxOutlineTree *tree)
{
    m_outline = tree;
    if (m_printer)
        m_printer->SetOutline(tree);
}

void TPgxPreview::PageAvailable(int pages)
{
    if (pages >= m_pageNumber)
        UpdateImage();
    // A printer bound before its document began had no paper yet: lay the page out once it has.
    if (m_image->size() != ImageSizeFor(m_zoom))
        Fixvalues();
    if (OnPageAvailable)
        OnPageAvailable(this, pages);
}

void TPgxPreview::ProgressUpdate(int percent)
{
    if (OnProgressUpdate)
        OnProgressUpdate(this, percent);
}

} // namespace strandel
