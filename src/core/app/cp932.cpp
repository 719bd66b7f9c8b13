#include "core/app/cp932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

#include <algorithm>
#include <cstring>
#include <utility>

namespace velmor {

namespace {

constexpr const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
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

#ifdef _WIN32

// The system's code page 932. Its table gives a character also to a few bytes that are none in
// code page 932 (0x80, 0xA0, 0xFD .. 0xFF); those are refused here, as iconv refuses them.
constexpr UINT kCodePage932 = 932;

// Characters and the character of code page 932 that iconv writes for them.
constexpr std::pair<wchar_t, wchar_t> kOtherSpellings[] = {
    {0x00A2, 0xFFE0},  // cent sign
    {0x00A3, 0xFFE1},  // pound sign
    {0x00A5, L'\\'},   // yen sign: the byte 0x5C
    {0x00AC, 0xFFE2},  // not sign
    {0x2014, 0x2015},  // em dash
    {0x2016, 0x2225},  // double vertical line
    {0x203E, L'~'},    // overline: the byte 0x7E
    {0x2212, 0xFF0D},  // minus sign
    {0x301C, 0xFF5E},  // wave dash
};

bool IsSingleByte(unsigned char c) {
    return c < 0x80 || (c >= 0xA1 && c <= 0xDF);
}

bool IsTrailByte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Converts all of `utf8` into out[0 .. capacity); false when it is no UTF-8, holds a character
// the code page lacks (no "best fit" stands in for it) or does not fit.
bool EncodeCp932(std::string_view utf8, char* out, std::size_t capacity, std::size_t* written) {
    *written = 0;
    const int size = static_cast<int>(utf8.size());
    const int wideCount =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (wideCount <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(wideCount), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), wideCount);
    // The characters iconv writes with the code of their Microsoft form (as Japanese text from
    // other systems spells them): the same bytes on both systems.
    for (wchar_t& c : wide) {
        for (const auto& [other, microsoft] : kOtherSpellings) {
            if (c == other) c = microsoft;
        }
    }
    BOOL defaulted = FALSE;
    const int count = ::WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(),
                                            wideCount, nullptr, 0, nullptr, &defaulted);
    if (count <= 0 || defaulted || static_cast<std::size_t>(count) > capacity) return false;
    ::WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), wideCount, out, count,
                          nullptr, &defaulted);
    *written = static_cast<std::size_t>(count);
    return true;
}

// Appends `cp932` converted to *utf8, character by character: a byte that starts no character
// becomes U+FFFD (and makes the answer false), and the next byte is taken afresh.
bool DecodeCp932(std::string_view cp932, std::string* utf8) {
    bool clean = true;
    std::size_t i = 0;
    while (i < cp932.size()) {
        const auto lead = static_cast<unsigned char>(cp932[i]);
        int width = 0;
        if (IsSingleByte(lead)) {
            width = 1;
        } else if (IsLeadByte(lead) && i + 1 < cp932.size() &&
                   IsTrailByte(static_cast<unsigned char>(cp932[i + 1]))) {
            width = 2;
        }
        wchar_t wide[2];
        const int count = width == 0 ? 0
                                     : ::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS,
                                                             cp932.data() + i, width, wide, 2);
        if (count <= 0) {
            utf8->append(kReplacement);
            clean = false;
            ++i;
            continue;
        }
        char bytes[8];
        const int length =
            ::WideCharToMultiByte(CP_UTF8, 0, wide, count, bytes, sizeof bytes, nullptr, nullptr);
        utf8->append(bytes, static_cast<std::size_t>(length > 0 ? length : 0));
        i += static_cast<std::size_t>(width);
    }
    return clean;
}

#else

constexpr const char kCodePage932[] = "CP932";
constexpr const char kUtf8[] = "UTF-8";

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

bool EncodeCp932(std::string_view utf8, char* out, std::size_t capacity, std::size_t* written) {
    Converter converter(kCodePage932, kUtf8);
    return ConvertInto(converter, utf8, out, capacity, written);
}

// Appends `cp932` converted to *utf8; a byte that starts no character becomes U+FFFD (and makes
// the answer false) and the conversion goes on after it.
bool DecodeCp932(std::string_view cp932, std::string* utf8) {
    Converter converter(kUtf8, kCodePage932);
    if (!converter.Ok()) return false;
    bool clean = true;
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
    return clean;
}

#endif

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
        if (!EncodeCp932(utf8, out, room, &written)) {
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
    std::size_t written = 0;
    if (!EncodeCp932(utf8, buffer.data(), buffer.size(), &written)) return false;
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
        clean = DecodeCp932(cp932, utf8);
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
