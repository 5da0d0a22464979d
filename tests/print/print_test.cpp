// The print form as an operator uses it: the picture and its memo on the chosen paper, printed
// to PDF and measured there, saved as JPEG or bitmap, and the report font kept in the settings.
#include "platform/jpeg.h"
#include "platform/settings.h"
#include "report/bands/pagorra.h"
#include "report/forms/preview.h"
#include "report/output/printdevice.h"
#include "report/output/printer.h"
#include "report/printables/printables_text.h"
#include "viewer/admin/bmptojpeg.h"
#include "viewer/admin/print.h"
#include "viewer/app/mainform.h"
#include "viewer/base/dvrlistrecord.h"
#include "viewer/controls/mybutton.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"
#include "viewer/view/jpegrecord.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

using namespace strandel;

namespace {

template <typename Cond> bool Pump(Cond cond, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}

// Blue, with a red stripe 8 pixels wide from column 360: the stripe shows where the picture
// lies even where its edges are off the paper.
QImage TestPicture(int w = 720, int h = 480)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(0, 0, 255));
    for (int y = 0; y < h; ++y)
        for (int x = w / 2; x < w / 2 + 8; ++x)
            img.setPixel(x, y, qRgb(255, 0, 0));
    return img.convertToFormat(QImage::Format_RGB16);
}

class Settings {
public:
    Settings() { SetSettingsFilePath(dir.filePath("Strandel.ini")); }
    ~Settings() { SetSettingsFilePath({}); }
    QTemporaryDir dir;
};

// A shown form whose first preview is up.
struct ShownForm {
    explicit ShownForm(const QImage &picture = TestPicture())
    {
        form.showMessage = [this](const QString &t) { messages << t; };
        form.SetPicture(picture);
        form.show();
        EXPECT_TRUE(Pump([&] { return form.PgxPreview1->PgxPrinter() != nullptr; }));
    }
    ~ShownForm()
    {
        if (form.isVisible())
            form.reject();
    }
    // Chooses a paper row and waits for its page.
    void Paper(int row)
    {
        form.edtPaper->setCurrentIndex(row);
        // The change closes the preview and starts the timer; its page comes 300 ms later.
        EXPECT_TRUE(form.Timer1->isActive());
        EXPECT_EQ(form.PgxPreview1->PgxPrinter(), nullptr);
        EXPECT_TRUE(Pump([&] {
            TPgxPrinter *p = form.PgxPreview1->PgxPrinter();
            return !form.Timer1->isActive() && p && p->Status() == TPgxPrinterStatus::mpFinished;
        }));
    }
    TfrmPrint form;
    QStringList messages;
};

QString RunTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool IsBlue(QRgb c) { return qBlue(c) > 180 && qRed(c) < 90 && qGreen(c) < 90; }
bool IsRed(QRgb c) { return qRed(c) > 180 && qBlue(c) < 90 && qGreen(c) < 90; }

} // namespace

TEST(PrintFileName, ExtensionFollowsTheChosenType)
{
    struct Case {
        const char *chosen;
        PrintFileType type;
        const char *expected;
    } cases[] = {
        {"/tmp/a.jpg", PrintFileType::Jpeg, "/tmp/a.jpg"},
        {"/tmp/a.JPEG", PrintFileType::Jpeg, "/tmp/a.JPEG"},
        {"/tmp/a.bmp", PrintFileType::Jpeg, "/tmp/a.jpg"},
        {"/tmp/a.jpg", PrintFileType::Bitmap, "/tmp/a.bmp"},
        {"/tmp/a.Jpeg", PrintFileType::Bitmap, "/tmp/a.bmp"},
        {"/tmp/a.bmp", PrintFileType::Bitmap, "/tmp/a.bmp"},
        {"/tmp/a", PrintFileType::Bitmap, "/tmp/a.bmp"},
        {"/tmp/a.", PrintFileType::Jpeg, "/tmp/a.jpg"},
        {"/tmp/gate.2026", PrintFileType::Jpeg, "/tmp/gate.2026.jpg"},
        {"/tmp/v1.2/a", PrintFileType::Jpeg, "/tmp/v1.2/a.jpg"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PictureFileName(c.chosen, c.type).toStdString(), c.expected) << c.chosen;
}

// Save As through the form: the chosen type decides the data and the extension; a JPEG decodes
// back to the picture's size, a bitmap is read back pixel for pixel.
TEST(PrintForm, SaveAsWritesTheChosenTypeUnderItsExtension)
{
    Settings s;
    ShownForm f;
    QTemporaryDir dir;
    struct Case {
        const char *chosen;
        PrintFileType type;
        const char *written;
    } cases[] = {
        {"shot.jpg", PrintFileType::Jpeg, "shot.jpg"},
        {"typed.bmp", PrintFileType::Jpeg, "typed.jpg"},
        {"bitmap.jpg", PrintFileType::Bitmap, "bitmap.bmp"},
        {"plain", PrintFileType::Bitmap, "plain.bmp"},
    };
    for (const Case &c : cases) {
        f.form.chooseSaveFile = [&](QString &name, PrintFileType &type) {
            name = dir.filePath(c.chosen);
            type = c.type;
            return true;
        };
        f.form.btnSaveAs->click();
        EXPECT_TRUE(f.messages.isEmpty()) << f.messages.join('\n').toStdString();
        QFile file(dir.filePath(c.written));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.written;
        const QByteArray data = file.readAll();
        if (c.type == PrintFileType::Jpeg) {
            JpegImage img;
            ASSERT_TRUE(JpegDecode(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()), img));
            EXPECT_EQ(img.width, 720);
            EXPECT_EQ(img.height, 480);
            // Mid-stripe is red, far left blue: the picture, not something else of that size.
            const uint32_t stripe = img.pixels[size_t(240 * 720 + 364)], left = img.pixels[size_t(240 * 720 + 20)];
            EXPECT_TRUE(IsRed(stripe)) << std::hex << stripe;
            EXPECT_TRUE(IsBlue(left)) << std::hex << left;
        } else {
            ASSERT_TRUE(data.startsWith("BM"));
            QImage back;
            ASSERT_TRUE(back.loadFromData(data, "BMP"));
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), f.form.Picture().convertToFormat(QImage::Format_RGB32));
        }
        // The other type's name was not written.
        if (std::strcmp(c.chosen, c.written) != 0) {
            EXPECT_FALSE(QFile::exists(dir.filePath(c.chosen))) << c.chosen;
        }
    }
}

// A save that cannot be made says why, keeps the form open and leaves an existing file alone.
TEST(PrintForm, SaveFailuresAreReportedAndLoseNothing)
{
    Settings s;
    QTemporaryDir dir;
    const QString existing = dir.filePath("old.jpg");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    // No picture was handed over: nothing to encode.
    {
        ShownForm f(QImage{});
        f.form.chooseSaveFile = [&](QString &name, PrintFileType &type) {
            name = existing;
            type = PrintFileType::Jpeg;
            return true;
        };
        f.form.btnSaveAs->click();
        ASSERT_EQ(f.messages.size(), 1);
        EXPECT_TRUE(f.messages[0].contains("no picture")) << f.messages[0].toStdString();
        EXPECT_TRUE(f.form.isVisible());
    }
    QFile kept(existing);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));

    // A folder that does not exist.
    ShownForm f;
    f.form.chooseSaveFile = [&](QString &name, PrintFileType &type) {
        name = dir.filePath("missing/shot.bmp");
        type = PrintFileType::Bitmap;
        return true;
    };
    f.form.btnSaveAs->click();
    ASSERT_EQ(f.messages.size(), 1);
    EXPECT_TRUE(f.messages[0].contains("shot.bmp")) << f.messages[0].toStdString();
    EXPECT_TRUE(f.form.isVisible());

    // A changed name that would replace another file is asked about first.
    const QString other = dir.filePath("other.jpg");
    QFile::copy(existing, other);
    int asked = 0;
    f.form.confirm = [&](const QString &) { ++asked; return false; };
    f.form.chooseSaveFile = [&](QString &name, PrintFileType &type) {
        name = dir.filePath("other.bmp");
        type = PrintFileType::Jpeg;
        return true;
    };
    f.form.btnSaveAs->click();
    EXPECT_EQ(asked, 1);
    QFile o(other);
    ASSERT_TRUE(o.open(QIODevice::ReadOnly));
    EXPECT_EQ(o.readAll(), QByteArray("keep me"));
}

// The font chosen with Font is the memo's font the next time, also after a restart: the seven
// PrintFont values are in the settings file.
TEST(PrintForm, ReportFontSurvivesARestart)
{
    Settings s;
    QFont chosen(QStringLiteral("DejaVu Serif"), 14);
    chosen.setBold(true);
    chosen.setItalic(true);
    chosen.setStrikeOut(true);
    {
        ShownForm f;
        EXPECT_EQ(f.form.ReportFont().family(), "Arial");
        EXPECT_EQ(f.form.ReportFont().pointSize(), 10);
        f.form.chooseFont = [&](QFont &font) { font = chosen; return true; };
        f.form.btnFont->click();
        EXPECT_EQ(f.form.edtMemo->font().family(), chosen.family());
        f.form.reject();
    }
    QSettings ini(s.dir.filePath("Strandel.ini"), QSettings::IniFormat);
    EXPECT_EQ(ini.value("PrintFontName").toString(), "DejaVu Serif");
    EXPECT_EQ(ini.value("PrintFontSize").toInt(), 14);
    EXPECT_EQ(ini.value("PrintFontColor").toInt(), 0);
    EXPECT_EQ(ini.value("PrintFontStyleBold").toInt(), 1);
    EXPECT_EQ(ini.value("PrintFontStyleItalic").toInt(), 1);
    EXPECT_EQ(ini.value("PrintFontStyleUnderLine").toInt(), 0);
    EXPECT_EQ(ini.value("PrintFontStyleStrikeOut").toInt(), 1);

    // As another run of the program would find it (a colour set by hand included).
    ini.setValue("PrintFontColor", 255);
    ini.sync();
    TfrmPrint again;
    EXPECT_EQ(again.ReportFont().family(), "DejaVu Serif");
    EXPECT_EQ(again.ReportFont().pointSize(), 14);
    EXPECT_TRUE(again.ReportFont().bold());
    EXPECT_TRUE(again.ReportFont().italic());
    EXPECT_FALSE(again.ReportFont().underline());
    EXPECT_TRUE(again.ReportFont().strikeOut());
    EXPECT_EQ(again.ReportFontColor(), 255);
    EXPECT_EQ(again.edtMemo->font().family(), "DejaVu Serif");
    // The report's font, and so the memo's, with the colour turned from the stored BGR value.
    EXPECT_EQ(again.Pagorra->Font.family(), "DejaVu Serif");
    EXPECT_EQ(again.lblMemo->Font().Name, "DejaVu Serif");
    EXPECT_EQ(again.lblMemo->Font().Size, 14);
    EXPECT_TRUE(again.lblMemo->Font().Bold);
    EXPECT_EQ(again.lblMemo->Font().Color, qRgb(255, 0, 0));
}

TEST(PrintForm, ZoomStepsByTenWithinThePreviewsBounds)
{
    Settings s;
    ShownForm f;
    EXPECT_EQ(f.form.PgxPreview1->Zoom(), 50);
    f.form.btnZoomMinus->click();
    EXPECT_EQ(f.form.PgxPreview1->Zoom(), 40);
    f.form.btnZoomPlus->click();
    f.form.btnZoomPlus->click();
    EXPECT_EQ(f.form.PgxPreview1->Zoom(), 60);
    for (int i = 0; i < 10; ++i)
        f.form.btnZoomMinus->click();
    // 10 - 10 is below what the preview takes: the zoom stays.
    EXPECT_EQ(f.form.PgxPreview1->Zoom(), 10);
}

// The form end to end: each paper printed to PDF, its page size and where the picture and the
// memo land. The picture's offsets are design pixels at report zoom 20 (1.3229 mm at 96 ppi)
// from the 10 mm margin.
TEST(PrintForm, PrintsEachPaperWithThePictureInPlace)
{
    Settings s;
    ASSERT_EQ(PgxScreenPpi(), 96);
    QTemporaryDir dir;
    QString pdf = dir.filePath("first.pdf");
    // Report printers print into the PDF file of the case.
    PgxRegisterPrintDeviceFactory([&pdf] { return std::make_unique<TPgxPdfDevice>(pdf); });
    struct Unregister {
        ~Unregister() { PgxRegisterPrintDeviceFactory({}); }
    } unregister;
    ShownForm f;
    EXPECT_EQ(f.form.edtPaper->count(), 5);
    EXPECT_EQ(f.form.edtPaper->currentText(), "A4");
    EXPECT_FALSE(f.form.pnlMsg->isVisible());
    // The memo goes into the report when its button comes up.
    f.form.btnMemo->click();
    EXPECT_TRUE(f.form.pnlMemo->isVisible());
    f.form.edtMemo->setPlainText("Gate camera");
    f.form.btnMemo->click();
    EXPECT_FALSE(f.form.pnlMemo->isVisible());
    ASSERT_TRUE(Pump([&] {
        TPgxPrinter *p = f.form.PgxPreview1->PgxPrinter();
        return p && p->Status() == TPgxPrinterStatus::mpFinished;
    }));

    struct Case {
        int row;
        const char *name;
        double width, length; // mm
        double left;          // mm from the paper's left edge
    } cases[] = {
        {0, "A3", 297, 420, 62.9}, {1, "A4", 210, 297, 10.0}, {2, "A5", 148, 210, -11.2},
        {3, "B4", 250, 354, 39.1}, {4, "B5", 182, 257, 6.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pdf = dir.filePath(QString(c.name) + ".pdf");
        f.Paper(c.row);
        TPgxPrinter *p = f.form.Pagorra->Printer();
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p, f.form.PgxPreview1->PgxPrinter());
        f.form.btnPrint->click();
        EXPECT_TRUE(f.messages.isEmpty()) << f.messages.join('\n').toStdString();
        ASSERT_TRUE(QFile::exists(pdf));

        const QString info = RunTool("pdfinfo", {pdf});
        static const QRegularExpression sizeRe("Page size:\\s+([0-9.]+) x ([0-9.]+) pts");
        const QRegularExpressionMatch m = sizeRe.match(info);
        ASSERT_TRUE(m.hasMatch()) << info.toStdString();
        EXPECT_NEAR(m.captured(1).toDouble() * 25.4 / 72, c.width, 0.5);
        EXPECT_NEAR(m.captured(2).toDouble() * 25.4 / 72, c.length, 0.5);
        EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\b"))) << info.toStdString();

        // The page's drawing at 254 dpi: 10 pixels a millimetre.
        RunTool("pdftoppm", {"-r", "254", "-singlefile", pdf, dir.filePath(c.name)});
        QImage page(dir.filePath(QString(c.name) + ".ppm"));
        ASSERT_FALSE(page.isNull());
        const double pxPerMm = 10.0;
        // The stripe starts 360 picture pixels (95.25 mm) right of the picture's left edge.
        const int row = int(std::lround(90 * pxPerMm)); // 90 mm down: inside the picture on every paper
        int stripe = -1;
        for (int x = 0; x < page.width() && stripe < 0; ++x)
            if (IsRed(page.pixel(x, row)))
                stripe = x;
        ASSERT_GE(stripe, 0);
        EXPECT_NEAR(stripe / pxPerMm - 95.25, c.left, 0.3);
        const int column = stripe - int(20 * pxPerMm); // blue, 20 mm left of the stripe
        ASSERT_GE(column, 0);
        int top = -1;
        for (int y = 0; y < page.height() && top < 0; ++y)
            if (IsBlue(page.pixel(column, y)))
                top = y;
        EXPECT_NEAR(top / pxPerMm, 25.9, 0.3);
        // 480 rows at 96 ppi: 127 mm.
        int bottom = top;
        while (bottom + 1 < page.height() && IsBlue(page.pixel(column, bottom + 1)))
            ++bottom;
        EXPECT_NEAR((bottom + 1 - top) / pxPerMm, 127.0, 0.3);

        // The memo's text under the picture.
        const QString words = RunTool("pdftotext", {"-bbox", pdf, "-"});
        static const QRegularExpression wordRe("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>Gate</word>");
        const QRegularExpressionMatch w = wordRe.match(words);
        ASSERT_TRUE(w.hasMatch()) << words.toStdString();
        const double wordTop = w.captured(2).toDouble() * 25.4 / 72;
        EXPECT_GT(wordTop, 25.9 + 127.0);
        EXPECT_LT(wordTop, 25.9 + 127.0 + 15);
    }
}

// Closing the form ends the preview: the report's printer is no longer shown anywhere.
TEST(PrintForm, ClosingEndsThePreview)
{
    Settings s;
    ShownForm f;
    TPgxPrinter *p = f.form.PgxPreview1->PgxPrinter();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->ShowingPreview());
    f.form.reject();
    EXPECT_EQ(f.form.PgxPreview1->PgxPrinter(), nullptr);
    // The report lets the printer go once the close has reached it.
    EXPECT_TRUE(Pump([&] { return f.form.Pagorra->Printer() == nullptr; }));
}

namespace {

// A two-field JPEG record of one colour, as a recorder sends it for a 720 x 480 picture.
struct Record {
    FrameRecordHeader header;
    DvrRecordStream stream;
};
Record SolidRecord(QRgb colour, uint8_t channel)
{
    std::vector<uint32_t> pixels(size_t(720 * 240), 0xFF000000u | colour);
    std::vector<uint8_t> field;
    EXPECT_TRUE(JpegEncode(pixels.data(), 720, 240, 720, 90, field));
    Record r;
    std::vector<uint8_t> &d = r.stream.data;
    d.assign(kJpegRecordPrefix, 0x11);
    d.insert(d.end(), field.begin(), field.end());
    const size_t second = d.size();
    d.insert(d.end(), kJpegRecordPrefix, 0x22);
    d.insert(d.end(), field.begin(), field.end());
    r.header.channel = channel;
    r.header.sizeCode = 0;
    r.header.time = {20, 26, 12, 10, 13, 45, 7};
    r.header.partSize[0] = uint32_t(d.size());
    r.header.jpegLength = uint32_t(second);
    return r;
}

class PrintingView : public TfrmDvrWin {
public:
    bool IsLoggedIn() const override { return true; }
    int GetChannelCount() const override { return 4; }
    int GetCurrentChannel() const override { return current; }
    int current = 0;
};

} // namespace

// Print/File hands the form the picture of the channel shown alone, or of channel 1 in the
// multi view, at the recorder's 720 x 480.
TEST(PrintForm, MainWindowHandsOverTheShownChannelsPicture)
{
    Settings s;
    TfrmMain main;
    auto *view = new PrintingView;
    ASSERT_TRUE(main.AddDvrWin(view));
    main.SetCurrentDvrWin(view);
    Record green = SolidRecord(qRgb(0, 200, 0), 1), yellow = SolidRecord(qRgb(230, 230, 0), 3);
    view->Pane(0)->ShowFrame(&green.header, &green.stream);
    view->Pane(2)->ShowFrame(&yellow.header, &yellow.stream);
    ASSERT_TRUE(main.btnPrint->isEnabled());

    for (int current : {0, 3}) {
        view->current = current;
        QImage handed;
        bool opened = false;
        QTimer::singleShot(0, [&] {
            Pump([] { return QApplication::activeModalWidget() != nullptr; });
            auto *form = qobject_cast<TfrmPrint *>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            opened = true;
            EXPECT_EQ(form->windowTitle(), "Print");
            handed = form->Picture();
            form->reject();
        });
        main.btnPrint->click();
        ASSERT_TRUE(opened);
        ASSERT_EQ(handed.size(), QSize(720, 480)) << current;
        const QRgb c = handed.pixel(360, 240);
        if (current == 0)
            EXPECT_TRUE(qGreen(c) > 150 && qRed(c) < 60) << std::hex << c;
        else
            EXPECT_TRUE(qGreen(c) > 150 && qRed(c) > 150) << std::hex << c;
    }
    main.RemoveAllDvrWins();
}

// The preview shows the picture at its zoom: at 50 % the 720 pixels (190.5 mm) of the picture
// take 360 screen pixels, at 60 % 432.
TEST(PrintForm, PreviewShowsThePictureAtItsZoom)
{
    Settings s;
    ShownForm f;
    auto widest = [&] {
        const QImage shot = f.form.PgxPreview1->grab().toImage();
        int best = 0;
        for (int y = 0; y < shot.height(); ++y) {
            int n = 0;
            for (int x = 0; x < shot.width(); ++x)
                n += IsBlue(shot.pixel(x, y)) || IsRed(shot.pixel(x, y));
            best = std::max(best, n);
        }
        return best;
    };
    EXPECT_NEAR(widest(), 360, 3);
    f.form.btnZoomPlus->click();
    QCoreApplication::processEvents();
    EXPECT_NEAR(widest(), 432, 3);
}

// A memo longer than its box is not cut: the band stretches onto further pages and every line
// reaches the paper.
TEST(PrintForm, LongMemoGoesOnToTheNextPage)
{
    Settings s;
    QTemporaryDir dir;
    const QString pdf = dir.filePath("memo.pdf");
    PgxRegisterPrintDeviceFactory([&pdf] { return std::make_unique<TPgxPdfDevice>(pdf); });
    struct Unregister {
        ~Unregister() { PgxRegisterPrintDeviceFactory({}); }
    } unregister;
    ShownForm f;
    QStringList lines;
    for (int i = 1; i <= 90; ++i)
        lines << QString("note%1").arg(i);
    f.form.btnMemo->click();
    f.form.edtMemo->setPlainText(lines.join('\n'));
    f.form.btnMemo->click();
    f.Paper(2); // A5: little room under the picture
    f.form.btnPrint->click();
    EXPECT_TRUE(f.messages.isEmpty()) << f.messages.join('\n').toStdString();
    const QString info = RunTool("pdfinfo", {pdf});
    static const QRegularExpression pagesRe("Pages:\\s+(\\d+)");
    const QRegularExpressionMatch m = pagesRe.match(info);
    ASSERT_TRUE(m.hasMatch()) << info.toStdString();
    EXPECT_GE(m.captured(1).toInt(), 2);
    const QString text = RunTool("pdftotext", {pdf, "-"});
    for (const QString &l : lines)
        EXPECT_TRUE(text.contains(QRegularExpression("\\b" + l + "\\b"))) << l.toStdString();
}

// A confirmed printer set-up makes the page again, so Print uses the choice; a cancelled one
// leaves the page as it was.
TEST(PrintForm, PrinterSetupChoiceReachesThePrintedPage)
{
    Settings s;
    ShownForm f;
    bool confirm = false;
    RegisterPrinterSetupHook([&](TPgxPrinterSetupChoice &c) {
        c.Copies = 3;
        c.Orientation = TPgxOrientation::Landscape;
        return confirm;
    });
    struct Unregister {
        ~Unregister() { RegisterPrinterSetupHook(nullptr); }
    } unregister;
    f.form.btnPrintSetup->click();
    EXPECT_FALSE(f.form.Timer1->isActive());
    ASSERT_NE(f.form.PgxPreview1->PgxPrinter(), nullptr);
    EXPECT_EQ(f.form.PgxPreview1->PgxPrinter()->Settings().Copies(), 1);

    confirm = true;
    f.form.btnPrintSetup->click();
    EXPECT_TRUE(f.form.Timer1->isActive());
    ASSERT_TRUE(Pump([&] {
        TPgxPrinter *p = f.form.PgxPreview1->PgxPrinter();
        return !f.form.Timer1->isActive() && p && p->Status() == TPgxPrinterStatus::mpFinished;
    }));
    TPgxPrinter *p = f.form.PgxPreview1->PgxPrinter();
    EXPECT_EQ(p->Settings().Copies(), 3);
    EXPECT_EQ(p->Settings().Orientation(), TPgxOrientation::Landscape);
}

// A view that goes while its print form is open takes the form with it, and nothing is left
// behind that points at either.
TEST(PrintForm, AViewThatGoesTakesItsOpenForm)
{
    Settings s;
    TfrmMain main;
    auto *view = new PrintingView;
    ASSERT_TRUE(main.AddDvrWin(view));
    main.SetCurrentDvrWin(view);
    QPointer<TfrmPrint> seen;
    QTimer::singleShot(0, [&] {
        Pump([] { return QApplication::activeModalWidget() != nullptr; });
        seen = qobject_cast<TfrmPrint *>(QApplication::activeModalWidget());
        ASSERT_NE(seen.data(), nullptr);
        Pump([&] { return seen->PgxPreview1->PgxPrinter() != nullptr; });
        main.RemoveDvrWin(view);
        Pump([&] { return seen.isNull() || !seen->isVisible(); });
        if (seen)
            seen->reject();
    });
    main.btnPrint->click();
    EXPECT_TRUE(seen.isNull());
    EXPECT_EQ(main.GetCurrentDvrWin(), nullptr);
}

namespace {

// A machine without a printer queue: its device lists no printer.
class NoQueueDevice : public TPgxPdfDevice {
public:
    NoQueueDevice() : TPgxPdfDevice(QStringLiteral("/nonexistent/never.pdf")) {}
    QStringList Printers() const override { return {}; }
};

} // namespace

// "No printer is installed." is no dead end: Print asks for a PDF file and prints the page there,
// on the paper it was laid out on; declining the file prints nothing and says nothing.
TEST(PrintForm, WithoutAPrinterQueuePrintWritesAPdfFileTheUserNames)
{
    Settings s;
    QTemporaryDir dir;
    PgxRegisterPrintDeviceFactory([] { return std::make_unique<NoQueueDevice>(); });
    struct Unregister {
        ~Unregister() { PgxRegisterPrintDeviceFactory({}); }
    } unregister;
    ShownForm f;
    f.Paper(2); // A5
    int asked = 0;
    f.form.choosePdfFile = [&](QString &) { return ++asked, false; };
    f.form.btnPrint->click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(f.messages.isEmpty()) << f.messages.join('\n').toStdString();

    f.form.choosePdfFile = [&](QString &name) { return ++asked, name = dir.filePath("gate"), true; };
    f.form.btnPrint->click();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(f.messages.isEmpty()) << f.messages.join('\n').toStdString();
    const QString pdf = dir.filePath("gate.pdf");
    ASSERT_TRUE(QFile::exists(pdf));
    const QString info = RunTool("pdfinfo", {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\b"))) << info.toStdString();
    static const QRegularExpression sizeRe("Page size:\\s+([0-9.]+) x ([0-9.]+) pts");
    const QRegularExpressionMatch m = sizeRe.match(info);
    ASSERT_TRUE(m.hasMatch()) << info.toStdString();
    EXPECT_NEAR(m.captured(1).toDouble() * 25.4 / 72, 148, 0.5);
    EXPECT_NEAR(m.captured(2).toDouble() * 25.4 / 72, 210, 0.5);
    // The picture is on the page: its blue and its red stripe, 90 mm down.
    RunTool("pdftoppm", {"-r", "254", "-singlefile", pdf, dir.filePath("gate")});
    QImage page(dir.filePath("gate.ppm"));
    ASSERT_FALSE(page.isNull());
    int blue = 0, red = 0;
    for (int x = 0; x < page.width(); ++x) {
        blue += IsBlue(page.pixel(x, 900));
        red += IsRed(page.pixel(x, 900));
    }
    EXPECT_GT(blue, page.width() / 2);
    EXPECT_GT(red, 0);
}
