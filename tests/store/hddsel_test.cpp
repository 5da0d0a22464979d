// The disk picker, offscreen.
#include "viewer/dvrhddsel.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace strandel {
namespace {

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "hddsel_tests";
    static char *argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

TEST(DvrHddSel, ListsDisksAndReturnsTheChoice)
{
    EnsureApp();
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

} // namespace
} // namespace strandel
