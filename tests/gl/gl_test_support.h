// Shared helpers of the 3D window tests: a shown window under a real X display, models of known
// triangles, and pixel checks on the view's framebuffer.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <vector>

#include "view3d/dialog_3d.h"
#include "view3d/model.h"

namespace velmor::gltest {

struct Rgb {
    int r, g, b;
};

inline Rgb PixelAt(const QImage& image, QPoint p) {
    const QRgb c = image.pixel(p);
    return {qRed(c), qGreen(c), qBlue(c)};
}

inline bool Near(Rgb c, Rgb want, int tolerance = 4) {
    return std::abs(c.r - want.r) <= tolerance && std::abs(c.g - want.g) <= tolerance &&
           std::abs(c.b - want.b) <= tolerance;
}

inline bool IsBlack(Rgb c) {
    return c.r < 8 && c.g < 8 && c.b < 8;
}
inline bool IsYellow(Rgb c) {
    return c.r > 200 && c.g > 200 && c.b < 60;
}
inline bool IsRed(Rgb c) {
    return c.r > 200 && c.g < 60 && c.b < 60;
}
inline bool IsBlue(Rgb c) {
    return c.r < 60 && c.g < 60 && c.b > 200;
}

// True when some pixel within `radius` of p satisfies `test`.
inline bool AnyNear(const QImage& image, QPoint p, int radius,
                    const std::function<bool(Rgb)>& test) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q(p.x() + dx, p.y() + dy);
            if (image.rect().contains(q) && test(PixelAt(image, q))) return true;
        }
    return false;
}

inline int CountIn(const QImage& image, const QRect& rect, const std::function<bool(Rgb)>& test) {
    int count = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (test(PixelAt(image, QPoint(x, y)))) ++count;
    return count;
}

inline void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button,
                      Qt::MouseButtons buttons, QPoint pos) {
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void SendWheel(QWidget* widget, QPoint pos, int delta) {
    QWheelEvent event(QPointF(pos), widget->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// A model laid out as a surface mesh or an STL import: unshared vertices, one face normal per
// face, one group listing the faces in order.
inline void MakeTriangleModel(const std::vector<std::array<Vec3f, 3>>& triangles, CModel& model,
                              const modelMaterial& material = modelMaterial::Surface()) {
    model.Clear();
    auto group = std::make_unique<modelGroup>();
    group->material = material;
    for (size_t k = 0; k < triangles.size(); ++k) {
        modelFace face;
        for (int c = 0; c < 3; ++c) {
            model.vertices.push_back(triangles[k][c]);
            face.vertex[c] = static_cast<int>(3 * k + c);
        }
        const Vec3f& a = triangles[k][0];
        const Vec3f& b = triangles[k][1];
        const Vec3f& c = triangles[k][2];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float vx = c.x - b.x, vy = c.y - b.y, vz = c.z - b.z;
        model.faceNormals.push_back({uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx});
        face.faceNormal = static_cast<int>(k);
        model.faces.push_back(face);
        group->faces.push_back(static_cast<int>(k));
    }
    model.groups.push_back(std::move(group));
}

// A shown 3D window of a fixed size; skipped where OpenGL windows cannot exist.
class Dialog3DTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            GTEST_SKIP() << "OpenGL windows need a display (run under xvfb-run)";
        dialog = std::make_unique<CDialog3D>();
        dialog->resize(600, 540);  // the axes (20 units at zoom 10) and labels fit
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        ASSERT_TRUE(dialog->HasContext());
    }
    void TearDown() override { dialog.reset(); }

    QOpenGLWidget* View() const { return dialog->View(); }
    QImage Grab() const { return View()->grabFramebuffer(); }

    // The view pixel of model point (x, y, 0) with the view as Reset leaves it (pan target at
    // the origin, no rotation).
    QPoint Pixel(float x, float y) const {
        const float zoom = dialog->Zoom();
        const auto& pan = dialog->PanTarget();
        return QPoint(static_cast<int>(View()->width() / 2.0 + (x - pan[0]) * zoom),
                      static_cast<int>(View()->height() / 2.0 - (y - pan[1]) * zoom));
    }

    std::unique_ptr<CDialog3D> dialog;
};

}  // namespace velmor::gltest
