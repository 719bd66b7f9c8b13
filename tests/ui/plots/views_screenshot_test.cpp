// Writes the close-ups of the four views in docs/ (views_builtin.png, views_script.png,
// views_gradient_index.png): each view 320 pixels square, 4 pixels apart, the cursor read-out
// below. Disabled; run by hand:
//   QT_QPA_PLATFORM=offscreen ./build/bin/test_ui --gtest_also_run_disabled_tests
//     --gtest_filter='*ViewsScreenshots*'
#include <gtest/gtest.h>

#include <QPainter>
#include <cstdio>

#include "core/interp/default_script.h"
#include "plot_test_support.h"
#include "ui/plots/surface_map.h"

namespace velmor::test {
namespace {

void Shoot(ProgramSurface& program, const PlotState& state, const char* name) {
    constexpr int kSide = 320, kGap = 4;
    PlotAreas areas;
    areas.plan = QRect(kGap, kGap, kSide, kSide);
    areas.fourth = QRect(2 * kGap + kSide, kGap, kSide, kSide);
    areas.xz = QRect(kGap, 2 * kGap + kSide, kSide, kSide);
    areas.yz = QRect(2 * kGap + kSide, 2 * kGap + kSide, kSide, kSide);
    CSurfaceMap map;
    RepaintViews(state, program.surface, map, areas, nullptr);  // builds the map
    const RepaintResult views = RepaintViews(state, program.surface, map, areas, nullptr);
    QImage shot(2 * kSide + 3 * kGap, 2 * kSide + 3 * kGap + 40, QImage::Format_RGB32);
    shot.fill(qRgb(240, 240, 240));
    {
        QPainter painter(&shot);
        for (const auto& [image, area] : {std::pair{&views.plan, &areas.plan},
                                          {&views.xz, &areas.xz},
                                          {&views.yz, &areas.yz},
                                          {&views.fourth, &areas.fourth}})
            painter.drawImage(area->topLeft(), *image);
        painter.setFont(PlotFont());
        painter.drawText(QRect(kGap, 2 * kSide + 3 * kGap, 2 * kSide, 40),
                         Qt::AlignLeft | Qt::AlignTop, views.cursorReadout);
    }
    const QString path = QStringLiteral(VELMOR_SOURCE_DIR "/docs/") + QLatin1String(name);
    ASSERT_TRUE(shot.save(path));
    std::printf("wrote %s\n", qPrintable(path));
}

TEST(ViewsScreenshots, DISABLED_BuiltInScriptAndGradientIndex) {
    {
        ProgramSurface program;
        Shoot(program, program.Traced(), "views_builtin.png");
    }
    {
        ProgramSurface program;
        ASSERT_TRUE(program.UseScript(kDefaultScript));
        Shoot(program, program.Traced(), "views_script.png");
    }
    {
        ProgramSurface program;
        ASSERT_TRUE(program.Open("grin_medium.so"));
        PlotState state = program.Traced();
        ASSERT_TRUE(state.gradientIndex);
        state.cursorX = 3.0;
        state.cursorY = 2.0;
        state.cursorZ = 1.0;
        state.displayN = {-0.5, 2.0};
        Shoot(program, state, "views_gradient_index.png");
    }
}

}  // namespace
}  // namespace velmor::test
