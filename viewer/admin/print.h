#pragma once
// The print form: the picture of the selected channel pane with a memo under it, previewed on
// the chosen paper, printed, or saved as a bitmap or JPEG file.
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

#include "report/pages/units.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace strandel {

class TBmpToJpeg;
class TPagorra;
class TPgxBand;
class TPgxImage;
class TPgxMemo;
class TPgxPreview;
class TPgxPrinter;

// One row of the paper choice: its text, the report's paper, and where the picture starts, in
// design pixels of the report (zoom 20) right of the left margin.
struct PrintPaper {
    const char *text;
    TPgxPaperSize size;
    int pictureLeft;
};
inline constexpr std::array<PrintPaper, 5> kPrintPapers{{
    {"A3", TPgxPaperSize::A3, 40},
    {"A4", TPgxPaperSize::A4, 0},
    {"A5", TPgxPaperSize::A5, -16},
    {"B4", TPgxPaperSize::B4, 22},
    {"B5", TPgxPaperSize::B5, -3},
}};

// The two file types of Save As, in the order of the dialog's filter rows.
enum class PrintFileType { Jpeg = 0, Bitmap = 1 };
// The name a picture of that type is saved under: its own extension kept, the other type's
// replaced, anything else followed by the type's extension.
QString PictureFileName(const QString &chosen, PrintFileType type);

class TfrmPrint : public QDialog {
    Q_OBJECT
public:
    // The report's design values.
    static constexpr int kDesignZoom = 20;
    static constexpr int kPictureTop = 12;     // design pixels
    static constexpr int kInitialZoom = 50;    // percent of the preview
    static constexpr int kZoomStep = 10;
    static constexpr int kTimerInterval = 300; // ms

    explicit TfrmPrint(QWidget *owner = nullptr);
    ~TfrmPrint() override;

    // The main window's hand-over: the shown picture, into Image1 and the report's imgDvr.
    void SetPicture(const QImage &picture);
    const QImage &Picture() const { return picture_; }

    // Design pixels of the report (at its zoom) in tenths of a millimetre.
    double DesignToTenths(int pixels) const;
    // The report's font, as it is kept in the PrintFont* settings.
    QFont ReportFont() const { return font_; }
    int ReportFontColor() const { return fontColor_; }
    void SetReportFont(const QFont &font, int color);

    // Saves the picture under fileName as the type of the chosen filter row; false with the
    // reason in *error. The name is taken as given.
    bool SavePicture(const QString &fileName, PrintFileType type, QString *error = nullptr);

    // Tool bar.
    QWidget *ToolBar1;
    QPushButton *btnZoomPlus;
    QPushButton *btnZoomMinus;
    QComboBox *edtPaper;
    QPushButton *btnPrint;
    QPushButton *btnPrintSetup;
    QPushButton *btnSaveAs;
    QPushButton *btnMemo;
    QPushButton *btnFont;
    // The preview, the memo editor inside it, and the wait note.
    TPgxPreview *PgxPreview1;
    QWidget *pnlMemo;
    QPlainTextEdit *edtMemo;
    QLabel *pnlMsg;
    QTimer *Timer1;
    QFileDialog *dlgSave;
    // The PDF file a page is printed to when the machine has no printer queue.
    QFileDialog *dlgPdf;
    // The hidden copy of the picture.
    QLabel *Image1;
    TBmpToJpeg *BmpToJpeg1;
    // The report: one title band with the picture and the memo.
    TPagorra *Pagorra;
    TPgxBand *TitleBand1;
    TPgxImage *imgDvr;
    TPgxMemo *lblMemo;

    // Stand-ins for the modal dialogs, so they can be answered without a user.
    // Shows dlgSave; true with the chosen name and filter row.
    std::function<bool(QString &fileName, PrintFileType &type)> chooseSaveFile;
    // Shows dlgPdf; true with the chosen name.
    std::function<bool(QString &fileName)> choosePdfFile;
    std::function<bool(QFont &font)> chooseFont;
    std::function<bool(const QString &text)> confirm;
    std::function<void(const QString &text)> showMessage;

    // Handlers of the form's controls.
    void Timer1Timer();
    void edtPaperChange();
    void btnMemoClick();
    void btnZoomPlusClick();
    void btnZoomMinusClick();
    void btnSaveAsClick();
    void btnFontClick();
    void btnPrintClick();
    void btnPrintSetupClick();
    // The report's OnPreview: shows its pages in the embedded preview.
    void PagorraPreview();

protected:
    void showEvent(QShowEvent *e) override;
    void done(int r) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    // Closes the shown preview and lets the report drop its printer.
    void ClosePreview();
    void RePreview();
    void PlaceMemo();
    void PlaceNote();
    void ApplyFontToReport();

    QImage picture_;
    QFont font_;
    int fontColor_ = 0;
    bool shown_ = false;
    bool closed_ = false;
};

} // namespace strandel
