#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "viewer/view/dvrpass.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

TEST(DvrFrame, StartsAt720x480AndKeepsTheAspectWhenResized)
{
    TfrmDvrWin view;
    view.SetFrameMode(false, nullptr);
    TfrmDvrFrame *frame = view.GetFrame();
    ASSERT_NE(frame, nullptr);
    QCoreApplication::processEvents();
    const int dw = view.VideoMargins().width(), dh = view.VideoMargins().height();
    EXPECT_EQ(frame->size(), QSize(720 + dw, 480 + dh));

    frame->resize(540 + dw, 480 + dh); // the right edge dragged in to 540
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->size(), QSize(540 + dw, 360 + dh));
    frame->resize(540 + dw, 400 + dh); // the bottom edge dragged to 400
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->size(), QSize(600 + dw, 400 + dh));
    EXPECT_EQ(view.pnlDvr->size(), QSize(600, 400));
}

TEST(DvrFrame, AViewPlacedPartlyOffTheScreenIsPulledBackOn)
{
    TfrmDvrWin view;
    view.SetFrameMode(false, nullptr);
    TfrmDvrFrame *frame = view.GetFrame();
    ASSERT_NE(frame, nullptr);
    const QRect avail = frame->screen()->availableGeometry();
    frame->move(avail.right() - 100, avail.bottom() - 100);
    frame->show();
    QTRY_VERIFY_WITH_TIMEOUT(avail.contains(frame->geometry()), 3000);
    EXPECT_EQ(frame->geometry().right(), avail.right());
    EXPECT_LT(frame->geometry().bottom(), avail.bottom() - 8);
}

TEST(DvrPass, EnterConfirmsEscapeCancels)
{
    struct Case {
        Qt::Key key;
        int result;
    } cases[] = {{Qt::Key_Return, 1}, {Qt::Key_Escape, 2}};
    for (const Case &c : cases) {
        TfrmDvrPass dlg;
        EXPECT_EQ(dlg.windowTitle(), "Enter Password");
        EXPECT_EQ(dlg.edtPass->maxLength(), 8);
        EXPECT_EQ(dlg.edtPass->echoMode(), QLineEdit::Password);
        QTimer::singleShot(0, &dlg, [&] {
            QTest::keyClicks(dlg.edtPass, "secret123");
            QTest::keyClick(dlg.edtPass, c.key);
        });
        EXPECT_EQ(dlg.exec(), c.result);
        EXPECT_EQ(dlg.GetPassword(), "secret12");
    }
}

// Asked again after a refusal, the prompt says why above the field, and nothing overlaps.
TEST(DvrPass, AReasonShowsAboveTheFieldAndTheTitleHasRoom)
{
    // As the program names itself: the window manager shows that name after the title too.
    QGuiApplication::setApplicationDisplayName("Strandel");
    TfrmDvrPass dlg;
    QFont bold = dlg.font();
    bold.setBold(true);
    EXPECT_GE(dlg.width(), QFontMetrics(bold).horizontalAdvance(QString::fromUtf8("Enter Password \u2014 Strandel")) + 120);
    QGuiApplication::setApplicationDisplayName(QString());
    EXPECT_TRUE(dlg.lblReason->isHidden());
    dlg.SetReason("Password is incorrect");
    dlg.show();
    EXPECT_TRUE(dlg.lblReason->isVisible());
    EXPECT_EQ(dlg.lblReason->text(), "Password is incorrect");
    const QRect label = dlg.lblReason->geometry(), field = dlg.edtPass->geometry(), ok = dlg.btnOk->geometry();
    EXPECT_LE(label.bottom(), field.top());
    EXPECT_GE(label.width(), dlg.lblReason->fontMetrics().horizontalAdvance(dlg.lblReason->text()));
    EXPECT_LE(field.bottom(), ok.top());
    EXPECT_TRUE(dlg.rect().contains(ok));
    EXPECT_TRUE(dlg.rect().contains(field));
    EXPECT_TRUE(dlg.rect().contains(dlg.btnCancel->geometry()));
    EXPECT_LE(ok.right(), dlg.btnCancel->geometry().left());
    dlg.SetReason({});
    EXPECT_TRUE(dlg.lblReason->isHidden());
}
