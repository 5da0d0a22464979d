#pragma once
// The set-up editor over a recorder's configuration record: fetches it through the view,
// shows it on tabbed pages, saves and opens it as a raw ".env" file and sends it back.
// Controls are found by name; one transfer routine moves values between the record and them.
#include <QDialog>
#include <QFont>

#include "viewer/admin/dvrservices.h"
#include "viewer/link/comm.h"
#include "viewer/protocol/dvrdialoglinks.h"
#include "viewer/protocol/dvrenvrecord.h"
#include "viewer/protocol/recordprogram.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QFrame;
class QLabel;
class QImage;

namespace strandel {

class TMyItemEdit;

class TfrmDvrEnv : public QDialog, public DvrEnvDialog {
    Q_OBJECT
public:
    static constexpr int kScheduleCells = 168;
    using ControlFamily = std::array<QWidget *, 16>;

    explicit TfrmDvrEnv(QWidget *owner = nullptr);
    ~TfrmDvrEnv() override;

    // The view the editor opens for; what it holds of the recorder it last showed (titles, disk
    // map) is forgotten, so that nothing of one recorder ever goes to another.
    void SetDvr(DvrServices *view);
    DvrServices *Dvr() const { return dvr_; }
    const QFont &ChannelFont() const { return chFont_; }

    // The view's calls, in this order for a record reply.
    void SetRecordVariant(uint8_t variant) override;
    void SetModel(uint8_t standard, int channelCount) override;
    void TransferRecord(const uint8_t *record, int direction) override;
    void SetHddMap(const uint8_t *map) override;
    void SetTitleBitmaps(const uint8_t *bitmaps) override;
    void SetModalResult(int result) override;

    // The transfer routine. Direction 1: the buffer's 9638 bytes become the working record and
    // fill the controls. Direction 0: the controls are stored into the working record, which
    // is copied into the buffer in wire form. A control the user left as it was loaded keeps
    // its bytes (so a value a control cannot show survives); flags, schedule, audio switches
    // and titles are always written in their one form. False: a check refused the values and
    // the buffer must not be sent or saved.
    bool TransferRecord(uint8_t *buffer, int direction);
    // Rebuilds the quick frame-rate list for the chosen picture size and standard.
    void FillQuickFrameList();

    // Handlers.
    void FormShow();
    void FormActivate();
    void btnLoadClick();
    void btnUpdateClick();
    void btnSaveClick();
    void btnOpenClick();
    void btnCancelClick() { SetModalResult(kModalResultCancel); }
    void btnDownloadClick();
    // The file side of save and open; false with a message when the file cannot be used.
    bool SaveToFile(const QString &path);
    bool OpenFromFile(const QString &path);

    // State.
    const std::vector<uint8_t> &Record() const { return record_; }
    bool IsLoaded() const { return loaded_; }
    const std::vector<uint8_t> &HddMap() const { return hddMap_; }
    const std::vector<uint8_t> &TitleBitmaps() const { return titles_; }
    uint8_t RecordVariant() const { return variant_; }
    uint8_t VideoStandard() const { return standard_; }
    bool IsNtsc() const { return (standard_ & 1) != 0; }
    int FrameBudget() const { return frameBudget_; }
    // The recorder's own channel count (the pages show 4, 8 or 16).
    int ChannelCount() const { return ownChannels_; }
    int CurrentProgram() const { return currentProgram_; }
    void SetCurrentProgram(int p) { currentProgram_ = p; }
    // The variant pages in use: "TabRec2", or "TabRec3" for variant 2 with 16 channels.
    QString VariantPage() const { return variantPage_; }
    TMyItemEdit *SelectedCell() const { return selectedCell_; }
    void SelectCell(TMyItemEdit *cell);
    TMyItemEdit *Cell(int i) const { return cells_.at(size_t(i)); }
    // A control of the form by name (null when the form has none).
    QWidget *Control(const QString &name) const;
    // The family of that prefix (16 entries, null where the page lacks the control).
    const ControlFamily &Family(const std::string &prefix) const;

    // Record programs. The variant pages are in use for variant 1, and variant 2 with 16
    // channels; every other recorder uses the default pages.
    bool UsesVariantPages() const { return strandel::UsesVariantPages(variant_, ownChannels_); }
    int GroupSize() const { return groupSize_; }
    // Program p's block to the controls of the page set in use (1) or back with the frame and
    // pair checks (0; false with a message when one fails).
    bool TransferRecordProgram(int p, int direction);
    // The program spin edit of the page set in use asks for program value.
    void edtRecPrgChange(QWidget *spin, int value);
    // The default pages' two budget labels, a variant group's labels.
    void RecomputeBudgets();
    void RecomputeGroup(int group);
    // One channel's picture size changed (default pages): every channel takes it, then pairing.
    void edtSize0Change(int ch);
    // Automatic pairing of half-size channels and the partners' edits hidden.
    void edtPairCh0Change(bool automatic = true);
    // A variant group leader's size changed.
    void edtMpSize0Change(int leader);
    // Any pre-event edit changed: the one shared byte, shown alike on every page set.
    void edtPreTime0Change(int value);
    // Disk slots present in the map are enabled; absent ones show "NO HDD", are disabled and
    // keep their loaded byte.
    void ApplyHddMap();
    static bool HddPresent(const std::vector<uint8_t> &map, int slot);
    // Control words of command 28; the initialise words ask first.
    void SendControlWord(uint16_t word);
    void btnDvrInitClick() { SendControlWord(0); }
    void btnFixedHddInitClick() { SendControlWord(1); }
    void btnBackupHddInitClick() { SendControlWord(2); }
    void SpeedButton1Click() { SendControlWord(100); }
    // Asks before an initialise word goes out; tests replace it.
    std::function<bool(const QString &text)> confirm;
    // Title bitmaps. The channel being edited; the editor's grid paints 6 x 6 cells.
    int TitleChannel() const { return titleChannel_; }
    void edtTitleCh0Click(int ch);
    // One grid pixel of the channel in edit: a pointer position outside the grid changes nothing.
    void PaintTitleAt(int px, int py, bool black);
    void SpeedButton2Click();                  // Clear
    void RotateTitleClick(int dx, int dy);     // "<", ">", "^", "v"
    // "Make Bitmap": the text of edtTemp in the title font, black glyphs whatever the colour.
    void btnGetClick();
    // "Download": the 16 bitmaps as request 31 (begin mark, 1000, 1000, 304 bytes, end mark).
    void btnDownClick();
    void SpeedButton7Click();                  // Font
    // The text in the font as a 72 x 16 picture, black on white, no antialiasing.
    static QImage RenderTitleText(const QString &text, const QFont &font);
    // Schedule cells: a click (or the focus) selects a cell, a double click opens the record
    // program of that hour; the space key toggles the hidden schedule switch.
    void edtMon0Click(TMyItemEdit *cell);
    void edtMon0DblClick(TMyItemEdit *cell);
    void chkScheduleClick();
    // The hidden mark toggle: the selected hour's mark flips (or, with an all-day switch in the
    // focus, the marks of that day's hours).
    void SpeedButton8Click();
    // The hidden Button1 only finds the focused all-day switch (null when none) and changes nothing.
    QWidget *Button1Click() const;
    // The record-program pages were opened: the program of the selected cell's hour is shown.
    void PageRecordChange(int page);
    // A motion-area button: the channel's mask in the motion editor, stored back on OK only
    // (a cancelled edit changes nothing). runMotion shows the editor; tests replace it.
    void btnMotionArea0Click(int ch);
    std::function<int(QDialog &motion)> runMotion;
    // A new-password edit was left; false when the focus must go back to it.
    bool edtMasterNewExit(QLineEdit *edit);

    // Where save and open ask for a file name and how messages are shown; tests replace them.
    std::function<QString(bool save)> chooseFile;
    std::function<void(const QString &text)> showMessage;

    QTabWidget *PageMain;
    QTabWidget *PageScreen, *PageRecord, *PageEvent, *PageSystem, *PageLink;
    QPushButton *btnLoad, *btnUpdate, *btnSave, *btnOpen, *btnCancel, *btnDownload;
    QLineEdit *edtMasterOld, *edtMasterNew, *edtMasterRetype, *edtSlaveOld, *edtSlaveNew, *edtSlaveRetype;
    // Two serial components the form carries ("Com2", every event watched); nothing opens them.
    std::unique_ptr<comm::TComm> Comm1;
    std::unique_ptr<comm::TComm> Comm2;

protected:
    // The record program the program page shows, moved in the given direction; false refuses
    // the values (the whole transfer then fails). The program pages build on it.
    virtual bool TransferRecordProgram(int direction);
    void setVisible(bool visible) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void changeEvent(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void BuildPages();
    QWidget *MakeControl(const DvrEnvField &f, int i, QWidget *page);
    void ResetForOpening();
    void ForgetRecorder();
    void LookUpFamilies();
    void ChoosePageSet();
    // Shows or hides a tab. A call that changes nothing is not made: on a hidden tab bar it
    // would drop the layout an earlier change left due, and a tab shown again keeps no room.
    static void ShowTab(QTabWidget *tabs, int index, bool on);
    bool TransferField(const DvrEnvField &f, int direction);
    bool ApplyPasswords(uint8_t *buffer);
    void ReadFontSettings();
    void BuildProgramPages();
    void BuildTitlePage();
    void FinishPageLayouts();
    // The size at which every page, the largest among them, shows whole.
    QSize WholePageSize();
    // Shows or hides a control with its caption.
    void ShowControl(const QString &name, bool visible);
    void RefreshTitle(int ch);
    uint8_t *TitleBits(int ch);
    void ApplyProgramPageSet();
    bool CheckProgram();
    bool eventFilter(QObject *watched, QEvent *event) override;

    DvrServices *dvr_ = nullptr;
    QFont chFont_;
    int chFontColor_ = 0;
    std::vector<uint8_t> record_;
    bool loaded_ = false;
    int currentProgram_ = 0;
    uint8_t variant_ = 0;
    uint8_t standard_ = 0;
    int frameBudget_ = 100;
    // The recorder's own count, whose channels are editable.
    int ownChannels_ = 16;
    // The page set shown for it: 4, 8 or 16 channels.
    int PageChannels() const { return PageSetChannels(ownChannels_); }
    int groupSize_ = 4, groupCount_ = 4;
    int titleChannel_ = 0;
    QString variantPage_ = "TabRec2";
    TMyItemEdit *selectedCell_ = nullptr;
    std::array<TMyItemEdit *, kScheduleCells> cells_{};
    std::map<QString, QWidget *> controls_;
    std::map<std::string, ControlFamily> families_;
    std::vector<uint8_t> hddMap_, titles_;
    bool titlesArrived_ = false; // the recorder's titles came; until then titles_ holds blanks
    bool opening_ = false;
    bool programLoading_ = false;
    int preLoaded_ = -1;
};

extern TfrmDvrEnv *frmDvrEnv;

} // namespace strandel
