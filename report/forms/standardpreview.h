#pragma once
// The standard preview window: a preview control with a tool bar (zoom, pages, search, print,
// save, load), a status bar (progress, page, report name) and a side panel of page thumbnails
// and search results. A report shows it when nobody supplies another preview.
#include <cstdint>

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QTableWidget>

#include "report/forms/preview.h"
#include "report/output/previewsettings.h"
#include "report/output/printer.h"
#include "report/pages/outline.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace strandel {

// The text search dialog.
class TSearchDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TSearchDlg(QWidget *owner = nullptr);
    QString GetText() const;
    bool GetCase() const;
    bool Cancelled() const { return m_cancelled; }

    QLabel *Label1;
    QLineEdit *Edit1;
    QCheckBox *CheckBox1;
    QToolButton *SpeedButton1; // Cancel
    QToolButton *SpeedButton2; // Search

public slots:
    void SpeedButton1Click();
    void SpeedButton2Click();
    // Esc or the window's close button cancel as well.
    void reject() override;

private:
    bool m_cancelled = false;
};

// A grid that tells when it is resized.
class TResizeGrid : public QTableWidget
{
    Q_OBJECT
public:
    using QTableWidget::QTableWidget;
signals:
    void Resized();

protected:
    void resizeEvent(QResizeEvent *e) override;
};

class TPgxStandardPreview : public QMainWindow
{
    Q_OBJECT
public:
    TPgxStandardPreview(QWidget *owner, TPgxPrinter *printer);
    ~TPgxStandardPreview() override;

    void Show();
    void UpdateInfo();
    void SelectPage(int32_t n);
    TPgxPrinter *Printer() const { return m_printer; }
    // What status panel 0, 1 or 2 shows.
    QString PanelText(int panel) const;

    QStatusBar *StatusBar;
    QLabel *StatusPanels[3];
    QToolBar *ToolBar1;
    QAction *ZoomFit, *ZoomToWidth, *Zoom100, *FirstPage, *PreviousPage, *ToolButton2, *LastPage, *GotoPageButton,
        *FindButton, *PrintSetup, *Print, *SaveReport, *LoadReport;
    QToolButton *ExitButton;
    TPgxPreview *PgxPreview;
    QSplitter *Splitter1;
    QTabWidget *Tabs;
    QWidget *TabThumbs, *TabSearchResult;
    TResizeGrid *ThumbGrid;
    QGroupBox *GroupBox1;
    QLabel *SearchTextLabel;
    QListWidget *SearchResultBox;

signals:
    // The window closed (it frees itself afterwards).
    void Closed();

public slots:
    void FormKeyDown(int key, Qt::KeyboardModifiers shift, bool &handled);
    void ZoomToFitClick();
    void ZoomToWidthClick();
    void ZoomTo100Click();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void GotoPageButtonClick();
    void FindButtonClick();
    void PrintSetupClick();
    void PrintClick();
    void SaveClick();
    void LoadClick();
    void ExitClick();
    void PgxPreviewPageAvailable(int pageNum);
    void PgxPreviewProgressUpdate(int progress);
    void PgxPreviewHyperlink(TPgxHyperlinkEventType eventType, const QString &link);
    void OutlineViewChange(TPgxOutlineTree::Node node);
    void ResizeThumb();
    void ThumbGridSelectCell(int col, int row);

public:
    void ThumbGridDrawCell(int col, int row, const QRect &rect, QPainter &canvas);

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void BuildForm();
    void ShowMessage(const QString &text);
    bool PrintSetupAvailable() const;
    void TakeTitle();

    QPointer<TPgxPrinter> m_printer;
    int m_lastProgress = 0;
    bool m_thumbPaperKnown = false, m_titleTaken = false;
    int m_textHeight = 0, m_thumbHeight = 0, m_thumbWidth = 0, m_vInset = 0, m_hInset = 0;
    bool m_showThumbs = true, m_showSearch = true;
    TPgxZoomState m_initialZoom = TPgxZoomState::pgxZoomToFit;
    TPgxWindowState m_windowState = TPgxWindowState::wsMaximized;
    // The report or file name in status panel 2; each window keeps its own.
    QString m_name;
    bool m_selecting = false; // the program moves the grid: its handler must not echo
};

// Shows printers' pages in standard preview windows.
class TPgxStandardPreviewInterface : public TPgxPreviewInterface
{
public:
    // The window, shown, owned by the application (it frees itself when closed).
    QObject *Show(TPgxPrinter *printer) override;
    // Returns once the window is closed.
    void ShowModal(TPgxPrinter *printer) override;
};

// Makes report printers show their previews in the standard preview window.
void PgxRegisterStandardPreview();

} // namespace strandel
