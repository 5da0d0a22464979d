#include "viewer/admin/print.h"

#include "platform/debuglog.h"
#include "report/bands/pagorra.h"
#include "report/forms/preview.h"
#include "report/output/printer.h"
#include "report/printables/printables_image.h"
#include "report/printables/printables_text.h"
#include "viewer/admin/bmptojpeg.h"
#include "viewer/admin/shells.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace strandel {

namespace {

constexpr const char *kJpegFilter = "Jpeg(*.jpg)";
constexpr const char *kBitmapFilter = "Bitmap(*.bmp)";
constexpr int kA4Row = 1;
// Below the picture the memo gets this gap and height, in design pixels.
constexpr int kMemoGap = 4;
constexpr int kMemoHeight = 24;

QString TypeSuffix(PrintFileType type) { return type == PrintFileType::Bitmap ? "bmp" : "jpg"; }

bool IsSuffixOf(const QString &suffix, PrintFileType type)
{
    const QString s = suffix.toLower();
    return type == PrintFileType::Bitmap ? s == "bmp" || s == "dib" : s == "jpg" || s == "jpeg" || s == "jpe";
}

} // namespace

QString PictureFileName(const QString &chosen, PrintFileType type)
{
    if (chosen.isEmpty())
        return chosen;
    const QFileInfo info(chosen);
    const QString suffix = info.suffix();
    if (IsSuffixOf(suffix, type))
        return chosen;
    const PrintFileType other = type == PrintFileType::Bitmap ? PrintFileType::Jpeg : PrintFileType::Bitmap;
    if (!suffix.isEmpty() && IsSuffixOf(suffix, other))
        return chosen.left(chosen.size() - suffix.size()) + TypeSuffix(type);
    if (chosen.endsWith('.'))
        return chosen + TypeSuffix(type);
    return chosen + '.' + TypeSuffix(type);
}

TfrmPrint::TfrmPrint(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmPrint");
    setWindowTitle("Print");
    resize(760, 600);

    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName("ToolBar1");
    auto *bar = new QHBoxLayout(ToolBar1);
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(2);
    auto button = [this, bar](const char *name, const char *text) {
        auto *b = new QPushButton(text, ToolBar1);
        b->setObjectName(name);
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    btnZoomPlus = button("btnZoomPlus", "+");
    btnZoomMinus = button("btnZoomMinus", "-");
    btnZoomPlus->setFixedWidth(28);
    btnZoomMinus->setFixedWidth(28);
    edtPaper = new QComboBox(ToolBar1);
    edtPaper->setObjectName("edtPaper");
    bar->addWidget(edtPaper);
    btnPrint = button("btnPrint", "Print");
    btnPrintSetup = button("btnPrintSetup", "Printer");
    btnSaveAs = button("btnSaveAs", "Save As");
    btnMemo = button("btnMemo", "Memo");
    btnMemo->setCheckable(true);
    btnFont = button("btnFont", "Font");
    bar->addStretch(1);

    PgxPreview1 = new TPgxPreview(this);
    PgxPreview1->setObjectName("PgxPreview1");

    pnlMemo = new QWidget(PgxPreview1);
    pnlMemo->setObjectName("pnlMemo");
    pnlMemo->setAutoFillBackground(true);
    edtMemo = new QPlainTextEdit(pnlMemo);
    edtMemo->setObjectName("edtMemo");
    auto *memoLayout = new QVBoxLayout(pnlMemo);
    memoLayout->setContentsMargins(4, 4, 4, 4);
    memoLayout->addWidget(edtMemo);
    pnlMemo->hide();

    pnlMsg = new QLabel("Please Wait...", this);
    pnlMsg->setObjectName("pnlMsg");
    pnlMsg->setAlignment(Qt::AlignCenter);
    pnlMsg->setFrameShape(QFrame::Panel);
    pnlMsg->setFrameShadow(QFrame::Raised);
    pnlMsg->setAutoFillBackground(true);
    pnlMsg->resize(180, 40);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(PgxPreview1, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kTimerInterval);

    dlgPdf = new QFileDialog(this, "Print to PDF file");
    dlgPdf->setObjectName("dlgPdf");
    dlgPdf->setOption(QFileDialog::DontUseNativeDialog);
    dlgPdf->setAcceptMode(QFileDialog::AcceptSave);
    dlgPdf->setNameFilters({"PDF(*.pdf)"});
    dlgPdf->setDefaultSuffix("pdf");
    dlgPdf->selectFile("Print.pdf");
    dlgSave = new QFileDialog(this);
    dlgSave->setObjectName("dlgSave");
    dlgSave->setOption(QFileDialog::DontUseNativeDialog);
    dlgSave->setAcceptMode(QFileDialog::AcceptSave);
    dlgSave->setNameFilters({kJpegFilter, kBitmapFilter});
    dlgSave->setDefaultSuffix("jpg");
    // The extension a typed name gets follows the chosen type.
    connect(dlgSave, &QFileDialog::filterSelected, dlgSave, [this](const QString &filter) {
        dlgSave->setDefaultSuffix(filter == kBitmapFilter ? "bmp" : "jpg");
    });

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->hide();
    BmpToJpeg1 = new TBmpToJpeg(this);
    BmpToJpeg1->setObjectName("BmpToJpeg1");

    // The report as designed: A4 portrait, 10 mm margins, zoom 20, a frame round the margins.
    Pagorra = new TPagorra(this);
    Pagorra->setObjectName("Pagorra");
    Pagorra->Page.SetPaperSize(TPgxPaperSize::A4);
    Pagorra->Page.SetOrientation(TPgxOrientation::Portrait);
    const TPgxUnit units = Pagorra->Page.GetUnits();
    Pagorra->Page.SetUnits(TPgxUnit::Native);
    for (int margin : {TPgxPage::LeftMargin, TPgxPage::RightMargin, TPgxPage::TopMargin, TPgxPage::BottomMargin})
        Pagorra->Page.SetValue(margin, 100);
    Pagorra->Page.SetUnits(units);
    Pagorra->SetZoom(kDesignZoom);
    for (int side = 0; side < 4; ++side)
        Pagorra->Frame().SetValue(side, true);
    TitleBand1 = static_cast<TPgxBand *>(Pagorra->CreateBand(TPgxBandType::rbTitle));
    imgDvr = TitleBand1->AddPrintable<TPgxImage>();
    imgDvr->SetAutoSize(true);
    lblMemo = TitleBand1->AddPrintable<TPgxMemo>();
    lblMemo->SetAutoSize(false);
    lblMemo->SetWordWrap(true);
    // A memo longer than its box stretches the band onto the next page rather than being cut.
    lblMemo->SetAutoStretch(true);
    lblMemo->Color = 0xffffffff;
    Pagorra->OnEndPage = [](TCustomPagorra *) { DebugPrint("End Page\n"); };

    chooseSaveFile = [this](QString &fileName, PrintFileType &type) {
        if (dlgSave->exec() != QDialog::Accepted || dlgSave->selectedFiles().isEmpty())
            return false;
        fileName = dlgSave->selectedFiles().first();
        type = dlgSave->selectedNameFilter() == kBitmapFilter ? PrintFileType::Bitmap : PrintFileType::Jpeg;
        return true;
    };
    choosePdfFile = [this](QString &fileName) {
        if (dlgPdf->exec() != QDialog::Accepted || dlgPdf->selectedFiles().isEmpty())
            return false;
        fileName = dlgPdf->selectedFiles().first();
        return true;
    };
    chooseFont = [this](QFont &font) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font, this, "Font");
        if (ok)
            font = chosen;
        return ok;
    };
    confirm = [this](const QString &text) {
        return QMessageBox::question(this, windowTitle(), text) == QMessageBox::Yes;
    };
    showMessage = [this](const QString &text) { QMessageBox::warning(this, windowTitle(), text); };

    connect(Timer1, &QTimer::timeout, this, &TfrmPrint::Timer1Timer);
    connect(edtPaper, &QComboBox::currentIndexChanged, this, &TfrmPrint::edtPaperChange);
    connect(btnMemo, &QPushButton::toggled, this, &TfrmPrint::btnMemoClick);
    connect(btnZoomPlus, &QPushButton::clicked, this, &TfrmPrint::btnZoomPlusClick);
    connect(btnZoomMinus, &QPushButton::clicked, this, &TfrmPrint::btnZoomMinusClick);
    connect(btnSaveAs, &QPushButton::clicked, this, &TfrmPrint::btnSaveAsClick);
    connect(btnFont, &QPushButton::clicked, this, &TfrmPrint::btnFontClick);
    connect(btnPrint, &QPushButton::clicked, this, &TfrmPrint::btnPrintClick);
    connect(btnPrintSetup, &QPushButton::clicked, this, &TfrmPrint::btnPrintSetupClick);

    FormCreate();
}

TfrmPrint::~TfrmPrint()
{
    // The preview lets go of the report's printer before the report goes.
    Timer1->stop();
    ClosePreview();
    // A form taken down with its owner keeps the chosen font all the same.
    if (!closed_)
        FormClose();
}

void TfrmPrint::FormCreate()
{
    const QFont defaults(QStringLiteral("Arial"), 10);
    int color = 0;
    const QFont f = ReadFontSettings("PrintFont", defaults, 0, &color);
    SetReportFont(f, color);
}

void TfrmPrint::SetReportFont(const QFont &font, int color)
{
    font_ = font;
    fontColor_ = color;
    ApplyFontToReport();
    QFont shown = edtMemo->font();
    shown.setFamily(font.family());
    edtMemo->setFont(shown);
}

void TfrmPrint::ApplyFontToReport()
{
    Pagorra->Font = font_;
    // The memo prints in the report's font.
    TPgxFont f;
    f.Name = font_.family();
    f.Size = font_.pointSize() > 0 ? font_.pointSize() : 10;
    f.Bold = font_.bold();
    f.Italic = font_.italic();
    f.Underline = font_.underline();
    f.StrikeOut = font_.strikeOut();
    // The stored colour is a Windows colour: red in the low byte.
    const uint32_t c = uint32_t(fontColor_);
    f.Color = qRgb(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff));
    lblMemo->SetFont(f);
}

void TfrmPrint::SetPicture(const QImage &picture)
{
    picture_ = picture;
    Image1->setPixmap(QPixmap::fromImage(picture));
    imgDvr->SetPicture(picture);
}

double TfrmPrint::DesignToTenths(int pixels) const
{
    return pixels * 100.0 / kDesignZoom * 254.0 / PgxScreenPpi();
}

void TfrmPrint::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    PlaceNote();
}

void TfrmPrint::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    PlaceNote();
}

void TfrmPrint::PlaceNote()
{
    pnlMsg->move((width() - pnlMsg->width()) / 2, (height() - pnlMsg->height()) / 2);
    pnlMsg->raise();
    pnlMemo->setGeometry(8, 8, std::min(360, PgxPreview1->width() - 16), 120);
}

void TfrmPrint::FormShow()
{
    {
        const QSignalBlocker quiet(edtPaper);
        edtPaper->clear();
        for (const PrintPaper &p : kPrintPapers)
            edtPaper->addItem(p.text);
        edtPaper->setCurrentIndex(kA4Row);
    }
    imgDvr->Left = DesignToTenths(7);
    imgDvr->Top = DesignToTenths(kPictureTop);
    imgDvr->SetPicture(picture_);
    PgxPreview1->SetZoom(kInitialZoom);
    pnlMsg->show();
    Timer1->start();
}

void TfrmPrint::PlaceMemo()
{
    // The memo sits under the picture, as wide as the page's margins allow.
    const double pictureHeight = picture_.isNull() ? 0 : picture_.height() * 254.0 / PgxScreenPpi();
    const double pageWidth = Pagorra->Page.Stored(TPgxPage::Width) - Pagorra->Page.Stored(TPgxPage::LeftMargin)
        - Pagorra->Page.Stored(TPgxPage::RightMargin);
    lblMemo->Left = std::max(0.0, imgDvr->Left);
    lblMemo->Top = imgDvr->Top + pictureHeight + DesignToTenths(kMemoGap);
    lblMemo->Width = std::max(100.0, pageWidth - lblMemo->Left);
    lblMemo->Height = DesignToTenths(kMemoHeight);
    TitleBand1->SetHeight(lblMemo->Top + lblMemo->Height);
}

void TfrmPrint::Timer1Timer()
{
    Timer1->stop();
    if (closed_)
        return;
    DebugPrint("Preview Start\n");
    int row = edtPaper->currentIndex();
    if (row < 0 || row >= int(kPrintPapers.size()))
        row = kA4Row;
    const PrintPaper &paper = kPrintPapers[size_t(row)];
    imgDvr->Left = DesignToTenths(paper.pictureLeft);
    imgDvr->Top = DesignToTenths(kPictureTop);
    Pagorra->Page.SetPaperSize(paper.size);
    lblMemo->SetLines(PgxSplitLines(edtMemo->toPlainText()));
    PlaceMemo();
    // The report generates its page here and hands its printer to the embedded preview; a form
    // closed while the page was being made shows nothing more.
    if (Pagorra->Prepare() && !closed_)
        PagorraPreview();
    DebugPrint("Preview End\n");
}

void TfrmPrint::PagorraPreview()
{
    pnlMsg->hide();
    PgxPreview1->SetPgxPrinter(Pagorra->Printer());
}

void TfrmPrint::ClosePreview()
{
    if (TPgxPrinter *p = PgxPreview1->PgxPrinter()) {
        p->ClosePreview();
        PgxPreview1->SetPgxPrinter(nullptr);
    }
}

void TfrmPrint::RePreview()
{
    ClosePreview();
    Timer1->start();
}

void TfrmPrint::edtPaperChange() { RePreview(); }

void TfrmPrint::btnMemoClick()
{
    if (btnMemo->isChecked()) {
        pnlMemo->show();
        pnlMemo->raise();
        edtMemo->setFocus();
        return;
    }
    pnlMemo->hide();
    lblMemo->SetLines(PgxSplitLines(edtMemo->toPlainText()));
    RePreview();
}

void TfrmPrint::btnZoomPlusClick()
{
    PgxPreview1->SetZoom(PgxPreview1->Zoom() + kZoomStep);
    PgxPreview1->SetZoom(PgxPreview1->Zoom());
    DebugPrint("Zoom : %d\n", PgxPreview1->Zoom());
}

void TfrmPrint::btnZoomMinusClick()
{
    PgxPreview1->SetZoom(PgxPreview1->Zoom() - kZoomStep);
    PgxPreview1->SetZoom(PgxPreview1->Zoom());
    DebugPrint("Zoom : %d\n", PgxPreview1->Zoom());
}

bool TfrmPrint::SavePicture(const QString &fileName, PrintFileType type, QString *error)
{
    if (type == PrintFileType::Bitmap) {
        QByteArray data;
        return EncodeBitmapPicture(picture_, data, error) && WriteWholeFile(fileName, data, error);
    }
    BmpToJpeg1->Image = &picture_;
    BmpToJpeg1->JpegFile = fileName;
    const bool ok = BmpToJpeg1->Convert(error);
    BmpToJpeg1->Image = nullptr;
    return ok;
}

void TfrmPrint::btnSaveAsClick()
{
    QString chosen;
    PrintFileType type = PrintFileType::Jpeg;
    if (!chooseSaveFile || !chooseSaveFile(chosen, type) || chosen.isEmpty())
        return;
    const QString fileName = PictureFileName(chosen, type);
    // The dialog asked about the name it was given; a changed name is asked about here.
    if (fileName != chosen && QFileInfo::exists(fileName)
        && !(confirm && confirm(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(fileName).fileName()))))
        return;
    QString error;
    if (!SavePicture(fileName, type, &error) && showMessage)
        showMessage(error);
}

void TfrmPrint::btnFontClick()
{
    QFont f = font_;
    if (!chooseFont || !chooseFont(f))
        return;
    SetReportFont(f, fontColor_);
    RePreview();
}

void TfrmPrint::btnPrintClick()
{
    // What is printed is what the preview shows; while a new page is on its way there is none.
    TPgxPrinter *p = PgxPreview1->PgxPrinter();
    if (!p || p->Status() != TPgxPrinterStatus::mpFinished) {
        if (showMessage)
            showMessage(QStringLiteral("The page is not ready yet."));
        return;
    }
    // Without a printer queue (and none chosen) the page goes to a PDF file the user names.
    if (!p->PrintersAvailable()) {
        QString file;
        if (!choosePdfFile || !choosePdfFile(file) || file.isEmpty())
            return;
        if (QFileInfo(file).suffix().isEmpty())
            file += ".pdf";
        // The new device reports its own paper: the page keeps the one it was laid out on.
        TPrinterSettings &s = p->Settings();
        const TPgxPaperSize paper = s.PaperSize();
        const TPgxOrientation orientation = s.Orientation();
        const int32_t width = s.PaperWidth(), length = s.PaperLength();
        const int copies = s.Copies();
        p->SetPrintDevice(std::make_unique<TPgxPdfDevice>(file));
        s.SetPaperSize(paper);
        s.SetPaperWidth(width);
        s.SetPaperLength(length);
        s.SetOrientation(orientation);
        s.SetCopies(copies);
    }
    QString error;
    if (p->Print(&error))
        return;
    if (error.isEmpty())
        error = p->PrintersAvailable() ? QStringLiteral("Nothing was printed.") : QStringLiteral("No printer is installed.");
    if (showMessage)
        showMessage(error);
}

void TfrmPrint::btnPrintSetupClick()
{
    // A confirmed choice (printer, copies, orientation) goes into a fresh page, so Print uses it.
    if (Pagorra->PrinterSetup())
        RePreview();
}

void TfrmPrint::FormClose()
{
    WriteFontSettings("PrintFont", font_, fontColor_);
}

void TfrmPrint::done(int r)
{
    // Every way out of the form (Escape, the close box, the caller) closes the preview first.
    if (!closed_) {
        closed_ = true;
        DebugPrint("%d\n", 16);
        Timer1->stop();
        ClosePreview();
        FormClose();
    }
    QDialog::done(r);
}

} // namespace strandel
