#pragma once
// The motion-area editor: one channel's 30 x 24 cells painted on or off with a square brush.
#include <QDialog>

#include "viewer/protocol/motionmask.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace strandel {

class TfrmMotion : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMotion(QWidget *owner = nullptr);

    void LoadMask(const uint8_t *mask); // 96 bytes
    void SaveMask(uint8_t *mask) const;
    void SetCell(int x, int y, bool on);
    bool Cell(int x, int y) const;
    const MotionGrid &Grid() const { return grid_; }
    // Brush size from the choice: 1, 3 or 5.
    int BrushSize() const;

    // Pointer handlers in pixel coordinates of imgMotion; positions off the grid change nothing.
    void imgMotionMouseDown(int px, int py, Qt::MouseButton button);
    void imgMotionMouseMove(int px, int py, Qt::MouseButtons buttons);
    void btnSetAllClick();
    void btnClearAllClick();

    QListWidget *selBox;
    QLabel *Label1;
    QWidget *imgMotion;
    QPushButton *btnSetAll, *btnClearAll, *btnOk, *btnCancel;

private:
    void Brush(int px, int py, bool on);
    MotionGrid grid_{};
};

} // namespace strandel
