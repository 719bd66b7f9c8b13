// Renders the four views of three surfaces into PNG files for the documentation. Runs only
// when VELMOR_VIEWS_SHOTS names the directory to write to.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <cstdlib>

#include "plot_test_support.h"
#include "plots/repaint.h"
#include "plots/surface_map.h"

namespace velmor::test {
namespace {

// The default example script of the interpreter window.
constexpr const char* kExampleScript =
    "//program ex. <Even Asphere>\r\n"
    "c = 0.25;\t//curvature\r\n"
    "k = 0.0;\t//conic constant\r\n"
    "a1 = 0.0;\r\n"
    "a2 = 0.0;\r\n"
    "a3 = 0.0;\r\n"
    "a4 = 0.0;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
    "A = max(0.0, A);\r\n"
    "z = c*rr / (1.0 + sqrt(A));\r\n"
    "z = z + a1*rr;\r\n"
    "z = z + a2*rr*rr;\r\n"
    "z = z + a3*rr*rr*rr;\r\n"
    "z = z + a4*rr*rr*rr*rr;\r\n"
    "z = min(z, 2.0);\t//limitation\r\n";

void Shoot(ProgramSurface& program, PlotState state, const QString& file) {
    const int side = 320, gap = 4;
    CSurfaceMap map;
    const PlotSizes sizes{{side, side}, {side, side}, {side, side}, {side, side}};
    RepaintViews(state, program.surface, map, sizes, nullptr);
    const RepaintResult result = RepaintViews(state, program.surface, map, sizes, nullptr);
    QImage shot(2 * side + 3 * gap, 2 * side + 3 * gap + 40, QImage::Format_RGB32);
    shot.fill(qRgb(240, 240, 240));
    QPainter painter(&shot);
    PaintViews(painter, result, QRect(gap, gap, side, side), QRect(gap, 2 * gap + side, side, side),
               QRect(2 * gap + side, 2 * gap + side, side, side),
               QRect(2 * gap + side, gap, side, side));
    painter.setFont(PlotFont());
    painter.drawText(QRect(gap, 2 * side + 3 * gap, 2 * side, 40), Qt::AlignLeft | Qt::AlignTop,
                     result.cursorReadout);
    painter.end();
    ASSERT_TRUE(shot.save(file));
}

TEST(ViewsScreenshots, BuiltInScriptAndGradientIndex) {
    const char* dir = std::getenv("VELMOR_VIEWS_SHOTS");
    if (dir == nullptr) GTEST_SKIP() << "set VELMOR_VIEWS_SHOTS to write the screenshots";
    {
        ProgramSurface program;
        Shoot(program, program.Traced(), QDir(dir).filePath("views_builtin.png"));
    }
    {
        ProgramSurface program;
        ASSERT_TRUE(program.UseScript(kExampleScript));
        Shoot(program, program.Traced(), QDir(dir).filePath("views_script.png"));
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
        Shoot(program, state, QDir(dir).filePath("views_gradient_index.png"));
    }
}

}  // namespace
}  // namespace velmor::test
