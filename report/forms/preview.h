#pragma once
// The preview control: a scroll box showing one page of a report printer's document, zoomed,
// while the report may still be generating. The printer's progress and page counts reach it
// queued from the run's thread. It does not own the printer it shows.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QPointer>
#include <QScrollArea>
#include <QString>
#include <QWidget>

#include "report/output/previewsettings.h"
#include "report/output/printer.h"
#include "report/pages/hyperlink.h"
#include "report/pages/metafile.h"

class QPainter;

namespace strandel {

class TPgxPreview;
class TPgxOutlineTree;

enum class TPgxHyperlinkEventType : uint8_t { heCursorMoveOver = 0, heCursorMoveAway = 1, heGoto = 2, heGotoNewWindow = 3 };

// Sender is the printer; a handler that leaves handled false lets the link be followed.
using TPgxPreviewHyperlinkEvent =
    std::function<void(QObject *sender, TPgxHyperlinkEventType eventType, const QString &link, bool &handled)>;
using TPgxPageAvailableEvent = std::function<void(TPgxPreview *sender, int pageNum)>;
using TPgxProgressUpdateEvent = std::function<void(TPgxPreview *sender, int progress)>;

// Paints a page (or, with frame set, at least its paper) over r with a frame and a 2-pixel
// shadow on the right and at the bottom.
void PaintPageToCanvas(const TPgxMetafile *page, QPainter &canvas, const QRect &r, bool frame);

// The page inside the preview; turns the page's links into clickable spots.
class TPgxPreviewImage : public QWidget
{
    Q_OBJECT
public:
    explicit TPgxPreviewImage(TPgxPreview *owner);
    ~TPgxPreviewImage() override;

    bool ImageOK() const { return m_page != nullptr; }
    bool HyperlinksOK() const { return m_links != nullptr; }
    void FreeHyperlinks() { m_links.reset(); }

    void SetPrinter(TPgxPrinter *printer) { m_printer = printer; }
    int32_t PageNumber() const { return m_pageNumber; }
    // Fetches page n with its links from the printer (nothing while it does not exist yet).
    void SetPageNumber(int32_t n);
    int Zoom() const { return m_zoom; }
    void SetZoom(int z) { m_zoom = z; }
    const TPgxMetafile *Page() const { return m_page.get(); }
    const std::vector<THyperlink> *Hyperlinks() const { return m_links.get(); }
    // Gives the shown page links of its own (replacing those it came with).
    void SetHyperlinks(std::unique_ptr<std::vector<THyperlink>> links) { m_links = std::move(links); }

    // The link under a position in the image's pixels; empty when none.
    QString Hyperlink(int x, int y);
    bool IsLink() const { return m_isLink; }
    void SetIsLink(bool b);
    QString CurrentLink() const { return m_link; }

    TPgxPreviewHyperlinkEvent OnHyperlink;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;

private:
    void PaintPage();
    TPgxPreview *m_owner;
    std::unique_ptr<std::vector<THyperlink>> m_links;
    QPointer<TPgxPrinter> m_printer;
    int32_t m_pageNumber = 1;
    std::unique_ptr<TPgxMetafile> m_page;
    int m_zoom = 100;
    bool m_isLink = false;
    QString m_link;
};

class TPgxPreview : public QScrollArea
{
    Q_OBJECT
public:
    explicit TPgxPreview(QWidget *parent = nullptr);
    ~TPgxPreview() override;

    // Shows the printer's pages from page 1 (null detaches); the printer learns that a preview
    // shows it, and when that ends.
    void SetPgxPrinter(TPgxPrinter *p);
    TPgxPrinter *PgxPrinter() const { return m_printer; }

    int32_t PageNumber() const { return m_pageNumber; }
    // Pages 1..the printer's page count; anything else leaves the page as it is.
    void SetPageNumber(int32_t n);
    // Fetches the shown page once the printer has it.
    void UpdateImage();

    int Zoom() const { return m_zoom; }
    // 2..2000 percent; anything else is ignored.
    void SetZoom(int z);
    TPgxZoomState ZoomState() const { return m_zoomState; }
    void ZoomToFit();
    void ZoomToWidth();
    // Sizes the page image for the zoom and centres it while it is smaller than the view.
    void UpdateZoom();
    // Keeps a fit mode across resizes.
    void Fixvalues();

    void SetOnHyperlink(TPgxPreviewHyperlinkEvent e) { m_image->OnHyperlink = std::move(e); }
    TPgxPreviewHyperlinkEvent GetOnHyperlink() const { return m_image->OnHyperlink; }
    TPgxOutlineTree *Outline() const { return m_outline; }
    void SetOutline(TPgxOutlineTree *tree);

    TPgxPreviewImage *Image() const { return m_image; }

    TPgxPageAvailableEvent OnPageAvailable;
    TPgxProgressUpdateEvent OnProgressUpdate;

signals:
    // Mouse and clicks on the page, in the page image's pixels.
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void Click();
    void DblClick();

public slots:
    // The printer's page count and progress, queued from the run.
    void PageAvailable(int pages);
    void ProgressUpdate(int percent);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void Detach();
    void PrinterGone();
    // The page's pixels at zoom percent; false without a printer that knows its page.
    bool PageSize(double zoom, int &w, int &h) const;
    QSize ImageSizeFor(int zoom) const;

    TPgxPreviewImage *m_image;
    int32_t m_pageNumber = 1;
    QPointer<TPgxPrinter> m_printer;
    int m_zoom = 100;
    TPgxZoomState m_zoomState = TPgxZoomState::pgxZoomOther;
    TPgxOutlineTree *m_outline = nullptr;
    std::vector<QMetaObject::Connection> m_connections;
};

} // namespace strandel
