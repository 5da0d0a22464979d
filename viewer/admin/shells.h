#pragma once
// The administration windows that start-up creates. Each holds what start-up and the main window
// need of it; the full dialogs build on these classes.
#include <QDialog>
#include <QFont>
#include <QWidget>

#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/dvrservices.h"
#include "viewer/admin/dvrstatus.h"
#include "viewer/admin/pantilt.h"
#include "viewer/link/comm.h"
#include "viewer/protocol/dvrdialoglinks.h"

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace strandel {

class TfrmDvrWin;

// Set-up dialog over the recorder's configuration record.
class TfrmDvrEnv : public QDialog, public DvrEnvDialog {
    Q_OBJECT
public:
    explicit TfrmDvrEnv(QWidget *owner = nullptr);
    void SetDvr(DvrServices *view) { dvr_ = view; }
    DvrServices *Dvr() const { return dvr_; }
    const QFont &ChannelFont() const { return chFont_; }

    void SetRecordVariant(uint8_t variant) override { variant_ = variant; }
    void SetModel(uint8_t ntsc, int channelCount) override;
    void TransferRecord(const uint8_t *record, int direction) override;
    void SetHddMap(const uint8_t *map) override;
    void SetTitleBitmaps(const uint8_t *bitmaps) override;
    void SetModalResult(int result) override;
    // What the recorder sent while the dialog was open (empty until then).
    const std::vector<uint8_t> &Record() const { return record_; }
    const std::vector<uint8_t> &HddMap() const { return hddMap_; }
    const std::vector<uint8_t> &TitleBitmaps() const { return titles_; }
    uint8_t RecordVariant() const { return variant_; }

    QLabel *lblMsg;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    // Two serial components the form carries ("Com2", every event watched); nothing opens them.
    std::unique_ptr<comm::TComm> Comm1;
    std::unique_ptr<comm::TComm> Comm2;

private:
    DvrServices *dvr_ = nullptr;
    QFont chFont_;
    uint8_t variant_ = 0;
    uint8_t ntsc_ = 0;
    int channelCount_ = 0;
    std::vector<uint8_t> record_, hddMap_, titles_;
};

// Reads a font saved as <prefix>Name, Size, Color and the four style values, each with the
// given font as default. Returns the colour through *color.
QFont ReadFontSettings(const QString &prefix, const QFont &defaults, int defaultColor, int *color);
void WriteFontSettings(const QString &prefix, const QFont &font, int color);

// The set-up editor, created once at start-up and kept for the program's life.
extern TfrmDvrEnv *frmDvrEnv;

} // namespace strandel
