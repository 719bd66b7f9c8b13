// Fixed-size message texts of the script engine, and the compile log (error count plus the
// compile message text) that the lexer, the parser and the code generator write.
#pragma once

#include <cstring>
#include <string_view>

#include "core/interp/opcodes.h"

namespace velmor {

// A zero-terminated 8-bit text of at most kMessageTextSize - 1 bytes. A message that would
// cross the end is cut to fit; nothing is ever written past the buffer.
class MessageText {
public:
    MessageText() { Clear(); }

    void Clear() {
        m_used = 0;
        m_text[0] = '\0';
    }
    void Append(std::string_view text) {
        size_t room = static_cast<size_t>(kMessageTextSize - 1 - m_used);
        size_t n = text.size() < room ? text.size() : room;
        if (n == 0) return;  // an empty view may carry no pointer at all
        std::memcpy(m_text + m_used, text.data(), n);
        m_used += static_cast<int>(n);
        m_text[m_used] = '\0';
    }
    const char* Text() const { return m_text; }
    bool Empty() const { return m_used == 0; }

private:
    char m_text[kMessageTextSize];
    int m_used;
};

// The compile error count and the compile message text, written by every compile stage.
struct CompileLog {
    MessageText messages;
    int errorCount = 0;

    void Clear() {
        messages.Clear();
        errorCount = 0;
    }
    // Counts one error and appends "[message]\r\n".
    void Error(std::string_view message) { ErrorWithLine(message, {}); }
    // Counts one error and appends "[message]line\r\n".
    void ErrorWithLine(std::string_view message, std::string_view line) {
        if (errorCount < kMaxCount) ++errorCount;
        messages.Append("[");
        messages.Append(message);
        messages.Append("]");
        messages.Append(line);
        messages.Append("\r\n");
    }

    static constexpr int kMaxCount = 0x7fffffff;
};

// Appends "<name>: uninitialized. (assume 0.0)\r\n", the note on a variable read before it
// was assigned.
inline void AppendUninitializedNote(MessageText& text, std::string_view name) {
    text.Append(name);
    text.Append(": uninitialized. (assume 0.0)\r\n");
}

}  // namespace velmor
