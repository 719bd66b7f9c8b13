#include "ui/view3d/ogl_text.h"

#include <GL/gl.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPainter>
#include <QScreen>
#include <cmath>

namespace velmor {

namespace {

// Asked-for faces; where the platform has none of them the monospaced fallback answers.
const QString kJapaneseFace =
    QString::fromUtf8("\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");

double VerticalDpi() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->logicalDotsPerInchY();
    return 96.0;
}

}  // namespace

TextBitmap RasteriseTextLine(const QFont& font, const QString& line) {
    TextBitmap bitmap;
    if (line.isEmpty()) return bitmap;
    const QFontMetrics metrics(font);
    const int textWidth =
        std::max(metrics.horizontalAdvance(line), metrics.boundingRect(line).right() + 1);
    bitmap.height = std::max(1, metrics.height());
    bitmap.width = std::max(32, (textWidth + 31) / 32 * 32);
    bitmap.stride = bitmap.width / 8;
    bitmap.bits.assign(static_cast<size_t>(bitmap.stride) * bitmap.height, 0);

    QImage image(bitmap.width, bitmap.height, QImage::Format_Grayscale8);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(0, metrics.ascent(), line);
    }
    // glBitmap takes the bottom row first.
    for (int y = 0; y < bitmap.height; ++y) {
        const uchar* src = image.constScanLine(y);
        unsigned char* dst =
            &bitmap.bits[static_cast<size_t>(bitmap.height - 1 - y) * bitmap.stride];
        for (int x = 0; x < bitmap.width; ++x)
            if (src[x] >= 128) dst[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
    return bitmap;
}

COGLJText::COGLJText(const QString& faceName, float pointSize)
    : m_faceName(faceName.isEmpty() ? kJapaneseFace : faceName.left(32)), m_pointSize(pointSize) {}

COGLJText::~COGLJText() {
    // The list belongs to the context that built it; without a current context it goes with
    // that context.
    if (m_list != 0 && QOpenGLContext::currentContext() != nullptr) Release();
}

void COGLJText::SetText(const QString& text) {
    const QString cut = text.left(kMaxChars);
    if (cut == m_text) return;
    m_text = cut;
    Release();
}

void COGLJText::Release() {
    if (m_list != 0 && QOpenGLContext::currentContext() != nullptr) glDeleteLists(m_list, 1);
    m_list = 0;
}

const QFont& COGLJText::Font() {
    if (!m_font) {
        QFont font(m_faceName);
        font.setStyleHint(QFont::TypeWriter, QFont::NoAntialias);
        font.setFixedPitch(true);
        font.setWeight(QFont::Normal);
        const int size = static_cast<int>(m_pointSize);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(size * VerticalDpi() / 72.0))));
        m_font = font;
    }
    return *m_font;
}

void COGLJText::Draw() {
    if (m_list != 0) {
        glCallList(m_list);
        return;
    }
    if (m_text.isEmpty()) return;
    const QFont& font = Font();
    const int lineHeight = std::max(1, QFontMetrics(font).height());

    m_list = glGenLists(1);
    if (m_list == 0) return;
    glNewList(m_list, GL_COMPILE_AND_EXECUTE);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const QStringList lines = m_text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty()) continue;
        const TextBitmap bitmap = RasteriseTextLine(font, line);
        // The bitmap's origin is its top-left corner shifted down by i lines, and the raster
        // position does not move, so all lines hang from the same point.
        glBitmap(bitmap.width, bitmap.height, 0.0f, static_cast<float>((i + 1) * lineHeight), 0.0f,
                 0.0f, bitmap.bits.data());
    }
    glPopClientAttrib();
    glEndList();
}

}  // namespace velmor
