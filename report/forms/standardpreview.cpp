#include "report/forms/standardpreview.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "report/bands/pagorra.h"
#include "report/base/strings.h"
#include "report/output/exportfilter.h"
#include "report/pages/pagetexts.h"
#include "report/pages/units.h"
#include "report/stored/extra.h"

namespace strandel {

namespace {

QString Str(uint16_t id)
{
    return QString::fromStdString(report::PgxLoadStr(id));
}

enum class Glyph { Fit, Width, Full, First, Prev, Next, Last, Goto, Find, Setup, Print, Save, Load };

// The tool bar's pictures, drawn rather than shipped.
QIcon ToolIcon(Glyph g)
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink(40, 40, 40), accent(30, 90, 170);
    auto page = [&](QRectF r) {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(r);
    };
    auto triangle = [&](double x, bool left) {
        QPainterPath path;
        if (left) {
            path.moveTo(x + 6, 4);
            path.lineTo(x, 10);
            path.lineTo(x + 6, 16);
        } else {
            path.moveTo(x, 4);
            path.lineTo(x + 6, 10);
            path.lineTo(x, 16);
        }
        path.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(path);
    };
    auto bar = [&](double x) {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawRect(QRectF(x, 4, 2, 12));
    };
    switch (g) {
    case Glyph::Fit:
        page(QRectF(5.5, 2.5, 9, 15));
        p.setPen(QPen(accent, 1.5));
        p.drawLine(QPointF(10, 0.5), QPointF(10, 2.5));
        p.drawLine(QPointF(10, 17.5), QPointF(10, 19.5));
        break;
    case Glyph::Width:
        page(QRectF(2.5, 4.5, 15, 11));
        p.setPen(QPen(accent, 1.5));
        p.drawLine(QPointF(5, 10), QPointF(15, 10));
        p.drawLine(QPointF(5, 10), QPointF(7.5, 7.5));
        p.drawLine(QPointF(5, 10), QPointF(7.5, 12.5));
        p.drawLine(QPointF(15, 10), QPointF(12.5, 7.5));
        p.drawLine(QPointF(15, 10), QPointF(12.5, 12.5));
        break;
    case Glyph::Full: {
        QFont f = p.font();
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(ink);
        p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case Glyph::First:
        bar(4);
        triangle(7, true);
        break;
    case Glyph::Prev: triangle(7, true); break;
    case Glyph::Next: triangle(7, false); break;
    case Glyph::Last:
        triangle(7, false);
        bar(14);
        break;
    case Glyph::Goto: {
        page(QRectF(3.5, 2.5, 13, 15));
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.setPen(accent);
        p.drawText(QRectF(3, 3, 14, 14), Qt::AlignCenter, QStringLiteral("#"));
        break;
    }
    case Glyph::Find:
        p.setPen(QPen(ink, 2));
        p.setBrush(QColor(220, 235, 250));
        p.drawEllipse(QRectF(3, 3, 10, 10));
        p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 12), QPointF(17, 17));
        break;
    case Glyph::Setup:
    case Glyph::Print:
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 1.5, 9, 6));
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(QRectF(1.5, 7.5, 17, 7), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 12.5, 9, 6));
        if (g == Glyph::Setup) {
            p.setPen(QPen(accent, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(11, 10, 7, 7));
        }
        break;
    case Glyph::Save:
        p.setPen(QPen(ink, 1));
        p.setBrush(accent);
        p.drawRect(QRectF(2.5, 2.5, 15, 15));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 9, 6));
        p.drawRect(QRectF(5.5, 11.5, 9, 6));
        break;
    case Glyph::Load:
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(235, 190, 80));
        p.drawRect(QRectF(1.5, 5.5, 17, 12));
        p.drawRect(QRectF(1.5, 3.5, 7, 2));
        break;
    }
    p.end();
    return QIcon(pm);
}

// Paints the grid's cells through the form, as an owner-drawn grid does.
class ThumbDelegate : public QStyledItemDelegate
{
public:
    ThumbDelegate(TPgxStandardPreview *form, QObject *parent) : QStyledItemDelegate(parent), m_form(form) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->save();
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        else
            painter->fillRect(option.rect, option.palette.base());
        m_form->ThumbGridDrawCell(index.column(), index.row(), option.rect, *painter);
        painter->restore();
    }

private:
    TPgxStandardPreview *m_form;
};

// A Windows-style filter ("text|pattern|text|pattern") as Qt's name filters.
QStringList NameFilters(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        out << (parts[i].contains(QLatin1Char('(')) ? parts[i] : parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return out;
}

} // namespace

// ---- the search dialog

TSearchDlg::TSearchDlg(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("SearchDlg"));
    setWindowTitle(QStringLiteral("Pagorra Preview : Text Search"));
    Label1 = new QLabel(QStringLiteral("Search for :"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);
    CheckBox1 = new QCheckBox(QStringLiteral("Match Case"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Cancel"));
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setText(QStringLiteral("Search"));
    for (QToolButton *b : {SpeedButton1, SpeedButton2})
        b->setMinimumWidth(75);
    auto *row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(Edit1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton2);
    buttons->addWidget(SpeedButton1);
    auto *all = new QVBoxLayout(this);
    all->addLayout(row);
    all->addLayout(buttons);
    connect(SpeedButton1, &QToolButton::clicked, this, &TSearchDlg::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TSearchDlg::SpeedButton2Click);
    // Enter searches.
    connect(Edit1, &QLineEdit::returnPressed, this, &TSearchDlg::SpeedButton2Click);
    resize(320, sizeHint().height());
}

QString TSearchDlg::GetText() const
{
    return Edit1->text();
}

bool TSearchDlg::GetCase() const
{
    return CheckBox1->isChecked();
}

void TSearchDlg::SpeedButton1Click()
{
    m_cancelled = true;
    done(QDialog::Rejected);
}

void TSearchDlg::SpeedButton2Click()
{
    m_cancelled = false;
    done(QDialog::Accepted);
}

void TSearchDlg::reject()
{
    m_cancelled = true;
    QDialog::reject();
}

void TResizeGrid::resizeEvent(QResizeEvent *e)
{
    QTableWidget::resizeEvent(e);
    emit Resized();
}

// ---- the window

TPgxStandardPreview::TPgxStandardPreview(QWidget *owner, TPgxPrinter *printer) : QMainWindow(owner), m_printer(printer)
{
    BuildForm();
    if (auto *report = printer ? qobject_cast<TCustomPagorra *>(printer->ParentReport()) : nullptr) {
        if (report->PrevFormStyle == TPgxFormStyle::fsStayOnTop)
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
        resize(report->GetPreviewWidth(), report->GetPreviewHeight());
        m_windowState = report->PreviewInitialState;
        m_showThumbs = report->GetPrevShowThumbs();
        m_showSearch = report->PrevShowSearch;
        m_initialZoom = report->PrevInitialZoom;
        m_name = report->ReportTitle;
    } else {
        m_windowState = TPgxWindowState::wsMaximized;
        m_showThumbs = m_showSearch = true;
        m_initialZoom = TPgxZoomState::pgxZoomToFit;
    }
    PgxPreview->SetPgxPrinter(printer);
    TakeTitle();
    Tabs->setVisible(m_showThumbs || m_showSearch);
    if (!m_showThumbs)
        Tabs->removeTab(Tabs->indexOf(TabThumbs));
    if (!m_showSearch) {
        Tabs->removeTab(Tabs->indexOf(TabSearchResult));
        FindButton->setVisible(false);
    }
    if (m_initialZoom == TPgxZoomState::pgxZoomToFit) {
        PgxPreview->ZoomToFit();
        ZoomFit->setChecked(true);
    } else if (m_initialZoom == TPgxZoomState::pgxZoomToWidth) {
        PgxPreview->ZoomToWidth();
        ZoomToWidth->setChecked(true);
    } else {
        PgxPreview->SetZoom(100);
        PgxPreview->UpdateZoom();
        Zoom100->setChecked(true);
    }
    // A document generated before the window opened sent its page counts to nobody: take
    // them now, so the thumbnails and the print buttons are there.
    if (printer && printer->Status() != TPgxPrinterStatus::mpReady)
        PgxPreviewPageAvailable(printer->PageList().PageCount());
    if (printer && printer->Status() == TPgxPrinterStatus::mpFinished) {
        Print->setEnabled(true);
        PgxPreviewProgressUpdate(100); // the run ended before the window opened
    }
    // Keys reach the window before its controls.
    qApp->installEventFilter(this);
}

TPgxStandardPreview::~TPgxStandardPreview()
{
    qApp->removeEventFilter(this);
}

void TPgxStandardPreview::BuildForm()
{
    setObjectName(QStringLiteral("PgxStandardPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(800, 639);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    const int widths[3] = {40, 120, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(StatusBar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFrameShape(QFrame::StyledPanel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusPanels[i]->setMinimumWidth(widths[i]);
        StatusBar->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
    }
    StatusPanels[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusPanels[0]->setFixedWidth(widths[0]);
    StatusPanels[1]->setFixedWidth(widths[1]);
    StatusPanels[0]->setText(QStringLiteral("0%"));
    StatusPanels[1]->setText(QStringLiteral("Page"));
    StatusPanels[2]->setText(QStringLiteral(" "));
    setStatusBar(StatusBar);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    auto action = [&](const char *name, Glyph g, const QString &hint, void (TPgxStandardPreview::*slot)()) {
        QAction *a = ToolBar1->addAction(ToolIcon(g), hint);
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(hint);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    ZoomFit = action("ZoomFit", Glyph::Fit, QStringLiteral("Zoom to fit"), &TPgxStandardPreview::ZoomToFitClick);
    ZoomToWidth = action("ZoomToWidth", Glyph::Width, QStringLiteral("Zoom to width"), &TPgxStandardPreview::ZoomToWidthClick);
    Zoom100 = action("Zoom100", Glyph::Full, QStringLiteral("100%"), &TPgxStandardPreview::ZoomTo100Click);
    auto *zoomGroup = new QActionGroup(this);
    for (QAction *a : {ZoomFit, ZoomToWidth, Zoom100}) {
        a->setCheckable(true);
        zoomGroup->addAction(a);
    }
    ToolBar1->addSeparator();
    FirstPage = action("FirstPage", Glyph::First, QStringLiteral("First page"), &TPgxStandardPreview::FirstPageClick);
    PreviousPage = action("PreviousPage", Glyph::Prev, QStringLiteral("Previous page"), &TPgxStandardPreview::PrevPageClick);
    ToolButton2 = action("ToolButton2", Glyph::Next, QStringLiteral("Next page"), &TPgxStandardPreview::NextPageClick);
    LastPage = action("LastPage", Glyph::Last, QStringLiteral("Last page"), &TPgxStandardPreview::LastPageClick);
    GotoPageButton = action("GotoPageButton", Glyph::Goto, QStringLiteral("Go to page"), &TPgxStandardPreview::GotoPageButtonClick);
    ToolBar1->addSeparator();
    FindButton = action("FindButton", Glyph::Find, QStringLiteral("Search for text"), &TPgxStandardPreview::FindButtonClick);
    ToolBar1->addSeparator();
    PrintSetup = action("PrintSetup", Glyph::Setup, QStringLiteral("Printer setup"), &TPgxStandardPreview::PrintSetupClick);
    Print = action("Print", Glyph::Print, QStringLiteral("Print"), &TPgxStandardPreview::PrintClick);
    ToolBar1->addSeparator();
    SaveReport = action("SaveReport", Glyph::Save, QStringLiteral("Save Report"), &TPgxStandardPreview::SaveClick);
    LoadReport = action("LoadReport", Glyph::Load, QStringLiteral("Load Report"), &TPgxStandardPreview::LoadClick);
    ToolBar1->addSeparator();
    // Printing and its set-up wait for the finished document.
    PrintSetup->setEnabled(false);
    Print->setEnabled(false);
    ExitButton = new QToolButton(ToolBar1);
    ExitButton->setObjectName(QStringLiteral("ExitButton"));
    ExitButton->setText(QStringLiteral("&Close"));
    ExitButton->setToolTip(QStringLiteral("Close preview"));
    ExitButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ExitButton->setAutoRaise(true);
    ToolBar1->addWidget(ExitButton);
    connect(ExitButton, &QToolButton::clicked, this, &TPgxStandardPreview::ExitClick);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Tabs = new QTabWidget(Splitter1);
    Tabs->setObjectName(QStringLiteral("Tabs"));
    TabThumbs = new QWidget;
    TabThumbs->setObjectName(QStringLiteral("TabThumbs"));
    ThumbGrid = new TResizeGrid(0, 1, TabThumbs);
    ThumbGrid->setObjectName(QStringLiteral("ThumbGrid"));
    ThumbGrid->horizontalHeader()->hide();
    ThumbGrid->verticalHeader()->hide();
    ThumbGrid->setShowGrid(false);
    ThumbGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ThumbGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ThumbGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ThumbGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ThumbGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ThumbGrid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ThumbGrid->horizontalHeader()->setDefaultSectionSize(90);
    ThumbGrid->verticalHeader()->setDefaultSectionSize(90);
    ThumbGrid->verticalHeader()->setMinimumSectionSize(1);
    ThumbGrid->setItemDelegate(new ThumbDelegate(this, ThumbGrid));
    auto *thumbLayout = new QVBoxLayout(TabThumbs);
    thumbLayout->setContentsMargins(0, 0, 0, 0);
    thumbLayout->addWidget(ThumbGrid);
    Tabs->addTab(TabThumbs, QStringLiteral("Thumbnails"));

    TabSearchResult = new QWidget;
    TabSearchResult->setObjectName(QStringLiteral("TabSearchResult"));
    GroupBox1 = new QGroupBox(QStringLiteral("Search text"), TabSearchResult);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    SearchTextLabel = new QLabel(GroupBox1);
    SearchTextLabel->setObjectName(QStringLiteral("SearchTextLabel"));
    auto *groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addWidget(SearchTextLabel);
    SearchResultBox = new QListWidget(TabSearchResult);
    SearchResultBox->setObjectName(QStringLiteral("SearchResultBox"));
    SearchResultBox->setEnabled(false);
    auto *searchLayout = new QVBoxLayout(TabSearchResult);
    searchLayout->setContentsMargins(2, 2, 2, 2);
    searchLayout->addWidget(GroupBox1);
    searchLayout->addWidget(SearchResultBox, 1);
    // A found page shows when its line is clicked.
    connect(SearchResultBox, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int page = item->data(Qt::UserRole).toInt();
        if (m_printer && page >= 1 && page <= m_printer->PageCount())
            SelectPage(page);
    });
    Tabs->addTab(TabSearchResult, QStringLiteral("Search result"));

    PgxPreview = new TPgxPreview(Splitter1);
    PgxPreview->SetZoom(70);
    PgxPreview->OnPageAvailable = [this](TPgxPreview *, int n) { PgxPreviewPageAvailable(n); };
    PgxPreview->OnProgressUpdate = [this](TPgxPreview *, int p) { PgxPreviewProgressUpdate(p); };
    Splitter1->addWidget(Tabs);
    Splitter1->addWidget(PgxPreview);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({210, 590});
    Splitter1->setCollapsible(1, false);
    setCentralWidget(Splitter1);

    connect(ThumbGrid, &TResizeGrid::Resized, this, &TPgxStandardPreview::ResizeThumb);
    connect(ThumbGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int col, int, int) { if (row >= 0) ThumbGridSelectCell(col, row); });
}

void TPgxStandardPreview::Show()
{
    switch (m_windowState) {
    case TPgxWindowState::wsMaximized: showMaximized(); break;
    case TPgxWindowState::wsMinimized: showMinimized(); break;
    default:
        // Centred on the screen.
        if (QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        show();
        break;
    }
    UpdateInfo();
}

QString TPgxStandardPreview::PanelText(int panel) const
{
    return panel >= 0 && panel < 3 ? StatusPanels[panel]->text() : QString();
}

void TPgxStandardPreview::UpdateInfo()
{
    const int count = m_printer ? m_printer->PageCount() : 0;
    StatusPanels[1]->setText(Str(report::SpgxPage) + QLatin1Char(' ') + QString::number(PgxPreview->PageNumber()) +
                             QLatin1Char(' ') + Str(report::SpgxOf) + QLatin1Char(' ') + QString::number(count));
    StatusPanels[2]->setText(m_name);
}

void TPgxStandardPreview::SelectPage(int32_t n)
{
    PgxPreview->SetPageNumber(n);
    UpdateInfo();
    if (m_printer && n >= 1 && n <= m_printer->PageCount() && n <= ThumbGrid->rowCount()) {
        m_selecting = true;
        ThumbGrid->setCurrentCell(n - 1, 0);
        m_selecting = false;
    }
}

bool TPgxStandardPreview::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress && watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == this) {
        auto *k = static_cast<QKeyEvent *>(e);
        bool handled = false;
        FormKeyDown(k->key(), k->modifiers() & ~Qt::KeypadModifier, handled);
        if (handled)
            return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void TPgxStandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers shift, bool &handled)
{
    const bool ctrlAlone = shift == Qt::ControlModifier;
    handled = true;
    switch (key) {
    case Qt::Key_Escape: ExitClick(); break;
    case Qt::Key_PageUp: ctrlAlone ? FirstPageClick() : PrevPageClick(); break;
    case Qt::Key_PageDown: ctrlAlone ? LastPageClick() : NextPageClick(); break;
    case Qt::Key_End: LastPageClick(); break;
    case Qt::Key_Home: FirstPageClick(); break;
    default: handled = false; break;
    }
}

void TPgxStandardPreview::closeEvent(QCloseEvent *e)
{
    if (m_printer)
        m_printer->ClosePreview();
    // The window goes now; its preview control tells the printer it is no longer shown.
    PgxPreview->SetPgxPrinter(nullptr);
    e->accept();
    emit Closed();
}

void TPgxStandardPreview::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    PgxPreview->UpdateZoom();
}

void TPgxStandardPreview::ZoomToFitClick()
{
    QCoreApplication::processEvents();
    PgxPreview->ZoomToFit();
}

void TPgxStandardPreview::ZoomToWidthClick()
{
    QCoreApplication::processEvents();
    PgxPreview->ZoomToWidth();
}

void TPgxStandardPreview::ZoomTo100Click()
{
    QCoreApplication::processEvents();
    PgxPreview->SetZoom(100);
    PgxPreview->UpdateZoom();
}

void TPgxStandardPreview::FirstPageClick()
{
    SelectPage(1);
}

void TPgxStandardPreview::PrevPageClick()
{
    SelectPage(PgxPreview->PageNumber() - 1);
}

void TPgxStandardPreview::NextPageClick()
{
    SelectPage(PgxPreview->PageNumber() + 1);
}

void TPgxStandardPreview::LastPageClick()
{
    if (m_printer)
        SelectPage(m_printer->PageCount());
}

void TPgxStandardPreview::GotoPageButtonClick()
{
    if (!m_printer)
        return;
    const int count = m_printer->PageCount();
    QInputDialog dlg(this);
    dlg.setObjectName(QStringLiteral("GotoPageDialog"));
    dlg.setWindowTitle(QString::fromStdString(report::PgxFmt(report::SpgxGotoPage, {std::to_string(count)})));
    dlg.setLabelText(QStringLiteral("Go to page >>"));
    dlg.setTextValue(QString::number(PgxPreview->PageNumber()));
    dlg.exec();
    // Cancel leaves the current number in the box, and so stays on the page.
    bool ok = false;
    int n = dlg.textValue().trimmed().toInt(&ok);
    if (!ok)
        n = 0;
    SelectPage(n >= 1 && n <= count ? n : 1);
}

void TPgxStandardPreview::FindButtonClick()
{
    if (!m_printer)
        return;
    QString text;
    bool matchCase = false;
    {
        TSearchDlg dlg(this);
        dlg.exec();
        if (dlg.Cancelled())
            return;
        text = dlg.GetText();
        matchCase = dlg.GetCase();
    }
    SearchResultBox->setEnabled(true);
    SearchTextLabel->setText(text);
    SearchResultBox->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int count = m_printer->PageCount();
    for (int i = 1; i <= count && m_printer; ++i) {
        std::unique_ptr<TPgxMetafile> page = m_printer->GetPage(i);
        if (!page || !StrInMetafile(text, page.get(), matchCase))
            continue;
        auto *item = new QListWidgetItem(QStringLiteral("Page ") + QString::number(i), SearchResultBox);
        item->setData(Qt::UserRole, i); // the page a click shows
    }
    QApplication::restoreOverrideCursor();
    if (SearchResultBox->count() == 0) {
        SearchResultBox->addItem(QStringLiteral("No matching text"));
        SearchResultBox->setEnabled(false);
    }
    // The result is on its own tab; show it.
    if (Tabs->indexOf(TabSearchResult) >= 0)
        Tabs->setCurrentWidget(TabSearchResult);
}

void TPgxStandardPreview::PrintSetupClick()
{
    if (!m_printer)
        return;
    m_printer->PrintSetup();
    if (auto *report = qobject_cast<TCustomPagorra *>(m_printer->ParentReport())) {
        const TPgxPrinterSettings &s = report->PrinterSettings;
        TPrinterSettings &t = m_printer->Settings();
        m_printer->SetPrinterIndex(s.PrinterIndex);
        t.SetOutputBin(s.OutputBin);
        t.Collate = s.Collate;
        t.ColorOption = s.ColorOption;
        t.PrintQuality = s.PrintQuality;
        t.SetCopies(s.Copies);
        t.SetDuplex(s.Duplex);
        t.ExtendedDuplex = s.ExtendedDuplex;
        t.CustomBinCode = s.CustomBinCode;
        t.UseCustomBinCode = s.UseCustomBinCode;
        m_printer->FirstPage = s.FirstPage;
        m_printer->LastPage = s.LastPage;
    }
}

void TPgxStandardPreview::PrintClick()
{
    if (!m_printer)
        return;
    QString error;
    if (!m_printer->Print(&error) && !error.isEmpty())
        ShowMessage(error);
}

void TPgxStandardPreview::ShowMessage(const QString &text)
{
    QMessageBox box(QMessageBox::Information, windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("PreviewMessage"));
    box.exec();
}

void TPgxStandardPreview::SaveClick()
{
    if (!m_printer)
        return;
    QStringList filters = NameFilters(PgxExportFilterLibrary().GetSaveDialogFilter());
    // Exporting runs the report again; pages loaded from a file have no report behind them.
    if (!m_printer->OnExportToFilter)
        filters = filters.mid(0, 1);
    QFileDialog dlg(this, Str(report::SpgxSaveReport));
    dlg.setObjectName(QStringLiteral("SaveDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(QStringLiteral("Pgx"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const QString name = dlg.selectedFiles().first();
    const int index = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
    if (index <= 1) {
        if (m_printer->Status() != TPgxPrinterStatus::mpFinished) {
            ShowMessage(Str(report::SpgxPgxPrinterNotReady));
            return;
        }
        QString error;
        if (!m_printer->Save(name, &error))
            ShowMessage(error);
        return;
    }
    const auto &entries = PgxExportFilterLibrary().Filters();
    if (size_t(index - 2) < entries.size() && entries[size_t(index - 2)].FilterClass)
        if (std::unique_ptr<TPgxExportFilter> filter = entries[size_t(index - 2)].FilterClass(name))
            m_printer->ExportToFilter(filter.get());
}

void TPgxStandardPreview::LoadClick()
{
    if (!m_printer)
        return;
    QFileDialog dlg(this, Str(report::SpgxLoadReport));
    dlg.setObjectName(QStringLiteral("LoadDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setNameFilter(QStringLiteral("Pagorra file") + QStringLiteral(" (*.") + QStringLiteral("Pgx") + QStringLiteral(")"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const QString name = dlg.selectedFiles().first();
    if (!QFileInfo(name).isFile()) {
        ShowMessage(Str(report::SpgxFileNotExist));
        return;
    }
    // A run still writing its pages keeps them: the printer refuses, and so does a file that
    // is not a report.
    QString error;
    if (!m_printer->Load(name, &error)) {
        ShowMessage(error);
        return;
    }
    m_name = name;
    // The found pages were those of the report shown before.
    SearchTextLabel->clear();
    SearchResultBox->clear();
    SearchResultBox->setEnabled(false);
    PgxPreview->SetPageNumber(1);
    PgxPreview->Image()->SetPageNumber(1);
    PgxPreview->Fixvalues(); // the file's paper may differ
    ResizeThumb();
    PgxPreviewPageAvailable(1);
    m_selecting = true;
    ThumbGrid->setCurrentCell(0, 0);
    m_selecting = false;
    PrintSetup->setEnabled(false);
    Print->setEnabled(true);
    ThumbGrid->viewport()->update();
}

void TPgxStandardPreview::ExitClick()
{
    close();
}

bool TPgxStandardPreview::PrintSetupAvailable() const
{
    return m_printer && m_printer->Status() == TPgxPrinterStatus::mpFinished && m_printer->OnPrintSetup;
}

void TPgxStandardPreview::TakeTitle()
{
    // A run on a worker sets the title up before it begins its document.
    if (m_titleTaken || !m_printer || m_printer->Status() == TPgxPrinterStatus::mpReady)
        return;
    m_titleTaken = true;
    if (!m_printer->Title.isEmpty())
        setWindowTitle(m_printer->Title);
}

void TPgxStandardPreview::PgxPreviewPageAvailable(int)
{
    UpdateInfo();
    TakeTitle();
    if (!m_thumbPaperKnown)
        ResizeThumb();
    if (m_printer) {
        const int rows = m_printer->PageList().PageCount();
        if (ThumbGrid->rowCount() != rows)
            ThumbGrid->setRowCount(rows);
        for (int r = 0; r < rows; ++r)
            if (ThumbGrid->rowHeight(r) != m_thumbHeight && m_thumbHeight > 0)
                ThumbGrid->setRowHeight(r, m_thumbHeight);
    }
    ThumbGrid->viewport()->update();
    if (m_printer && m_printer->Status() == TPgxPrinterStatus::mpFinished) {
        PrintSetup->setEnabled(PrintSetupAvailable());
        Print->setEnabled(true);
        // A run without a data set sends no progress at all: its end empties the panel too.
        StatusPanels[0]->setText(QString());
    }
}

void TPgxStandardPreview::PgxPreviewProgressUpdate(int progress)
{
    if (progress >= m_lastProgress + 5) {
        StatusPanels[0]->setText(QString::number(progress) + QStringLiteral("%"));
        m_lastProgress = progress;
    }
    if (progress == 0 || progress == 100)
        StatusPanels[0]->setText(QString());
}

void TPgxStandardPreview::PgxPreviewHyperlink(TPgxHyperlinkEventType, const QString &link)
{
    StatusPanels[2]->setText(link);
}

void TPgxStandardPreview::OutlineViewChange(TPgxOutlineTree::Node node)
{
    if (!m_printer)
        return;
    PgxRect area;
    int32_t page = 0;
    m_printer->PageList().LockList();
    m_printer->PageList().Outline().FindPosition(node, area, page);
    m_printer->PageList().UnlockList();
    if (page > 0) {
        SelectPage(page);
        UpdateInfo();
    }
}

void TPgxStandardPreview::ResizeThumb()
{
    m_textHeight = ThumbGrid->fontMetrics().boundingRect(QStringLiteral("P")).height();
    const int colWidth = ThumbGrid->viewport()->width() - 4;
    ThumbGrid->setColumnWidth(0, colWidth > 1 ? colWidth : 1);
    m_thumbWidth = colWidth - 20;
    double pw = 0, pl = 0;
    // A run sets its paper up before it begins its document; until then the paper is not known.
    m_thumbPaperKnown = m_printer && m_printer->Status() != TPgxPrinterStatus::mpReady;
    // The paper as its pages are laid out (a custom paper keeps its sides in landscape).
    if (m_thumbPaperKnown) {
        pw = m_printer->PaperWidthValue();
        pl = m_printer->PaperLengthValue();
    }
    // A paper of no size (or no printer) shows thumbnails of Letter's shape.
    if (pw <= 0 || pl <= 0) {
        pw = 2159;
        pl = 2794;
    }
    const double scale = m_thumbWidth > 0 ? m_thumbWidth / pw : 0;
    m_thumbHeight = PgxRound(pl * scale - m_textHeight);
    if (m_thumbHeight < 1)
        m_thumbHeight = 1;
    ThumbGrid->verticalHeader()->setDefaultSectionSize(m_thumbHeight);
    for (int r = 0; r < ThumbGrid->rowCount(); ++r)
        ThumbGrid->setRowHeight(r, m_thumbHeight);
    m_hInset = PgxRound((colWidth - m_thumbWidth) / 2.0);
    m_vInset = PgxRound((m_thumbHeight - m_thumbHeight) / 2.0);
}

void TPgxStandardPreview::ThumbGridDrawCell(int, int row, const QRect &rect, QPainter &canvas)
{
    if (!m_printer)
        return;
    std::unique_ptr<TPgxMetafile> page = m_printer->GetPage(row + 1);
    if (!page)
        return;
    // Right and bottom edges exclusive, as the cell's own.
    const int left = rect.left() + m_hInset, top = rect.top() + 10;
    const QRect r(left, top, rect.left() + rect.width() - 30 - left, rect.height() - 20);
    if (r.width() > 4 && r.height() > 4)
        PaintPageToCanvas(page.get(), canvas, r, true);
    const QString number = QString::number(row + 1);
    const QFontMetrics fm(canvas.font());
    const QRect textRect(rect.topLeft(), QSize(fm.horizontalAdvance(number) + 4, fm.height()));
    canvas.fillRect(textRect, QApplication::palette().color(QPalette::Button));
    canvas.setPen(QApplication::palette().color(QPalette::ButtonText));
    canvas.drawText(textRect, Qt::AlignCenter, number);
}

void TPgxStandardPreview::ThumbGridSelectCell(int, int row)
{
    if (m_selecting)
        return;
    PgxPreview->SetPageNumber(row + 1);
    UpdateInfo();
}

// ---- the interface

QObject *TPgxStandardPreviewInterface::Show(TPgxPrinter *printer)
{
    auto *form = new TPgxStandardPreview(nullptr, printer);
    // Asked for from a modal dialog (the report settings' Preview), a plain window would open
    // under that dialog and take no input until it closes.
    if (QApplication::activeModalWidget())
        form->setWindowModality(Qt::ApplicationModal);
    form->Show();
    return form;
}

void TPgxStandardPreviewInterface::ShowModal(TPgxPrinter *printer)
{
    QPointer<TPgxStandardPreview> form = new TPgxStandardPreview(nullptr, printer);
    form->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    QObject::connect(form, &TPgxStandardPreview::Closed, &loop, &QEventLoop::quit);
    QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
    form->Show();
    if (form)
        loop.exec();
}

void PgxRegisterStandardPreview()
{
    RegisterPreviewClass([] { return std::make_unique<TPgxStandardPreviewInterface>(); });
}

} // namespace strandel
