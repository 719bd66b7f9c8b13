// The progress window behind ReportProgress.
#include "view3d/progress_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/progress.h"

namespace velmor {
namespace {

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallProgressWindowReporter();
        m_owner.show();
    }
    void TearDown() override {
        CloseProgressWindow();
        SetProgressParent(nullptr);
    }
    QWidget m_owner;
};

TEST_F(ProgressDialogTest, PercentageFollowsTheRoundedShare) {
    CProgressDialog* window = OpenProgressWindow(&m_owner, "Save STL ...");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Save STL ...");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->PercentText(), "0%");

    EXPECT_FALSE(ReportProgress(50, 200));
    EXPECT_EQ(window->BarPosition(), 25);
    EXPECT_EQ(window->PercentText(), "25%");
    EXPECT_FALSE(ReportProgress(199, 200));
    EXPECT_EQ(window->BarPosition(), 100);
    EXPECT_EQ(window->PercentText(), "100%");
    EXPECT_FALSE(ReportProgress(1, 3));  // 33.33 + 0.5 truncated
    EXPECT_EQ(window->PercentText(), "33%");
    EXPECT_FALSE(ReportProgress(0, 0));  // no total: 0 %, no division fault
    EXPECT_EQ(window->PercentText(), "0%");
    EXPECT_EQ(window->BarPosition(), 0);
    EXPECT_FALSE(ReportProgress(5, -1));
    EXPECT_EQ(window->PercentText(), "0%");
    EXPECT_FALSE(ReportProgress(9, 4));  // past the end stays at the end
    EXPECT_EQ(window->PercentText(), "100%");
    EXPECT_FALSE(ReportProgress(1LL << 60, (1LL << 60) + 1));
    EXPECT_EQ(window->PercentText(), "100%");

    // The text rule itself: 100 stays, anything past it wraps.
    window->SetPercentage(142);
    EXPECT_EQ(window->PercentText(), "42%");
    EXPECT_EQ(ProgressPosition(50, 200), 25);
    EXPECT_EQ(ProgressPosition(199, 200), 100);
}

TEST_F(ProgressDialogTest, OwnerIsDisabledWhileTheWindowIsOpen) {
    QPushButton child("inside", &m_owner);
    OpenProgressWindow(&child, "Shading Model ...");  // the owner is the child's window
    EXPECT_EQ(CurrentProgressWindow()->Owner(), &m_owner);
    EXPECT_FALSE(m_owner.isEnabled());
    EXPECT_TRUE(CurrentProgressWindow()->isEnabled());  // a window of its own stays usable
    CloseProgressWindow();
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_EQ(CurrentProgressWindow(), nullptr);

    // An owner that was disabled already stays disabled afterwards.
    m_owner.setEnabled(false);
    OpenProgressWindow(&m_owner, "Loading ...");
    EXPECT_FALSE(CurrentProgressWindow()->OwnerDisabledHere());
    CloseProgressWindow();
    EXPECT_FALSE(m_owner.isEnabled());
    m_owner.setEnabled(true);
}

TEST_F(ProgressDialogTest, CancelIsAnsweredOnceAndClosesTheWindow) {
    QPointer<CProgressDialog> window = OpenProgressWindow(&m_owner, "Shading Model ...");
    EXPECT_FALSE(ReportProgress(1, 100));
    QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());  // the window stays until the loop asks
    EXPECT_TRUE(window->Cancelled());
    EXPECT_TRUE(ReportProgress(2, 100));
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_FALSE(ReportProgress(3, 100));  // no window any more: go on
}

TEST_F(ProgressDialogTest, EscapeAndTheCloseBoxCancelLikeTheButton) {
    CProgressDialog* window = OpenProgressWindow(&m_owner, "Loading ...");
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ReportProgress(1, 10));

    window = OpenProgressWindow(&m_owner, "Loading ...");
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ReportProgress(1, 10));
}

TEST_F(ProgressDialogTest, ReportsPumpPendingEvents) {
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    EXPECT_FALSE(ReportProgress(1, 10));  // no window: nothing happens, nothing pumped
    EXPECT_FALSE(fired);
    OpenProgressWindow(&m_owner, "Save STL ...");
    EXPECT_FALSE(ReportProgress(1, 10));
    EXPECT_TRUE(fired);
}

TEST_F(ProgressDialogTest, AtMostOneWindowAndCodeRunDuringAPumpMayCloseIt) {
    QPointer<CProgressDialog> first = OpenProgressWindow(&m_owner, "Progress Bitmap");
    QPointer<CProgressDialog> second = OpenProgressWindow(&m_owner, "Save STL ...");
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(CurrentProgressWindow(), second.data());
    EXPECT_FALSE(m_owner.isEnabled());

    // An event handled inside the report closes the window: the report goes on safely.
    QTimer::singleShot(0, [] { CloseProgressWindow(); });
    EXPECT_FALSE(ReportProgress(1, 2));
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(m_owner.isEnabled());

    {
        ProgressWindowScope scope(&m_owner, "Loading ...");
        EXPECT_NE(CurrentProgressWindow(), nullptr);
    }
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    EXPECT_TRUE(m_owner.isEnabled());
}

TEST_F(ProgressDialogTest, WithoutAParentTheMainWindowOwnsIt) {
    QMainWindow main;
    main.show();
    SetProgressParent(nullptr);
    OpenProgressWindow("Progress Bitmap");
    EXPECT_EQ(CurrentProgressWindow()->Owner(), &main);
    EXPECT_FALSE(main.isEnabled());
    CloseProgressWindow();
    EXPECT_TRUE(main.isEnabled());
}

}  // namespace
}  // namespace velmor
