#include <gtest/gtest.h>

#include <thread>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/forms/progressform.h"
#include "report/output/printdevice.h"

using namespace strandel;

TEST(ProgressForm, ShowsEveryFifthPercentAndCancels)
{
    TPgxProgress progress;
    TPgxProgressForm form(&progress);
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Printing progress"));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.size(), QSize(149, 97));

    // Progress set on the run reaches the form without any preview attached.
    progress.SetProgress(10);
    EXPECT_EQ(form.Gauge->value(), 10);
    EXPECT_EQ(form.Info->text(), QStringLiteral("10%  Completed"));
    progress.SetProgress(7);
    EXPECT_EQ(form.Gauge->value(), 10);
    EXPECT_EQ(form.Info->text(), QStringLiteral("10%  Completed"));

    // From a run on another thread it arrives through the form's event queue.
    std::thread run([&] { progress.SetProgress(55); });
    run.join();
    QTRY_COMPARE(form.Gauge->value(), 55);
    EXPECT_EQ(form.Info->text(), QStringLiteral("55%  Completed"));

    // What the form shows is drawn: the bar's grab differs from an empty one.
    QImage at55 = form.Gauge->grab().toImage();
    progress.SetProgress(0);
    EXPECT_NE(form.Gauge->grab().toImage(), at55);

    EXPECT_FALSE(progress.Cancelled());
    QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(progress.Cancelled());
}

// A form that goes leaves the progress's listeners, and an update queued to it from a run's
// thread is dropped; the listeners around it hear everything.
TEST(ProgressForm, AGoneFormHearsNothing)
{
    struct Heard : TPgxProgressSink {
        std::vector<int> percents;
        void ProgressUpdate(int percent) override { percents.push_back(percent); }
    };
    TPgxProgress progress;
    Heard first, later;
    progress.AddSink(&first);
    auto *form = new TPgxProgressForm(&progress);
    QPointer<QLabel> info(form->Info);
    std::thread run([&] { progress.SetProgress(15); }); // queued to the form
    run.join();
    delete form;
    progress.AddSink(&later);
    progress.SetProgress(20);
    QCoreApplication::processEvents();
    EXPECT_TRUE(info.isNull());
    EXPECT_EQ(first.percents, (std::vector<int>{15, 20}));
    EXPECT_EQ(later.percents, std::vector<int>{20});
    progress.RemoveSink(&first);
    progress.RemoveSink(&later);
}

TEST(ProgressForm, AFormClosedWhileItShowsProgressIsSafe)
{
    // A run on the window's thread lets events through at each step; the form may go then.
    TPgxProgress progress;
    auto *form = new TPgxProgressForm(&progress);
    form->show();
    QTimer::singleShot(0, [form] { delete form; });
    QPointer<TPgxProgressForm> watch(form);
    progress.SetProgress(5);
    EXPECT_TRUE(watch.isNull());
    progress.SetProgress(10); // nobody left to tell
}

// Printing shows the form while it runs (hidden when the report asks so); its Cancel ends the
// print there, and the form is gone afterwards.
TEST(ProgressForm, ShownWhilePrintingAndItsCancelStopsThePrint)
{
    PgxRegisterProgressForm();
    for (bool show : {true, false}) {
        SCOPED_TRACE(show);
        QTemporaryDir dir;
        report::PgxMemoryDataSet ds("T");
        ds.AddField({"N", report::PgxFieldKind::Integer});
        for (int i = 0; i < 200; ++i)
            ds.AppendRecord({i});
        ds.Open();
        TPagorra rep;
        rep.SetDataSet(&ds);
        rep.ShowProgress = show;
        rep.PrintDeviceFactory = [&] { return std::make_unique<TPgxPdfDevice>(dir.filePath(QStringLiteral("r.pdf")), 150); };
        TPgxCustomBand *detail = rep.CreateBand(TPgxBandType::rbDetail);
        detail->SetHeight(100);
        int details = 0, gauge = -1;
        bool visible = !show;
        detail->AfterPrint = [&](TPgxCustomBand *, bool) {
            if (++details != 100)
                return;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *form = qobject_cast<TPgxProgressForm *>(w)) {
                    visible = form->isVisible();
                    gauge = form->Gauge->value();
                    form->CancelButton->click();
                }
        };
        EXPECT_FALSE(rep.Print());
        EXPECT_EQ(visible, show);
        EXPECT_GE(gauge, 45);
        EXPECT_LT(details, 200);
        for (QWidget *w : QApplication::topLevelWidgets())
            EXPECT_EQ(qobject_cast<TPgxProgressForm *>(w), nullptr);
    }
    RegisterProgressFormClass({});
}

