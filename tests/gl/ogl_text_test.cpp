// Text bitmaps of the 3D window: padding, row order, and the display list's life.
#include "view3d/ogl_text.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

QFont MonoFont(int pixels) {
    QFont font(QStringLiteral("FixedSys"));
    font.setStyleHint(QFont::TypeWriter, QFont::NoAntialias);
    font.setPixelSize(pixels);
    return font;
}

// Mean row of the set pixels, counted in stored order (bottom row first).
double MeanStoredRow(const TextBitmap& bitmap) {
    double sum = 0;
    int count = 0;
    for (int row = 0; row < bitmap.height; ++row)
        for (int x = 0; x < bitmap.width; ++x)
            if (bitmap.bits[static_cast<size_t>(row) * bitmap.stride + x / 8] & (0x80 >> (x % 8))) {
                sum += row;
                ++count;
            }
    return count ? sum / count : -1;
}

TEST(OglTextBitmap, RowsPaddedTo32PixelsAndStoredBottomFirst) {
    const QFont font = MonoFont(20);
    const TextBitmap one = RasteriseTextLine(font, QStringLiteral("T"));
    EXPECT_EQ(one.width, 32);
    EXPECT_EQ(one.stride, 4);
    EXPECT_EQ(one.bits.size(), static_cast<size_t>(one.stride * one.height));
    EXPECT_GE(one.height, 18);

    const TextBitmap longer = RasteriseTextLine(font, QStringLiteral("L-Drag:Spin, R-Drag:Pan"));
    EXPECT_EQ(longer.width % 32, 0);
    EXPECT_GE(longer.width, 23 * 8);
    EXPECT_EQ(longer.stride * 8, longer.width);

    // "T" carries its ink high, "_" low: stored bottom row first, T's mean row is the larger.
    const double t = MeanStoredRow(one);
    const double underscore = MeanStoredRow(RasteriseTextLine(font, QStringLiteral("_")));
    ASSERT_GE(t, 0);
    ASSERT_GE(underscore, 0);
    EXPECT_GT(t, underscore + 4);
    // One bit per pixel, nothing beyond the text on the right.
    for (int y = 0; y < one.height; ++y)
        for (int x = 24; x < 32; ++x) EXPECT_FALSE(one.IsSet(x, y));

    EXPECT_EQ(RasteriseTextLine(font, QString()).width, 0);
}

TEST_F(Dialog3DTest, TextListIsRebuiltOnlyWhenTheTextChanges) {
    View()->makeCurrent();
    COGLJText text(QStringLiteral("FixedSys"), 12.0f);
    text.SetText(QStringLiteral("one\r\ntwo"));
    glRasterPos2f(0, 0);
    text.Draw();
    const unsigned list = text.ListId();
    EXPECT_NE(list, 0u);
    text.SetText(QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(text.ListId(), list);
    text.SetText(QStringLiteral("three"));
    EXPECT_EQ(text.ListId(), 0u);
    text.Draw();
    EXPECT_NE(text.ListId(), 0u);
    text.Release();
    View()->doneCurrent();
}

}  // namespace
}  // namespace velmor::gltest
