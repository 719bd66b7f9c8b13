#include "app/field_text.h"

#include <iconv.h>

#include <charconv>
#include <cmath>
#include <system_error>

namespace velmor {

namespace {

// Field texts are converted into 32 bytes: at most 31 and the terminator.
constexpr std::size_t kFieldBytes = 32;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

QString FormatFixed(double value, int decimals) {
    // Wide enough for the largest double with six decimals.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return QString();
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

bool LeadingNumber(std::string_view text, double* value) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Only decimal numbers: from_chars reads neither a second sign nor hexadecimal here.
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    if (first == last || *first == '+' || *first == '-') {
        *value = 0;
        return true;
    }
    double number = 0;
    const auto result = std::from_chars(first, last, number, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) {
        *value = 0;  // no number at all
        return true;
    }
    if (result.ec != std::errc() || !std::isfinite(number)) return false;
    *value = negative ? -number : number;
    return true;
}

bool FieldTextToCp932(const QString& text, std::size_t capacity, std::string* bytes) {
    const QByteArray utf8 = text.toUtf8();
    bytes->clear();
    if (capacity == 0) return false;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string out(capacity - 1, '\0');
    char* in = const_cast<char*>(utf8.constData());
    std::size_t inLeft = std::size_t(utf8.size());
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    // Anything left over means the text did not convert or did not fit.
    if (rc == std::size_t(-1) || inLeft != 0) return false;
    out.resize(out.size() - outLeft);
    *bytes = std::move(out);
    return true;
}

bool ReadFieldNumber(const QString& text, double* value) {
    std::string bytes;
    if (!FieldTextToCp932(text, kFieldBytes, &bytes)) return false;
    return LeadingNumber(bytes, value);
}

}  // namespace velmor
