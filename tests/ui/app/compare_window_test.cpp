// "Compare With ..." in the main window: the difference map in the plan view, the reference's
// profiles and ray in the second colour, the status line and the cursor read-out, "Stop
// Comparing" giving back the views pixel for pixel; a reference that faults, a snapshot of
// other ranges, a cancel under the progress window.
#include <QAction>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "core/compare/snapshot_file.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "test_paths.h"
#include "ui/app/compare_session.h"
#include "ui/plots/plot_frame.h"

namespace velmor::test {
namespace {

// The conic of conic_surface.c with cv 0.05 as a script.
constexpr const char* kConicScript =
    "c = 0.05;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - c*c*rr;\r\n"
    "if (A >= 0.0) z = c*rr / (1.0 + sqrt(A));\r\n";

class CompareWindowTest : public DlgTest {
protected:
    QImage Grab() {
        return m_dlg->PlotClient()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The views (the plot frame's squares), without the controls beside them.
    QImage Views() { return Grab().copy(QRect(QPoint(0, 0), m_dlg->Areas().frame.bottomRight())); }
    static int CountColour(const QImage& image, const QRect& area, QRgb colour) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return count;
    }
    // The conic library with cv 0.05 (every point of [-10, 10] answers) and 1e-6 planted at
    // (1.25, -1.25), sampled every 1.25: a grid of 17 x 17 points.
    void OpenPlantedConic() {
        Open();
        m_messages.QueuePath(QLibPath("conic_surface"));
        m_dlg->MenuAction(kCmdOpenDll)->trigger();
        ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
        CDataGrid* fixed = m_dlg->UdFdInitial().FixedDataTable();
        TypeCell(fixed, "cv", "0.05");
        TypeCell(fixed, "param[1]", "0.000001");
        TypeCell(fixed, "param[2]", "1.25");
        TypeCell(fixed, "param[3]", "-1.25");
        Type(m_dlg->Field(kIdStep2DX), "1.25");
        Type(m_dlg->Field(kIdStep2DY), "1.25");
        Click(kIdUpdate2D);
        QApplication::processEvents();
    }
    // Where the centre of grid cell (i, j) (j counted from the bottom) of a 17 x 17 grid over
    // [-10, 10] lies in the plot client: the map is stretched onto the analysis rectangle as
    // the display ranges [-10, 10] place it.
    QPoint CellCentre(int i, int j) {
        const QRect plan = m_dlg->Areas().plan;
        const int w = plan.width(), h = plan.height();
        const double x0 = 1, y0 = 1, dw = w - 2, dh = h - 2;
        return QPoint(plan.left() + int(x0 + (i + 0.5) * dw / 17),
                      plan.top() + int(y0 + (16 - j + 0.5) * dh / 17));
    }
    std::string WriteScript(const char* text) {
        test::WriteFile(m_dir.File("conic.txt"), text);
        return m_dir.File("conic.txt");
    }
};

TEST_F(CompareWindowTest, DifferenceMapReferenceProfilesAndRayUntilStopComparing) {
    OpenPlantedConic();
    CVelmorDlg& dlg = *m_dlg;
    EXPECT_FALSE(dlg.Comparing());
    EXPECT_FALSE(dlg.MenuAction(kCmdStopComparing)->isEnabled());
    const QImage before = Views();
    const QRect xz = dlg.Areas().xz, yz = dlg.Areas().yz, fourth = dlg.Areas().fourth;
    EXPECT_EQ(CountColour(before, xz, kReferenceRgb), 0);

    ProgressTitles titles;
    m_messages.QueuePath(QString::fromStdString(WriteScript(kConicScript)));
    dlg.MenuAction(kCmdCompareWith)->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    ASSERT_TRUE(dlg.Comparing());
    EXPECT_TRUE(titles.Titles().contains("Compare ..."));
    EXPECT_TRUE(dlg.MenuAction(kCmdStopComparing)->isEnabled());
    EXPECT_TRUE(dlg.CompareStatusText().startsWith("compare: sag max 1e-06 at (1.25, -1.25), rms "))
        << dlg.CompareStatusText().toStdString();
    EXPECT_TRUE(dlg.CompareStatusText().endsWith("; trace skip"));
    // Both sags at the cursor and their difference below the read-out.
    const QStringList readout = dlg.CursorReadout().split('\n');
    ASSERT_EQ(readout.size(), 2);
    EXPECT_TRUE(readout[1].startsWith(" sag=0.000500006") && readout[1].contains(" , ref=") &&
                readout[1].endsWith(" , diff=0"))
        << readout[1].toStdString();

    const QImage views = Views();
    SaveShot(dlg, "compare");
    // The planted cell is the largest difference: white; an untouched cell mid grey.
    // (The map is stretched smoothly: the middle of a cell is its value or very near it.)
    const QPoint planted = CellCentre(9, 7);  // x = -10 + 9 * 1.25, y = -10 + 7 * 1.25
    EXPECT_GE(qRed(views.pixel(planted)), 240);
    EXPECT_EQ(qRed(views.pixel(planted)), qBlue(views.pixel(planted)));
    const QPoint plain = CellCentre(13, 13);
    EXPECT_EQ(views.pixel(plain), qRgb(128, 128, 128));
    // The largest difference is circled in the second colour.
    EXPECT_GT(
        CountColour(views, QRect(planted - QPoint(8, 8), planted + QPoint(8, 8)), kReferenceRgb),
        10);
    // The reference's profiles in the second colour in both profile views; no ray from a
    // script that traced is missing either.
    EXPECT_GT(CountColour(views, xz, kReferenceRgb), 20);
    EXPECT_GT(CountColour(views, yz, kReferenceRgb), 20);
    EXPECT_GT(CountColour(views, fourth, kReferenceRgb), 20);

    // Stop Comparing: the views as they were, to the pixel.
    dlg.MenuAction(kCmdStopComparing)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(dlg.Comparing());
    EXPECT_EQ(dlg.CompareStatusText(), "");
    EXPECT_FALSE(dlg.MenuAction(kCmdStopComparing)->isEnabled());
    EXPECT_TRUE(Views() == before);
    EXPECT_FALSE(dlg.CursorReadout().contains("ref="));

    // Comparing again, the window at its smallest: the views drawn for their new size still
    // show the reference.
    m_messages.QueuePath(m_dir.QFilePath("conic.txt"));
    dlg.MenuAction(kCmdCompareWith)->trigger();
    dlg.resize(dlg.minimumSize());
    QApplication::processEvents();
    ASSERT_TRUE(dlg.Comparing());
    EXPECT_GT(CountColour(Views(), dlg.Areas().xz, kReferenceRgb), 10);
    SaveShot(dlg, "compare");
}

TEST_F(CompareWindowTest, AReferenceLibraryThatFaultsEndsComparingAndSaysWhichItWas) {
    OpenPlantedConic();
    CVelmorDlg& dlg = *m_dlg;
    m_messages.QueuePath(QLibPath("fault_segv"));  // SIGSEGV in sag where x > 1
    dlg.MenuAction(kCmdCompareWith)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(dlg.Comparing());
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_TRUE(m_messages.LastText().startsWith(
        "The reference library faulted: SIGSEGV (segmentation fault: invalid memory access) in "
        "sag"))
        << m_messages.LastText().toStdString();
    // The surface's own library is not the one that faulted.
    EXPECT_EQ(dlg.LibraryStatusText(), "");
    EXPECT_FALSE(dlg.Provider().LibraryFaulted());
}

TEST_F(CompareWindowTest, SnapshotsOfTheseRangesCompareOthersAreRefusedAndCancelEnds) {
    OpenPlantedConic();
    CVelmorDlg& dlg = *m_dlg;
    // A snapshot of the surface as it is (planted difference and all) over the window's ranges.
    CompareRequest request;
    request.ranges = {-10, 10, -10, 10, 1.25, 1.25};
    SurfaceAnswers answers;
    CollectRequest collect;
    collect.ranges = request.ranges;
    ASSERT_EQ(CollectAnswers(dlg.Provider(), collect, &answers), CollectOutcome::kDone);
    std::string reason;
    ASSERT_TRUE(WriteSnapshotFile(m_dir.File("now.json"), answers, &reason)) << reason;
    m_messages.QueuePath(m_dir.QFilePath("now.json"));
    dlg.MenuAction(kCmdCompareWith)->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    ASSERT_TRUE(dlg.Comparing());
    EXPECT_TRUE(dlg.CompareStatusText().startsWith("compare: sag max 0, rms 0; trace max 0"))
        << dlg.CompareStatusText().toStdString();
    const QImage views = Views();
    EXPECT_EQ(views.pixel(CellCentre(13, 13)), qRgb(128, 128, 128));
    EXPECT_GT(CountColour(views, dlg.Areas().xz, kReferenceRgb), 20);

    // "Update 2D" over other steps compares again: the snapshot's grid is no longer the
    // window's, which is said, and comparing ends.
    Type(dlg.Field(kIdStep2DX), "2.5");
    Click(kIdUpdate2D);
    QApplication::processEvents();
    EXPECT_FALSE(dlg.Comparing());
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_TRUE(m_messages.LastText().startsWith(
        "Cannot compare: the snapshot covers x -10 .. 10 step 1.25, y -10 .. 10 step 1.25, not "
        "the comparison's x -10 .. 10 step 2.5"))
        << m_messages.LastText().toStdString();

    // Cancel in the progress window ends the comparison before it shows anything.
    m_messages.Clear();
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        if (CProgressDialog* window = CurrentProgressWindow()) {
            if (window->windowTitle() == "Compare ...") window->CancelButton()->click();
        }
    });
    cancel.start(0);
    m_messages.QueuePath(QLibPath("conic_surface"));
    dlg.MenuAction(kCmdCompareWith)->trigger();
    cancel.stop();
    QApplication::processEvents();
    EXPECT_FALSE(dlg.Comparing());
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
}

}  // namespace
}  // namespace velmor::test
