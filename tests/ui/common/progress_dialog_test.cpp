// The progress window behind ReportProgress.
#include "ui/common/progress_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "core/app/progress.h"

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

TEST_F(ProgressDialogTest, PercentageFollowsTheRoundedShareWithoutOverflow) {
    CProgressDialog* window = OpenProgressWindow(&m_owner, "Save STL ...");
    ASSERT_NE(window, nullptr);
    const struct {
        long long done, total;
        const char* text;
    } cases[] = {{50, 200, "25%"},
                 {199, 200, "100%"},
                 {1, 3, "33%"},
                 {0, 0, "0%"},
                 {5, -1, "0%"},
                 {9, 4, "100%"},
                 {1LL << 60, (1LL << 60) + 1, "100%"}};
    for (const auto& c : cases) {
        EXPECT_FALSE(ReportProgress(c.done, c.total));
        EXPECT_EQ(window->PercentText(), c.text) << c.done << "/" << c.total;
    }
    window->SetPercentage(142);  // 100 stays, anything past it wraps
    EXPECT_EQ(window->PercentText(), "42%");
}

TEST_F(ProgressDialogTest, OwnerIsDisabledWhileTheWindowIsOpen) {
    QPushButton child("inside", &m_owner);
    OpenProgressWindow(&child, "Shading Model ...");  // the owner is the child's window
    EXPECT_EQ(CurrentProgressWindow()->Owner(), &m_owner);
    EXPECT_FALSE(m_owner.isEnabled());
    EXPECT_TRUE(CurrentProgressWindow()->isEnabled());
    CloseProgressWindow();
    EXPECT_TRUE(m_owner.isEnabled());
    m_owner.setEnabled(false);  // an owner disabled already stays so
    OpenProgressWindow(&m_owner, "Loading ...");
    CloseProgressWindow();
    EXPECT_FALSE(m_owner.isEnabled());
}

TEST_F(ProgressDialogTest, CancelIsAnsweredOnceAndClosesTheWindow) {
    QPointer<CProgressDialog> window = OpenProgressWindow(&m_owner, "Shading Model ...");
    QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());  // the window stays until the loop asks
    EXPECT_TRUE(ReportProgress(2, 100));
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_FALSE(ReportProgress(3, 100));  // no window any more: go on
}

TEST_F(ProgressDialogTest, AtMostOneWindowAndCodeRunDuringAPumpMayCloseIt) {
    QPointer<CProgressDialog> first = OpenProgressWindow(&m_owner, "Progress Bitmap");
    QPointer<CProgressDialog> second = OpenProgressWindow(&m_owner, "Save STL ...");
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(CurrentProgressWindow(), second.data());

    // An event handled inside the report closes the window: the report goes on safely.
    QTimer::singleShot(0, [] { CloseProgressWindow(); });
    EXPECT_FALSE(ReportProgress(1, 2));
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(m_owner.isEnabled());
}

// Counts how often events are processed: a zero timer fires once each time.
class PumpCounter {
public:
    PumpCounter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { ++pumps; });
        m_timer.start(0);
    }
    int pumps = 0;

private:
    QTimer m_timer;
};

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

TEST_F(ProgressDialogTest, AFastLoopProcessesEventsOnATimeSliceNotOnEveryReport) {
    CProgressDialog* window = OpenProgressWindow(&m_owner, "Loading ...");
    PumpCounter counter;
    const auto start = std::chrono::steady_clock::now();
    constexpr long long kLines = 3'000'000;
    for (long long i = 0; i < kLines; ++i) ASSERT_FALSE(ReportProgress(i, kLines));
    const double elapsed = MillisecondsSince(start);
    EXPECT_GE(counter.pumps, 1) << "the window is shown and painted at once";
    EXPECT_LE(counter.pumps, elapsed / 50 + 2) << elapsed << " ms";
    EXPECT_EQ(window->PercentText(), "100%");
}

// A loop of slow steps (2 ms each: the clock is read at every report) processes events at the
// first report that comes a slice (50 ms) after they were last processed, and at no earlier one.
// Said by the test's own clock around each report, so a busy machine that makes steps longer
// changes which reports process events, never whether the rule holds.
TEST_F(ProgressDialogTest, ASlowLoopStillProcessesEventsAboutEvery50Milliseconds) {
    using Clock = std::chrono::steady_clock;
    QPointer<CProgressDialog> window = OpenProgressWindow(&m_owner, "Shading Model ...");
    // Cancel pressed after a while: answered at the first report after the events that hold it.
    bool pressed = false;
    QTimer::singleShot(300, [&] {
        QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
        pressed = true;
    });
    // Whether a report processed events: a posted event before it has run after it.
    QObject receiver;
    int posted = 0, ran = 0;
    struct Report {
        Clock::time_point begin, end;
        bool pumped;
    };
    std::vector<Report> reports;
    bool cancelled = false;
    for (long long step = 0; step < 5000 && !cancelled; ++step) {
        ++posted;
        QMetaObject::invokeMethod(
            &receiver, [&ran] { ++ran; }, Qt::QueuedConnection);
        const Clock::time_point begin = Clock::now();
        cancelled = ReportProgress(step, 5000);
        reports.push_back({begin, Clock::now(), ran == posted});
        if (!cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(cancelled && pressed);
    EXPECT_TRUE(window.isNull());
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports.front().pumped);  // the window is shown at once
    const auto slice = std::chrono::milliseconds(50);
    std::size_t last = 0, pumps = 1;
    for (std::size_t i = 1; i < reports.size(); ++i) {
        const Report& r = reports[i];
        if (r.begin - reports[last].end >= slice) {
            EXPECT_TRUE(r.pumped) << "report " << i;
        }
        if (r.pumped) {
            EXPECT_GE(r.end - reports[last].begin, slice) << "report " << i;
            last = i;
            ++pumps;
        }
    }
    EXPECT_GE(pumps, 2u);  // the Cancel came in a later slice
}

}  // namespace
}  // namespace velmor
