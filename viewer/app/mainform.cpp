#include "viewer/app/mainform.h"

#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/option.h"
#include "viewer/admin/pantilt.h"
#include "viewer/admin/print.h"
#include "viewer/admin/shells.h"
#include "viewer/app/debug.h"
#include "viewer/app/dvrlist.h"
#include "viewer/app/dvrsearch.h"
#include "viewer/view/dvrwin.h"
#include "viewer/app/forms.h"
#include "viewer/base/global.h"
#include "viewer/link/crc32.h"
#include "platform/debuglog.h"
#include "platform/langtable.h"
#include "platform/settings.h"
#include "viewer/view/title.h"
#include "viewer/base/vieweroptions.h"
#include "viewer/controls/mybutton.h"
#include "viewer/controls/placement.h"
#include "viewer/base/version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QPainter>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace strandel {

QRect FitFrameSizing(const QRect &rect, SizingEdge edge, int dx, int dy, int V)
{
    if (V <= 0)
        V = 480;
    int left = std::max(0, rect.left());
    int top = std::max(0, rect.top());
    int w = rect.width() - dx;
    int h = rect.height() - dy;
    if (h < 150 || w < 108000 / V) {
        w = 108000 / V;
        h = 150;
    }
    if (edge == SizingEdge::Left || edge == SizingEdge::Right)
        h = w * V / 720;
    else if (edge == SizingEdge::Top || edge == SizingEdge::Bottom)
        w = h * 720 / V;
    if (h * 720 / V > w)
        h = V * w / 720;
    else
        w = h * 720 / V;
    return QRect(left, top, w + dx, h + dy);
}

namespace {
// Smaller than this no caption is readable; such a caption is left cut.
constexpr int kMinCaptionPixels = 6;
} // namespace

QImage MakeCaptionGlyph(const QString &caption, QSize cell, const QColor &face)
{
    QImage strip(cell.width() * 4, cell.height(), QImage::Format_ARGB32);
    strip.fill(face);
    QPainter p(&strip);
    // The caption keeps a pixel clear of the bevel on every side. Fonts differ from system to
    // system, so the size is the largest at which the wrapped caption fits there.
    const QRect inner(2, 2, std::max(1, cell.width() - 4), std::max(1, cell.height() - 4));
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    QFont f("DejaVu Sans");
    for (int px = std::max(8, std::min(11, cell.height() - 6)); px >= kMinCaptionPixels; --px) {
        f.setPixelSize(px);
        const QRect need = QFontMetrics(f).boundingRect(inner, flags, caption);
        if (need.width() <= inner.width() && need.height() <= inner.height())
            break;
    }
    p.setFont(f);
    const QColor text[4] = {Qt::black, face.darker(150), Qt::white, Qt::black};
    for (int i = 0; i < 4; ++i) {
        const QRect r(i * cell.width(), 0, cell.width(), cell.height());
        if (i == 2)
            p.fillRect(r, face.darker(140));
        else if (i == 3)
            p.fillRect(r, face.lighter(115));
        p.setPen(i == 2 ? face.darker(200) : face.lighter(140));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(i == 2 ? face.lighter(140) : face.darker(200));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(text[i]);
        p.drawText(inner.translated(r.topLeft()), flags, caption);
    }
    return strip;
}

namespace {

const QSize kFrameDefaultSize(640, 500);
const QSize kFrameMinSize(320, 240);

// A saved position or size is only used as far as a screen can hold it: values from a damaged
// settings file must not overflow the layout arithmetic, and a window saved on a screen that is
// gone starts on the primary one.
void FitToScreens(int &x, int &y, int *w, int *h, QSize fallbackSize)
{
    // Too small to hold the tool column beside a picture: the size was never a real window's.
    if (w && h && (*w < kFrameMinSize.width() || *h < kFrameMinSize.height())) {
        DebugPrint("Frame size %d x %d below the minimum: default taken\n", *w, *h);
        *w = kFrameDefaultSize.width();
        *h = kFrameDefaultSize.height();
    }
    QRect all;
    for (const QScreen *screen : QGuiApplication::screens())
        all |= screen->geometry();
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (all.isEmpty() || !primary)
        all = QRect(0, 0, 1920, 1080);
    if (w)
        *w = std::clamp(*w, 1, all.width());
    if (h)
        *h = std::clamp(*h, 1, all.height());
    x = std::clamp(x, all.left() - all.width(), all.right());
    y = std::clamp(y, all.top() - all.height(), all.bottom());
    const QRect window(QPoint(x, y), w && h ? QSize(*w, *h) : fallbackSize);
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->geometry().intersects(window))
            return;
    const QPoint start = primary ? primary->availableGeometry().topLeft() : QPoint(0, 0);
    x = start.x();
    y = start.y();
}

QFrame *MakePanel(QWidget *parent, const char *name, int w, int h)
{
    auto *p = new QFrame(parent);
    p->setObjectName(name);
    p->resize(w, h);
    return p;
}

const QColor kButtonFace(0xC4, 0xB0, 0x94);

TMyButton *MakeButton(QWidget *parent, const char *name, const char *text, QRect geometry, int groupIndex = 0)
{
    auto *b = new TMyButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(text);
    b->setGeometry(geometry);
    b->SetGroupIndex(groupIndex);
    b->SetAllowAllUp(true);
    b->SetGlyph(MakeCaptionGlyph(text, geometry.size(), kButtonFace));
    b->SetNumGlyphs(4);
    return b;
}

QColor ColorFromTColor(int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

} // namespace

TfrmMain::TfrmMain(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("frmMain");
    setWindowTitle("Strandel");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, ColorFromTColor(0xC4B094));
    setPalette(p);
    setFont(QFont("Arial", 8));
    resize(569, 324);
    BuildControls();
    for (int i = 0; i < 16; ++i)
        btnCh[size_t(i)]->setProperty("Tag", i + 1);
    Capture = new WaveCapture(this);
    Playback = new WavePlayback(this);
    WatchAudioDevices(this, [this] { AudioDevicesChanged(); });
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // Capture first, so no microphone block is routed while the rest goes; the objects
    // themselves go with the window's children, in the same order.
    audioClosed_ = true;
    Capture->Close();
    Playback->Close();
    // Views still registered, and those whose queued free never ran, go with the main window.
    for (TfrmDvrWin *view : dvrWins_)
        pendingFree_.insert(view);
    for (TfrmDvrWin *view : pendingFree_)
        delete view;
}

void TfrmMain::BuildControls()
{
    pnlToolTop = MakePanel(this, "pnlToolTop", kClientWidth, 50);
    imgTop = new QLabel(pnlToolTop);
    imgTop->setObjectName("imgTop");
    imgTop->setScaledContents(true);
    imgTop->setGeometry(0, 0, kClientWidth, 50);
    Image1 = new QLabel(pnlToolTop);
    Image1->setObjectName("Image1");
    Image1->setGeometry(8, 9, 32, 32);
    const char *large[][2] = {{"btnDvrList", "DVR List"},        {"btnDvrSearch", "DVR Search"},
                              {"btnHdd", "HDD Search"},          {"btnFile", "FILE Search"},
                              {"btnArange", "Arrange Windows"},  {"btnOption", "Viewer Option"}};
    TMyButton **largeButtons[] = {&btnDvrList, &btnDvrSearch, &btnHdd, &btnFile, &btnArange, &btnOption};
    for (int i = 0; i < 6; ++i)
        *largeButtons[i] = MakeButton(pnlToolTop, large[i][0], large[i][1], QRect(48 + i * 44, 7, 42, 36));
    btnMin = MakeButton(pnlToolTop, "btnMin", "-", QRect(0, 2, 18, 16));
    btnExit = MakeButton(pnlToolTop, "btnExit", "X", QRect(0, 2, 18, 16));
    btnController = MakeButton(pnlToolTop, "btnController", "C", QRect(0, 20, 18, 16));
    btnFrame = MakeButton(pnlToolTop, "btnFrame", "F", QRect(0, 20, 18, 16));
    SpeedButton3 = MakeButton(pnlToolTop, "SpeedButton3", "Close", QRect(0, 0, 18, 16));
    SpeedButton3->setVisible(false);

    pnlLeft = MakePanel(this, "pnlLeft", 356, 262);
    imgLeft = new QLabel(pnlLeft);
    imgLeft->setObjectName("imgLeft");
    imgLeft->setScaledContents(true);
    imgLeft->setGeometry(0, 0, 356, 161);
    bvLeft = MakePanel(pnlLeft, "bvLeft", 2, 10);
    bvLeft->setVisible(false);

    pnlToolCh = MakePanel(pnlLeft, "pnlToolCh", 112, 112);
    for (int i = 0; i < 16; ++i) {
        const QByteArray name = "btnCh" + QByteArray::number(i + 1);
        btnCh[size_t(i)] = MakeButton(pnlToolCh, name.constData(), QByteArray::number(i + 1).constData(),
                                      QRect(6 + (i % 4) * 25, 6 + (i / 4) * 25, 22, 22), 1);
        btnCh[size_t(i)]->setEnabled(false);
    }

    pnlToolControl = MakePanel(pnlLeft, "pnlToolControl", 112, 112);
    const char *control[][2] = {{"btnDvrCtrl", "Controller"}, {"btnPanTilt", "Pan/Tilt"}, {"btnDvrEnv", "Dvr Setup"},
                                {"btnDvrStatus", "Dvr Status"}, {"btnPrint", "Print/File"}, {"btnCopy", "Copy"},
                                {"btnAudSend", "A Send"},       {"btnAudRecv", "A Recv"}};
    TMyButton **controlButtons[] = {&btnDvrCtrl, &btnPanTilt, &btnDvrEnv, &btnDvrStatus,
                                      &btnPrint,   &btnCopy,    &btnAudSend, &btnAudRecv};
    const int controlGroups[] = {500, 400, 0, 0, 0, 400, 300, 301};
    for (int i = 0; i < 8; ++i)
        *controlButtons[i] = MakeButton(pnlToolControl, control[i][0], control[i][1],
                                        QRect(4 + (i % 2) * 53, 4 + (i / 2) * 26, 52, 25), controlGroups[i]);

    pnlToolSearch = MakePanel(pnlLeft, "pnlToolSearch", 108, 52);
    const char *search[][2] = {{"btnTimeSearch", "Time"}, {"btnEventSearch", "Event"},
                               {"btnBlockSearch", "Block"}, {"btnLogSearch", "Log"}};
    TMyButton **searchButtons[] = {&btnTimeSearch, &btnEventSearch, &btnBlockSearch, &btnLogSearch};
    for (int i = 0; i < 4; ++i)
        *searchButtons[i] = MakeButton(pnlToolSearch, search[i][0], search[i][1],
                                       QRect(2 + (i % 2) * 52, 2 + (i / 2) * 24, 51, 23));

    pnlToolPlay = MakePanel(pnlLeft, "pnlToolPlay", 225, 38);
    const char *play[][2] = {{"btnRecord", "Rec"}, {"btnFastBack", "<<"}, {"btnSlowBack", "< |"},
                             {"btnBack", "<"},     {"btnPause", "||"},    {"btnPlay", ">"},
                             {"btnSlowPlay", "| >"}, {"btnFastPlay", ">>"}};
    TMyButton **playButtons[] = {&btnRecord, &btnFastBack, &btnSlowBack, &btnBack,
                                   &btnPause,  &btnPlay,     &btnSlowPlay, &btnFastPlay};
    for (int i = 0; i < 8; ++i)
        *playButtons[i] = MakeButton(pnlToolPlay, play[i][0], play[i][1], QRect(2 + i * 27, 4, 26, 30),
                                     i == 0 ? 200 : 6002);

    pnlToolMulti = MakePanel(pnlLeft, "pnlToolMulti", 112, 38);
    btnMulti = MakeButton(pnlToolMulti, "btnMulti", "Multi", QRect(2, 4, 36, 30));
    btnAuto = MakeButton(pnlToolMulti, "btnAuto", "Auto", QRect(40, 4, 36, 30), 100);
    edtAutoSeq = new QSpinBox(pnlToolMulti);
    edtAutoSeq->setObjectName("edtAutoSeq");
    edtAutoSeq->setRange(1, 9);
    edtAutoSeq->setValue(3);
    edtAutoSeq->setGeometry(78, 8, 32, 22);

    pnlToolClock = MakePanel(pnlLeft, "pnlToolClock", 108, 50);
    lblClock = new QLabel(pnlToolClock);
    lblClock->setObjectName("lblClock");
    lblClock->setAlignment(Qt::AlignCenter);
    lblClock->setGeometry(0, 4, 108, 20);
    lblInfo = new QLabel(QStringLiteral("V") + kProgramVersion, pnlToolClock);
    lblInfo->setObjectName("lblInfo");
    lblInfo->setAlignment(Qt::AlignCenter);
    lblInfo->setGeometry(0, 26, 108, 20);

    lstDvrWin = new QListWidget(pnlLeft);
    lstDvrWin->setObjectName("lstDvrWin");
    lstDvrWin->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstDvrWin->setEditTriggers(QAbstractItemView::NoEditTriggers);

    pnlDvr = MakePanel(this, "pnlDvr", 200, 200);
    auto *noWindow = new QLabel("No Window", pnlDvr);
    noWindow->setAlignment(Qt::AlignCenter);
    noWindow->setObjectName("pnlDvrCaption");
    tmrClock = new QTimer(this);
    tmrClock->setObjectName("tmrClock");
    tmrClock->setInterval(1000);
    tmrClock->start();

    connect(tmrClock, &QTimer::timeout, this, &TfrmMain::tmrClockTimer);
    connect(btnFrame, &QAbstractButton::clicked, this, &TfrmMain::btnFrameClick);
    connect(btnController, &QAbstractButton::clicked, this, &TfrmMain::btnControllerClick);
    connect(btnExit, &QAbstractButton::clicked, this, &TfrmMain::btnExitClick);
    connect(btnMin, &QAbstractButton::clicked, this, &TfrmMain::btnMinClick);
    connect(btnDvrList, &QAbstractButton::clicked, this, &TfrmMain::btnDvrListClick);
    connect(btnDvrSearch, &QAbstractButton::clicked, this, &TfrmMain::btnDvrSearchClick);
    connect(btnOption, &QAbstractButton::clicked, this, &TfrmMain::btnOptionClick);
    connect(SpeedButton3, &QAbstractButton::clicked, this, &TfrmMain::RemoveAllDvrWins);
    for (int i = 0; i < 16; ++i)
        connect(btnCh[size_t(i)], &QAbstractButton::clicked, this, [this, i] { btnChClick(i + 1); });
    connect(btnMulti, &QAbstractButton::clicked, this, &TfrmMain::btnMultiClick);
    connect(btnAuto, &QAbstractButton::clicked, this, &TfrmMain::btnAutoClick);
    connect(edtAutoSeq, &QSpinBox::valueChanged, this, &TfrmMain::edtAutoSeqChange);
    connect(btnPause, &QAbstractButton::clicked, this, &TfrmMain::btnPauseClick);
    connect(btnPlay, &QAbstractButton::clicked, this, &TfrmMain::btnPlayClick);
    connect(btnBack, &QAbstractButton::clicked, this, &TfrmMain::btnBackClick);
    connect(btnFastPlay, &QAbstractButton::clicked, this, &TfrmMain::btnFastPlayClick);
    connect(btnFastBack, &QAbstractButton::clicked, this, &TfrmMain::btnFastBackClick);
    connect(btnSlowPlay, &QAbstractButton::clicked, this, &TfrmMain::btnSlowPlayClick);
    connect(btnSlowBack, &QAbstractButton::clicked, this, &TfrmMain::btnSlowBackClick);
    connect(btnTimeSearch, &QAbstractButton::clicked, this, [this] { btnSearchClick(1); });
    connect(btnEventSearch, &QAbstractButton::clicked, this, [this] { btnSearchClick(2); });
    connect(btnBlockSearch, &QAbstractButton::clicked, this, [this] { btnSearchClick(3); });
    connect(btnLogSearch, &QAbstractButton::clicked, this, [this] { btnSearchClick(4); });
    connect(btnDvrStatus, &QAbstractButton::clicked, this, &TfrmMain::btnDvrStatusClick);
    connect(btnPrint, &QAbstractButton::clicked, this, &TfrmMain::btnPrintClick);
    connect(btnDvrEnv, &QAbstractButton::clicked, this, &TfrmMain::btnDvrEnvClick);
    connect(btnPanTilt, &QAbstractButton::clicked, this, &TfrmMain::btnPanTiltClick);
    connect(btnDvrCtrl, &QAbstractButton::clicked, this, &TfrmMain::btnDvrCtrlClick);
    connect(btnArange, &QAbstractButton::clicked, this, &TfrmMain::btnArangeClick);
    connect(btnHdd, &QAbstractButton::clicked, this, &TfrmMain::btnHddClick);
    connect(btnFile, &QAbstractButton::clicked, this, &TfrmMain::btnFileClick);
    connect(btnRecord, &QAbstractButton::clicked, this, &TfrmMain::btnRecordClick);
    connect(btnCopy, &QAbstractButton::clicked, this, &TfrmMain::btnCopyClick);
    connect(btnAudSend, &QAbstractButton::clicked, this, &TfrmMain::btnAudSendClick);
    connect(btnAudRecv, &QAbstractButton::clicked, this, &TfrmMain::btnAudRecvClick);
    connect(lstDvrWin, &QListWidget::currentRowChanged, this, &TfrmMain::lstDvrWinSelectItem);
    for (QWidget *w : {static_cast<QWidget *>(imgTop), static_cast<QWidget *>(Image1), static_cast<QWidget *>(imgLeft)})
        w->installEventFilter(this);
    pnlDvr->installEventFilter(this);
}

void TfrmMain::FormCreate()
{
    StartDir = QDir::currentPath();
    const std::string lang = QDir(StartDir).filePath("Lang.txt").toStdString();
    GetLangTable().Load(lang);

    MainFrame = RegReadInt("MainFrame", MainFrame) != 0;
    MainController = uint8_t(RegReadInt("MainController", MainController));
    MainDvrList = RegReadInt("MainDvrList", MainDvrList) != 0;
    MainPosX = RegReadInt("MainPosX", MainPosX);
    MainPosY = RegReadInt("MainPosY", MainPosY);
    MainPosXF = RegReadInt("MainPosXF", MainPosXF);
    MainPosYF = RegReadInt("MainPosYF", MainPosYF);
    MainPosWF = RegReadInt("MainPosWF", MainPosWF);
    MainPosHF = RegReadInt("MainPosHF", MainPosHF);
    FitToScreens(MainPosX, MainPosY, nullptr, nullptr, QSize(kClientWidth, 100));
    FitToScreens(MainPosXF, MainPosYF, &MainPosWF, &MainPosHF, {});

    ReadViewerOptions(GetViewerOptions());

    fontColor_ = 0;
    mainFont_ = ReadFontSettings("Font", font(), fontColor_, &fontColor_);
    ApplyFont(mainFont_, fontColor_);

    FrameDvrWin = new TfrmDvrWin(this);
    FrameDvrWin->setEnabled(false);
    FrameDvrWin->btnLive->setEnabled(false);
    FrameDvrWin->btnPlay->setEnabled(false);
    FrameDvrWin->pnlStatus->setEnabled(false);
    FrameDvrWin->pnlPlay->setEnabled(false);
    FrameDvrWin->hide();

    SetFrameMode(MainFrame, true);
}

void TfrmMain::ApplyFont(const QFont &font, int color)
{
    setFont(font);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ColorFromTColor(color));
    setPalette(p);
}

void TfrmMain::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    BuildCrcTable();
    tmrClockTimer();
    // The microphone is opened once; capturing starts only with btnAudSend.
    OpenCapture();
    UpdateToolbar(nullptr);
    if (MainFrame)
        FitFrameHeight();
}

int TfrmMain::CurrentPictureHeight() const
{
    if (CurrentDvrWin)
        return CurrentDvrWin->PictureHeight();
    return FrameDvrWin ? FrameDvrWin->PictureHeight() : 480;
}

void TfrmMain::FitFrameHeight()
{
    Realign();
    FrameDvrWin->layout()->activate();
    const int H = height();
    const int w = FrameDvrWin->pnlDvr->width();
    const int h = FrameDvrWin->pnlDvr->height();
    const int V = CurrentPictureHeight();
    fitting_ = true;
    resize(width(), V * w / 720 + (H - h));
    fitting_ = false;
    Realign();
}

void TfrmMain::SetFrameMode(bool frame, bool initial)
{
    btnMin->setVisible(!frame);
    btnController->setVisible(!frame);
    pnlToolTop->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlLeft->setFrameStyle(QFrame::Panel | QFrame::Raised);
    fitting_ = true;
    if (frame) {
        FrameDvrWin->show();
        if (!initial) {
            MainPosX = geometry().x();
            MainPosY = geometry().y();
        }
        setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        move(MainPosXF, MainPosYF);
        resize(MainPosWF, MainPosHF);
        imgLeft->hide();
        bvLeft->show();
        bvLeft->resize(2, pnlToolClock->height() + pnlToolCh->height() + pnlToolControl->height() +
                              pnlToolSearch->height() + pnlToolMulti->height() + 30);
        int top = 5;
        for (QFrame *panel : {pnlToolClock, pnlToolCh, pnlToolMulti, pnlToolControl, pnlToolSearch}) {
            panel->move(5, top);
            top += panel->height() + 5;
        }
        lstDvrWin->setGeometry(5, top, pnlToolCh->width(), 80);
        pnlToolPlay->setParent(this);
        pnlToolPlay->setFrameStyle(QFrame::Panel | QFrame::Raised);
        pnlToolPlay->resize(pnlToolPlay->width(), pnlToolMulti->height() + 2);
        pnlToolPlay->show();
    } else {
        FrameDvrWin->hide();
        if (!initial) {
            MainPosXF = x();
            MainPosYF = y();
            MainPosWF = width();
            MainPosHF = height();
        }
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        move(MainPosX, MainPosY);
        imgLeft->show();
        bvLeft->hide();
        const int extra = MainController == 0 ? 0 : MainController == 1 ? 162 : 262;
        setFixedSize(kClientWidth, pnlToolTop->height() + extra);
        imgLeft->resize(kClientWidth, pnlToolCh->height() + pnlToolMulti->height() + 11);
        pnlToolCh->move(5, 5);
        pnlToolControl->move(pnlToolCh->x() + pnlToolCh->width() + 5, 5);
        pnlToolClock->move(pnlToolControl->x() + pnlToolControl->width() + 5, 5);
        pnlToolSearch->move(pnlToolClock->x(), pnlToolClock->height() + 10);
        pnlToolMulti->move(5, pnlToolCh->y() + pnlToolCh->height() + 5);
        pnlToolPlay->setParent(pnlLeft);
        pnlToolPlay->setFrameStyle(QFrame::NoFrame);
        pnlToolPlay->setGeometry(pnlToolCh->x() + pnlToolCh->width() + 5, pnlToolCh->y() + pnlToolCh->height() + 5,
                                 pnlToolControl->width() + pnlToolSearch->width() + 5, pnlToolMulti->height());
        pnlToolPlay->show();
        lstDvrWin->setGeometry(5, imgLeft->height() + 6, kClientWidth - 10, 90);
    }
    fitting_ = false;
    Realign();
}

void TfrmMain::Realign()
{
    if (!FrameDvrWin)
        return;
    const int W = width(), H = height();
    pnlToolTop->setGeometry(0, 0, W, pnlToolTop->height());
    imgTop->setGeometry(0, 0, W, pnlToolTop->height());
    const int right = W - 2;
    btnExit->move(right - 18, 2);
    btnMin->move(right - 38, 2);
    btnFrame->move(right - 18, 20);
    btnController->move(right - 38, 20);
    const int top = pnlToolTop->height();
    if (MainFrame) {
        const int playH = pnlToolPlay->height();
        pnlToolPlay->setGeometry(0, H - playH, W, playH);
        const int leftW = pnlToolCh->width() + 12;
        pnlLeft->setGeometry(W - leftW, top, leftW, H - top - playH);
        const QRect client(0, top, W - leftW, H - top - playH);
        pnlDvr->setGeometry(client);
        FrameDvrWin->setGeometry(client);
        for (TfrmDvrWin *v : dvrWins_)
            if (v->parentWidget() == this)
                v->setGeometry(client);
    } else {
        pnlLeft->setGeometry(0, top, W, H - top);
        pnlDvr->setGeometry(W, top, 0, 0);
    }
    if (auto *caption = pnlDvr->findChild<QLabel *>("pnlDvrCaption"))
        caption->setGeometry(0, 0, pnlDvr->width(), pnlDvr->height());
}

void TfrmMain::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    Realign();
    if (!MainFrame || fitting_ || !e->spontaneous() || !FrameDvrWin)
        return;
    const QSize old = e->oldSize(), now = e->size();
    SizingEdge edge = SizingEdge::BottomRight;
    if (old.width() != now.width() && old.height() == now.height())
        edge = SizingEdge::Right;
    else if (old.height() != now.height() && old.width() == now.width())
        edge = SizingEdge::Bottom;
    FitToPicture(edge);
}

void TfrmMain::FitToPicture(SizingEdge edge)
{
    if (!MainFrame || fitting_ || !FrameDvrWin)
        return;
    const QWidget *picture = FrameDvrWin->pnlDvr;
    const int dx = width() - picture->width();
    const int dy = height() - picture->height();
    const QRect fitted = FitFrameSizing(QRect(x(), y(), width(), height()), edge, dx, dy, CurrentPictureHeight());
    if (fitted.size() != size()) {
        fitting_ = true;
        resize(fitted.size());
        fitting_ = false;
    }
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pnlDvr && event->type() == QEvent::Resize) {
        // The caption of the empty picture area shows its size.
        if (auto *caption = pnlDvr->findChild<QLabel *>("pnlDvrCaption"))
            caption->setText(QString("%1:%2").arg(pnlDvr->width()).arg(pnlDvr->height()));
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress && (watched == imgTop || watched == Image1 || watched == imgLeft)) {
        if (watched == Image1)
            return false;
        // The borderless window is dragged by its pictures.
        if (windowHandle())
            windowHandle()->startSystemMove();
        return true;
    }
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        Image1Click();
        return true;
    }
    if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
        Image1DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::btnFrameClick()
{
    const bool locked = ListLock.Wait(kViewListTimeoutMs);
    // Reader threads hold their packets while the views change parents.
    switching_ = true;
    btnFrame->setEnabled(false);
    MainFrame = !MainFrame;
    for (TfrmDvrWin *v : dvrWins_)
        v->SetFrameMode(MainFrame, this);
    hide();
    SetFrameMode(MainFrame, false);
    show();
    if (MainFrame)
        FitFrameHeight();
    if (CurrentDvrWin)
        SetCurrentDvrWin(CurrentDvrWin);
    Realign();
    update();
    btnFrame->setEnabled(true);
    switching_ = false;
    if (locked)
        ListLock.Set();
    PlaceFrame(MainFrame ? QPoint(MainPosXF, MainPosYF) : QPoint(MainPosX, MainPosY));
}

void TfrmMain::PlaceFrame(QPoint want)
{
    // Where the window manager puts a window whose decoration just changed depends on the
    // frame it had before; once it is framed, the frame is moved to where this mode keeps it,
    // with the title bar on the screen.
    if (const QScreen *s = screen())
        want.setY(std::max(want.y(), s->availableGeometry().top()));
    QWindow *w = windowHandle();
    if (!w)
        return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (MainFrame && w->frameMargins().isNull() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    // A window without a frame is where its client area is, whatever margins are remembered.
    const QPoint delta = want - (MainFrame ? frameGeometry().topLeft() : geometry().topLeft());
    if (!delta.isNull())
        setGeometry(geometry().translated(delta));
}

bool TfrmMain::IsSwitchingLayout() { return switching_.load(); }

void TfrmMain::btnControllerClick()
{
    if (MainFrame)
        return;
    MainController = uint8_t((MainController + 1) % 3);
    int h = pnlToolTop->height();
    if (MainController == 1)
        h += imgLeft->height() + 1;
    else if (MainController == 2)
        h += imgLeft->height() + 101;
    setFixedSize(kClientWidth, h);
    Realign();
}

void TfrmMain::btnExitClick()
{
    if (!MainFrame)
        close();
    else if (CurrentDvrWin)
        RemoveDvrWin(CurrentDvrWin);
}

void TfrmMain::btnMinClick() { showMinimized(); }

void TfrmMain::tmrClockTimer() { lblClock->setText(QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat)); }

void TfrmMain::Image1Click()
{
    if (frmAboutBox)
        frmAboutBox->exec();
}

void TfrmMain::Image1DblClick()
{
    if (!frmAboutBox)
        return;
    frmAboutBox->Version->setText(QStringLiteral("Version ") + kProgramVersion);
    frmAboutBox->exec();
}

void TfrmMain::btnDvrListClick()
{
    if (frmDvrList) {
        frmDvrList->show();
        frmDvrList->raise();
    }
}

void TfrmMain::btnDvrSearchClick()
{
    if (frmDvrSearch) {
        frmDvrSearch->show();
        frmDvrSearch->raise();
    }
}

void TfrmMain::btnOptionClick()
{
    ViewerOptions &o = GetViewerOptions();
    TfrmOption dialog(this, o, mainFont_);
    CentreOver(&dialog, this);
    const int result = dialog.exec();
    if (result != 1)
        return;
    mainFont_ = dialog.SelectedFont();
    ApplyFont(mainFont_, fontColor_);
    WriteViewerOptions(o);
    WriteFontSettings("Font", mainFont_, fontColor_);
    ApplyDisplayOptions();
}

void TfrmMain::ApplyDisplayOptions()
{
    for (TfrmDvrWin *view : dvrWins_)
        view->ApplyDisplayOptions();
}

void TfrmMain::ApplyAudioState(bool apply)
{
    if (!apply || audioClosed_)
        return;
    // A device that cannot do what the view's recorder was told is switched off there too.
    if (btnAudSend->Down()) {
        if (!OpenCapture() || !Capture->Start()) {
            btnAudSend->SetDown(false);
            if (CurrentDvrWin && CurrentDvrWin->IsAudioSend())
                CurrentDvrWin->SetAudioSend(false);
        }
    } else {
        Capture->Stop();
    }
    if (btnAudRecv->Down()) {
        if (!Playback->Open()) {
            btnAudRecv->SetDown(false);
            if (CurrentDvrWin && CurrentDvrWin->IsAudioReceive())
                CurrentDvrWin->SetAudioReceive(false);
        }
    } else {
        Playback->Close();
    }
}

bool TfrmMain::OpenCapture()
{
    return Capture->IsOpen() || Capture->Open([this](WaveHeader &header) { WaveInProc(header); });
}

void TfrmMain::AudioDevicesChanged()
{
    if (audioClosed_)
        return;
    // A device that went is let go of; the toolbar then takes what is there now, as at start:
    // a send or receive that no device can carry any more is switched off, at the recorder too.
    if (Capture->IsOpen() && !Capture->DeviceAvailable()) {
        DebugPrint("Audio input device gone\n");
        Capture->Close();
    }
    if (Playback->IsOpen() && !Playback->DeviceAvailable()) {
        DebugPrint("Audio output device gone\n");
        Playback->Close();
    }
    UpdateToolbar(CurrentDvrWin);
}

void TfrmMain::ShowAudioDevices(bool remote)
{
    const bool input = Capture->IsOpen() || HasAudioInput();
    const bool output = Playback->IsOpen() || HasAudioOutput();
    btnAudSend->setEnabled(remote && input);
    btnAudSend->setToolTip(input ? btnAudSend->text() : btnAudSend->text() + ": no audio input device");
    btnAudRecv->setEnabled(remote && output);
    btnAudRecv->setToolTip(output ? btnAudRecv->text() : btnAudRecv->text() + ": no audio output device");
}

void TfrmMain::WaveInProc(WaveHeader &header)
{
    // While the views move between frame and toolbar mode the block is dropped; the capture
    // buffer goes back to the device all the same.
    if (IsSwitchingLayout())
        return;
    SendMicBlock(header);
}

void TfrmMain::SendMicBlock(WaveHeader &header)
{
    uint8_t out[2 * kImaBlockSize];
    const size_t n = Capture->OnData(header, out, sizeof out);
    for (size_t at = 0; at + kImaBlockSize <= n; at += kImaBlockSize) {
        std::memcpy(MicBlock.data(), out + at, kImaBlockSize);
        if (!CurrentDvrWin || !btnAudSend->Down())
            continue;
        // Each posted block carries its own copy, so the next capture never overwrites one
        // still queued; a view freed meanwhile takes its queued blocks with it.
        TfrmDvrWin *view = CurrentDvrWin;
        QMetaObject::invokeMethod(
            view, [view, block = MicBlock] { view->SendAudioBlock(block.data(), block.size()); },
            Qt::QueuedConnection);
    }
}

void TfrmMain::PlayAudio(TfrmDvrWin *view, const uint8_t *data, size_t length)
{
    // Audio of views other than the current one is dropped.
    if (view && view == CurrentDvrWin && btnAudRecv->Down() && !audioClosed_)
        Playback->Play(data, length);
}

int TfrmMain::GetDvrWinCount() const { return viewCount_.load(); }

bool TfrmMain::CanAddDvrWin() const { return GetDvrWinCount() < kMaxDvrWins; }

namespace {

TfrmDvrWin *ItemView(QListWidgetItem *item)
{
    return item ? static_cast<TfrmDvrWin *>(item->data(Qt::UserRole).value<void *>()) : nullptr;
}

} // namespace

bool TfrmMain::AddDvrWin(TfrmDvrWin *view)
{
    bool can;
    {
        EventGuard guard(ListLock, kViewListTimeoutMs);
        can = CanAddDvrWin();
    }
    if (!can)
        return false;
    EventGuard guard(ListLock, kViewListTimeoutMs);
    view->SetFrameMode(false, this); // every view has its own frame window, docked or not
    view->GetFrame()->move(CascadeIndex * 24, CascadeIndex * 24);
    CascadeIndex = (CascadeIndex + 1) % 10;
    auto *item = new QListWidgetItem(view->GetName(), lstDvrWin);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void *>(view)));
    dvrWins_.append(view);
    viewCount_ = lstDvrWin->count();
    connect(view->GetFrame(), &TfrmDvrFrame::activated, this, &TfrmMain::SetCurrentDvrWin, Qt::UniqueConnection);
    connect(view->GetFrame(), &TfrmDvrFrame::closeRequested, this, &TfrmMain::RemoveDvrWin, Qt::UniqueConnection);
    view->SetFrameMode(MainFrame, this);
    if (MainFrame)
        Realign();
    SetCurrentDvrWin(view);
    return true;
}

void TfrmMain::RemoveDvrWin(TfrmDvrWin *view)
{
    EventGuard guard(ListLock, kViewListTimeoutMs);
    QListWidgetItem *found = nullptr;
    for (int i = 0; i < lstDvrWin->count() && !found; ++i)
        if (ItemView(lstDvrWin->item(i)) == view)
            found = lstDvrWin->item(i);
    if (!found) {
        DebugPrint("No DvrWin Found");
        return;
    }
    if (view->GetFrame())
        disconnect(view->GetFrame(), nullptr, this, nullptr);
    view->CloseConnection();
    // The view is freed once its own handlers have returned.
    pendingFree_.insert(view);
    QMetaObject::invokeMethod(this, [this, view] { OnFreeView(view); }, Qt::QueuedConnection);
    // The list moves its selection as the item goes; that must not pick the next current view.
    selecting_ = true;
    delete found;
    selecting_ = false;
    dvrWins_.removeOne(view);
    viewCount_ = lstDvrWin->count();
    if (view == CurrentDvrWin) {
        CurrentDvrWin = nullptr;
        if (lstDvrWin->count() > 0)
            SetCurrentDvrWin(ItemView(lstDvrWin->item(0)));
    }
    if (dvrWins_.isEmpty()) {
        // The tool windows act on the current view; with none left they would act on nothing.
        for (QWidget *tool : {static_cast<QWidget *>(frmPanTilt), static_cast<QWidget *>(frmDvrCtrl)})
            if (tool)
                tool->close();
        btnPanTilt->SetDown(false);
        btnDvrCtrl->SetDown(false);
    }
    UpdateToolbar(CurrentDvrWin);
}

void TfrmMain::RemoveAllDvrWins()
{
    while (lstDvrWin->count() > 0)
        RemoveDvrWin(ItemView(lstDvrWin->item(0)));
}

void TfrmMain::OnReleaseView(TfrmDvrWin *view) { RemoveDvrWin(view); }

void TfrmMain::OnFreeView(TfrmDvrWin *view)
{
    if (!pendingFree_.contains(view))
        return;
    // Never under a dialog the view runs: its dialogs end first, and the view goes once the
    // last of them has returned.
    if (view->IsRunningDialog()) {
        connect(view, &TfrmDvrWin::DialogsEnded, this, &TfrmMain::OnFreeView,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        view->CloseDialogs();
        return;
    }
    pendingFree_.remove(view);
    view->hide();
    QThread::msleep(10);
    delete view;
}

void TfrmMain::SetCurrentDvrWin(TfrmDvrWin *view)
{
    // Only a registered view may become current: a closed view's frame can still report its
    // activation (the window manager answers late) before the view is freed.
    if (view && !dvrWins_.contains(view))
        return;
    if (CurrentDvrWin)
        CurrentDvrWin->SetSelected(false);
    if (view)
        view->SetSelected(true);
    CurrentDvrWin = view;
    selecting_ = true;
    for (int i = 0; i < lstDvrWin->count(); ++i)
        if (ItemView(lstDvrWin->item(i)) == view) {
            lstDvrWin->setCurrentRow(i);
            lstDvrWin->scrollToItem(lstDvrWin->item(i));
        }
    selecting_ = false;
    if (view && MainFrame) {
        view->raise();
        // The selected view's picture keeps its aspect, as a drag of the bottom edge would give.
        if (view->GetChannelCount() > 0)
            FitToPicture(SizingEdge::Bottom);
    }
    UpdateToolbar(view);
}

void TfrmMain::lstDvrWinSelectItem()
{
    if (selecting_ || !lstDvrWin->isVisible())
        return;
    if (TfrmDvrWin *view = ItemView(lstDvrWin->currentItem()))
        SetCurrentDvrWin(view);
}

void TfrmMain::SetDvrCaption(TfrmDvrWin *view, const QString &text)
{
    // Shown only: the view's caption keeps its base text, to which each picture adds its time.
    if (view->GetFrame())
        view->GetFrame()->setWindowTitle(text);
    if (view == CurrentDvrWin)
        setWindowTitle(text);
}

void TfrmMain::UpdateToolbar(TfrmDvrWin *view)
{
    if (view && view != CurrentDvrWin)
        return;
    TMyButton *transport[] = {btnFastBack, btnSlowBack, btnBack, btnPause, btnPlay, btnSlowPlay, btnFastPlay};
    if (!view || !view->IsLoggedIn()) {
        setWindowTitle("Strandel");
        for (TMyButton *b : btnCh) {
            b->SetDown(false);
            b->setEnabled(false);
        }
        for (TMyButton *b : {btnAuto, btnRecord, btnAudSend, btnAudRecv})
            b->SetDown(false);
        for (TMyButton *b : {btnTimeSearch, btnEventSearch, btnBlockSearch, btnLogSearch, btnMulti, btnAuto, btnRecord,
                               btnCopy, btnDvrEnv, btnDvrCtrl, btnDvrStatus, btnPrint, btnPanTilt, btnAudSend, btnAudRecv})
            b->setEnabled(false);
        for (TMyButton *b : transport)
            b->setEnabled(false);
        edtAutoSeq->setEnabled(false);
        ApplyAudioState(true);
        return;
    }
    const int K = int(view->GetKind());
    const int M = view->GetMode();
    const int C = view->GetCurrentChannel();
    const uint16_t mask = view->GetChannelMask();
    const int N = view->GetChannelCount();
    setWindowTitle(view->CaptionText());
    for (int i = 0; i < 16; ++i) {
        btnCh[size_t(i)]->setEnabled(i < N && (mask >> i) & 1);
        btnCh[size_t(i)]->SetDown(C > 0 && C - 1 == i);
    }
    const bool notFile = K != 3;
    const bool remote = K != 3 && K != 4;
    for (QWidget *w : {static_cast<QWidget *>(btnTimeSearch), static_cast<QWidget *>(btnMulti),
                       static_cast<QWidget *>(btnAuto), static_cast<QWidget *>(edtAutoSeq),
                       static_cast<QWidget *>(btnPause), static_cast<QWidget *>(btnPlay),
                       static_cast<QWidget *>(btnPrint)})
        w->setEnabled(true);
    btnAuto->SetDown(view->IsAutoSequence());
    btnEventSearch->setEnabled(notFile);
    btnBlockSearch->setEnabled(notFile);
    btnRecord->setEnabled(notFile);
    btnRecord->SetDown(view->IsRecording());
    btnLogSearch->setEnabled(remote);
    btnDvrStatus->setEnabled(remote);
    btnPanTilt->setEnabled(remote);
    btnCopy->setEnabled(remote);
    btnCopy->SetDown(view->IsCopying());
    btnDvrEnv->setEnabled(remote && view->IsMasterLogin());
    btnDvrCtrl->setEnabled(remote && view->IsMasterLogin());
    ShowAudioDevices(remote);
    btnAudSend->SetDown(view->IsAudioSend());
    btnAudRecv->SetDown(view->IsAudioReceive());
    for (TMyButton *b : {btnFastBack, btnSlowBack, btnBack, btnSlowPlay, btnFastPlay})
        b->setEnabled(M == 1);
    for (TMyButton *b : transport)
        b->SetDown(false);
    const bool back = view->GetDirection() == TfrmDvrWin::kDirectionBackward;
    TMyButton *down;
    if (!view->IsPlaying())
        down = btnPause;
    else if (view->GetFastStep() >= 2)
        down = back ? btnFastBack : btnFastPlay;
    else if (view->GetSlowStep() < 2)
        down = back ? btnBack : btnPlay;
    else
        down = back ? btnSlowBack : btnSlowPlay;
    down->SetDown(true);
    ApplyAudioState(true);
}

void TfrmMain::TileDvrWins(int n)
{
    EventGuard guard(ListLock, kViewListTimeoutMs);
    n = std::min(n, int(lstDvrWin->count()));
    const int c = n == 1 ? 1 : n <= 4 ? 2 : n <= 9 ? 3 : 4;
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1280, 1024);
    for (int i = 0; i < n; ++i) {
        TfrmDvrWin *view = ItemView(lstDvrWin->item(i));
        TfrmDvrFrame *frame = view ? view->GetFrame() : nullptr;
        if (!frame)
            continue;
        frame->showNormal();
        frame->raise();
        const int V = view->PictureHeight();
        const QSize margins = view->VideoMargins();
        const int dx = margins.width(), dy = margins.height();
        const int w = c == 1 ? 720 : (screen.width() - 160) / c - dx;
        const int h = w * V / 720;
        const int fw = h * 720 / V + dx;
        const int fh = h + dy;
        frame->setGeometry((i % c) * fw, (i / c) * fh, fw, fh);
        DebugPrint("2, %d, %d\n", fw, fh);
    }
}

void TfrmMain::btnArangeClick()
{
    if (MainFrame)
        return;
    TileDvrWins(GetDvrWinCount());
    raise();
}

DvrListRecord *TfrmMain::NewBuiltInEntry(DvrKind kind, const char *name)
{
    auto entry = std::make_unique<DvrListRecord>();
    entry->kind = uint8_t(kind);
    SetField(entry->name, name);
    builtInEntries_.push_back(std::move(entry));
    return builtInEntries_.back().get();
}

void TfrmMain::btnHddClick() { OpenRecorderView(NewBuiltInEntry(DvrKind::RecorderDisk, "Hdd")); }

void TfrmMain::btnFileClick()
{
    if (OpenRecorderView(NewBuiltInEntry(DvrKind::RecordedFile, "File")))
        btnSearchClick(1);
}

void TfrmMain::btnChClick(int channel)
{
    if (CurrentDvrWin)
        CurrentDvrWin->SelectChannel(channel);
}

void TfrmMain::btnMultiClick()
{
    if (!CurrentDvrWin)
        return;
    if (btnAuto->Down()) {
        btnAuto->SetDown(false);
        btnAutoClick();
    } else {
        CurrentDvrWin->SetSplit(20);
    }
}

void TfrmMain::btnAutoClick()
{
    if (CurrentDvrWin)
        CurrentDvrWin->SetAutoSequence(btnAuto->Down(), edtAutoSeq->value());
    UpdateToolbar(CurrentDvrWin);
}

void TfrmMain::edtAutoSeqChange(int value)
{
    if (CurrentDvrWin)
        CurrentDvrWin->SetAutoSequence(btnAuto->Down(), value);
}

void TfrmMain::btnPauseClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(0, 0, 0, 0); }
void TfrmMain::btnPlayClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 0, 0, 31); }
void TfrmMain::btnBackClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 0, 0, 32); }
void TfrmMain::btnFastPlayClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 1, 0, 31); }
void TfrmMain::btnFastBackClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 1, 0, 32); }
void TfrmMain::btnSlowPlayClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 0, 1, 31); }
void TfrmMain::btnSlowBackClick() { if (CurrentDvrWin) CurrentDvrWin->SendPlayControl(1, 0, 1, 32); }

void TfrmMain::btnSearchClick(int kind)
{
    if (CurrentDvrWin)
        CurrentDvrWin->OpenSearchDialog(kind);
}

void TfrmMain::btnDvrEnvClick()
{
    if (CurrentDvrWin)
        CurrentDvrWin->cmdDvrSetupClick();
}

void TfrmMain::btnDvrStatusClick()
{
    if (CurrentDvrWin)
        CurrentDvrWin->OpenStatusDialog();
}

void TfrmMain::btnPrintClick()
{
    if (!CurrentDvrWin)
        return;
    QPointer<TfrmDvrWin> view = CurrentDvrWin;
    QPointer<TfrmPrint> form = new TfrmPrint(view->window());
    QImage picture;
    if (view->CopyCurrentPicture(&picture))
        form->SetPicture(picture);
    // The view's own dialog: the view stays while it runs.
    view->RunModal(form);
    delete form.data();
}

void TfrmMain::ShowToolWindow(TMyButton *button)
{
    button->SetDown(true);
    if (button == btnPanTilt)
        btnPanTiltClick();
    else if (button == btnDvrCtrl)
        btnDvrCtrlClick();
}

void TfrmMain::btnPanTiltClick()
{
    if (!frmPanTilt)
        return;
    if (btnPanTilt->Down()) {
        frmPanTilt->show();
        frmPanTilt->raise();
    } else {
        frmPanTilt->hide();
    }
}

void TfrmMain::btnDvrCtrlClick()
{
    if (!frmDvrCtrl)
        return;
    if (btnDvrCtrl->Down()) {
        frmDvrCtrl->show();
        frmDvrCtrl->raise();
    } else {
        frmDvrCtrl->hide();
    }
}

void TfrmMain::btnRecordClick()
{
    TfrmDvrWin *view = CurrentDvrWin;
    if (!view || btnCopy->Down()) {
        btnRecord->SetDown(!btnRecord->Down());
        return;
    }
    if (btnRecord->Down()) {
        QDir(StartDir).mkpath("Save");
        view->StartRecord(UniqueRecordPath(StartDir, "Save", QDateTime::currentDateTime()));
    } else {
        view->StopRecord();
    }
    btnRecord->SetDown(view->IsRecording());
    view->SetRecordIndicator();
}

void TfrmMain::btnCopyClick()
{
    // The copy dialog is modal: the view may close while it runs.
    QPointer<TfrmDvrWin> view = CurrentDvrWin;
    if (!view || btnRecord->Down()) {
        btnCopy->SetDown(!btnCopy->Down());
        return;
    }
    if (btnCopy->Down()) {
        view->OpenSearchDialog(5);
    } else {
        view->EndNetCopy();
        view->SendCommand(23, nullptr, 0);
    }
    btnCopy->SetDown(view && view->IsCopying());
}

void TfrmMain::btnAudSendClick()
{
    if (!CurrentDvrWin)
        return;
    const bool on = btnAudSend->Down();
    if (on && (!OpenCapture() || !Capture->Start())) {
        // Nothing to send with: the recorder is not told otherwise.
        btnAudSend->SetDown(false);
        DebugPrint("Audio send stays off: no audio input device\n");
        ShowAudioDevices(int(CurrentDvrWin->GetKind()) != 3 && int(CurrentDvrWin->GetKind()) != 4);
        return;
    }
    if (!on)
        Capture->Stop();
    CurrentDvrWin->SetAudioSend(on);
}

void TfrmMain::btnAudRecvClick()
{
    if (!CurrentDvrWin)
        return;
    const bool on = btnAudRecv->Down();
    if (on && !Playback->Open()) {
        btnAudRecv->SetDown(false);
        DebugPrint("Audio receive stays off: no audio output device\n");
        ShowAudioDevices(int(CurrentDvrWin->GetKind()) != 3 && int(CurrentDvrWin->GetKind()) != 4);
        return;
    }
    if (!on)
        Playback->Close();
    CurrentDvrWin->SetAudioReceive(on);
}

void TfrmMain::closeEvent(QCloseEvent *e)
{
    FormClose();
    QWidget::closeEvent(e);
}

void TfrmMain::FormClose()
{
    RemoveAllDvrWins();
    QThread::msleep(100);
    if (frmDvrList)
        frmDvrList->CloseForExit();
    if (MainFrame) {
        MainPosXF = x();
        MainPosYF = y();
        MainPosWF = width();
        MainPosHF = height();
    } else {
        MainPosX = geometry().x();
        MainPosY = geometry().y();
    }
    WriteSettings();
    delete FrameDvrWin;
    FrameDvrWin = nullptr;
    GetLangTable().Clear();
}

void TfrmMain::WriteSettings()
{
    RegWriteInt("MainFrame", MainFrame);
    RegWriteInt("MainController", MainController);
    RegWriteInt("MainDvrList", MainDvrList);
    RegWriteInt("MainPosX", MainPosX);
    RegWriteInt("MainPosY", MainPosY);
    RegWriteInt("MainPosXF", MainPosXF);
    RegWriteInt("MainPosYF", MainPosYF);
    RegWriteInt("MainPosWF", MainPosWF);
    RegWriteInt("MainPosHF", MainPosHF);
}

} // namespace strandel
