#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <QTreeWidget>

#include "report/bands/pagorra.h"
#include "report/forms/outlinetree.h"
#include "report/forms/printdialogs.h"
#include "report/forms/qtprinter.h"
#include "report/output/printer.h"
#include "report/output/printersettings.h"

using namespace strandel;

namespace {

QString PdfInfoText(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("pdfinfo"), {file});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QString PdfText(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// Answers the next modal dialog once it is placed; remembers where it was.
struct DialogAnswer {
    QRect frame;
    bool seen = false;
    void Arm(bool accept)
    {
        QTimer::singleShot(100, [this, accept] {
            if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                seen = true;
                frame = d->frameGeometry();
                accept ? d->accept() : d->reject();
            }
        });
    }
};

} // namespace

TEST(ReportQtPrinter, PrintsThroughQPrinterToPdf)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("qt.pdf"));
    TPgxPrinter p;
    p.SetScreenPpi(96);
    ASSERT_TRUE(p.SetPrintDevice(std::make_unique<TPgxQtPrintDevice>(pdf)));
    p.Settings().SetPaperSize(TPgxPaperSize::A4);
    p.Settings().SetOrientation(TPgxOrientation::Portrait);
    p.Title = QStringLiteral("Camera 3, 10 Dec 2026");
    p.BeginDoc();
    for (int i = 1; i <= 2; ++i) {
        p.NewPage();
        PgxFont f;
        f.family = QStringLiteral("DejaVu Sans");
        f.height = p.YSize(50);
        p.Canvas()->SetFont(f);
        p.Canvas()->TextOut(p.XPos(200), p.YPos(300), QStringLiteral("Sheet%1").arg(i));
    }
    p.EndDoc();
    ASSERT_TRUE(p.Print());
    const QString info = PdfInfoText(pdf);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Camera 3, 10 Dec 2026")));
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Sheet1")));
    EXPECT_TRUE(text.contains(QStringLiteral("Sheet2")));
}

TEST(ReportQtPrinter, DeviceModeRoundTripsThroughQPrinter)
{
    TPgxQtPrintDevice dev(QStringLiteral("/tmp/unused.pdf"));
    TPgxDeviceMode mode;
    ASSERT_TRUE(dev.GetDeviceMode(mode));
    mode.paperSize = 12; // our B4, 250 x 354 mm
    mode.orientation = 2;
    mode.copies = 2;
    mode.duplex = PgxDuplexLongEdge;
    mode.defaultSource = 14;
    dev.SetDeviceMode(mode);
    TPgxDeviceMode back;
    ASSERT_TRUE(dev.GetDeviceMode(back));
    EXPECT_EQ(back.paperSize, 12);
    EXPECT_EQ(back.paperLength, 3540);
    EXPECT_EQ(back.orientation, 2);
    EXPECT_EQ(back.copies, 2);
    EXPECT_EQ(back.defaultSource, 14);
    EXPECT_EQ(back.fields & DmDuplex, 0u); // a PDF has no sides: the settings keep duplex off
    TPrinterSettings settings;
    settings.SetPrinter(&dev);
    settings.SetDuplex(true);
    EXPECT_FALSE(settings.Duplex());

    mode.paperSize = PgxPaperCodeCustom;
    mode.paperWidth = 1000;
    mode.paperLength = 1500;
    mode.orientation = 1;
    dev.SetDeviceMode(mode);
    const PgxDeviceMetrics m = dev.Metrics();
    // Qt keeps a custom size in whole points: within half a millimetre.
    EXPECT_NEAR(m.physWidth, 100 / 25.4 * m.dpiX, 0.5 / 25.4 * m.dpiX);
    EXPECT_NEAR(m.physHeight, 150 / 25.4 * m.dpiY, 0.5 / 25.4 * m.dpiY);
    EXPECT_EQ(m.offsetX, 0);
}

TEST(ReportPrintDialogs, PrintDialogKeepsTheRangeAndSitsCentred)
{
    QTemporaryDir dir;
    TPgxQtPrintDevice dev(dir.filePath(QStringLiteral("d.pdf")));
    TPgxPrintDialog dialog;
    dialog.Options = TPgxPrintDialog::poPageNums;
    dialog.MinPage = 1;
    dialog.MaxPage = 9;
    dialog.FromPage = 2;
    dialog.ToPage = 3;
    dialog.PrintRange = TPgxPrintDialog::prPageNums;
    int shown = 0, closed = 0;
    dialog.OnShow = [&] { ++shown; };
    dialog.OnClose = [&] { ++closed; };
    DialogAnswer answer;
    answer.Arm(true);
    ASSERT_TRUE(dialog.Execute(dev));
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(dialog.PrintRange, TPgxPrintDialog::prPageNums);
    EXPECT_EQ(dialog.FromPage, 2);
    EXPECT_EQ(dialog.ToPage, 3);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(answer.frame.left(), (screen.width() - answer.frame.width()) / 2, 1);
    EXPECT_NEAR(answer.frame.top(), (screen.height() - answer.frame.height()) / 3, 1);

    answer.Arm(false);
    EXPECT_FALSE(dialog.Execute(dev));
    EXPECT_TRUE(answer.seen);
}

TEST(ReportPrintDialogs, SetupDialogAnswers)
{
    TPgxQtPrintDevice dev(QStringLiteral("/tmp/unused-setup.pdf"));
    TPgxPrinterSetupDialog dialog;
    DialogAnswer answer;
    answer.Arm(false);
    EXPECT_FALSE(dialog.Execute(dev));
    EXPECT_TRUE(answer.seen);
}

TEST(ReportQtPrinter, OutlineShowsInTheFormsTree)
{
    TPgxPrinter p;
    p.BeginDoc();
    p.NewPage();
    p.AddOutline(1, QStringLiteral("Camera 1"), {0, 0, 10, 10});
    p.NewPage();
    p.AddOutline(2, QStringLiteral("Motion 12:00"), {0, 20, 10, 30});
    p.EndDoc();
    QTreeWidget view;
    TPgxTreeWidgetOutline tree(&view);
    p.SetOutline(&tree);
    ASSERT_EQ(view.topLevelItemCount(), 1);
    EXPECT_EQ(view.topLevelItem(0)->text(0), QStringLiteral("Camera 1"));
    ASSERT_EQ(view.topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(view.topLevelItem(0)->child(0)->text(0), QStringLiteral("Motion 12:00"));
    p.SetOutline(nullptr);
    p.Cleanup();
    p.BeginDoc(); // a new run starts a new outline
    p.NewPage();
    p.EndDoc();
    p.SetOutline(&tree);
    EXPECT_EQ(view.topLevelItemCount(), 0);
    p.SetOutline(nullptr);
}

TEST(ReportQtPrinter, WithNoPrinterInstalledEverySettingHolds)
{
    TPgxQtPrintDevice dev; // this machine has no printer
    if (!dev.Printers().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    TPrinterSettings s;
    s.SetPrinter(&dev);
    s.SetPaperSize(TPgxPaperSize::B5);
    s.SetOrientation(TPgxOrientation::Landscape);
    EXPECT_EQ(s.PaperSize(), TPgxPaperSize::B5);
    EXPECT_EQ(s.Orientation(), TPgxOrientation::Landscape);
    TPgxPrinter p;
    EXPECT_FALSE(p.SetPrintDevice(std::make_unique<TPgxQtPrintDevice>()) && p.PrintersAvailable());
}

TEST(ReportPrintDialogs, ReportPrinterSetupShowsThePrintDialog)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("s.pdf"));
    PgxRegisterReportPrinterSetup([pdf] { return std::make_unique<TPgxQtPrintDevice>(pdf); });
    TPagorra rep;
    rep.PrinterSettings.Copies = 2;
    DialogAnswer answer;
    answer.Arm(true);
    EXPECT_TRUE(rep.PrinterSetup());
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(rep.Tag, 0);
    EXPECT_EQ(rep.PrinterSettings.FirstPage, 0);
    DialogAnswer no;
    no.Arm(false);
    EXPECT_FALSE(rep.PrinterSetup());
    EXPECT_TRUE(no.seen);
    EXPECT_EQ(rep.Tag, 1);
    RegisterPrinterSetupHook(nullptr);
}

// On a machine without a printer queue the report's print dialog still prints: it offers a PDF
// file, and the file chosen there is where the report's printer writes its pages.
TEST(ReportPrintDialogs, ReportPrintDialogOffersAPdfFile)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("chosen.pdf"));
    PgxRegisterReportPrinterSetup(); // the system's printers, none here
    QString found;
    QTimer::singleShot(200, [&] {
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        for (QComboBox *box : d->findChildren<QComboBox *>()) {
            for (int i = 0; i < box->count(); ++i)
                found += box->objectName() + QStringLiteral(": ") + box->itemText(i) + QStringLiteral("\n");
            const int pdfRow = box->findText(QStringLiteral("PDF"), Qt::MatchContains);
            if (box->objectName() == QStringLiteral("printers") && pdfRow >= 0)
                box->setCurrentIndex(pdfRow);
        }
        if (auto *name = d->findChild<QLineEdit *>(QStringLiteral("filename")))
            name->setText(pdf);
        d->accept();
    });
    TPagorra rep;
    const bool ok = rep.PrinterSetup();
    RegisterPrinterSetupHook(nullptr);
    ASSERT_TRUE(ok) << found.toStdString();
    EXPECT_EQ(rep.PrinterSettings.PdfFile, pdf) << found.toStdString();
    // A report printer set up from these settings writes that file.
    TPgxPrinter p;
    p.SetScreenPpi(96);
    rep.PrinterSettings.PaperSize = TPgxPaperSize::A4;
    rep.PrinterSettings.ApplySettings(p);
    ASSERT_TRUE(p.PrintersAvailable());
    p.BeginDoc();
    p.NewPage();
    PgxFont f;
    f.family = QStringLiteral("DejaVu Sans");
    f.height = p.YSize(50);
    p.Canvas()->SetFont(f);
    p.Canvas()->TextOut(p.XPos(200), p.YPos(300), QStringLiteral("Printed to PDF"));
    p.EndDoc();
    EXPECT_TRUE(p.Print());
    EXPECT_TRUE(PdfInfoText(pdf).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\b"))));
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("Printed to PDF")));
}
