#pragma once
// The administration windows that start-up creates. Each holds what start-up and the main window
// need of it; the full dialogs build on these classes.
#include <QDialog>
#include <QFont>
#include <QWidget>

class QComboBox;

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
class TfrmDvrStatus : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDvrStatus(QWidget *owner = nullptr);
};

// Set-up dialog over the recorder's configuration record.
class TfrmDvrEnv : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDvrEnv(QWidget *owner = nullptr);
    void SetDvr(TfrmDvrWin *view) { dvr_ = view; }
    const QFont &ChannelFont() const { return chFont_; }

private:
    TfrmDvrWin *dvr_ = nullptr;
    QFont chFont_;
};

// Reads a font saved as <prefix>Name, Size, Color and the four style values, each with the
// given font as default. Returns the colour through *color.
QFont ReadFontSettings(const QString &prefix, const QFont &defaults, int defaultColor, int *color);
void WriteFontSettings(const QString &prefix, const QFont &font, int color);

} // namespace strandel
