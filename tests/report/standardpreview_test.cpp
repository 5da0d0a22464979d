// The standard preview window offscreen: navigation, progress texts, search, save and load.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "previewfixtures.h"
#include "report/bands/pagorra.h"
#include "report/forms/qtprinter.h"
#include "report/output/exportfilter.h"
#include "report/forms/standardpreview.h"

using namespace strandel;
using namespace strandel::test;

namespace {

// Runs f on the next modal dialog that opens (while the caller's exec() waits for it).
template <class Dialog>
void OnNextDialog(std::function<void(Dialog *)> f)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto *d = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(d);
        }
    });
    timer->start();
}

QStringList Items(QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void GoTo(TPgxStandardPreview &form, const QString &answer, bool cancel = false)
{
    OnNextDialog<QInputDialog>([answer, cancel](QInputDialog *d) {
        if (cancel) {
            d->reject();
            return;
        }
        d->setTextValue(answer);
        d->accept();
    });
    form.GotoPageButton->trigger();
}

QStringList Search(TPgxStandardPreview &form, const QString &text, bool matchCase)
{
    OnNextDialog<TSearchDlg>([text, matchCase](TSearchDlg *d) {
        d->Edit1->setText(text);
        d->CheckBox1->setChecked(matchCase);
        d->SpeedButton2->click();
    });
    form.FindButton->trigger();
    return Items(form.SearchResultBox);
}

// Answers the next file dialog with a file name (and a filter); an empty name cancels.
void AnswerFileDialog(const QString &name)
{
    OnNextDialog<QFileDialog>([name](QFileDialog *d) {
        if (name.isEmpty()) {
            d->reject();
            return;
        }
        d->selectFile(name);
        QMetaObject::invokeMethod(d, "accept");
    });
}

struct Form {
    std::unique_ptr<TPgxPrinter> printer;
    QPointer<TPgxStandardPreview> form;
    explicit Form(std::unique_ptr<TPgxPrinter> p) : printer(std::move(p))
    {
        form = new TPgxStandardPreview(nullptr, printer.get());
        form->Show();
        QCoreApplication::processEvents();
    }
    ~Form()
    {
        if (form)
            delete form.data();
    }
    TPgxStandardPreview &operator*() { return *form; }
    TPgxStandardPreview *operator->() { return form.data(); }
};

} // namespace

TEST(StandardPreview, OpensOnTheFirstPageOfAFinishedReport)
{
    Form f(MakeReport(3));
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Print Preview"));
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 1 of 3"));
    EXPECT_EQ(f->PanelText(0), QString()); // the run has ended
    EXPECT_TRUE(f->Print->isEnabled());
    EXPECT_EQ(f->ThumbGrid->rowCount(), 3);
    EXPECT_EQ(f->PgxPreview->ZoomState(), TPgxZoomState::pgxZoomToFit);
    EXPECT_TRUE(f->ZoomFit->isChecked());
    EXPECT_TRUE(f->FindButton->isVisible());
    EXPECT_FALSE(f->SearchResultBox->isEnabled());
}

TEST(StandardPreview, GoToPageAndKeys)
{
    Form f(MakeReport(3));
    auto page = [&] { return f->PgxPreview->PageNumber(); };

    GoTo(*f, QStringLiteral("3"));
    EXPECT_EQ(page(), 3);
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 3 of 3"));
    EXPECT_EQ(f->ThumbGrid->currentRow(), 2);
    GoTo(*f, QString(), true); // Cancel stays
    EXPECT_EQ(page(), 3);
    for (const QString &bad : {QStringLiteral("abc"), QStringLiteral("9"), QStringLiteral("0")}) {
        GoTo(*f, QStringLiteral("2"));
        GoTo(*f, bad);
        EXPECT_EQ(page(), 1) << bad.toStdString();
    }

    QWidget *focus = f->PgxPreview;
    struct Key { Qt::Key key; Qt::KeyboardModifiers mods; int from, to; };
    const Key keys[] = {
        {Qt::Key_PageDown, Qt::NoModifier, 1, 2},
        {Qt::Key_PageDown, Qt::ControlModifier, 1, 3},
        {Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier, 1, 2},
        {Qt::Key_PageUp, Qt::NoModifier, 3, 2},
        {Qt::Key_PageUp, Qt::ControlModifier, 3, 1},
        {Qt::Key_End, Qt::NoModifier, 1, 3},
        {Qt::Key_Home, Qt::NoModifier, 3, 1},
        {Qt::Key_PageDown, Qt::NoModifier, 3, 3}, // past the end stays
    };
    for (const Key &k : keys) {
        f->SelectPage(k.from);
        QTest::keyClick(focus, k.key, k.mods);
        EXPECT_EQ(page(), k.to) << int(k.key) << " " << int(k.mods);
    }

    // Picking a thumbnail shows its page.
    f->ThumbGrid->setCurrentCell(1, 0);
    EXPECT_EQ(page(), 2);
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 2 of 3"));

    QPointer<TPgxStandardPreview> watch = f.form;
    QTest::keyClick(focus, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    EXPECT_FALSE(f.printer->ShowingPreview());
}

TEST(StandardPreview, ProgressTextsAndTheEndOfTheRun)
{
    Form f(MakeReport(1, false));
    EXPECT_FALSE(f->Print->isEnabled());
    struct Step { int progress; const char *shown; };
    const Step steps[] = {{3, "0%"}, {4, "0%"}, {6, "6%"}, {12, "12%"}, {14, "12%"}, {100, ""}};
    for (const Step &s : steps) {
        f.printer->SetProgress(s.progress);
        QCoreApplication::processEvents();
        EXPECT_EQ(f->PanelText(0), QString::fromLatin1(s.shown)) << s.progress;
    }

    f.printer->NewPage();
    DrawTestPage(*f.printer, 2);
    f.printer->EndDoc();
    QCoreApplication::processEvents();
    EXPECT_TRUE(f->Print->isEnabled());
    EXPECT_EQ(f->ThumbGrid->rowCount(), 2);
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 1 of 2"));
    EXPECT_TRUE(f->PgxPreview->Image()->ImageOK());
}

TEST(StandardPreview, SearchListsThePagesWithTheText)
{
    Form f(MakeReport(3));
    EXPECT_EQ(Search(*f, QStringLiteral("Page 2 of"), false), QStringList{QStringLiteral("Page 2")});
    EXPECT_TRUE(f->SearchResultBox->isEnabled());
    EXPECT_EQ(f->SearchTextLabel->text(), QStringLiteral("Page 2 of"));
    EXPECT_EQ(f->Tabs->currentWidget(), f->TabSearchResult);
    EXPECT_EQ(Search(*f, QStringLiteral("of the TEST"), false),
              (QStringList{QStringLiteral("Page 1"), QStringLiteral("Page 2"), QStringLiteral("Page 3")}));
    // A click on a found page shows it.
    QListWidgetItem *third = f->SearchResultBox->item(2);
    QTest::mouseClick(f->SearchResultBox->viewport(), Qt::LeftButton, {},
                      f->SearchResultBox->visualItemRect(third).center());
    EXPECT_EQ(f->PgxPreview->PageNumber(), 3);
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 3 of 3"));
    EXPECT_EQ(Search(*f, QStringLiteral("of the TEST"), true), QStringList{QStringLiteral("No matching text")});
    EXPECT_FALSE(f->SearchResultBox->isEnabled());

    // Esc in the dialog searches nothing.
    OnNextDialog<TSearchDlg>([](TSearchDlg *d) {
        d->Edit1->setText(QStringLiteral("Page"));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    f->FindButton->trigger();
    EXPECT_EQ(Items(f->SearchResultBox), QStringList{QStringLiteral("No matching text")});
    EXPECT_EQ(f->SearchTextLabel->text(), QStringLiteral("of the TEST"));
}

TEST(StandardPreview, SaveAndLoadRoundTrip)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("three.Pgx"));
    {
        Form f(MakeReport(3));
        AnswerFileDialog(file);
        f->SaveReport->trigger();
        ASSERT_TRUE(QFileInfo::exists(file));
    }

    Form f(MakeReport(1));
    auto message = std::make_shared<QString>();
    auto expectMessage = [message] {
        message->clear();
        OnNextDialog<QMessageBox>([message](QMessageBox *m) {
            *message = m->text();
            m->accept();
        });
    };

    // A name that does not exist says so and changes nothing.
    expectMessage();
    AnswerFileDialog(dir.filePath(QStringLiteral("missing.Pgx")));
    f->LoadReport->trigger();
    EXPECT_EQ(*message, QStringLiteral("File does not exist"));
    EXPECT_EQ(f.printer->PageCount(), 1);

    // Cancelling loads nothing.
    AnswerFileDialog(QString());
    f->LoadReport->trigger();
    EXPECT_EQ(f.printer->PageCount(), 1);

    // What a search found in the shown report is no answer for the loaded one.
    EXPECT_EQ(Search(*f, QStringLiteral("Page 1"), false), QStringList{QStringLiteral("Page 1")});
    AnswerFileDialog(file);
    f->LoadReport->trigger();
    EXPECT_EQ(f.printer->PageCount(), 3);
    EXPECT_EQ(Items(f->SearchResultBox), QStringList());
    EXPECT_FALSE(f->SearchResultBox->isEnabled());
    EXPECT_EQ(f->SearchTextLabel->text(), QString());
    EXPECT_EQ(f->PanelText(1), QStringLiteral("Page 1 of 3"));
    EXPECT_EQ(f->PanelText(2), file);
    EXPECT_EQ(f->ThumbGrid->rowCount(), 3);
    EXPECT_TRUE(f->Print->isEnabled());
    EXPECT_FALSE(f->PrintSetup->isEnabled());
    GoTo(*f, QStringLiteral("3"));
    ASSERT_TRUE(f->PgxPreview->Image()->ImageOK());
    EXPECT_TRUE(f->PgxPreview->Image()->Page()->ContainsText(QStringLiteral("Page 3 of the test"), true));
    // The links came back with the pages.
    GoTo(*f, QStringLiteral("2"));
    ASSERT_TRUE(f->PgxPreview->Image()->HyperlinksOK());
    EXPECT_EQ(f->PgxPreview->Image()->Hyperlinks()->front().Link, LinkOfPage(2));
}

TEST(StandardPreview, LoadDuringARunKeepsTheRunsPages)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("one.Pgx"));
    {
        auto done = MakeReport(1);
        ASSERT_TRUE(done->Save(file));
    }
    Form f(MakeReport(2, false));
    auto message = std::make_shared<QString>();
    OnNextDialog<QMessageBox>([message](QMessageBox *m) {
        *message = m->text();
        m->accept();
    });
    AnswerFileDialog(file);
    f->LoadReport->trigger();
    EXPECT_FALSE(message->isEmpty());
    EXPECT_EQ(f.printer->Status(), TPgxPrinterStatus::mpBusy);
    // The run goes on writing into its own pages.
    f.printer->NewPage();
    DrawTestPage(*f.printer, 3);
    f.printer->EndDoc();
    EXPECT_EQ(f.printer->PageList().PageCount(), 3);
    std::unique_ptr<TPgxMetafile> last = f.printer->GetPage(3);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->ContainsText(QStringLiteral("Page 3 of the test"), true));
}

// An export filter kind that only counts that it was made.
class CountedFilter : public TPgxExportFilter
{
public:
    using TPgxExportFilter::TPgxExportFilter;
    QString GetFilterName() override { return QStringLiteral("Counted"); }
    QString GetExtension() override { return QStringLiteral("cnt"); }
};

TEST(StandardPreview, ALoadedReportOffersOnlyTheReportFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("two.Pgx"));
    PgxExportFilterLibrary().AddFilter(PgxFilterClass<CountedFilter>());
    Form f(MakeReport(2));
    int exports = 0;
    f.printer->OnExportToFilter = [&](TPgxExportFilter *) { ++exports; };
    // Saves through the dialog with the last filter it offers; returns what it offered.
    auto save = [&](const QString &name) {
        auto offered = std::make_shared<QStringList>();
        OnNextDialog<QFileDialog>([name, offered](QFileDialog *d) {
            *offered = d->nameFilters();
            d->selectNameFilter(offered->last());
            d->selectFile(name);
            QMetaObject::invokeMethod(d, "accept");
        });
        f->SaveReport->trigger();
        return *offered;
    };
    EXPECT_EQ(save(dir.filePath(QStringLiteral("out.cnt"))).size(), 2);
    EXPECT_EQ(exports, 1);
    ASSERT_TRUE(f.printer->Save(file));

    AnswerFileDialog(file);
    f->LoadReport->trigger();
    ASSERT_EQ(f.printer->PageCount(), 2);
    EXPECT_EQ(save(dir.filePath(QStringLiteral("again.Pgx"))), QStringList{QStringLiteral("Pagorra file(*.Pgx)")});
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("again.Pgx"))));
    PgxExportFilterLibrary().RemoveFilter(PgxFilterClass<CountedFilter>());
}

TEST(StandardPreview, TakesTheReportsPreviewSettings)
{
    TPagorra report;
    report.PrevShowSearch = false;
    report.PrevInitialZoom = TPgxZoomState::pgxZoomOther;
    report.PreviewWidth = 0; // reads as 600
    report.PreviewHeight = 450;
    report.PreviewInitialState = TPgxWindowState::wsNormal;
    report.ReportTitle = QStringLiteral("Monthly recordings");
    auto printer = MakeReport(2);
    printer->SetParentReport(&report);
    printer->Title = QStringLiteral("Recordings of May");
    Form f(std::move(printer));
    EXPECT_EQ(f->size(), QSize(600, 450));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((f->geometry().center() - centre).manhattanLength(), 2);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Recordings of May"));
    EXPECT_FALSE(f->FindButton->isVisible());
    EXPECT_EQ(f->Tabs->indexOf(f->TabSearchResult), -1);
    EXPECT_NE(f->Tabs->indexOf(f->TabThumbs), -1);
    EXPECT_EQ(f->PgxPreview->Zoom(), 100);
    EXPECT_TRUE(f->Zoom100->isChecked());
    EXPECT_EQ(f->PanelText(2), QStringLiteral("Monthly recordings"));
}

TEST(StandardPreview, ShownByThePrinterAndClosedThroughIt)
{
    PgxRegisterStandardPreview();
    auto printer = MakeReport(2);
    QSignalSpy closing(printer.get(), &TPgxPrinter::ClosePreviewRequested);
    printer->Preview();
    QPointer<QObject> shown = printer->PreviewForm();
    auto *form = qobject_cast<TPgxStandardPreview *>(shown.data());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(printer->ShowingPreview());
    form->ExitButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(printer->ShowingPreview());
    RegisterPreviewClass(nullptr);
}

TEST(StandardPreview, OpenedFromAModalDialogTakesInputAboveIt)
{
    PgxRegisterStandardPreview();
    auto printer = MakeReport(2);
    QDialog settings;
    bool opened = false, blocked = true;
    QTimer::singleShot(0, &settings, [&] {
        printer->Preview();
        if (auto *w = qobject_cast<QWidget *>(printer->PreviewForm())) {
            opened = true;
            blocked = QApplication::activeModalWidget() != w;
            w->close();
        }
        settings.reject();
    });
    settings.exec();
    ASSERT_TRUE(opened);
    EXPECT_FALSE(blocked);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    RegisterPreviewClass(nullptr);
}

TEST(StandardPreview, GrabbedWindowShowsThePageAndItsThumbnails)
{
    Form f(MakeReport(3));
    f->resize(800, 639);
    f->showNormal();
    QCoreApplication::processEvents();
    f->SelectPage(2);
    QCoreApplication::processEvents();
    const QImage shot = f->grab().toImage();
    if (const QByteArray out = qgetenv("STRANDEL_PREVIEW_PNG"); !out.isEmpty())
        shot.save(QString::fromLocal8Bit(out));

    // The page's coloured block, where the image shows it.
    TPgxPreviewImage *img = f->PgxPreview->Image();
    const int zoom = f->PgxPreview->Zoom();
    const QPoint inImage(PgxRound(100 * zoom / 100.0), PgxRound(100 * zoom / 100.0));
    const QPoint at = img->mapTo(f.form.data(), inImage);
    EXPECT_EQ(QColor(shot.pixel(at)), QColor(PageColour(2)));

    // Every thumbnail shows its own page's colour.
    for (int row = 0; row < 3; ++row) {
        const QRect cell = f->ThumbGrid->visualRect(f->ThumbGrid->model()->index(row, 0));
        if (cell.bottom() > f->ThumbGrid->viewport()->height())
            break;
        const QImage thumb = f->ThumbGrid->viewport()->grab(cell).toImage();
        int hits = 0;
        for (int y = 0; y < thumb.height(); ++y)
            for (int x = 0; x < thumb.width(); ++x)
                hits += QColor(thumb.pixel(x, y)) == QColor(PageColour(row + 1));
        EXPECT_GT(hits, 4) << row;
    }
}

TEST(StandardPreview, ARunWithoutProgressClearsThePanelAtItsEnd)
{
    // A report without a data set sends no progress; the window opened before its run.
    Form f(MakeReport(1, false));
    EXPECT_EQ(f->PanelText(0), QStringLiteral("0%"));
    f.printer->EndDoc();
    QCoreApplication::processEvents();
    EXPECT_TRUE(f->Print->isEnabled());
    EXPECT_EQ(f->PanelText(0), QString());
}

TEST(StandardPreview, FollowsAReportGeneratedOnAWorker)
{
    PgxRegisterStandardPreview();
    TPagorra rep;
    rep.ReportTitle = QStringLiteral("Worker run");
    TPgxCustomBand *d = rep.CreateBand(TPgxBandType::rbDetail);
    d->SetHeight(1000);
    std::atomic<int> turns{0};
    rep.OnNeedData = [&](bool &more) { more = ++turns <= 6; };
    QSignalSpy finished(&rep, &TCustomPagorra::RunFinished);
    ASSERT_TRUE(rep.PreviewModeless());
    QPointer<TPgxStandardPreview> form = qobject_cast<TPgxStandardPreview *>(rep.Printer()->PreviewForm());
    ASSERT_TRUE(form);
    ASSERT_TRUE(finished.wait(30000));
    QCoreApplication::processEvents();
    TPgxPrinter *printer = rep.Printer();
    ASSERT_NE(printer, nullptr);
    const int pages = printer->PageCount();
    EXPECT_GE(pages, 2);
    EXPECT_EQ(form->PanelText(1), QStringLiteral("Page 1 of %1").arg(pages));
    EXPECT_EQ(form->PanelText(2), QStringLiteral("Worker run"));
    EXPECT_EQ(form->ThumbGrid->rowCount(), pages);
    EXPECT_TRUE(form->Print->isEnabled());
    EXPECT_TRUE(form->PrintSetup->isEnabled());
    EXPECT_TRUE(form->PgxPreview->Image()->ImageOK());
    // Laid out at the printer's factor once its document began.
    int w = printer->XSize(printer->PaperWidthValue() / 100.0 * form->PgxPreview->Zoom());
    EXPECT_EQ(form->PgxPreview->Image()->width(), w + 4);

    // Closing the window hands the printer back to the report, which lets it go.
    form->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(rep.Printer(), nullptr);
    RegisterPreviewClass(nullptr);
}

TEST(StandardPreview, AModalPreviewReturnsWhenItCloses)
{
    PgxRegisterStandardPreview();
    auto printer = MakeReport(1);
    QPointer<TPgxStandardPreview> seen;
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, &seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *f = qobject_cast<TPgxStandardPreview *>(w); f && f->isVisible()) {
                timer->stop();
                timer->deleteLater();
                seen = f;
                EXPECT_TRUE(f->isModal());
                f->ExitClick();
                return;
            }
    });
    timer->start();
    printer->PreviewModal();
    ASSERT_FALSE(seen.isNull()); // it returned once the window closed
    EXPECT_FALSE(seen->isVisible());
    EXPECT_FALSE(printer->ShowingPreview());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(seen.isNull());
    RegisterPreviewClass(nullptr);
}

TEST(StandardPreview, PrintSendsTheStoredPagesToThePrinter)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    auto printer = MakeReport(3);
    ASSERT_TRUE(printer->SetPrintDevice(std::make_unique<TPgxQtPrintDevice>(pdf)));
    Form f(std::move(printer));
    ASSERT_TRUE(f->Print->isEnabled());
    f->Print->trigger();

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    ASSERT_TRUE(info.waitForFinished(30000));
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\b"))));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(words.contains(QStringLiteral("Page %1 of the test").arg(page))) << page;
}

TEST(StandardPreview, PrinterSetupTakesTheReportsChoice)
{
    TPagorra report;
    auto printer = MakeReport(3);
    printer->SetParentReport(&report);
    int asked = 0;
    printer->OnPrintSetup = [&] {
        ++asked;
        // What the report's dialog would leave in its settings.
        report.PrinterSettings.Copies = 2;
        report.PrinterSettings.FirstPage = 2;
        report.PrinterSettings.LastPage = 3;
        report.PrinterSettings.Collate = 1;
    };
    Form f(std::move(printer));
    ASSERT_TRUE(f->PrintSetup->isEnabled());
    f->PrintSetup->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f.printer->FirstPage, 2);
    EXPECT_EQ(f.printer->LastPage, 3);
    EXPECT_EQ(f.printer->Settings().Copies(), 2);
    EXPECT_EQ(f.printer->Settings().Collate, 1);
}
