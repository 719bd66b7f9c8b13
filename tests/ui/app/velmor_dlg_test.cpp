// The main window: fields, update flows, interpreter switch, zoom, pan, clicks, closing.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QWheelEvent>
#include <cmath>

#include "app/escape_key_watch.h"
#include "app/field_text.h"
#include "app/placeholder_windows.h"
#include "dlg_fixture.h"
#include "interp/dialog_interpreter.h"
#include "interp/tab_edit.h"

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
    EXPECT_EQ(dlg.windowTitle(), "Velmor");
    const VelmorState& s = dlg.State();
    ExpectRange(s.analysisX, -10, 10);
    ExpectRange(s.displayN, -2, 2);
    EXPECT_EQ(s.step2dX, 0.025);
    EXPECT_EQ(s.step3dY, 0.05);
    EXPECT_EQ(s.cursorZ, 0.1);
    EXPECT_EQ(s.interpreterMode, 0);
    EXPECT_EQ(s.gradientIndex, 0);  // the built-in surface is no gradient-index medium

    // Fields written with "%.3f"; display x, y, z read-only; n1, n2 off outside the script.
    EXPECT_EQ(Text(kIdAnalysisXMin), "-10.000");
    EXPECT_EQ(Text(kIdStep2DY), "0.025");
    EXPECT_EQ(Text(kIdStep3DX), "0.050");
    EXPECT_EQ(Text(kIdDisplayNMin), "-2.000");
    EXPECT_EQ(Text(kIdN2), "1.500");
    for (int id : {kIdDisplayXMin, kIdDisplayYMax, kIdDisplayZMin, kIdDisplayZMax, kIdN1, kIdN2,
                   kIdDisplayNMin, kIdDisplayNMax})
        EXPECT_FALSE(dlg.Control(id)->isEnabled()) << id;
    for (int id : {kIdVerbose, kIdCursor, kIdRayTrace})
        EXPECT_TRUE(static_cast<QCheckBox*>(dlg.Control(id))->isChecked()) << id;
    EXPECT_TRUE(dlg.Control(kIdCursor)->isEnabled());
    EXPECT_FALSE(static_cast<QCheckBox*>(dlg.Control(kIdUseInterpreter))->isChecked());

    // The status line was traced and then set; the read-out is left to the views.
    EXPECT_EQ(dlg.RayStatusText(), "Equivalent Corvexa.dll");
    EXPECT_TRUE(dlg.Provider().LastTraceSucceeded());

    // Toolbar texts in order, the menu commands, the pattern list.
    const QToolBar* toolbar = dlg.findChild<QToolBar*>("toolbar");
    ASSERT_NE(toolbar, nullptr);
    QStringList texts;
    for (QAction* action : toolbar->actions()) texts << action->text();
    EXPECT_EQ(texts, QStringList({"DLL", "STL BIN", "3D", "Initial", "Final", "Interpreter"}));
    EXPECT_EQ(dlg.MenuAction(kCmdOpenDll)->text(), "Open DLL ...");
    EXPECT_EQ(dlg.MenuAction(kCmdSaveStlBin)->text(), "Save STL (BIN) ...");
    EXPECT_EQ(dlg.MenuAction(kCmdResetPan)->text(), "Reset Pan");
    EXPECT_EQ(dlg.MenuAction(kCmdShowShading3D)->text(), "Shading 3D");
    auto* pattern = static_cast<QComboBox*>(dlg.Control(kIdPattern));
    ASSERT_EQ(pattern->count(), 4);
    EXPECT_EQ(pattern->itemText(2), "equilateral triangle 1");

    // The secondary windows are independent top-level windows with their titles, all shown.
    EXPECT_EQ(dlg.UdFdInitial().Widget()->windowTitle(), "Initial USER_DATA FIXED_DATA");
    EXPECT_EQ(dlg.UdFdFinal().Widget()->windowTitle(), "Final USER_DATA FIXED_DATA");
    EXPECT_EQ(dlg.Shading3D().Widget()->windowTitle(), "Shading 3D");
    EXPECT_EQ(dlg.Interpreter().Widget()->windowTitle(), "Interpreter");
    for (SecondaryWindow* w : {static_cast<SecondaryWindow*>(&dlg.UdFdInitial()),
                               static_cast<SecondaryWindow*>(&dlg.UdFdFinal()),
                               static_cast<SecondaryWindow*>(&dlg.Shading3D()),
                               static_cast<SecondaryWindow*>(&dlg.Interpreter())}) {
        EXPECT_TRUE(w->Widget()->isWindow());
        EXPECT_EQ(w->Widget()->parentWidget(), nullptr);
        EXPECT_TRUE(w->Widget()->isVisible());
    }
    EXPECT_TRUE(m_messages.Shown().empty());
}

TEST_F(MainWindowTest, StepBelowTheLimitBecomesOneThousandthWrittenWithSixDecimals) {
    CVelmorDlg& dlg = Open();
    Type(dlg.Field(kIdStep2DX), "0");
    Type(dlg.Field(kIdStep3DY), "-0.0009");
    Type(dlg.Field(kIdStep2DY), "-0.5");  // negative steps pass: only the magnitude counts
    Click(kIdUpdate2D);
    EXPECT_EQ(Text(kIdStep2DX), "0.001000");
    EXPECT_EQ(dlg.State().step2dX, 0.001);
    EXPECT_EQ(Text(kIdStep3DY), "0.001000");
    EXPECT_EQ(Text(kIdStep2DY), "-0.5");
    EXPECT_EQ(dlg.State().step2dY, -0.5);
    EXPECT_NEAR(dlg.State().step3dDiagonal, std::sqrt(0.05 * 0.05 + 0.001 * 0.001), 1e-15);
}

TEST_F(MainWindowTest, UnreadableFieldTextsFallBackToTheirDefaults) {
    CVelmorDlg& dlg = Open();
    const QString ones31(31, '1');
    Type(dlg.Field(kIdAnalysisXMin), QString(32, '1'));                   // one byte too many
    Type(dlg.Field(kIdAnalysisXMax), "0000000000000000000000000000012");  // 31 bytes: fits
    Type(dlg.Field(kIdAnalysisYMin), QString(16, QChar(0xFF11)));         // 16 x 2 bytes in CP932
    Type(dlg.Field(kIdAnalysisYMax), QString(15, QChar(0xFF11)));         // 30 bytes, no number: 0
    Type(dlg.Field(kIdStep3DX), QString::fromUtf8("\xF0\x9F\x98\x80"));   // not in CP932
    // Disabled fields are read too (their text is set here as a program would).
    dlg.Field(kIdN1)->setText("inf");
    dlg.Field(kIdN2)->setText("1e999");
    dlg.Field(kIdDisplayNMin)->setText("  1.25abc");
    Click(kIdUpdate2D);

    EXPECT_EQ(Text(kIdAnalysisXMin), "-10.000000");
    EXPECT_EQ(dlg.State().analysisX.min, -10.0);
    EXPECT_EQ(dlg.State().analysisX.max, 12.0);
    EXPECT_EQ(Text(kIdAnalysisXMax), "0000000000000000000000000000012");
    EXPECT_EQ(Text(kIdAnalysisYMin), "-10.000000");
    EXPECT_EQ(dlg.State().analysisY.max, 0.0);
    EXPECT_EQ(Text(kIdStep3DX), "0.250000");
    EXPECT_EQ(dlg.State().step3dX, 0.25);
    EXPECT_EQ(Text(kIdN1), "1.000000");
    EXPECT_EQ(Text(kIdN2), "1.500000");
    EXPECT_EQ(dlg.State().displayN.min, 1.25);
}

TEST_F(MainWindowTest, NumbersIgnoreTheProcessLocale) {
    const char* previous = setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool german = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    CVelmorDlg& dlg = Open();
    Type(dlg.Field(kIdAnalysisXMax), "2.5");
    Type(dlg.Field(kIdAnalysisYMax), "1,5");  // the number stops at the comma
    Click(kIdResetZoom);
    setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(dlg.State().analysisX.max, 2.5);
    EXPECT_EQ(dlg.State().analysisY.max, 1.0);
    EXPECT_EQ(Text(kIdDisplayXMin), "-10.000");
    if (!german) GTEST_LOG_(INFO) << "de_DE.UTF-8 not installed; ran in the C locale";
}

TEST_F(MainWindowTest, ThreeWheelNotchesZoomAboutThePointUnderTheMouse) {
    CVelmorDlg& dlg = Open();
    const QRect plan = dlg.Areas().plan;
    const QPoint point = At(plan, 0.25, 0.75);
    const double f = double(point.x() - plan.left()) / plan.width();
    const double g = double(point.y() - plan.top()) / plan.height();
    const double cx = -10 + f * 20, cy = 10 - g * 20;
    for (int i = 0; i < 3; ++i) Wheel(dlg.PlotClient(), point, 120);

    const double k = 0.8 * 0.8 * 0.8;
    const VelmorState& s = dlg.State();
    EXPECT_NEAR(s.displayX.Width(), 20 * k, 1e-12);
    ExpectRange(s.displayX, cx - (cx + 10) * k, cx + (10 - cx) * k);
    ExpectRange(s.displayY, cy - (cy + 10) * k, cy + (10 - cy) * k);
    ExpectRange(s.displayZ, -10 * k, 10 * k);  // about its centre
    ExpectRange(s.displayR, -10 * k, 10 * k);  // about 0
    ExpectRange(s.displayN, -2, 2);            // untouched
    EXPECT_EQ(Text(kIdDisplayZMax), "5.120");
    EXPECT_EQ(Text(kIdDisplayXMin), FormatField(s.displayX.min));

    // The same point stays under the mouse: its world x is still cx.
    EXPECT_NEAR(s.displayX.min + f * s.displayX.Width(), cx, 1e-9);

    // Zoom out is the factor 1.2; a fine wheel adds up to whole notches.
    const ValueRange before = s.displayZ;
    Wheel(dlg.PlotClient(), point, -60);
    ExpectRange(s.displayZ, before.min, before.max);
    Wheel(dlg.PlotClient(), point, -60);
    ExpectRange(s.displayZ, before.min * 1.2, before.max * 1.2);
}

TEST_F(MainWindowTest, WheelOutsideTheViewsChangesNothing) {
    CVelmorDlg& dlg = Open();
    const PlotAreas& a = dlg.Areas();
    // Between the plan view and the x-z view, and over the right-hand column.
    Wheel(dlg.PlotClient(), QPoint(a.plan.left() + 5, a.plan.bottom() + 3), 120);
    Wheel(dlg.PlotClient(), QPoint(a.frame.right() + 4, a.frame.top() + 4), 120);
    ExpectRange(dlg.State().displayX, -10, 10);
    ExpectRange(dlg.State().displayZ, -10, 10);
}

TEST_F(MainWindowTest, FourthViewZoomsZAlongItsVerticalAxis) {
    CVelmorDlg& dlg = Open();
    const QRect fourth = dlg.Areas().fourth;
    const QPoint point = At(fourth, 0.9, 0.25);
    const double g = double(point.y() - fourth.top()) / fourth.height();
    const double cz = 10 - g * 20;
    Wheel(dlg.PlotClient(), point, 120);
    ExpectRange(dlg.State().displayZ, cz - (cz + 10) * 0.8, cz + (10 - cz) * 0.8);
    ExpectRange(dlg.State().displayX, -8, 8);  // x and y about their centres
}

TEST_F(MainWindowTest, ZoomNeverReachesZeroWidth) {
    CVelmorDlg& dlg = Open();
    const QPoint point = At(dlg.Areas().xz, 0.3, 0.6);
    for (int i = 0; i < 400; ++i) Wheel(dlg.PlotClient(), point, 120);
    const VelmorState& s = dlg.State();
    for (const ValueRange* r : {&s.displayX, &s.displayY, &s.displayZ, &s.displayR}) {
        EXPECT_GE(r->Width(), kMinDisplayWidth);
        EXPECT_LT(r->Width(), kMinDisplayWidth / 0.8);
    }
    // Reading the three-decimal display fields back keeps them wider than zero.
    Click(kIdUpdate2D);
    EXPECT_GT(s.displayX.Width(), 0);
    EXPECT_GT(s.displayY.Width(), 0);
    EXPECT_NE(Text(kIdDisplayXMin), Text(kIdDisplayXMax));

    // Zooming out as far as it goes stays finite.
    for (int i = 0; i < 5000; ++i) dlg.ZoomAt(point, -1);
    EXPECT_TRUE(std::isfinite(s.displayX.Width()));
    EXPECT_TRUE(std::isfinite(s.displayR.min));
}

TEST_F(MainWindowTest, ZoomMenuCommandsZoomAtThePlanViewCentre) {
    CVelmorDlg& dlg = Open();
    dlg.MenuAction(kCmdZoomUp)->trigger();
    const QRect plan = dlg.Areas().plan;
    const double f = double(plan.width() / 2) / plan.width();
    const double cx = -10 + f * 20;
    ExpectRange(dlg.State().displayX, cx - (cx + 10) * 0.8, cx + (10 - cx) * 0.8);
    dlg.MenuAction(kCmdZoomDown)->trigger();
    EXPECT_NEAR(dlg.State().displayX.Width(), 20 * 0.8 * 1.2, 1e-12);
}

TEST_F(MainWindowTest, ResetZoomSpansAllThreeAnalysisRanges) {
    CVelmorDlg& dlg = Open();
    for (int id : {kIdAnalysisXMin, kIdAnalysisYMin}) Type(dlg.Field(id), "-1");
    for (int id : {kIdAnalysisXMax, kIdAnalysisYMax}) Type(dlg.Field(id), "1");
    dlg.ZoomAt(dlg.Areas().plan.center(), 1);
    Click(kIdResetZoom);
    const VelmorState& s = dlg.State();
    ExpectRange(s.displayX, -10, 10);  // the fixed z range dominates
    ExpectRange(s.displayZ, -10, 10);
    ExpectRange(s.displayR, -10, 10);

    Type(dlg.Field(kIdAnalysisXMin), "-20");
    Type(dlg.Field(kIdAnalysisXMax), "5");
    dlg.MenuAction(kCmdResetZoom)->trigger();
    ExpectRange(s.displayX, -20, 10);
    ExpectRange(s.displayY, -20, 10);
    ExpectRange(s.displayZ, -20, 10);
    ExpectRange(s.displayR, -15, 15);
    EXPECT_EQ(Text(kIdDisplayXMin), "-20.000");
    EXPECT_EQ(Text(kIdDisplayZMax), "10.000");

    // Reset Pan centres every range on 0 keeping its width.
    Click(kIdResetPan);
    ExpectRange(s.displayX, -15, 15);
    ExpectRange(s.displayR, -15, 15);
    EXPECT_EQ(Text(kIdDisplayYMin), "-15.000");
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
    const auto world = [&](QPoint p) {
        const VelmorState& s = dlg.State();
        return QPointF(
            s.displayX.min + double(p.x() - plan.left()) / plan.width() * s.displayX.Width(),
            s.displayY.max - double(p.y() - plan.top()) / plan.height() * s.displayY.Width());
    };
    const QPointF grabbed = world(start);

    QTest::mousePress(client, Qt::RightButton, Qt::NoModifier, start);
    EXPECT_EQ(dlg.State().panState, kPanPlan);
    EXPECT_EQ(client->cursor().shape(), Qt::ClosedHandCursor);
    // Less than one step (1.0) along both axes: nothing moves.
    const QPoint near = start + QPoint(int(unit * 0.6), -int(unit * 0.6));
    QTest::mouseMove(client, near);
    ExpectRange(dlg.State().displayX, -10, 10);
    ExpectRange(dlg.State().displayY, -10, 10);

    // Further: the grabbed point follows the mouse.
    const QPoint far = start + QPoint(int(unit * 3), int(unit * 2));
    QTest::mouseMove(client, far);
    EXPECT_NEAR(world(far).x(), grabbed.x(), 1e-9);
    EXPECT_NEAR(world(far).y(), grabbed.y(), 1e-9);
    EXPECT_NEAR(dlg.State().displayX.Width(), 20, 1e-9);
    EXPECT_LT(dlg.State().displayX.min, -10);
    EXPECT_GT(dlg.State().displayY.min, -10);
    EXPECT_EQ(Text(kIdDisplayXMin), FormatField(dlg.State().displayX.min));

    QTest::mouseRelease(client, Qt::RightButton, Qt::NoModifier, far);
    EXPECT_EQ(dlg.State().panState, kPanNone);
    EXPECT_EQ(client->cursor().shape(), Qt::ArrowCursor);
    const ValueRange after = dlg.State().displayX;
    QTest::mouseMove(client, start);  // no button: only the position read-out
    ExpectRange(dlg.State().displayX, after.min, after.max);
}

TEST_F(MainWindowTest, ShiftRightClickInThePlanViewStartsNoPan) {
    CVelmorDlg& dlg = Open();
    QWidget* client = dlg.PlotClient();
    QTest::mousePress(client, Qt::RightButton, Qt::ShiftModifier, dlg.Areas().plan.center());
    EXPECT_EQ(dlg.State().panState, kPanNone);
    QTest::mouseRelease(client, Qt::RightButton, Qt::ShiftModifier, dlg.Areas().plan.center());
    // In the x-z view Shift makes no difference.
    QTest::mousePress(client, Qt::RightButton, Qt::ShiftModifier, dlg.Areas().xz.center());
    EXPECT_EQ(dlg.State().panState, kPanXz);
    QTest::mouseRelease(client, Qt::RightButton, Qt::NoModifier, dlg.Areas().xz.center());
}

TEST_F(MainWindowTest, PanInTheRayViewMovesTheRAndZRanges) {
    CVelmorDlg& dlg = Open();
    QWidget* client = dlg.PlotClient();
    const QRect fourth = dlg.Areas().fourth;
    const QPoint start = fourth.center();
    QTest::mousePress(client, Qt::RightButton, Qt::NoModifier, start);
    EXPECT_EQ(dlg.State().panState, kPanFourth);
    const int dx = fourth.width() / 4, dy = -fourth.height() / 5;
    QTest::mouseMove(client, start + QPoint(dx, dy));
    const double dr = double(dx) / fourth.width() * 20;
    const double dz = -double(dy) / fourth.height() * 20;
    ExpectRange(dlg.State().displayR, -10 - dr, 10 - dr);
    ExpectRange(dlg.State().displayZ, -10 - dz, 10 - dz);
    ExpectRange(dlg.State().displayX, -10, 10);
    QTest::mouseRelease(client, Qt::RightButton, Qt::NoModifier, start);
}

TEST_F(MainWindowTest, LeftClicksSetTheCursorPoint) {
    CVelmorDlg& dlg = Open();
    QWidget* client = dlg.PlotClient();
    const PlotAreas& a = dlg.Areas();
    const QPoint p = At(a.plan, 0.25, 0.5);
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, p);
    EXPECT_NEAR(dlg.State().cursorX, -10 + double(p.x() - a.plan.left()) / a.plan.width() * 20,
                1e-12);
    EXPECT_NEAR(dlg.State().cursorY, 10 - double(p.y() - a.plan.top()) / a.plan.height() * 20,
                1e-12);

    const QPoint q = At(a.yz, 0.75, 0.25);
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, q);
    EXPECT_NEAR(dlg.State().cursorY, -10 + double(q.x() - a.yz.left()) / a.yz.width() * 20, 1e-12);
    EXPECT_NEAR(dlg.State().cursorZ, 10 - double(q.y() - a.yz.top()) / a.yz.height() * 20, 1e-12);

    const QPoint r = At(a.fourth, 0.5, 0.1);
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, r);
    EXPECT_NEAR(dlg.State().cursorZ, 10 - double(r.y() - a.fourth.top()) / a.fourth.height() * 20,
                1e-12);

    // With "Cursor" off the plan and profile views leave the cursor alone.
    QTest::mouseClick(dlg.Control(kIdCursor), Qt::LeftButton);
    EXPECT_EQ(dlg.State().cursor, 0);
    const double x = dlg.State().cursorX;
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, At(a.xz, 0.9, 0.9));
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, At(a.plan, 0.9, 0.9));
    EXPECT_EQ(dlg.State().cursorX, x);
}

TEST_F(MainWindowTest, MouseMoveWritesTheWorldPositionIntoTheStatusBar) {
    CVelmorDlg& dlg = Open();
    // A move without a button moves the pointer: keep the cascaded windows out of its way.
    for (QWidget* w : {dlg.Interpreter().Widget(), dlg.Shading3D().Widget(),
                       dlg.UdFdInitial().Widget(), dlg.UdFdFinal().Widget()})
        w->hide();
    QWidget* client = dlg.PlotClient();
    const PlotAreas& a = dlg.Areas();
    QTest::mouseMove(client, a.plan.topLeft());
    EXPECT_EQ(dlg.StatusPaneText(), "x = -10.000000 , y = 10.000000");
    QTest::mouseMove(client, a.xz.topLeft());
    EXPECT_EQ(dlg.StatusPaneText(), "x = -10.000000 , z = 10.000000");
    QTest::mouseMove(client, a.yz.topLeft());
    EXPECT_EQ(dlg.StatusPaneText(), "y = -10.000000 , z = 10.000000");
    QTest::mouseMove(client, a.fourth.topLeft());
    EXPECT_EQ(dlg.StatusPaneText(), "r = -10.000000 , z = 10.000000");
    QTest::mouseMove(client, QPoint(a.frame.right() + 3, a.frame.bottom() + 3));
    EXPECT_EQ(dlg.StatusPaneText(), "");
}

TEST_F(MainWindowTest, PatternListEnablesTheDelta3DFields) {
    CVelmorDlg& dlg = Open();
    auto* pattern = static_cast<QComboBox*>(dlg.Control(kIdPattern));
    const std::pair<int, std::pair<bool, bool>> cases[] = {
        {2, {true, false}}, {3, {false, true}}, {1, {true, true}}, {0, {true, true}}};
    for (const auto& [index, enabled] : cases) {
        pattern->setCurrentIndex(index);
        EXPECT_EQ(dlg.State().meshPattern, index);
        EXPECT_EQ(dlg.Control(kIdStep3DX)->isEnabled(), enabled.first) << index;
        EXPECT_EQ(dlg.Control(kIdStep3DY)->isEnabled(), enabled.second) << index;
    }
}

TEST_F(MainWindowTest, UseInterpreterWithoutCompiledCodeIsRefused) {
    CVelmorDlg& dlg = Open();
    auto* box = static_cast<QCheckBox*>(dlg.Control(kIdUseInterpreter));
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), "    -- intermediate code : none -- ... Abort !        ");
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Stop);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(dlg.State().interpreterMode, 0);
    EXPECT_FALSE(dlg.MenuAction(kCmdUseInterpreter)->isChecked());
    EXPECT_TRUE(dlg.MenuAction(kCmdOpenDll)->isEnabled());

    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_FALSE(dlg.MenuAction(kCmdUseInterpreter)->isChecked());
    EXPECT_EQ(dlg.State().interpreterMode, 0);
}

TEST_F(MainWindowTest, UseInterpreterSwitchesTheSurfaceToTheScript) {
    CVelmorDlg& dlg = Open();
    dlg.Engine().Compile("z = 0.01 * x * x;");
    ASSERT_GT(dlg.Engine().InstructionCount(), 0);
    auto* box = static_cast<QCheckBox*>(dlg.Control(kIdUseInterpreter));
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(m_messages.Shown().empty());
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(dlg.State().interpreterMode, 1);
    EXPECT_TRUE(dlg.Provider().InterpreterMode());
    EXPECT_TRUE(dlg.MenuAction(kCmdUseInterpreter)->isChecked());
    EXPECT_FALSE(dlg.MenuAction(kCmdOpenDll)->isEnabled());
    EXPECT_FALSE(dlg.ToolbarAction(kCmdOpenDll)->isEnabled());
    EXPECT_TRUE(dlg.Control(kIdN1)->isEnabled());
    EXPECT_TRUE(static_cast<CPlaceholderRecordWindow&>(dlg.UdFdInitial()).InterpreterMode());
    EXPECT_TRUE(static_cast<CPlaceholderRecordWindow&>(dlg.UdFdFinal()).InterpreterMode());
    EXPECT_EQ(dlg.RayStatusText().left(10), "RayTrace :");

    // A failed compile later keeps the mode, but updates refuse until a good compile.
    dlg.Engine().Compile("z = ;");
    ASSERT_EQ(dlg.Engine().InstructionCount(), 0);
    Click(kIdUpdate2D);
    EXPECT_EQ(m_messages.LastText(), kTextNoCode);
    Click(kIdMake3DModel);
    EXPECT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_EQ(dlg.State().interpreterMode, 1);

    // Switching off needs no code.
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(dlg.ToolbarAction(kCmdOpenDll)->isEnabled());
    EXPECT_FALSE(dlg.Control(kIdN2)->isEnabled());
    EXPECT_FALSE(static_cast<CPlaceholderRecordWindow&>(dlg.UdFdFinal()).InterpreterMode());
}

TEST_F(MainWindowTest, OnlyTheBoxRecomputesTheGradientIndexFlag) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/grin_medium.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    ASSERT_EQ(dlg.State().gradientIndex, 1);
    EXPECT_TRUE(dlg.Control(kIdDisplayNMin)->isEnabled());
    EXPECT_FALSE(dlg.Control(kIdCursor)->isEnabled());
    dlg.Engine().Compile("z = 0;");

    // The menu variant leaves the flag and what it enables.
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(dlg.State().interpreterMode, 1);
    EXPECT_EQ(dlg.State().gradientIndex, 1);
    EXPECT_TRUE(dlg.Control(kIdDisplayNMax)->isEnabled());
    EXPECT_FALSE(dlg.Control(kIdCursor)->isEnabled());
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    EXPECT_EQ(dlg.State().gradientIndex, 1);

    // The box sets it to 0 in interpreter mode and asks the library again when leaving.
    QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
    EXPECT_EQ(dlg.State().interpreterMode, 1);
    EXPECT_EQ(dlg.State().gradientIndex, 0);
    EXPECT_FALSE(dlg.Control(kIdDisplayNMax)->isEnabled());
    EXPECT_TRUE(dlg.Control(kIdCursor)->isEnabled());
    QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
    EXPECT_EQ(dlg.State().interpreterMode, 0);
    EXPECT_EQ(dlg.State().gradientIndex, 1);
    EXPECT_FALSE(dlg.Control(kIdCursor)->isEnabled());
}

TEST_F(MainWindowTest, OpenDllAsksForAFileAndReportsOneThatCannotBeUsed) {
    CVelmorDlg& dlg = Open();
    dlg.ToolbarAction(kCmdOpenDll)->trigger();  // cancelled: nothing happens
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    const FileDialogRequest& request = m_messages.FileDialogs()[0].request;
    EXPECT_FALSE(m_messages.FileDialogs()[0].save);
    EXPECT_EQ(request.title, "Open User Defined Surface DLL");
    EXPECT_EQ(request.initialDir, m_dir.path());
    EXPECT_TRUE(request.filter.startsWith("Shared Libraries (*.so)|*.so|"));
    EXPECT_TRUE(m_messages.Shown().empty());

    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/no_entry.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    EXPECT_EQ(m_messages.LastText(), "User_Defined_Surface DLL ? or PATH ?");
    EXPECT_EQ(m_messages.Shown().back().icon, MessageIcon::Question);
    EXPECT_FALSE(dlg.Provider().LibraryLoaded());

    // A version-1 library retitles "UD FD Initial" and resets zoom and pan.
    dlg.ZoomAt(dlg.Areas().plan.center(), 1);
    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/entry2_only.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    EXPECT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_EQ(dlg.UdFdInitial().Widget()->windowTitle(), "Initial USER_DATA FIXED_DATA2");
    EXPECT_EQ(dlg.UdFdFinal().Widget()->windowTitle(), "Final USER_DATA FIXED_DATA");
    ExpectRange(dlg.State().displayX, -10, 10);
}

TEST_F(MainWindowTest, WindowMenuShowsAndRaisesASecondaryWindow) {
    CVelmorDlg& dlg = Open();
    QWidget* shading = dlg.Shading3D().Widget();
    shading->hide();
    dlg.ToolbarAction(kCmdShowShading3D)->trigger();
    EXPECT_TRUE(shading->isVisible());
    QWidget* initial = dlg.UdFdInitial().Widget();
    initial->showMinimized();
    dlg.MenuAction(kCmdShowUdFdInitial)->trigger();
    EXPECT_TRUE(initial->isVisible());
    EXPECT_FALSE(initial->isMinimized());

    // "Load INI ..." and "Store INI ..." do nothing.
    dlg.MenuAction(kCmdLoadIni)->trigger();
    dlg.MenuAction(kCmdStoreIni)->trigger();
    EXPECT_TRUE(m_messages.Shown().empty());
    EXPECT_TRUE(m_messages.FileDialogs().empty());
    EXPECT_FALSE(QFile::exists(m_settingsPath));
}

TEST_F(MainWindowTest, LayoutKeepsTheMinimumTheColumnAndSquarePlotAreas) {
    CVelmorDlg& dlg = Open();
    dlg.resize(300, 200);
    EXPECT_GE(dlg.width(), 620);
    EXPECT_GE(dlg.height(), 580);

    for (const QSize size : {QSize(620, 580), QSize(1400, 1000), QSize(900, 1100)}) {
        dlg.resize(size);
        QApplication::processEvents();
        QWidget* client = dlg.PlotClient();
        const PlotAreas& a = dlg.Areas();
        // The frame stretches: fixed margins to all four edges.
        EXPECT_EQ(a.frame.left(), 8);
        EXPECT_EQ(a.frame.top(), 8);
        const int frameRightMargin = client->width() - (a.frame.left() + a.frame.width());
        const int frameBottomMargin = client->height() - (a.frame.top() + a.frame.height());
        EXPECT_EQ(frameRightMargin, 280) << size.width();
        EXPECT_EQ(frameBottomMargin, 60) << size.height();
        // Four squares of side s / 2 - 4 in the corners of the squared frame.
        const int s = std::min(a.frame.width(), a.frame.height());
        const int q = s / 2 - 4;
        EXPECT_EQ(a.plan, QRect(10, 10, q, q));
        EXPECT_EQ(a.xz, QRect(10, 8 + s - q - 2, q, q));
        EXPECT_EQ(a.yz, QRect(8 + s - q - 2, 8 + s - q - 2, q, q));
        EXPECT_EQ(a.fourth, QRect(8 + s - q - 2, 10, q, q));
        // The column keeps its distance from the right edge and the top; Exit its corner.
        const QWidget* update = dlg.Control(kIdUpdate2D);
        EXPECT_EQ(client->width() - update->geometry().right(), 9);
        EXPECT_EQ(update->y(), 328);
        const QWidget* exit = dlg.Control(kIdExit);
        EXPECT_EQ(client->width() - (exit->x() + exit->width()), 8);
        EXPECT_EQ(client->height() - (exit->y() + exit->height()), 8);
        // The two texts stretch with the width below the frame.
        EXPECT_EQ(dlg.Control(kIdRayStatus)->width(), a.frame.width());
        EXPECT_EQ(dlg.Control(kIdCursorReadout)->y(), client->height() - 36);
        // Nothing of the column runs into the frame.
        EXPECT_GE(dlg.Control(kIdAnalysisXMin)->x() - 98, a.frame.left() + a.frame.width() + 8);
    }
}

TEST_F(MainWindowTest, CancelInTheCloseQuestionKeepsRunningAndWritesNothing) {
    CVelmorDlg& dlg = Open();
    QSignalSpy closed(&dlg, &CVelmorDlg::Closed);
    m_messages.QueueAnswer(MessageAnswer::Cancel);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), "  Close ? ");
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Question);
    EXPECT_EQ(m_messages.Shown()[0].buttons, MessageButtons::OkCancel);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(QFile::exists(m_settingsPath));

    m_messages.QueueAnswer(MessageAnswer::Cancel);
    Click(kIdExit);
    EXPECT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(QFile::exists(m_settingsPath));

    m_messages.QueueAnswer(MessageAnswer::Ok);
    dlg.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.Interpreter().Widget()->isVisible());
    EXPECT_TRUE(QFile::exists(m_settingsPath));
}

TEST_F(MainWindowTest, AChangedScriptIsOfferedForSavingBeforeTheProgramEnds) {
    CVelmorDlg& dlg = Open();
    auto& interpreter = dynamic_cast<CDialogInerpreter&>(dlg.Interpreter());
    interpreter.SourceBox()->setPlainText("z = x * y;\n");
    QSignalSpy closed(&dlg, &CVelmorDlg::Closed);
    m_messages.QueueAnswer(MessageAnswer::Ok);      // "  Close ? "
    m_messages.QueueAnswer(MessageAnswer::Cancel);  // save the script?
    dlg.close();
    ASSERT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_EQ(m_messages.Shown()[1].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(QFile::exists(m_settingsPath));

    m_messages.QueueAnswer(MessageAnswer::Ok);
    m_messages.QueueAnswer(MessageAnswer::No);  // discard it
    dlg.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(QFile::exists(m_settingsPath));
}

TEST_F(MainWindowTest, EscapeKeyAbortsScriptRunsWhileDownAndShortlyAfter) {
    CVelmorDlg& dlg = Open();
    CScriptEngine& engine = dlg.Engine();
    engine.Compile("z = x + y;");
    ASSERT_GT(engine.InstructionCount(), 0);
    const auto run = [&engine] {
        engine.ClearRunErrorCounters();
        engine.SetInputs(1, 2);
        engine.Run(false);
        return engine.RunErrorCounter(kRunErrorAbort);
    };
    EXPECT_EQ(run(), 0);
    // Escape on the main window would ask to close; any other window will do.
    QWidget* other = dlg.UdFdFinal().Widget();
    QTest::keyPress(other, Qt::Key_Escape);
    EXPECT_GT(run(), 0);
    QTest::keyRelease(other, Qt::Key_Escape);
    EXPECT_GT(run(), 0);  // a quick tap is not lost
    QTest::qWait(int(CEscapeKeyWatch::kLatch.count()) + 100);
    EXPECT_EQ(run(), 0);
}

TEST_F(MainWindowTest, EnterDoesNotEndTheProgram) {
    CVelmorDlg& dlg = Open();
    QSignalSpy closed(&dlg, &CVelmorDlg::Closed);
    QTest::keyClick(dlg.Field(kIdStep2DX), Qt::Key_Return);
    QTest::keyClick(dlg.Field(kIdAnalysisXMin), Qt::Key_Enter);
    dlg.Control(kIdExit)->setFocus();
    QTest::keyClick(dlg.Control(kIdExit), Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(m_messages.Shown().empty());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(QFile::exists(m_settingsPath));
}

TEST_F(MainWindowTest, DestroyingTheWindowDestroysTheSecondaryWindows) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/grin_medium.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    QPointer<QWidget> windows[] = {dlg.UdFdFinal().Widget(), dlg.UdFdInitial().Widget(),
                                   dlg.Shading3D().Widget(), dlg.Interpreter().Widget()};
    Close();
    for (const QPointer<QWidget>& window : windows) EXPECT_TRUE(window.isNull());
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

// The window at its minimum and at a large size: every control of the right-hand column and
// "Exit" inside the client area, none overlapping another or the frame. With
// VELMOR_SCREENSHOT_DIR set, the two grabs are saved there.
TEST_F(MainWindowTest, ControlsFitWithoutOverlapFromMinimumToLarge) {
    CVelmorDlg& dlg = Open();
    const QByteArray shotDir = qgetenv("VELMOR_SCREENSHOT_DIR");
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
        const QRect frame = dlg.Areas().frame;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const QRect r = controls[i]->geometry();
            EXPECT_TRUE(client->rect().contains(r)) << controls[i]->objectName().toStdString();
            const bool belowFrame = controls[i] == dlg.Control(kIdRayStatus) ||
                                    controls[i] == dlg.Control(kIdCursorReadout);
            if (!belowFrame) {
                EXPECT_FALSE(r.intersects(frame)) << r.x() << "," << r.y();
            }
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(r.intersects(controls[j]->geometry()))
                    << r.x() << "," << r.y() << " / " << controls[j]->x() << ","
                    << controls[j]->y();
        }
        const QImage image = dlg.grab().toImage();
        EXPECT_EQ(image.size(), dlg.size() * image.devicePixelRatio());
        if (!shotDir.isEmpty())
            image.save(
                QString::fromLocal8Bit(shotDir) +
                QStringLiteral("/main_window_%1x%2.png").arg(size.width()).arg(size.height()));
    }
}

}  // namespace
}  // namespace velmor
