#pragma once
// The administration windows that start-up creates. Each holds what start-up and the main window
// need of it; the full dialogs build on these classes.
#include <QDialog>
#include <QFont>
#include <QWidget>

#include "viewer/admin/dvrenv.h"
#include "viewer/admin/dvrservices.h"
#include "viewer/protocol/dvrdialoglinks.h"

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace strandel {

class TfrmDvrWin;

// Pan/tilt window: sends through the current view at the moment of sending.
class TfrmPanTilt : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPanTilt(QWidget *owner = nullptr);
    void SetChannel(int n);
    int Channel() const { return channel_; }

    QComboBox *edtChannel;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    int channel_ = 0;
};

// Remote key pad and relays.
class TfrmDvrCtrl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrCtrl(QWidget *owner = nullptr);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;
};

// Status report of a recorder.
class TfrmDvrStatus : public QDialog, public StatusDialog {
    Q_OBJECT
public:
    explicit TfrmDvrStatus(QWidget *owner = nullptr, TfrmDvrWin *view = nullptr, int channelCount = 0);
    // Appends the report of one 927-byte status record.
    void ShowStatus(const uint8_t *status) override;

    QPlainTextEdit *Memo1;
    QPushButton *btnOk;

private:
    TfrmDvrWin *view_;
    int channelCount_;
};

// Reads a font saved as <prefix>Name, Size, Color and the four style values, each with the
// given font as default. Returns the colour through *color.
QFont ReadFontSettings(const QString &prefix, const QFont &defaults, int defaultColor, int *color);
void WriteFontSettings(const QString &prefix, const QFont &font, int color);

// The pan/tilt window, created once at start-up and kept for the program's life (the set-up
// editor frmDvrEnv likewise, in dvrenv.h).
extern TfrmPanTilt *frmPanTilt;

} // namespace strandel
