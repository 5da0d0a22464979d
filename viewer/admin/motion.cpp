#include "viewer/admin/motion.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace strandel {

namespace {

class MotionImage : public QWidget {
public:
    MotionImage(TfrmMotion *form, QWidget *parent) : QWidget(parent), form_(form)
    {
        setObjectName("imgMotion");
        setFixedSize(kMotionColumns * kMotionCellPixels + 1, kMotionRows * kMotionCellPixels + 1);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        for (int y = 0; y < kMotionRows; ++y)
            for (int x = 0; x < kMotionColumns; ++x)
                if (form_->Cell(x, y))
                    p.fillRect(x * 10 + 1, y * 10 + 1, 9, 9, QColor(128, 128, 128));
        p.setPen(Qt::black);
        for (int i = 0; i <= kMotionColumns; ++i)
            p.drawLine(i * 10, 0, i * 10, height() - 1);
        for (int i = 0; i <= kMotionRows; ++i)
            p.drawLine(0, i * 10, width() - 1, i * 10);
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        form_->imgMotionMouseDown(e->position().toPoint().x(), e->position().toPoint().y(), e->button());
    }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        form_->imgMotionMouseMove(e->position().toPoint().x(), e->position().toPoint().y(), e->buttons());
    }

private:
    TfrmMotion *form_;
};

} // namespace

TfrmMotion::TfrmMotion(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmMotion");
    auto *l = new QGridLayout(this);
    imgMotion = new MotionImage(this, this);
    l->addWidget(imgMotion, 0, 0, 6, 1);
    selBox = new QListWidget(this);
    selBox->setObjectName("selBox");
    selBox->addItems({"1 X 1", "3 X 3", "5 X 5"});
    selBox->setCurrentRow(1);
    selBox->setFixedHeight(60);
    l->addWidget(selBox, 0, 1);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    l->addWidget(Label1, 1, 1);
    const auto button = [&](QPushButton *&b, const char *name, const char *caption, int row) {
        b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        l->addWidget(b, row, 1);
    };
    button(btnSetAll, "btnSetAll", "Set All", 2);
    button(btnClearAll, "btnClearAll", "Clear All", 3);
    button(btnOk, "btnOk", "OK", 4);
    button(btnCancel, "btnCancel", "Cancel", 5);
    connect(btnSetAll, &QPushButton::clicked, this, [this] { btnSetAllClick(); });
    connect(btnClearAll, &QPushButton::clicked, this, [this] { btnClearAllClick(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TfrmMotion::LoadMask(const uint8_t *mask)
{
    grid_ = MotionFromMask(mask);
    imgMotion->update();
}

void TfrmMotion::SaveMask(uint8_t *mask) const { MotionToMask(grid_, mask); }

void TfrmMotion::SetCell(int x, int y, bool on)
{
    if (x < 0 || x >= kMotionColumns || y < 0 || y >= kMotionRows)
        return;
    grid_[size_t(y)][size_t(x)] = on ? 1 : 0;
    imgMotion->update();
}

bool TfrmMotion::Cell(int x, int y) const
{
    return x >= 0 && x < kMotionColumns && y >= 0 && y < kMotionRows && grid_[size_t(y)][size_t(x)] != 0;
}

int TfrmMotion::BrushSize() const { return 2 * std::max(0, selBox->currentRow()) + 1; }

void TfrmMotion::Brush(int px, int py, bool on)
{
    const auto cx = MotionCellAt(px, kMotionColumns), cy = MotionCellAt(py, kMotionRows);
    if (!cx || !cy)
        return;
    ApplyMotionBrush(grid_, *cx, *cy, BrushSize(), on);
    imgMotion->update();
}

void TfrmMotion::imgMotionMouseDown(int px, int py, Qt::MouseButton button) { Brush(px, py, button == Qt::LeftButton); }

void TfrmMotion::imgMotionMouseMove(int px, int py, Qt::MouseButtons buttons)
{
    Label1->setText(QString("%1,%2").arg(px).arg(py));
    if (buttons & (Qt::LeftButton | Qt::RightButton))
        Brush(px, py, buttons & Qt::LeftButton);
}

void TfrmMotion::btnSetAllClick()
{
    for (auto &row : grid_)
        row.fill(1);
    imgMotion->update();
}

void TfrmMotion::btnClearAllClick()
{
    for (auto &row : grid_)
        row.fill(0);
    imgMotion->update();
}

} // namespace strandel
