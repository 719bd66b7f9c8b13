#include "core/app/cp932.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>

namespace velmor {

namespace {

constexpr const char kCodePage932[] = "CP932";
constexpr const char kUtf8[] = "UTF-8";
constexpr const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// One conversion descriptor for the length of one conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Converts all of `in` into out[0 .. capacity). False on any conversion error or when the
// output does not fit; `written` receives the bytes produced.
bool ConvertInto(const Converter& converter, std::string_view in, char* out, std::size_t capacity,
                 std::size_t* written) {
    *written = 0;
    if (!converter.Ok()) return false;
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out;
    std::size_t outLeft = capacity;
    iconv(converter.Get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == std::size_t(-1)) return false;
    if (iconv(converter.Get(), nullptr, nullptr, &outPtr, &outLeft) == std::size_t(-1))
        return false;
    *written = std::size_t(outPtr - out);
    return true;
}

// Cuts UTF-8 text after `maxChars` code points.
void CutUtf8(std::string* utf8, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8->size(); ++i) {
        if ((static_cast<unsigned char>((*utf8)[i]) & 0xC0) == 0x80) continue;
        if (chars == maxChars) {
            utf8->resize(i);
            return;
        }
        ++chars;
    }
}

}  // namespace

bool Utf8ToCp932(std::string_view utf8, char* out, std::size_t capacity, std::size_t* length) {
    if (length) *length = 0;
    if (capacity == 0) return false;
    out[0] = 0;
    std::size_t room = capacity - 1;  // keep one byte for the terminator
    std::size_t written = 0;
    if (IsAscii(utf8)) {
        if (utf8.size() > room) return false;
        std::memcpy(out, utf8.data(), utf8.size());
        written = utf8.size();
    } else {
        Converter converter(kCodePage932, kUtf8);
        if (!ConvertInto(converter, utf8, out, room, &written)) {
            out[0] = 0;
            return false;
        }
    }
    out[written] = 0;
    if (length) *length = written;
    return true;
}

bool Utf8ToCp932(std::string_view utf8, std::string* cp932) {
    cp932->clear();
    if (IsAscii(utf8)) {
        cp932->assign(utf8);
        return true;
    }
    // A character takes at most as many bytes in code page 932 as in UTF-8.
    std::string buffer(utf8.size() + 4, '\0');
    Converter converter(kCodePage932, kUtf8);
    std::size_t written = 0;
    if (!ConvertInto(converter, utf8, buffer.data(), buffer.size(), &written)) return false;
    buffer.resize(written);
    *cp932 = std::move(buffer);
    return true;
}

bool Cp932ToUtf8(std::string_view cp932, std::string* utf8, std::size_t maxChars) {
    utf8->clear();
    bool clean = true;
    if (IsAscii(cp932)) {
        utf8->assign(cp932);
    } else {
        Converter converter(kUtf8, kCodePage932);
        if (!converter.Ok()) return false;
        char* inPtr = const_cast<char*>(cp932.data());
        std::size_t inLeft = cp932.size();
        char chunk[256];
        while (inLeft > 0) {
            char* outPtr = chunk;
            std::size_t outLeft = sizeof chunk;
            std::size_t rc = iconv(converter.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
            int error = errno;
            utf8->append(chunk, std::size_t(outPtr - chunk));
            if (rc != std::size_t(-1)) break;
            if (error == E2BIG) continue;
            // EILSEQ (no character) or EINVAL (a lead byte at the end): mark one byte and go on.
            utf8->append(kReplacement);
            clean = false;
            ++inPtr;
            --inLeft;
        }
    }
    if (maxChars != std::string_view::npos) CutUtf8(utf8, maxChars);
    return clean;
}

std::string_view FieldText(const char* field, std::size_t size) {
    const void* zero = std::memchr(field, 0, size);
    return {field, zero ? std::size_t(static_cast<const char*>(zero) - field) : size};
}

std::size_t Cp932FitLength(std::string_view cp932, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < cp932.size()) {
        std::size_t width =
            IsLeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size() ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    return i;
}

}  // namespace velmor
