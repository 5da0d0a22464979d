// The disk picker and the calendar dialog, offscreen.
#include "viewer/view/dvrhddsel.h"
#include "viewer/controls/selcal.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

// Fontconfig keeps its caches until the process ends; a sanitizer build must not count them.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace strandel {
namespace {

TEST(DvrHddSel, ListsDisksAndReturnsTheChoice)
{
    const std::vector<std::string> lines = {"HDD 0 : a - b", "HDD 3 : c - d"};
    {
        TfrmDvrHddSel dialog;
        dialog.SetLines(lines);
        EXPECT_EQ(dialog.windowTitle(), "Select DVR HDD");
        EXPECT_EQ(dialog.BitBtn1->text(), "OK");
        EXPECT_EQ(dialog.BitBtn2->text(), "Cancel");
        ASSERT_EQ(dialog.ListBox1->count(), 2);
        EXPECT_EQ(dialog.ListBox1->item(1)->text(), "HDD 3 : c - d");
        EXPECT_EQ(dialog.SelectedLine(), 0);
    }
    struct Case {
        const char *action;
        int expect;
    } cases[] = {{"ok", 0}, {"second", 1}, {"cancel", -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.action);
        QTimer::singleShot(0, [&] {
            auto *d = qobject_cast<TfrmDvrHddSel *>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            const std::string action = c.action;
            if (action == "cancel") {
                d->BitBtn2->click();
            } else if (action == "second") {
                d->ListBox1->setCurrentRow(1);
                emit d->ListBox1->itemDoubleClicked(d->ListBox1->item(1));
            } else {
                d->BitBtn1->click();
            }
        });
        EXPECT_EQ(SelectDvrHdd(nullptr, lines), c.expect);
    }
}

TEST(SelCal, BorderlessCentredWithOkAndCancel)
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    for (auto [button, expect] : {std::pair{0, 1}, std::pair{1, 2}}) {
        TfrmSelCal cal(&owner);
        EXPECT_TRUE(cal.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(cal.btnOk->text(), "Ok");
        EXPECT_EQ(cal.btnCancel->text(), "Cancel");
        cal.edtCal->setSelectedDate(QDate(2026, 12, 24));
        QTimer::singleShot(0, [&, button = button] {
            EXPECT_LE((cal.geometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);
            (button == 0 ? cal.btnOk : cal.btnCancel)->click();
        });
        EXPECT_EQ(cal.exec(), expect);
        EXPECT_EQ(cal.edtCal->selectedDate(), QDate(2026, 12, 24));
    }
}

} // namespace
} // namespace strandel
