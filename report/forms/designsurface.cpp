#include "report/forms/designsurface.h"

#include <QPainter>

#include "report/bands/pagorra.h"
#include "report/forms/designpaint.h"

namespace strandel {

TPgxDesignSurface::TPgxDesignSurface(TCustomPagorra *report, QWidget *parent) : QWidget(parent), m_report(report)
{
    setObjectName(QStringLiteral("PgxDesignSurface"));
    FitToPage();
}

void TPgxDesignSurface::SetZoom(int zoom)
{
    if (!m_report || zoom < 1 || zoom > 300)
        return;
    m_report->SetZoom(zoom);
    FitToPage();
    update();
}

int TPgxDesignSurface::Zoom() const
{
    return m_report ? m_report->Page.Zoom() : 100;
}

void TPgxDesignSurface::SetFirstPagePicture(const QImage &picture)
{
    m_firstPage = picture;
    update();
}

void TPgxDesignSurface::Modify()
{
    if (m_repaintPending)
        return;
    m_repaintPending = true;
    m_firstPage = QImage();
    update();
}

void TPgxDesignSurface::SetReportSize(int width, int height)
{
    if (!m_report)
        return;
    const QSize now = PgxReportPixelSize(*m_report);
    TPgxPage &page = m_report->Page;
    if ((now.width() != width || now.height() != height) && page.GetPaperSize() == TPgxPaperSize::Custom) {
        page.SetPixels();
        page.SetValue(TPgxPage::Width, width);
        page.SetValue(TPgxPage::Length, height);
        page.RestoreUnit();
    }
    m_report->SetBandValues();
    FitToPage();
    update();
}

void TPgxDesignSurface::SetHideBands(bool hide)
{
    if (hide == m_hideBands)
        return;
    m_hideBands = hide;
    update();
}

void TPgxDesignSurface::SetRotateBands(int count)
{
    if (count == m_rotateBands || count < 0)
        return;
    m_rotateBands = count;
    update();
}

void TPgxDesignSurface::FitToPage()
{
    resize(sizeHint());
}

QSize TPgxDesignSurface::sizeHint() const
{
    return m_report ? PgxReportPixelSize(*m_report) : QSize(100, 100);
}

void TPgxDesignSurface::paintEvent(QPaintEvent *)
{
    m_repaintPending = false;
    if (!m_report)
        return;
    QPainter p(this);
    PgxPaintReport(p, *m_report, m_firstPage, isEnabled());
    for (const auto &[band, r] : PgxLayOutBands(*m_report, m_hideBands, m_rotateBands))
        PgxPaintBand(p, *m_report, *band, r);
}

} // namespace strandel
