#include "core/view3d/text_lines.h"

#include <algorithm>
#include <cstring>

#include "core/app/number_text.h"

namespace velmor {

namespace {
constexpr size_t kBufferBytes = 1 << 20;

// Comma, blank, carriage return, line feed and tab.
struct SeparatorTable {
    bool is[256] = {};
    constexpr SeparatorTable() {
        for (const char c : {',', ' ', '\r', '\n', '\t'}) is[static_cast<unsigned char>(c)] = true;
    }
};
constexpr SeparatorTable kSeparators;

bool IsTokenSeparator(char c) {
    return kSeparators.is[static_cast<unsigned char>(c)];
}
}  // namespace

LineReader::LineReader(ByteSource& source) : m_source(source) {
    // Small sources get a small buffer; it grows when a line does not fit.
    const long long size = source.Size();
    size_t bytes = kBufferBytes;
    if (size >= 0 && static_cast<unsigned long long>(size) < kBufferBytes) {
        bytes = static_cast<size_t>(size) + 1;
    }
    m_buffer.resize(bytes);
}

void LineReader::Fill() {
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    while (!m_atEnd && m_end < m_buffer.size()) {
        const size_t got = m_source.Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (got == 0) m_atEnd = true;
        m_end += got;
    }
    FindZero();
}

// Zero bytes are rare in text: one search per buffer instead of one per line.
void LineReader::FindZero() {
    const void* zero = std::memchr(m_buffer.data() + m_begin, '\0', m_end - m_begin);
    m_zero = zero ? static_cast<size_t>(static_cast<const char*>(zero) - m_buffer.data()) : m_end;
}

bool LineReader::Next(std::string_view* line) {
    if (m_tooLong) return false;
    // Bytes of the present line already searched for its line feed.
    size_t searched = 0;
    size_t length = 0;
    for (;;) {
        const size_t available = m_end - m_begin;
        const char* start = m_buffer.data() + m_begin;
        const void* feed = std::memchr(start + searched, '\n', available - searched);
        if (feed) {
            length = static_cast<size_t>(static_cast<const char*>(feed) - start) + 1;
            break;
        }
        searched = available;
        if (available > kMaxLineBytes) {
            m_tooLong = true;
            return false;
        }
        if (m_atEnd) {
            if (available == 0) return false;
            length = available;  // the last line, without a line feed
            break;
        }
        // The line goes on beyond the buffer: make room behind it, then read on.
        if (m_begin == 0 && m_end == m_buffer.size()) {
            m_buffer.resize(std::min(2 * m_buffer.size(), kMaxLineBytes + 2));
        }
        Fill();
    }
    if (length - 1 > kMaxLineBytes) {  // the line feed found only after the limit
        m_tooLong = true;
        return false;
    }
    const char* start = m_buffer.data() + m_begin;
    const size_t lineBegin = m_begin;
    m_begin += length;
    if (m_zero < m_begin) {
        *line = std::string_view(start, m_zero - lineBegin);
        FindZero();
    } else {
        *line = std::string_view(start, length);
    }
    return true;
}

bool LineReader::Rewind() {
    m_begin = m_end = m_zero = 0;
    m_atEnd = false;
    m_tooLong = false;
    return m_source.Rewind();
}

LineTokens::LineTokens(std::string_view line) : m_line(line) {
    size_t i = 0;
    while (i < line.size() && IsTokenSeparator(line[i])) ++i;
    size_t j = i;
    while (j < line.size() && !IsTokenSeparator(line[j])) ++j;
    m_keyword = line.substr(i, j - i);
    m_afterKeyword = j < line.size() ? j + 1 : j;
    m_cursor = m_afterKeyword;
}

std::string_view LineTokens::Rest() const {
    std::string_view rest = m_line.substr(m_afterKeyword);
    const size_t end = rest.find_first_of("\r\n");
    return end == std::string_view::npos ? rest : rest.substr(0, end);
}

std::string_view LineTokens::NextToken() {
    size_t i = m_cursor;
    while (i < m_line.size() && IsTokenSeparator(m_line[i])) ++i;
    size_t j = i;
    while (j < m_line.size() && !IsTokenSeparator(m_line[j])) ++j;
    m_cursor = j < m_line.size() ? j + 1 : j;
    return m_line.substr(i, j - i);
}

int ScanNumbers(std::string_view text, float* values, int count) {
    size_t position = 0;
    for (int k = 0; k < count; ++k) {
        double value = 0;
        size_t used = 0;
        if (ScanLeadingDouble(text.substr(position), &value, &used) == NumberScan::kNoNumber)
            return k;
        values[k] = static_cast<float>(value);
        position += used;
    }
    return count;
}

}  // namespace velmor
