#include "ui/app/field_text.h"

#include <cmath>
#include <cstddef>

#include "core/app/cp932.h"
#include "core/app/number_text.h"

namespace velmor {

namespace {

// Field texts are converted into 32 bytes: at most 31 and the terminator.
constexpr std::size_t kFieldBytes = 32;

}  // namespace

QString FormatField(double value) {
    return QString::fromStdString(FormatFixed(value, 3));
}

QString FormatDefault(double value) {
    return QString::fromStdString(FormatFixed(value, 6));
}

bool ReadFieldNumber(const QString& text, double* value) {
    char bytes[kFieldBytes];
    std::size_t length = 0;
    const QByteArray utf8 = text.toUtf8();
    if (!Utf8ToCp932(std::string_view(utf8.constData(), std::size_t(utf8.size())), bytes,
                     sizeof bytes, &length))
        return false;
    double number = 0;
    if (ScanLeadingDouble(std::string_view(bytes, length), &number) == NumberScan::kOutOfRange ||
        !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

}  // namespace velmor
