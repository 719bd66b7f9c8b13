// Shared helpers of the 3D window tests: a shown window under a real X display, models of known
// triangles, and pixel checks on the view's framebuffer.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QTest>
#include <functional>

#include "core/view3d/model.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor::gltest {

// Whether the program runs where an OpenGL window can be shown: not on Qt's offscreen or
// minimal platform, which have none.
inline bool HasOpenGlWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}
// Whether a display to show windows on is given.
inline bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// For a fixture's SetUp: true where OpenGL windows can be shown. Elsewhere the test skips only
// when no display is given at all (a test program run by hand). The test command always gives
// one (scripts/test runs ctest under xvfb-run), and there the test fails: were the windows
// unable to draw (QT_QPA_PLATFORM=offscreen left in the environment, say), every test would
// skip and the run would pass having drawn nothing. SetUp returns when this is false.
inline bool RequireOpenGlWindows() {
    if (HasOpenGlWindows()) return true;
    if (HasDisplay())  // a fatal failure, so that derived fixtures' SetUp returns too
        [] {
            FAIL() << "a display is given (DISPLAY=" << qgetenv("DISPLAY").constData()
                   << ") but Qt runs on the \"" << QGuiApplication::platformName().toStdString()
                   << "\" platform, where OpenGL windows cannot be shown: unset QT_QPA_PLATFORM "
                      "or set it to xcb";
        }();
    else
        [] { GTEST_SKIP() << "no display: OpenGL windows need one (run under xvfb-run)"; }();
    return false;
}

struct Rgb {
    int r, g, b;
};
inline Rgb PixelAt(const QImage& image, QPoint p) {
    const QRgb c = image.pixel(p);
    return {qRed(c), qGreen(c), qBlue(c)};
}
inline bool Near(Rgb c, Rgb want, int tolerance = 3) {
    return std::abs(c.r - want.r) <= tolerance && std::abs(c.g - want.g) <= tolerance &&
           std::abs(c.b - want.b) <= tolerance;
}
inline const auto IsBlack = [](Rgb c) { return c.r < 8 && c.g < 8 && c.b < 8; };
inline const auto IsYellow = [](Rgb c) { return c.r > 200 && c.g > 200 && c.b < 60; };

inline int CountIn(const QImage& image, const QRect& rect, const std::function<bool(Rgb)>& test) {
    int count = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) count += test(PixelAt(image, QPoint(x, y)));
    return count;
}
inline bool AnyNear(const QImage& image, QPoint p, int radius,
                    const std::function<bool(Rgb)>& test) {
    return CountIn(image, QRect(p - QPoint(radius, radius), QSize(2, 2) * radius + QSize(1, 1)),
                   test) > 0;
}

// Press, move and release with one button.
inline void Drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to) {
    const auto send = [widget](QEvent::Type type, Qt::MouseButton b, Qt::MouseButtons bs,
                               QPoint p) {
        QMouseEvent event(type, QPointF(p), widget->mapToGlobal(QPointF(p)), b, bs, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, button, button, from);
    send(QEvent::MouseMove, Qt::NoButton, button, to);
    send(QEvent::MouseButtonRelease, button, Qt::NoButton, to);
}
inline void SendWheel(QWidget* widget, QPoint pos, int delta) {
    QWheelEvent event(QPointF(pos), widget->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// A model laid out as a surface mesh or an STL import: unshared vertices, one face normal per
// face, one group listing the faces in order.
inline void MakeTriangleModel(const std::vector<std::array<Vec3f, 3>>& triangles, CModel& model) {
    model.Clear();
    auto group = std::make_unique<modelGroup>();
    group->material = modelMaterial::Surface();
    for (const auto& t : triangles) {
        const int k = static_cast<int>(model.faces.size());
        model.vertices.insert(model.vertices.end(), t.begin(), t.end());
        model.faceNormals.push_back(TriangleNormal(t[0], t[1], t[2]));
        model.faces.push_back(modelFace{{3 * k, 3 * k + 1, 3 * k + 2}, {-1, -1, -1}, k});
        group->faces.push_back(k);
    }
    model.groups.push_back(std::move(group));
}

// A sag z(x, y) over [-half, half]^2 meshed as n x n cells of two triangles each.
inline void MakeGridModel(int n, float half, float (*sag)(float, float), CModel& model) {
    std::vector<std::array<Vec3f, 3>> triangles;
    const float step = 2 * half / n;
    const auto p = [&](int i, int j) {
        return Vec3f{-half + i * step, -half + j * step, sag(-half + i * step, -half + j * step)};
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            triangles.push_back({p(i, j), p(i + 1, j), p(i + 1, j + 1)});
            triangles.push_back({p(i, j), p(i + 1, j + 1), p(i, j + 1)});
        }
    MakeTriangleModel(triangles, model);
}

// A shown 3D window of a fixed size, with its OpenGL context. Skipped only without a display;
// with one, a window that does not show or draw fails.
class Dialog3DTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RequireOpenGlWindows()) return;
        dialog = std::make_unique<CDialog3D>();
        dialog->resize(600, 540);  // the axes (20 units at zoom 10) and labels fit
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        ASSERT_TRUE(dialog->HasContext());
    }
    void TearDown() override { dialog.reset(); }

    QOpenGLWidget* View() const { return dialog->View(); }
    QImage Grab() const { return View()->grabFramebuffer(); }
    QPoint Centre() const { return QPoint(View()->width() / 2, View()->height() / 2); }
    // The view pixel of model point (x, y, 0) with no rotation.
    QPoint Pixel(QPointF p) const {
        const float zoom = dialog->Zoom();
        const auto& pan = dialog->PanTarget();
        return QPoint(static_cast<int>(View()->width() / 2.0 + (p.x() - pan[0]) * zoom),
                      static_cast<int>(View()->height() / 2.0 - (p.y() - pan[1]) * zoom));
    }
    Rgb At(const QImage& image, QPointF p) const { return PixelAt(image, Pixel(p)); }
    void PickAt(QPointF p) { dialog->PickAt(Pixel(p).x(), Pixel(p).y()); }
    void Run(std::initializer_list<int> ids) {
        for (int id : ids) dialog->RunCommand(id);
    }

    std::unique_ptr<CDialog3D> dialog;
};

}  // namespace velmor::gltest
