#include "core/interp/lexer.h"

#include <cstring>

#include "core/app/number_text.h"

namespace velmor {

namespace {

// Character classes of the language, independent of the process locale.
bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsLetterOrDigit(unsigned char c) {
    return IsLetter(c) || IsDigit(c);
}
bool IsNumberCharacter(unsigned char c) {
    return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}
bool IsLineEnd(unsigned char c) {
    return c == '\r' || c == '\n';
}
// Blanks and control characters separate tokens; everything else starts one (or is invalid).
bool IsSkipped(unsigned char c) {
    return c <= ' ' || c == 0x7F;
}

struct Spelling {
    const char* text;
    size_t length;
    int token;
};

// Words, longest first; a word counts only when no letter or digit follows it.
constexpr Spelling kWords[] = {
    {"log10", 5, kTokLog10}, {"asin", 4, kTokAsin}, {"acos", 4, kTokAcos}, {"atan", 4, kTokAtan},
    {"sinh", 4, kTokSinh},   {"cosh", 4, kTokCosh}, {"tanh", 4, kTokTanh}, {"sqrt", 4, kTokSqrt},
    {"else", 4, kTokElse},   {"sin", 3, kTokSin},   {"cos", 3, kTokCos},   {"tan", 3, kTokTan},
    {"exp", 3, kTokExp},     {"log", 3, kTokLog},   {"pow", 3, kTokPow},   {"max", 3, kTokMax},
    {"min", 3, kTokMin},     {"abs", 3, kTokAbs},   {"pi", 2, kTokPi},     {"PI", 2, kTokPi},
    {"ln", 2, kTokLn},       {"if", 2, kTokIf},
};

// Operators and punctuation, longest first, with no condition on what follows.
constexpr Spelling kOperators[] = {
    {"==", 2, kTokEq},    {">=", 2, kTokGe},    {"<=", 2, kTokLe},    {"!=", 2, kTokNe},
    {"&&", 2, kTokAnd},   {"||", 2, kTokOr},    {"+", 1, kTokPlus},   {"-", 1, kTokMinus},
    {"*", 1, kTokMul},    {"/", 1, kTokDiv},    {"=", 1, kTokAssign}, {">", 1, kTokGt},
    {"<", 1, kTokLt},     {"!", 1, kTokNot},    {"(", 1, kTokLParen}, {")", 1, kTokRParen},
    {"{", 1, kTokLBrace}, {"}", 1, kTokRBrace}, {",", 1, kTokComma},  {";", 1, kTokSemicolon},
};

}  // namespace

// ---- identifier table ----

void IdentifierTable::Reset() {
    std::memset(m_pool, 0, sizeof(m_pool));
    std::memset(m_start, 0, sizeof(m_start));
    m_poolUsed = 0;
    m_count = 0;
}

int IdentifierTable::Find(std::string_view name) const {
    for (int i = 0; i < m_count; ++i) {
        if (name == std::string_view(m_pool + m_start[i])) return i;
    }
    return -1;
}

bool IdentifierTable::HasRoomFor(std::string_view name) const {
    if (Find(name) >= 0) return true;
    return m_poolUsed + static_cast<int>(name.size()) + 1 < kNamePoolSize && m_count < kMaxNames;
}

int IdentifierTable::Intern(std::string_view name, CompileLog& log) {
    int index = Find(name);
    if (index >= 0) return index;

    size_t length = name.size();
    if (static_cast<size_t>(m_poolUsed) + length + 1 < kNamePoolSize) {
        std::memcpy(m_pool + m_poolUsed, name.data(), length);
        m_pool[m_poolUsed + length] = '\0';
        m_poolUsed += static_cast<int>(length) + 1;
        // The free part always starts with a terminator, so a name entered after the pool
        // filled up reads as "" rather than as stale bytes.
        m_pool[m_poolUsed] = '\0';
    } else {
        log.Error("poolarea overflow");
    }
    if (m_count >= kMaxNames) {
        log.Error("too many ident/string");
        return kMaxNames;
    }
    m_start[m_count + 1] = m_poolUsed;
    return m_count++;
}

const char* IdentifierTable::Name(int index) const {
    if (index < 0 || index >= m_count) return "";
    return m_pool + m_start[index];
}

// ---- lexer ----

void Lexer::Reset(const char* source) {
    m_text = reinterpret_cast<const unsigned char*>(source ? source : "");
    m_end = 0;
    while (m_text[m_end] != 0 && m_text[m_end] != 0xFF) ++m_end;
    m_pos = 0;
    m_ended = false;
    m_line[0] = '\0';
}

int Lexer::Next(TokenValue* value) {
    if (m_ended) return kTokEnd;

    // Skip blanks, control characters and "//" comments.
    while (m_pos < m_end) {
        unsigned char c = m_text[m_pos];
        if (IsSkipped(c)) {
            ++m_pos;
            continue;
        }
        if (c == '/' && m_pos + 1 < m_end && m_text[m_pos + 1] == '/') {
            while (m_pos < m_end && !IsLineEnd(m_text[m_pos])) ++m_pos;
            if (m_pos < m_end) ++m_pos;
            continue;
        }
        break;
    }
    if (m_pos >= m_end) {
        m_ended = true;
        return kTokEnd;
    }

    // The rest of the token's line, for "syntax error" messages.
    size_t lineLength = 0;
    while (m_pos + lineLength < m_end && lineLength < kLineTextSize - 1 &&
           !IsLineEnd(m_text[m_pos + lineLength])) {
        ++lineLength;
    }
    std::memcpy(m_line, m_text + m_pos, lineLength);
    m_line[lineLength] = '\0';

    const size_t left = m_end - m_pos;
    const unsigned char* here = m_text + m_pos;
    for (const Spelling& word : kWords) {
        if (word.length <= left && std::memcmp(here, word.text, word.length) == 0 &&
            (word.length == left || !IsLetterOrDigit(here[word.length]))) {
            m_pos += word.length;
            if (word.token == kTokPi) value->number = kPi;
            return word.token;
        }
    }
    for (const Spelling& op : kOperators) {
        if (op.length <= left && std::memcmp(here, op.text, op.length) == 0) {
            m_pos += op.length;
            return op.token;
        }
    }

    if (IsLetter(here[0])) return ReadWord(value);
    if (IsDigit(here[0]) || (here[0] == '.' && left > 1 && IsDigit(here[1]))) {
        return ReadNumber(value);
    }

    // No token starts here (this includes every byte outside ASCII): compilation ends.
    m_log.Error("WORD OR CHARACTER INVALID");
    m_ended = true;
    return kTokEnd;
}

int Lexer::ReadNumber(TokenValue* value) {
    const char* first = reinterpret_cast<const char*>(m_text + m_pos);
    size_t span = 0;  // the characters a literal can be made of; the scan takes the longest
    while (m_pos + span < m_end && IsNumberCharacter(m_text[m_pos + span])) ++span;
    // A literal too large or too small for a double is infinity or 0, as the C library reads it.
    double number = 0.0;
    size_t used = 0;
    if (ScanLeadingDouble(std::string_view(first, span), &number, &used) == NumberScan::kNoNumber) {
        // Cannot happen: the text starts with a digit or with a point and a digit.
        used = 1;
    }
    m_pos += used;
    value->number = number;
    return kTokNumber;
}

int Lexer::ReadWord(TokenValue* value) {
    size_t length = 0;
    while (m_pos + length < m_end && IsLetterOrDigit(m_text[m_pos + length])) ++length;
    std::string_view word(reinterpret_cast<const char*>(m_text + m_pos),
                          length > kMaxNameLength ? kMaxNameLength : length);
    if (length > kMaxNameLength) m_log.Error("IDENT SIZE TOO LONG");
    m_pos += length;

    if (word == "x") return kTokX;
    if (word == "y") return kTokY;
    value->ident = m_names.Intern(word, m_log);
    return word == "z" ? kTokZ : kTokIdent;
}

}  // namespace velmor
