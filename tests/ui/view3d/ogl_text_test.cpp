// Text bitmaps of the 3D window's help line: padding and row order.
#include "ui/view3d/ogl_text.h"

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

// Mean row of the set pixels, counted in stored order (bottom row first).
double MeanStoredRow(const TextBitmap& bitmap) {
    double sum = 0;
    int count = 0;
    for (int row = 0; row < bitmap.height; ++row)
        for (int x = 0; x < bitmap.width; ++x)
            if (bitmap.bits[static_cast<size_t>(row) * bitmap.stride + x / 8] & (0x80 >> (x % 8)))
                sum += row, ++count;
    return count ? sum / count : -1;
}

TEST(OglTextBitmap, RowsPaddedTo32PixelsAndStoredBottomFirst) {
    QFont font(QStringLiteral("FixedSys"));
    font.setStyleHint(QFont::TypeWriter, QFont::NoAntialias);
    font.setPixelSize(20);
    const TextBitmap one = RasteriseTextLine(font, QStringLiteral("T"));
    EXPECT_EQ(one.width, 32);
    EXPECT_EQ(one.stride, 4);
    EXPECT_EQ(one.bits.size(), static_cast<size_t>(one.stride * one.height));
    EXPECT_EQ(RasteriseTextLine(font, QStringLiteral("L-Drag:Spin, R-Drag:Pan")).width % 32, 0);
    // "T" carries its ink high, "_" low: stored bottom row first, T's mean row is the larger.
    EXPECT_GT(MeanStoredRow(one), MeanStoredRow(RasteriseTextLine(font, QStringLiteral("_"))) + 4);
    EXPECT_EQ(RasteriseTextLine(font, QString()).width, 0);
}

}  // namespace
}  // namespace velmor::gltest
