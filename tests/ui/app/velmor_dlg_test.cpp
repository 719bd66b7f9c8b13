// The main window: fields, update flows, interpreter switch, zoom, pan, clicks, closing.
#include <QAction>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QWheelEvent>
#include <chrono>
#include <cmath>
#include <optional>

#include "comma_locale.h"
#include "dlg_fixture.h"
#include "test_paths.h"
#include "ui/app/escape_key_watch.h"
#include "ui/app/field_text.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/interp/tab_edit.h"
#include "ui/surface/record_tables_dialog.h"

namespace velmor {
namespace {

void Wheel(QWidget* widget, QPoint point, int delta) {
    QWheelEvent event(QPointF(point), QPointF(widget->mapToGlobal(point)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void ExpectRange(const ValueRange& range, double min, double max) {
    EXPECT_NEAR(range.min, min, 1e-9);
    EXPECT_NEAR(range.max, max, 1e-9);
}

using MainWindowTest = DlgTest;

TEST_F(MainWindowTest, StartsWithItsInitialStateControlsAndTexts) {
    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.RayStatusText(), "Equivalent Corvexa.dll");
    const QToolBar* toolbar = dlg.findChild<QToolBar*>("toolbar");
    ASSERT_NE(toolbar, nullptr);
    QStringList texts;
    for (QAction* action : toolbar->actions()) texts << action->text();
    EXPECT_EQ(texts, QStringList({"DLL", "STL BIN", "3D", "Initial", "Final", "Interpreter"}));
    EXPECT_EQ(dlg.UdFdFinal().parentWidget(), nullptr);  // independent windows
}

// Text the reader cannot take falls back to the field's default, whatever the process locale;
// a step below the limit becomes one thousandth, written with six decimals.
TEST_F(MainWindowTest, UnreadableFieldTextsFallBackToTheirDefaults) {
    auto comma = std::make_unique<test::CommaLocale>();
    CVelmorDlg& dlg = Open();
    Type(dlg.Field(kIdAnalysisXMin), QString(32, '1'));                   // one byte too many
    Type(dlg.Field(kIdAnalysisXMax), "0000000000000000000000000000012");  // 31 bytes: fits
    Type(dlg.Field(kIdAnalysisYMin), QString(16, QChar(0xFF11)));         // 16 x 2 bytes in CP932
    Type(dlg.Field(kIdAnalysisYMax), "1,5");  // the number stops at the comma
    Type(dlg.Field(kIdStep3DX), QString::fromUtf8("\xF0\x9F\x98\x80"));  // not in CP932
    dlg.Field(kIdN2)->setText("1e999");
    Type(dlg.Field(kIdStep2DX), "0");
    Type(dlg.Field(kIdStep2DY), "-0.5");  // negative steps pass: only the magnitude counts
    Click(kIdUpdate2D);
    comma.reset();
    EXPECT_EQ(Text(kIdAnalysisXMin), "-10.000000");
    EXPECT_EQ(dlg.State().analysisX.max, 12.0);
    EXPECT_EQ(Text(kIdAnalysisYMin), "-10.000000");
    EXPECT_EQ(dlg.State().analysisY.max, 1.0);
    EXPECT_EQ(Text(kIdStep3DX), "0.250000");
    EXPECT_EQ(Text(kIdN2), "1.500000");
    EXPECT_EQ(Text(kIdStep2DX), "0.001000");
    EXPECT_EQ(dlg.State().stepX, 0.001);
    EXPECT_EQ(Text(kIdStep2DY), "-0.5");
}

TEST_F(MainWindowTest, WheelNotchesZoomAboutThePointUnderTheMouseNeverToZeroWidthNorInfinity) {
    CVelmorDlg& dlg = Open();
    const QRect plan = dlg.Areas().plan;
    const QPoint point = At(plan, 0.25, 0.75);
    const double f = double(point.x() - plan.left()) / plan.width();
    const double g = double(point.y() - plan.top()) / plan.height();
    const double cx = -10 + f * 20, cy = 10 - g * 20;
    for (int i = 0; i < 3; ++i) Wheel(dlg.PlotClient(), point, 120);

    const double k = 0.8 * 0.8 * 0.8;
    const VelmorState& s = dlg.State();
    ExpectRange(s.displayX, cx - (cx + 10) * k, cx + (10 - cx) * k);
    ExpectRange(s.displayY, cy - (cy + 10) * k, cy + (10 - cy) * k);
    ExpectRange(s.displayZ, -10 * k, 10 * k);  // about its centre
    ExpectRange(s.displayR, -10 * k, 10 * k);  // about 0
    EXPECT_EQ(Text(kIdDisplayZMax), "5.120");

    // A fine wheel adds up to whole notches; zoom out is the factor 1.2.
    const ValueRange before = s.displayZ;
    Wheel(dlg.PlotClient(), point, -60);
    ExpectRange(s.displayZ, before.min, before.max);
    Wheel(dlg.PlotClient(), point, -60);
    ExpectRange(s.displayZ, before.min * 1.2, before.max * 1.2);

    // Zoom (here about a point of the x-z view) never reaches zero width nor infinity.
    const QPoint xz = At(dlg.Areas().xz, 0.3, 0.6);
    for (int i = 0; i < 400; ++i) Wheel(dlg.PlotClient(), xz, 120);
    for (const ValueRange* r : {&s.displayX, &s.displayY, &s.displayZ, &s.displayR})
        EXPECT_GE(r->Width(), kMinDisplayWidth);
    // Reading the three-decimal display fields back keeps them wider than zero.
    Click(kIdUpdate2D);
    EXPECT_GT(s.displayX.Width(), 0);
    for (int i = 0; i < 5000; ++i) dlg.ZoomAt(xz, -1);
    EXPECT_TRUE(std::isfinite(s.displayX.Width()));
}

TEST_F(MainWindowTest, ResetZoomSpansAllThreeAnalysisRanges) {
    CVelmorDlg& dlg = Open();
    for (int id : {kIdAnalysisXMin, kIdAnalysisYMin}) Type(dlg.Field(id), "-1");
    for (int id : {kIdAnalysisXMax, kIdAnalysisYMax}) Type(dlg.Field(id), "1");
    dlg.ZoomAt(dlg.Areas().plan.center(), 1);
    Click(kIdResetZoom);
    const VelmorState& s = dlg.State();
    ExpectRange(s.displayX, -10, 10);  // the fixed z range dominates

    Type(dlg.Field(kIdAnalysisXMin), "-20");
    Type(dlg.Field(kIdAnalysisXMax), "5");
    dlg.MenuAction(kCmdResetZoom)->trigger();
    ExpectRange(s.displayX, -20, 10);
    ExpectRange(s.displayZ, -20, 10);
    ExpectRange(s.displayR, -15, 15);
    EXPECT_EQ(Text(kIdDisplayXMin), "-20.000");

    // Reset Pan centres every range on 0 keeping its width.
    Click(kIdResetPan);
    ExpectRange(s.displayX, -15, 15);
}

TEST_F(MainWindowTest, RightDragPansOnlyBeyondOneStepAndKeepsThePointUnderTheMouse) {
    CVelmorDlg& dlg = Open();
    Type(dlg.Field(kIdStep2DX), "1");
    Type(dlg.Field(kIdStep2DY), "1");
    Click(kIdUpdate2D);
    QWidget* client = dlg.PlotClient();
    const QRect plan = dlg.Areas().plan;
    const double unit = plan.width() / 20.0;  // pixels per world unit
    const QPoint start = plan.center();
    QTest::mousePress(client, Qt::RightButton, Qt::NoModifier, start);
    EXPECT_EQ(dlg.State().panState, PlotView::kPlan);
    // Less than one step (1.0) along both axes: nothing moves.
    QTest::mouseMove(client, start + QPoint(int(unit * 0.6), -int(unit * 0.6)));
    ExpectRange(dlg.State().displayX, -10, 10);
    ExpectRange(dlg.State().displayY, -10, 10);
    // Further: the grabbed point follows the mouse.
    const QPoint far = start + QPoint(int(unit * 3), int(unit * 2));
    QTest::mouseMove(client, far);
    const double dx = (far.x() - start.x()) * 20.0 / plan.width();
    const double dy = (far.y() - start.y()) * 20.0 / plan.height();
    ExpectRange(dlg.State().displayX, -10 - dx, 10 - dx);
    ExpectRange(dlg.State().displayY, -10 + dy, 10 + dy);
    QTest::mouseRelease(client, Qt::RightButton, Qt::NoModifier, far);
    EXPECT_EQ(dlg.State().panState, PlotView::kNone);
}

TEST_F(MainWindowTest, UseInterpreterNeedsCompiledCodeAndSwitchesTheSurfaceToTheScript) {
    CVelmorDlg& dlg = Open();
    auto* box = static_cast<QCheckBox*>(dlg.Control(kIdUseInterpreter));
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), "    -- intermediate code : none -- ... Abort !        ");
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(dlg.State().interpreterMode);

    dlg.Engine().Compile("z = 0.01 * x * x;");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_TRUE(dlg.Provider().InterpreterMode());
    EXPECT_FALSE(dlg.ToolbarAction(kCmdOpenDll)->isEnabled());
    auto& initial = dlg.UdFdInitial();
    EXPECT_FALSE(initial.CallDllButton()->isEnabled());
    EXPECT_EQ(dlg.RayStatusText().left(10), "RayTrace :");

    // A failed compile later keeps the mode, but updates refuse until a good compile.
    dlg.Engine().Compile("z = ;");
    Click(kIdUpdate2D);
    EXPECT_EQ(m_messages.LastText(), kTextNoCode);
    EXPECT_TRUE(dlg.State().interpreterMode);

    // Switching off needs no code.
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(initial.CallDllButton()->isEnabled());
}

TEST_F(MainWindowTest, OnlyTheBoxRecomputesTheGradientIndexFlag) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(test::QLibPath("grin_medium"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.State().gradientIndex);
    dlg.Engine().Compile("z = 0;");
    dlg.MenuAction(kCmdUseInterpreter)->trigger();  // the menu leaves the flag
    EXPECT_TRUE(dlg.State().gradientIndex);
    dlg.MenuAction(kCmdUseInterpreter)->trigger();

    // The box sets it to 0 in interpreter mode and asks the library again when leaving.
    QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
    EXPECT_FALSE(dlg.State().gradientIndex);
    QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
    EXPECT_TRUE(dlg.State().gradientIndex);
}

// At its minimum and at a large size every control lies inside the client area, none
// overlapping another or the frame. With VELMOR_SCREENSHOT_DIR set, the grabs are saved there.
TEST_F(MainWindowTest, ControlsFitWithoutOverlapFromMinimumToLarge) {
    CVelmorDlg& dlg = Open();
    dlg.resize(300, 200);
    EXPECT_GE(dlg.width(), 620);
    EXPECT_GE(dlg.height(), 580);
    for (const QSize size : {QSize(620, 580), QSize(1500, 1100)}) {
        dlg.resize(size);
        QApplication::processEvents();
        QWidget* client = dlg.PlotClient();
        std::vector<QWidget*> controls;
        for (QObject* child : client->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget && widget->isVisibleTo(client)) controls.push_back(widget);
        }
        ASSERT_GT(controls.size(), 40u);
        const PlotAreas& a = dlg.Areas();
        EXPECT_EQ(a.plan.width(), a.plan.height());
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const QRect r = controls[i]->geometry();
            EXPECT_TRUE(client->rect().contains(r)) << controls[i]->objectName().toStdString();
            if (controls[i] != dlg.Control(kIdRayStatus) &&
                controls[i] != dlg.Control(kIdCursorReadout)) {
                EXPECT_FALSE(r.intersects(a.frame)) << r.x() << "," << r.y();
            }
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(r.intersects(controls[j]->geometry())) << r.x() << "," << r.y();
        }
        SaveShot(dlg, "main_window");
    }
}

// Enter never ends the program; Cancel in the close questions keeps it running.
TEST_F(MainWindowTest, CancelInTheCloseQuestionsKeepsRunningAndWritesNothing) {
    CVelmorDlg& dlg = Open();
    QSignalSpy closed(&dlg, &CVelmorDlg::Closed);
    QTest::keyClick(dlg.Field(kIdStep2DX), Qt::Key_Return);
    dlg.Control(kIdExit)->setFocus();
    QTest::keyClick(dlg.Control(kIdExit), Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Enter);
    EXPECT_TRUE(m_messages.Shown().empty());

    m_messages.QueueAnswer(MessageAnswer::Cancel);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), "  Close ? ");

    // A changed script is offered for saving; Cancel there keeps running too.
    auto& interpreter = dlg.Interpreter();
    interpreter.SourceBox()->setPlainText("z = x * y;\n");
    m_messages.QueueAnswer(MessageAnswer::Ok);
    m_messages.QueueAnswer(MessageAnswer::Cancel);
    Click(kIdExit);
    ASSERT_EQ(m_messages.Shown().size(), 3u);
    EXPECT_EQ(m_messages.Shown()[2].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(WindowSettingsWritten());

    m_messages.QueueAnswer(MessageAnswer::Ok);
    m_messages.QueueAnswer(MessageAnswer::No);  // discard the script
    dlg.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dlg.Interpreter().isVisible());
    EXPECT_TRUE(WindowSettingsWritten());
}

// While a long loop runs (its progress window open, the main window disabled) the close box
// of the main window does nothing: the user cancels the loop first.
TEST_F(MainWindowTest, ACloseRequestDuringALongLoopIsIgnored) {
    CVelmorDlg& dlg = Open();
    QSignalSpy closed(&dlg, &CVelmorDlg::Closed);
    bool asked = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (asked || CurrentProgressWindow() == nullptr) return;
        asked = true;
        dlg.close();  // what the title bar's close box sends
    });
    timer.start(0);
    Click(kIdMake3DModel);
    timer.stop();
    ASSERT_TRUE(asked);
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(dlg.Shading3D().Model().faces.empty());  // the loop ran to its end
    // Afterwards the close box asks again.
    m_messages.QueueAnswer(MessageAnswer::Cancel);
    dlg.close();
    EXPECT_EQ(m_messages.LastText(), "  Close ? ");
}

// While a long loop of any window runs, every command that starts library work or another loop
// is disabled in every window (menus, buttons, toolbar) and enabled again when it ends: "Update
// UD FD" clicked during "Make 3D Model" starts no loop of its own under it.
TEST_F(MainWindowTest, CommandsThatStartWorkAreDisabledWhileALongLoopRuns) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(test::QLibPath("even_asphere"));
    dlg.MenuAction(kCmdOpenDll)->trigger();  // so that "Reload DLL" can be enabled
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    CDialogUdFdInitial& initial = dlg.UdFdInitial();
    CDialogInerpreter& interpreter = dlg.Interpreter();
    const std::vector<std::pair<const char*, QAction*>> actions = {
        {"Open DLL", dlg.MenuAction(kCmdOpenDll)},
        {"DLL button", dlg.ToolbarAction(kCmdOpenDll)},
        {"Reload DLL", dlg.MenuAction(kCmdReloadDll)},
        {"Run library in-process", dlg.MenuAction(kCmdRunInProcess)},
        {"Use Interpreter menu", dlg.MenuAction(kCmdUseInterpreter)},
        {"Save STL (ASCII)", dlg.MenuAction(kCmdSaveStlAscii)},
        {"Save STL (BIN)", dlg.MenuAction(kCmdSaveStlBin)},
        {"STL BIN button", dlg.ToolbarAction(kCmdSaveStlBin)},
        {"3D Open", dlg.Shading3D().Action(kCmdOpen)},
        {"Interpreter Open", interpreter.OpenAction()},
        {"Interpreter Save", interpreter.SaveAction()},
        {"Interpreter Compile", interpreter.CompileAction()},
    };
    const std::vector<std::pair<const char*, QWidget*>> widgets = {
        {"Update 2D", dlg.Control(kIdUpdate2D)},
        {"Make 3D Model", dlg.Control(kIdMake3DModel)},
        {"Use Interpreter box", dlg.Control(kIdUseInterpreter)},
        {"Call DLL", initial.CallDllButton()},
        {"Update UD FD", initial.UpdateButton()},
        {"Compile button", interpreter.CompileButton()},
    };
    // The commands enabled, as the windows around them would have them when enabled.
    const auto enabled = [&] {
        QStringList on;
        for (const auto& [name, action] : actions)
            if (action->isEnabled()) on << name;
        for (const auto& [name, widget] : widgets)
            if (widget->isEnabledTo(widget->window())) on << name;
        return on;
    };
    const QStringList all = enabled();
    ASSERT_EQ(all.size(), int(actions.size() + widgets.size()));

    // During a loop of the main window, and a click on "Update UD FD" meanwhile.
    std::optional<QStringList> during;
    QStringList titles;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        CProgressDialog* window = CurrentProgressWindow();
        if (window == nullptr) return;
        if (!titles.contains(window->windowTitle())) titles << window->windowTitle();
        if (during) return;
        during = enabled();
        QTest::mouseClick(initial.UpdateButton(), Qt::LeftButton);
    });
    timer.start(0);
    Type(dlg.Field(kIdStep3DX), "0.05");
    Type(dlg.Field(kIdStep3DY), "0.05");
    Click(kIdMake3DModel);
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->join(", ").toStdString(), "");
    EXPECT_EQ(titles, QStringList({"Shading Model ..."}));
    EXPECT_EQ(enabled(), all);

    // During a model loading in the 3D window (the main window stays enabled).
    during.reset();
    test::WriteFile(m_dir.File("one.stl"),
                    "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                    "vertex 0 1 0\nendloop\nendfacet\nendsolid\n");
    m_messages.QueuePath(m_dir.QFilePath("one.stl"));
    dlg.Shading3D().RunCommand(kCmdOpen);
    timer.stop();
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->join(", ").toStdString(), "");
    EXPECT_EQ(enabled(), all);
}

TEST_F(MainWindowTest, EscapeKeyAbortsScriptRunsWhileDownAndShortlyAfter) {
    CVelmorDlg& dlg = Open();
    CScriptEngine& engine = dlg.Engine();
    engine.Compile("z = x + y;");
    const auto run = [&engine] {
        engine.ClearRunErrorCounters();
        engine.SetInputs(1, 2);
        engine.Run(false);
        return engine.RunErrorCounter(kRunErrorAbort);
    };
    EXPECT_EQ(run(), 0);
    // Escape on the main window would ask to close; any other window will do.
    QWidget* other = &dlg.UdFdFinal();
    const auto pressed = std::chrono::steady_clock::now();
    QTest::keyPress(other, Qt::Key_Escape);
    EXPECT_GT(run(), 0);
    QTest::keyRelease(other, Qt::Key_Escape);
    // A quick tap is not lost: a run within the latch after the press still aborts. (A run that
    // a busy machine delayed past the latch proves nothing either way.)
    const int tapped = run();
    if (std::chrono::steady_clock::now() - pressed < CEscapeKeyWatch::kLatch) {
        EXPECT_GT(tapped, 0);
    }
    QTest::qWait(int(CEscapeKeyWatch::kLatch.count()) + 100);
    EXPECT_EQ(run(), 0);
}

// In interpreter mode Escape aborts the script runs of the sampling pass it was pressed in: a
// tap before a pass (closing a menu, cancelling "Close ?"), latch included, never aborts the
// next redraw, and a press during the map's pass stops that pass only.
TEST_F(MainWindowTest, EscapeCountsOnlyInThePassItWasPressedIn) {
    CVelmorDlg& dlg = Open();
    dlg.Engine().Compile("z = 0.01 * x * x;");
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    ASSERT_TRUE(dlg.State().interpreterMode);
    QWidget* other = &dlg.UdFdFinal();  // Escape on the main window would ask to close
    dlg.Interpreter().SetOutputText(QString());
    QTest::keyClick(other, Qt::Key_Escape);
    Click(kIdUpdate2D);  // trace, map, views: none of them aborts
    EXPECT_EQ(dlg.Interpreter().OutputText().toStdString(), "");
    EXPECT_TRUE(dlg.CursorReadout().contains("sag=")) << dlg.CursorReadout().toStdString();
    EXPECT_GT(qRed(dlg.Map().Image().pixel(400, 400)), 0);
    QTest::keyClick(other, Qt::Key_Escape);
    Click(kIdMake3DModel);  // the mesh samples every point (aborted ones would lie at z = 0)
    const std::vector<Vec3f>& vertices = dlg.Shading3D().Model().vertices;
    ASSERT_FALSE(vertices.empty());
    EXPECT_GT(vertices.front().z, 0.5f);  // at the corner (-10, -10): 0.01 * 100
    QTest::keyClick(other, Qt::Key_Escape);
    QTest::mouseClick(dlg.Interpreter().CompileButton(), Qt::LeftButton);  // its test run
    EXPECT_EQ(dlg.Interpreter().OutputText().toStdString(), "-- PARSER : no error --\n");

    // Pressed while the map's progress window is up: the map's remaining runs abort (black),
    // the views drawn after it sample again.
    bool pressed = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (pressed || CurrentProgressWindow() == nullptr) return;
        pressed = true;
        QTest::keyPress(other, Qt::Key_Escape);
    });
    timer.start(0);
    Click(kIdUpdate2D);
    timer.stop();
    QTest::keyRelease(other, Qt::Key_Escape);
    ASSERT_TRUE(pressed);
    EXPECT_EQ(dlg.Map().Image().pixel(400, 400) & 0xFFFFFF, 0u);
    EXPECT_TRUE(dlg.CursorReadout().contains("sag=")) << dlg.CursorReadout().toStdString();
}

TEST_F(MainWindowTest, StatusPaneShowsTheWorldPointUnderTheMouseInEachView) {
    CVelmorDlg& dlg = Open();
    QWidget* client = dlg.PlotClient();
    const PlotAreas& areas = dlg.Areas();
    // A plain move (no button) delivered straight to the plot client.
    const auto moveTo = [client](QPoint point) {
        QMouseEvent move(QEvent::MouseMove, QPointF(point), client->mapToGlobal(QPointF(point)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(client, &move);
    };
    // The top-left pixel of every view is the display minimum across and maximum up.
    const struct {
        QRect area;
        const char* text;
    } cases[] = {
        {areas.plan, "x = -10.000000 , y = 10.000000"},
        {areas.xz, "x = -10.000000 , z = 10.000000"},
        {areas.yz, "y = -10.000000 , z = 10.000000"},
        {areas.fourth, "r = -10.000000 , z = 10.000000"},
    };
    for (const auto& c : cases) {
        moveTo(c.area.topLeft());
        EXPECT_EQ(dlg.StatusPaneText(), QString::fromLatin1(c.text));
    }
    // Between the views the pane is emptied.
    moveTo(QPoint(areas.plan.left() + 10, (areas.plan.bottom() + areas.xz.top()) / 2));
    EXPECT_EQ(dlg.StatusPaneText(), QString());
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

// Presses `key` with Ctrl in `window`'s focus widget once the window is the active one.
void CtrlKey(QWidget* window, QWidget* focus, Qt::Key key) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    focus->setFocus();
    QTest::keyClick(focus, key, Qt::ControlModifier);
}

// The menu commands that have a usual key have it, shown in their menus (an action's shortcut
// is), and the keys run them: Ctrl+O "Open DLL ...", Ctrl+S the Interpreter's "Save ...".
TEST_F(MainWindowTest, MenuCommandsHaveTheirUsualShortcuts) {
    CVelmorDlg& dlg = Open();
    const std::pair<int, const char*> keys[] = {{kCmdOpenDll, "Ctrl+O"},
                                                {kCmdReloadDll, "Ctrl+R"},
                                                {kCmdZoomUp, "Ctrl++"},
                                                {kCmdZoomDown, "Ctrl+-"},
                                                {kCmdResetZoom, "Ctrl+0"}};
    for (const auto& [id, key] : keys)
        EXPECT_EQ(dlg.MenuAction(id)->shortcut(), QKeySequence(QLatin1String(key))) << key;
    CtrlKey(&dlg, dlg.Field(kIdAnalysisXMin), Qt::Key_O);
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    EXPECT_EQ(m_messages.FileDialogs()[0].request.title, "Open User Defined Surface DLL");

    CDialogInerpreter& interpreter = dlg.Interpreter();
    CtrlKey(&interpreter, interpreter.SourceBox(), Qt::Key_S);
    ASSERT_EQ(m_messages.FileDialogs().size(), 2u);
    EXPECT_TRUE(m_messages.FileDialogs()[1].save);
    CtrlKey(&interpreter, interpreter.SourceBox(), Qt::Key_O);
    ASSERT_EQ(m_messages.FileDialogs().size(), 3u);
    EXPECT_FALSE(m_messages.FileDialogs()[2].save);

    CDialog3D& view = dlg.Shading3D();
    EXPECT_EQ(view.Action(kCmdOpen)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(view.Action(kCmdHide)->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
}

}  // namespace
}  // namespace velmor
