#pragma once
// Pan/tilt tool window: drives the camera behind one channel of the main window's current view.
#include <QWidget>

#include "viewer/admin/dvrservices.h"

#include <array>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace strandel {

class TfrmPanTilt : public QWidget {
    Q_OBJECT
public:
    // Actions of a pan/tilt packet.
    static constexpr uint8_t kPtzStop = 0x63;
    static constexpr uint8_t kPtzMove = 1;
    static constexpr uint8_t kPtzSetPreset = 2;
    static constexpr uint8_t kPtzGoPreset = 3;
    static constexpr uint8_t kPtzAutoFocus = 4;

    explicit TfrmPanTilt(QWidget *owner = nullptr);
    ~TfrmPanTilt() override;
    void SetChannel(int channel);
    int Channel() const { return channel_; }
    int Speed() const;

    // Mouse down on one of the eight move, zoom and focus buttons: the camera moves until
    // mouse up, and the stop goes where the start went.
    void btnLeftMouseDown(QPushButton *sender);
    void btnLeftMouseUp();
    void btnSet0Click(QPushButton *sender);
    void btnMove0Click(QPushButton *sender);
    void btnAutoFocusClick();

    QComboBox *edtChannel;
    QGroupBox *selSpeed;
    QButtonGroup *selSpeedRows;
    QPushButton *btnLeft, *btnRight, *btnDown, *btnUp;
    QPushButton *btnZoomPlus, *btnZoomMinus, *btnFocusPlus, *btnFocusMinus;
    std::array<QPushButton *, 16> btnSet{};
    std::array<QPushButton *, 16> btnMove{};
    QPushButton *btnAutoFocus;

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void Send(DvrServices *view, uint8_t channel, uint8_t action, uint8_t argument);
    int channel_ = -1;
    // The view and channel a held button started, until its stop went out.
    DvrServices *heldView_ = nullptr;
    uint8_t heldChannel_ = 0;
    bool held_ = false;
    int goneWatch_ = 0;
};

// Created once at start-up and kept for the program's life.
extern TfrmPanTilt *frmPanTilt;

} // namespace strandel
