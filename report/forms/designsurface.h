#pragma once
// The report on screen while it is designed: the page at its zoom with its ruler, guides and
// frame, and the bands laid out on it as they will print.
#include <QImage>
#include <QWidget>

namespace strandel {

class TCustomPagorra;

class TPgxDesignSurface : public QWidget
{
    Q_OBJECT
public:
    explicit TPgxDesignSurface(TCustomPagorra *report, QWidget *parent = nullptr);

    TCustomPagorra *Report() const { return m_report; }
    // 1 to 300 percent; anything else is ignored.
    void SetZoom(int zoom);
    int Zoom() const;
    // Shown under everything until the report changes.
    void SetFirstPagePicture(const QImage &picture);
    const QImage &FirstPagePicture() const { return m_firstPage; }
    // The report changed: the picture of its first page no longer holds; repaint once.
    void Modify();
    // Dragging the page's size: a custom paper takes it, other sizes keep theirs.
    void SetReportSize(int width, int height);
    // Moves every band below the page, so the page's own picture shows.
    void SetHideBands(bool hide);
    bool HideBands() const { return m_hideBands; }
    // Brings later bands up by moving the first ones to the end of the shown list.
    void SetRotateBands(int count);
    int RotateBands() const { return m_rotateBands; }
    // Takes the size of the page at its zoom.
    void FitToPage();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TCustomPagorra *m_report;
    QImage m_firstPage;
    bool m_repaintPending = false;
    bool m_hideBands = false;
    int m_rotateBands = 0;
};

} // namespace strandel
