#include "viewer/admin/dvrctrl.h"

#include "viewer/admin/dvrservices.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace strandel {

namespace {

// Caption and place of each key, by bit: the digit block (three columns, left) and the
// function keys (two columns, right). The first three digit keys carry 1, 2 and 3.
struct KeyPlace {
    const char *caption;
    int row, column;
};
constexpr KeyPlace kKeys[TfrmDvrCtrl::kKeyCount] = {
    {"1", 0, 0},      {"2", 0, 1},     {"3", 0, 2},       {"4", 1, 0},       {"5", 1, 1},      {"6", 1, 2},
    {"7", 2, 0},      {"8", 2, 1},     {"9", 2, 2},       {"0", 3, 0},       {"+10", 3, 1},    {"Multi", 3, 2},
    {"", 0, 4},       {"Menu", 0, 5},  {"LV/PB", 1, 4},   {"PTZ", 1, 5},     {"STATUS", 2, 4}, {"ZOOM", 2, 5},
    {"AUTO", 3, 4},   {"PIP", 3, 5},   {"FREEZE", 4, 4},  {"REC", 4, 5},     {"SLOW", 5, 4},   {"PLAY", 5, 5},
    {"FAST", 6, 4},   {"DIR", 6, 5},   {"SEARCHJ", 7, 4}, {"COPY", 7, 5},    {"ALM", 8, 4},
};

} // namespace

TfrmDvrCtrl::TfrmDvrCtrl(QWidget *owner) : QWidget(owner, Qt::Tool)
{
    setObjectName("frmDvrCtrl");
    setWindowTitle("DVR Controller");
    // The key pad's face; dragging it moves the window.
    Image1 = new QFrame(this);
    Image1->setObjectName("Image1");
    Image1->setFrameShape(QFrame::StyledPanel);
    Image1->setAutoFillBackground(true);
    QPalette p = Image1->palette();
    p.setColor(QPalette::Window, QColor(48, 52, 60));
    Image1->setPalette(p);
    Image1->installEventFilter(this);
    auto *grid = new QGridLayout(Image1);
    grid->setSpacing(4);
    grid->setColumnMinimumWidth(3, 16);
    for (int bit = 0; bit < kKeyCount; ++bit) {
        auto *key = new QPushButton(kKeys[bit].caption, Image1);
        key->setObjectName(QString("btnKey%1").arg(bit));
        key->setProperty("Tag", qlonglong(uint32_t(1) << bit));
        key->setFocusPolicy(Qt::NoFocus);
        key->setAutoDefault(false);
        key->setFixedSize(kKeys[bit].column < 3 ? QSize(44, 32) : QSize(72, 32));
        grid->addWidget(key, kKeys[bit].row, kKeys[bit].column);
        connect(key, &QPushButton::clicked, this, [this, key] { btnCh1Click(key); });
        keys_[size_t(bit)] = key;
    }
    grid->setRowStretch(9, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmDvrCtrl::btnCh1Click(QPushButton *sender)
{
    DvrServices *view = GetCurrentDvrWin();
    if (view && sender)
        view->SendRemoteKey(uint32_t(sender->property("Tag").toLongLong()));
}

bool TfrmDvrCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (QWindow *w = windowHandle())
            w->startSystemMove();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmDvrCtrl::closeEvent(QCloseEvent *e)
{
    emit closed();
    QWidget::closeEvent(e);
}

} // namespace strandel
