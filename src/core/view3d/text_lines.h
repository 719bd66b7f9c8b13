// Line and token reading shared by the ASCII STL, OBJ and MTL readers.
#pragma once

#include <string_view>
#include <vector>

#include "core/view3d/model_reader.h"

namespace velmor {

// The longest line a text reader takes: a longer one fails the read.
inline constexpr size_t kMaxLineBytes = size_t{64} << 20;

// Reads whole lines through their line feed, of any length up to kMaxLineBytes (the line feed
// not counted). The line handed out ends at its first zero byte, as a C string would. A longer
// line ends the reading: Next answers false and TooLong true from then on.
class LineReader {
public:
    explicit LineReader(ByteSource& source);
    bool Next(std::string_view* line);
    bool TooLong() const { return m_tooLong; }
    bool Rewind();

private:
    void Fill();
    void FindZero();

    ByteSource& m_source;
    std::vector<char> m_buffer;
    size_t m_begin = 0, m_end = 0;
    size_t m_zero = 0;  // the first zero byte at or after m_begin, or m_end
    bool m_atEnd = false;
    bool m_tooLong = false;
};

// The tokens of one line, separated by comma, blank, carriage return, line feed and tab: the
// keyword first, then the following tokens one by one, or the rest of the line after the
// keyword's separator.
class LineTokens {
public:
    explicit LineTokens(std::string_view line);
    std::string_view Keyword() const { return m_keyword; }
    // Everything after the keyword's separator up to the first carriage return or line feed.
    std::string_view Rest() const;
    // Next token after the keyword (or after the previous token); empty at the end.
    std::string_view NextToken();

private:
    std::string_view m_line;
    std::string_view m_keyword;
    size_t m_afterKeyword = 0;  // position just after the keyword's separator
    size_t m_cursor = 0;
};

// Up to `count` numbers read as "%f %f ..." reads them: each after optional white space,
// stopping at the first field that is not a number, a number out of range read as the C
// library reads it (see ScanLeadingDouble). Returns the fields read.
int ScanNumbers(std::string_view text, float* values, int count);

}  // namespace velmor
