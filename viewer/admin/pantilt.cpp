#include "viewer/admin/pantilt.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace strandel {

TfrmPanTilt *frmPanTilt = nullptr;

namespace {

constexpr const char *kTag = "Tag";

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, int tag)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setProperty(kTag, tag);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    return b;
}

int TagOf(QPushButton *b) { return b ? b->property(kTag).toInt() : 0; }

} // namespace

TfrmPanTilt::TfrmPanTilt(QWidget *owner) : QWidget(owner, Qt::Tool)
{
    setObjectName("frmPanTilt");
    setWindowTitle("Pan / Tilt");

    edtChannel = new QComboBox(this);
    edtChannel->setObjectName("edtChannel");
    for (int i = 1; i <= 16; ++i)
        edtChannel->addItem(i < 10 ? QString("CH %1").arg(i) : QString("CH%1").arg(i));

    selSpeed = new QGroupBox(" Speed ", this);
    selSpeed->setObjectName("selSpeed");
    selSpeedRows = new QButtonGroup(this);
    auto *speedLayout = new QVBoxLayout(selSpeed);
    const char *speeds[] = {"1 X", "2 X", "4 X"};
    for (int i = 0; i < 3; ++i) {
        auto *r = new QRadioButton(speeds[i], selSpeed);
        r->setObjectName(QString("selSpeed%1").arg(i));
        selSpeedRows->addButton(r, i);
        speedLayout->addWidget(r);
    }
    selSpeedRows->button(0)->setChecked(true);

    // Direction pad.
    auto *pad = new QWidget(this);
    auto *padGrid = new QGridLayout(pad);
    padGrid->setContentsMargins(0, 0, 0, 0);
    btnLeft = MakeButton(pad, "btnLeft", "<", 0);
    btnRight = MakeButton(pad, "btnRight", ">", 1);
    btnDown = MakeButton(pad, "btnDown", "v", 2);
    btnUp = MakeButton(pad, "btnUp", "^", 3);
    for (QPushButton *b : {btnLeft, btnRight, btnDown, btnUp})
        b->setFixedSize(36, 36);
    padGrid->addWidget(btnUp, 0, 1);
    padGrid->addWidget(btnLeft, 1, 0);
    padGrid->addWidget(btnRight, 1, 2);
    padGrid->addWidget(btnDown, 2, 1);

    auto *zoomFocus = new QGroupBox(" Zoom / Focus ", this);
    zoomFocus->setObjectName("grpZoomFocus");
    auto *zfGrid = new QGridLayout(zoomFocus);
    btnZoomPlus = MakeButton(zoomFocus, "btnZoomPlus", "+", 4);
    btnZoomMinus = MakeButton(zoomFocus, "btnZoomMinus", "-", 5);
    btnFocusPlus = MakeButton(zoomFocus, "btnFocusPlus", "+", 6);
    btnFocusMinus = MakeButton(zoomFocus, "btnFocusMinus", "-", 7);
    btnAutoFocus = MakeButton(zoomFocus, "btnAutoFocus", "AF", 0);
    zfGrid->addWidget(new QLabel("Zoom", zoomFocus), 0, 0);
    zfGrid->addWidget(btnZoomPlus, 0, 1);
    zfGrid->addWidget(btnZoomMinus, 0, 2);
    zfGrid->addWidget(new QLabel("Focus", zoomFocus), 1, 0);
    zfGrid->addWidget(btnFocusPlus, 1, 1);
    zfGrid->addWidget(btnFocusMinus, 1, 2);
    zfGrid->addWidget(btnAutoFocus, 2, 1, 1, 2);

    auto *preset = new QGroupBox(" Preset ", this);
    preset->setObjectName("grpPreset");
    auto *presetGrid = new QGridLayout(preset);
    presetGrid->setHorizontalSpacing(2);
    presetGrid->setColumnStretch(9, 1);
    presetGrid->addWidget(new QLabel("Set", preset), 0, 0);
    presetGrid->addWidget(new QLabel("Move", preset), 2, 0);
    for (int i = 0; i < 16; ++i) {
        btnSet[size_t(i)] = MakeButton(preset, QString("btnSet%1").arg(i).toLatin1().constData(), QString::number(i + 1), i);
        btnMove[size_t(i)] = MakeButton(preset, QString("btnMove%1").arg(i).toLatin1().constData(), QString::number(i + 1), i);
        for (QPushButton *b : {btnSet[size_t(i)], btnMove[size_t(i)]})
            b->setFixedSize(28, 24);
        presetGrid->addWidget(btnSet[size_t(i)], i / 8, 1 + i % 8);
        presetGrid->addWidget(btnMove[size_t(i)], 2 + i / 8, 1 + i % 8);
        connect(btnSet[size_t(i)], &QPushButton::clicked, this, [this, i] { btnSet0Click(btnSet[size_t(i)]); });
        connect(btnMove[size_t(i)], &QPushButton::clicked, this, [this, i] { btnMove0Click(btnMove[size_t(i)]); });
    }

    auto *top = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(edtChannel);
    left->addWidget(selSpeed);
    left->addStretch(1);
    top->addLayout(left);
    top->addWidget(pad);
    top->addWidget(zoomFocus);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preset);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QPushButton *b : {btnLeft, btnRight, btnDown, btnUp, btnZoomPlus, btnZoomMinus, btnFocusPlus, btnFocusMinus})
        b->installEventFilter(this);
    connect(btnAutoFocus, &QPushButton::clicked, this, [this] { btnAutoFocusClick(); });
    connect(edtChannel, &QComboBox::currentIndexChanged, this, [this](int row) {
        if (row >= 0)
            channel_ = row;
    });
    goneWatch_ = WatchDvrServicesGone([this](DvrServices *gone) {
        if (gone == heldView_) {
            heldView_ = nullptr;
            held_ = false;
        }
    });
    SetChannel(0);
}

TfrmPanTilt::~TfrmPanTilt() { UnwatchDvrServicesGone(goneWatch_); }

void TfrmPanTilt::SetChannel(int channel)
{
    if (channel < 0 || channel >= edtChannel->count())
        return;
    channel_ = channel;
    edtChannel->setCurrentIndex(channel);
}

int TfrmPanTilt::Speed() const { return std::max(0, selSpeedRows->checkedId()); }

void TfrmPanTilt::Send(DvrServices *view, uint8_t channel, uint8_t action, uint8_t argument)
{
    if (!view)
        return;
    const uint8_t payload[4] = {channel, action, argument, uint8_t(Speed())};
    view->SendCommand(DvrCmdPtz, payload, 4);
}

void TfrmPanTilt::btnLeftMouseDown(QPushButton *sender)
{
    // A second press without a release (a lost mouse-up) stops the first move first.
    if (held_)
        btnLeftMouseUp();
    DvrServices *view = GetCurrentDvrWin();
    if (!view)
        return;
    heldView_ = view;
    heldChannel_ = uint8_t(channel_);
    held_ = true;
    Send(view, heldChannel_, kPtzMove, uint8_t(TagOf(sender)));
}

void TfrmPanTilt::btnLeftMouseUp()
{
    if (!held_)
        return;
    held_ = false;
    DvrServices *view = heldView_;
    heldView_ = nullptr;
    Send(view, heldChannel_, kPtzStop, 0);
}

void TfrmPanTilt::btnSet0Click(QPushButton *sender)
{
    Send(GetCurrentDvrWin(), uint8_t(channel_), kPtzSetPreset, uint8_t(TagOf(sender)));
}

void TfrmPanTilt::btnMove0Click(QPushButton *sender)
{
    Send(GetCurrentDvrWin(), uint8_t(channel_), kPtzGoPreset, uint8_t(TagOf(sender)));
}

void TfrmPanTilt::btnAutoFocusClick() { Send(GetCurrentDvrWin(), uint8_t(channel_), kPtzAutoFocus, 0); }

bool TfrmPanTilt::eventFilter(QObject *watched, QEvent *event)
{
    auto *button = qobject_cast<QPushButton *>(watched);
    if (button && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        btnLeftMouseDown(button);
    else if (button && event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        btnLeftMouseUp();
    return QWidget::eventFilter(watched, event);
}

void TfrmPanTilt::hideEvent(QHideEvent *e)
{
    // A window that goes while a button is held gets no mouse-up: stop the camera now.
    btnLeftMouseUp();
    QWidget::hideEvent(e);
}

void TfrmPanTilt::closeEvent(QCloseEvent *e)
{
    btnLeftMouseUp();
    emit closed();
    QWidget::closeEvent(e);
}

} // namespace strandel
