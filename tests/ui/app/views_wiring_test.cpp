// The 2D views in the main window: the map rebuilt by the updates, the read-out, script errors
// reaching the interpreter window, the Shift-click ray choices that trace again, and "Update
// 2D" as the routine velmor-cli views runs.
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "core/app/sample_step.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "test_paths.h"
#include "ui/app/main_layout.h"
#include "ui/common/progress_dialog.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor::test {
namespace {

class ViewsWiringTest : public DlgTest {
protected:
    const CSurfaceMap& Map() { return m_dlg->Map(); }
    QImage Grab() { return m_dlg->PlotClient()->grab().toImage(); }
};

TEST_F(ViewsWiringTest, TheFirstPaintLeavesTheMapToBeBuiltRightAfterIt) {
    m_dlg = std::make_unique<CVelmorDlg>(VelmorDlgOptions{m_settingsPath});
    const QRect plan = m_dlg->Areas().plan;
    ASSERT_GT(plan.width(), 50);
    QImage client = Grab();
    EXPECT_FALSE(Map().Built());
    EXPECT_EQ(client.pixel(plan.left() + 5, plan.top() + 5), qRgb(255, 255, 255));
    EXPECT_TRUE(m_dlg->CursorReadout().startsWith("Cursor: x=0.100 , y=0.100 , z=0.100, sag="));

    QApplication::processEvents();  // the queued build
    ASSERT_TRUE(Map().Built());
    EXPECT_EQ(Map().Image().size(), QSize(800, 800));  // [-10, 10] at 0.025
    client = Grab();
    const QRgb grey = client.pixel(plan.left() + 5, plan.top() + 5);
    EXPECT_TRUE(qRed(grey) == qBlue(grey) && qRed(grey) >= 64 && qRed(grey) <= 192);

    // Cursor off: the read-out empties at the next paint.
    QTest::mouseClick(m_dlg->Control(kIdCursor), Qt::LeftButton);
    QApplication::processEvents();
    Grab();
    EXPECT_EQ(m_dlg->CursorReadout(), "");
}

// Given the window's settings, records and client, the routine velmor-cli views runs paints
// the views the window shows after "Update 2D", to the pixel: the two cannot drift apart.
TEST_F(ViewsWiringTest, UpdateTwoDShowsWhatTheSharedRoutinePaints) {
    CVelmorDlg& dlg = Open();
    Type(dlg.Field(kIdStep2DX), "0.05");
    Type(dlg.Field(kIdAnalysisYMax), "6");
    QTest::mouseClick(dlg.Control(kIdCursor), Qt::LeftButton);
    Click(kIdUpdate2D);
    const QImage window = Grab().convertToFormat(QImage::Format_RGB32);

    CScriptEngine engine;
    CSurfaceProvider provider(engine);
    CopyRecordPair(provider.Initial(), dlg.Provider().Initial());  // the tables read back
    ProviderPlotSurface surface(provider);
    CSurfaceMap map;
    QWidget* client = dlg.PlotClient();
    const PlotClientLayout layout{client->rect(), client->palette(), dlg.Areas()};
    QImage routine(client->size(), QImage::Format_RGB32);
    Update2DResult result;
    {
        QPainter painter(&routine);
        result = Update2D(painter, layout, dlg.State(), {provider, surface, map, nullptr});
    }
    // The column's controls are children of the client; the frame and the views are not.
    const QRect views(QPoint(0, 0), dlg.Areas().frame.bottomRight());
    EXPECT_TRUE(routine.copy(views) == window.copy(views));
    // Any later paint draws the views from the state again, to the same pixels.
    const QImage repainted = Grab().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(repainted.copy(views) == window.copy(views));
    EXPECT_EQ(result.trace.statusText, dlg.RayStatusText().toStdString());
}

// velmor-cli views given the fields draws, to the pixel, the plot frame the window shows after
// the same fields are typed and "Reset Zoom" and "Update 2D" are pressed. The configuration
// has an analysis maximum with more decimals than the display fields show (the display x and y
// ranges then read back rounded while the display z range keeps it), a 2D step below the
// least, and display x fields given after "Reset Zoom".
TEST_F(ViewsWiringTest, ViewsCommandDrawsWhatTheWindowShowsForTheSameFields) {
    CVelmorDlg& dlg = Open();
    // A square plot frame, as the command's image is.
    const QRect frame = dlg.Areas().frame;
    const int grow = std::abs(frame.width() - frame.height());
    dlg.resize(dlg.width() + (frame.width() < frame.height() ? grow : 0),
               dlg.height() + (frame.height() < frame.width() ? grow : 0));
    QApplication::processEvents();
    const QRect square = dlg.Areas().frame;
    ASSERT_EQ(square.width(), square.height());

    Type(dlg.Field(kIdAnalysisXMin), "-6");
    Type(dlg.Field(kIdAnalysisXMax), "12.3456");
    Type(dlg.Field(kIdAnalysisYMin), "-4");
    Type(dlg.Field(kIdAnalysisYMax), "5");
    Type(dlg.Field(kIdStep2DX), "0.0004");
    Type(dlg.Field(kIdStep2DY), "0.05");
    Click(kIdResetZoom);
    // The display x fields take no typing (they are read-only); "Update 2D" reads their text.
    dlg.Field(kIdDisplayXMin)->setText("-3.5");
    dlg.Field(kIdDisplayXMax)->setText("9.25");
    Click(kIdUpdate2D);
    const QImage window = Grab().convertToFormat(QImage::Format_RGB32).copy(square);

    // What velmor-cli views --range -6 12.3456 -4 5 --step 0.0004 0.05 --display -3.5 9.25 ...
    // takes: the built-in surface as the program starts, the fields as the command reads them.
    CScriptEngine engine;
    CSurfaceProvider provider(engine);
    provider.QueryGradientIndex();
    ViewFields fields;
    fields.analysisX = {-6, 12.3456};
    fields.analysisY = {-4, 5};
    fields.stepX = LimitSampleStep(0.0004);
    fields.stepY = 0.05;
    fields.displayX = ValueRange{-3.5, 9.25};
    const PlotSettings settings = SettingsFromFields(fields, PlotSettings{});
    EXPECT_EQ(settings.displayY.max, 12.346);
    EXPECT_EQ(settings.displayZ.max, 12.3456);
    const ViewsImage command = UpdateViewsImage(provider, settings, square.width());
    ASSERT_EQ(command.image.size(), window.size());
    EXPECT_TRUE(command.image == window);
    EXPECT_EQ(command.update.trace.statusText, dlg.RayStatusText().toStdString());
    EXPECT_EQ(command.update.views.cursorReadout, dlg.CursorReadout());
}

TEST_F(ViewsWiringTest, UpdatesRebuildTheMapUnderItsProgressWindowScriptErrorsReachTheInterpreter) {
    CVelmorDlg& dlg = Open();
    // A model loaded into the 3D window leaves the next map's progress over the main window
    // (the 3D window's own is gone by then).
    WriteFile(m_dir.File("one.stl"),
              "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
              "vertex 0 1 0\nendloop\nendfacet\nendsolid\n");
    m_messages.QueuePath(m_dir.QFilePath("one.stl"));
    dlg.Shading3D().RunCommand(kCmdOpen);
    {
        ProgressTitles progress;
        Click(kIdUpdate2D);
        EXPECT_EQ(progress.OwnerOf("Progress Bitmap"), &dlg);
    }
    // The interpreter switch rebuilds it with the ranges in the fields; the script's run errors
    // of a repaint (sqrt fails for every negative x) reach the interpreter window.
    dlg.Engine().Compile("z = 0.01 * y * sqrt(x);");
    dlg.Interpreter().SetOutputText(QString());
    Type(dlg.Field(kIdAnalysisXMax), "2");
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(Map().CoveredX().max, 2.0);
    Grab();
    EXPECT_FALSE(dlg.Interpreter().OutputText().isEmpty());
}

// "Open DLL ..." traces the ray as part of the load: the final records, the hit point the views
// draw and the status show the new surface at once, also after a failed load that falls back to
// the built-in surface. A gradient-index surface shows no ray at the surface but its path through
// the medium, in the views, in the 3D window and in the status line.
TEST_F(ViewsWiringTest, OpenDllTracesTheNewSurfaceAtOnce) {
    CVelmorDlg& dlg = Open();
    CSurfaceProvider& provider = dlg.Provider();
    // The ray a fresh provider traces for the surface (none: the built-in one).
    const auto traced = [&dlg](const char* library) {
        CScriptEngine engine;
        CSurfaceProvider fresh(engine);
        if (library != nullptr) {
            EXPECT_TRUE(fresh.OpenSurfaceDll(test::LibPath(library)).loaded);
        }
        fresh.TraceRay(TraceSettingsOf(dlg.State()));
        return std::vector<double>(fresh.LastRay(), fresh.LastRay() + 6);
    };
    const auto lastRay = [&provider] {
        return std::vector<double>(provider.LastRay(), provider.LastRay() + 6);
    };
    const std::vector<double> builtIn = traced(nullptr), polynomial = traced("xy_polynomial3");
    ASSERT_EQ(lastRay(), builtIn);
    ASSERT_NE(polynomial, builtIn);
    const auto open = [this, &dlg](const char* library) {
        m_messages.QueuePath(test::QLibPath(library));
        dlg.MenuAction(kCmdOpenDll)->trigger();
    };

    open("xy_polynomial3");
    EXPECT_EQ(lastRay(), polynomial);
    EXPECT_EQ(Cell(dlg.UdFdFinal().UserDataTable(), "z"), Fixed6(polynomial[2]));
    EXPECT_EQ(dlg.RayStatusText(), "RayTrace : return code = 0");
    EXPECT_EQ(dlg.Shading3D().RayState(), RayDisplay::kRefracted);
    QApplication::processEvents();  // the views drawn with it
    EXPECT_EQ(MakePlotState(dlg.State(), provider).rayResult[2], polynomial[2]);

    open("no_entry");  // refused: the built-in surface answers again
    ASSERT_EQ(m_messages.LastText(), QString::fromLatin1(kSurfaceDllErrorText));
    EXPECT_EQ(lastRay(), builtIn);
    EXPECT_EQ(Cell(dlg.UdFdFinal().UserDataTable(), "z"), Fixed6(builtIn[2]));

    open("grin_medium");
    EXPECT_EQ(Cell(dlg.UdFdFinal().UserDataTable(), "l"), Fixed6(traced("grin_medium")[3]));
    EXPECT_EQ(dlg.Shading3D().RayState(), RayDisplay::kNone);
    QApplication::processEvents();
    ASSERT_NE(provider.LastMediumPath(), nullptr);
    EXPECT_EQ(provider.LastMediumPath()->end, MediumEnd::kPlane);
    EXPECT_TRUE(dlg.RayStatusText().startsWith(QStringLiteral("GRIN : ")));
    EXPECT_EQ(dlg.RayStatusText(), QString::fromStdString(provider.LastMediumStatus()));
    EXPECT_EQ(dlg.Shading3D().MediumPathVertices().size(),
              3 * provider.LastMediumPath()->points.size());
    EXPECT_EQ(MakePlotState(dlg.State(), provider).mediumPath.get(), provider.LastMediumPath());

    open("xy_polynomial3");  // no medium: no path
    EXPECT_EQ(provider.LastMediumPath(), nullptr);
    EXPECT_TRUE(dlg.Shading3D().MediumPathVertices().empty());
    EXPECT_EQ(dlg.RayStatusText(), "RayTrace : return code = 0");
}

// A path through a gradient-index medium of many steps shows the progress window; its Cancel
// ends the path where it stands, and the status line says so.
TEST_F(ViewsWiringTest, ALongPathThroughTheMediumShowsProgressAndCancelEndsIt) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(test::QLibPath("grin_homogeneous"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.State().gradientIndex);
    TypeCell(dlg.UdFdInitial().FixedDataTable(), "param[1]", "0.0001");  // about 62500 steps
    QString title;
    auto* timer = new QTimer(&dlg);
    QObject::connect(timer, &QTimer::timeout, [timer, &title] {
        CProgressDialog* window = CurrentProgressWindow();
        if (window == nullptr || window->windowTitle() != kMediumProgressTitle) return;
        timer->stop();
        title = window->windowTitle();
        QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    });
    timer->start(10);
    Click(kIdUpdate2D);
    EXPECT_EQ(title, kMediumProgressTitle);
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    const MediumPath* path = dlg.Provider().LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kCancelled);
    EXPECT_GE(path->steps, kMediumProgressSteps);
    EXPECT_LT(path->z, 10);
    EXPECT_TRUE(dlg.RayStatusText().endsWith(QStringLiteral(", cancelled")))
        << dlg.RayStatusText().toStdString();
    // The views show the path as far as it went.
    QApplication::processEvents();
    EXPECT_EQ(dlg.Shading3D().MediumPathVertices().size() % 3, 0u);
    EXPECT_GT(dlg.Shading3D().MediumPathVertices().size(), 6u);
}

// The window at its default and its minimum size with a curved path through a gradient-index
// medium (grin_exact with a strong gradient, a ray off the axis): the path in the profile views
// and the plan view, the grey index field behind the profiles, the status line. With
// VELMOR_SCREENSHOT_DIR set the window is saved there at both sizes.
TEST_F(ViewsWiringTest, CurvedPathAtTheDefaultAndTheMinimumSize) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(test::QLibPath("grin_exact"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    CDataGrid* fixed = dlg.UdFdInitial().FixedDataTable();
    TypeCell(fixed, "param[1]", "0.05");
    TypeCell(fixed, "param[3]", "0.09");
    CDataGrid* user = dlg.UdFdInitial().UserDataTable();
    for (const auto& [name, value] : {std::pair{"x", "8"}, {"y", "3"}, {"l", "0"}, {"m", "0.3"}}) {
        TypeCell(user, name, value);
    }
    Type(dlg.Field(kIdDisplayNMin), QStringLiteral("1.0"));
    Type(dlg.Field(kIdDisplayNMax), QStringLiteral("1.7"));
    Click(kIdUpdate2D);
    const MediumPath* path = dlg.Provider().LastMediumPath();
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->end, MediumEnd::kPlane) << dlg.RayStatusText().toStdString();
    EXPECT_EQ(dlg.RayStatusText(), QString::fromStdString(dlg.Provider().LastMediumStatus()));
    for (const QSize size : {dlg.size(), QSize(kMainMinimumWidth, kMainMinimumHeight)}) {
        SCOPED_TRACE(size.width());
        dlg.resize(size);
        QApplication::processEvents();
        QTest::qWait(50);
        QApplication::processEvents();
        const QImage client = Grab();
        const PlotAreas& areas = dlg.Areas();
        const PlotState state = MakePlotState(dlg.State(), dlg.Provider());
        // A point of the path in the middle of its way, in the x-z and the plan view.
        const MediumPoint& p = path->points[path->points.size() / 2];
        const PlotMapping xz(areas.xz.width(), areas.xz.height(), state.displayX, state.displayZ);
        const PlotMapping plan(areas.plan.width(), areas.plan.height(), state.displayX,
                               state.displayY);
        const auto blueNear = [&client](const QRect& area, double x, double y) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const QPoint at(area.left() + int(x) + dx, area.top() + int(y) + dy);
                    if (client.valid(at) && (client.pixel(at) & 0xFFFFFF) == (kBlueRgb & 0xFFFFFF))
                        return true;
                }
            }
            return false;
        };
        EXPECT_TRUE(blueNear(areas.xz, xz.X(p.x), xz.Y(p.z)));
        EXPECT_TRUE(blueNear(areas.plan, plan.X(p.x), plan.Y(p.y)));
        // The field: greys that are neither paper nor white inside the x-z view.
        const QRgb field = client.pixel(areas.xz.left() + areas.xz.width() / 8,
                                        areas.xz.top() + areas.xz.height() / 3);
        EXPECT_TRUE(qRed(field) == qGreen(field) && qGreen(field) == qBlue(field)) << field;
        SaveShot(dlg, QStringLiteral("grin_curved_path"));
    }
}

TEST_F(ViewsWiringTest, ShiftClicksMoveTheRayShowItAndTraceAgain) {
    CVelmorDlg& dlg = Open();
    CSurfaceProvider& provider = dlg.Provider();
    const PlotAreas areas = dlg.Areas();
    const VelmorState& s = dlg.State();
    const double n = provider.Initial().ud.n;

    // Through point: the start point moves under the click, z and the direction stay.
    const QPoint through = At(areas.plan, 0.75, 0.25);
    const double z = provider.Initial().ud.z;
    QTest::mouseClick(dlg.PlotClient(), Qt::LeftButton, Qt::ShiftModifier, through);
    const QRect& plan = areas.plan;
    const double x = -10 + double(through.x() - plan.left()) / plan.width() * 20;
    const double y = 10 - double(through.y() - plan.top()) / plan.height() * 20;
    EXPECT_DOUBLE_EQ(provider.Initial().ud.x, x);
    EXPECT_DOUBLE_EQ(provider.Initial().ud.y, y);
    EXPECT_EQ(provider.Initial().ud.z, z);
    EXPECT_EQ(Cell(dlg.UdFdInitial().UserDataTable(), "x"), Fixed6(x));
    // Traced again: the final records, the hit point and the status follow the new ray.
    ASSERT_TRUE(provider.LastTraceSucceeded());
    EXPECT_EQ(provider.LastRay()[0], provider.Final().ud.x);
    EXPECT_EQ(dlg.RayStatusText(), "RayTrace : return code = 0");
    EXPECT_EQ(s.cursorX, 0.1) << "a ray choice is no cursor click";

    // Direction: from the clicked side towards the start point, n kept.
    const QPoint side = At(areas.plan, 0.25, 0.25);
    QTest::mousePress(dlg.PlotClient(), Qt::RightButton, Qt::ShiftModifier, side);
    QTest::mouseRelease(dlg.PlotClient(), Qt::RightButton, Qt::ShiftModifier, side);
    const USER_DATA& ud = provider.Initial().ud;
    EXPECT_EQ(ud.n, n);
    EXPECT_GT(ud.l, 0.0) << "the click lies at smaller x than the start point";
    EXPECT_EQ(s.panState, PlotView::kNone);

    // Incident elevation (the rule is RayChoice's): a click in the ray view below the hit
    // point, on the incoming side, tilts the ray, which is traced again.
    const double outgoingN = provider.LastRay()[5];
    QTest::mouseClick(dlg.PlotClient(), Qt::LeftButton, Qt::ShiftModifier,
                      At(areas.fourth, 0.75, 0.9));
    EXPECT_NE(ud.n, n);
    EXPECT_NE(provider.LastRay()[5], outgoingN);
}

}  // namespace
}  // namespace velmor::test

namespace velmor::test {
namespace {

// The example asphere answers nothing beyond r = 4: with the analysis x range [5, 10] the map
// and the x-z section have no answered sample; the plan view says so in its middle, and the
// status too, until a range where the surface answers.
TEST_F(ViewsWiringTest, ViewsWithNothingToDrawSayWhyAndSoDoesTheStatus) {
    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.ViewsStatusText(), "");
    m_messages.QueuePath(QString::fromStdString(LibPath("even_asphere")));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    DlgTest::Type(dlg.Field(kIdAnalysisXMin), "5");
    DlgTest::Type(dlg.Field(kIdStep2DX), "0.1");
    DlgTest::Type(dlg.Field(kIdStep2DY), "0.1");
    QTest::mouseClick(dlg.Control(kIdUpdate2D), Qt::LeftButton);
    EXPECT_TRUE(Map().NoneAnswered());
    EXPECT_EQ(dlg.ViewsStatusText(), kNoSampleAnsweredText);
    // The plan view's middle holds the text: black pixels on the paper box around it.
    const QImage client = Grab();
    const QRect plan = dlg.Areas().plan;
    int black = 0, paper = 0;
    for (int x = plan.left() + plan.width() / 4; x < plan.right() - plan.width() / 4; ++x) {
        for (int y = plan.center().y() - 3; y <= plan.center().y() + 3; ++y) {
            black += client.pixel(x, y) == qRgb(0, 0, 0);
            paper += client.pixel(x, y) == kPaperRgb;
        }
    }
    EXPECT_GT(black, 10);
    EXPECT_GT(paper, 10);
    DlgTest::SaveShot(dlg, "main_window_nothing_answered");
    dlg.resize(dlg.minimumSize());
    QApplication::processEvents();
    DlgTest::SaveShot(dlg, "main_window_nothing_answered");

    DlgTest::Type(dlg.Field(kIdAnalysisXMin), "-3");
    DlgTest::Type(dlg.Field(kIdAnalysisXMax), "3");
    DlgTest::Type(dlg.Field(kIdAnalysisYMin), "-3");
    DlgTest::Type(dlg.Field(kIdAnalysisYMax), "3");
    QTest::mouseClick(dlg.Control(kIdUpdate2D), Qt::LeftButton);
    EXPECT_FALSE(Map().NoneAnswered());
    EXPECT_EQ(dlg.ViewsStatusText(), "");
}

}  // namespace
}  // namespace velmor::test
