// Text in the OpenGL view of the 3D window: each line is rasterised once into a one-bit bitmap
// and replayed from a display list until the text changes.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace velmor {

// One line of text as glBitmap wants it: rows of `stride` bytes (a multiple of four, so the
// width is padded to 32 pixels), most significant bit first, bottom row first.
struct TextBitmap {
    int width = 0;   // padded width in pixels
    int height = 0;  // line height in pixels
    int stride = 0;  // bytes per row
    std::vector<unsigned char> bits;
};

// Rasterises `line` white on black without antialiasing and thresholds it into a TextBitmap.
// An empty line gives an empty bitmap (width 0).
TextBitmap RasteriseTextLine(const QFont& font, const QString& line);

class COGLJText {
public:
    static constexpr int kMaxChars = 4095;  // the text buffer holds 4096 characters

    // An empty face name asks for the Japanese system face; any monospaced font stands in.
    COGLJText(const QString& faceName, float pointSize);
    virtual ~COGLJText();
    COGLJText(const COGLJText&) = delete;
    COGLJText& operator=(const COGLJText&) = delete;

    // Replaces the text (cut to kMaxChars characters); an equal text changes nothing, another
    // one drops the display list so that the next Draw builds it again.
    void SetText(const QString& text);
    const QString& Text() const { return m_text; }

    // Draws at the current raster position in the current raster colour: the first line's top
    // edge lies at the raster position, each further line one line height lower. Needs the
    // OpenGL context current.
    void Draw();

    // Deletes the display list; the context that drew the text must be current.
    void Release();

    const QFont& Font();

private:
    QString m_faceName;
    float m_pointSize;
    std::optional<QFont> m_font;  // made on the first draw
    unsigned m_list = 0;          // 0: to be built
    QString m_text;
};

}  // namespace velmor
