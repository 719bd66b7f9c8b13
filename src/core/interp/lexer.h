// Lexer and identifier table of the surface script: cuts the source text into tokens and maps
// names to the indices of their variable slots.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/interp/message_text.h"

namespace velmor {

// Token codes handed to the parser (0 is the end of the text). The grammar declares the same
// numbers for its terminals.
enum TokenCode : int {
    kTokEnd = 0,
    kTokIdent = 257,   // a letter, then letters and digits; value: identifier index
    kTokZ = 258,       // "z"; value: identifier index of z
    kTokNumber = 259,  // decimal literal; value: the number
    kTokPi = 260,      // "pi" or "PI"; value: pi
    kTokX = 261,
    kTokY = 262,
    kTokIf = 263,
    kTokElse = 264,
    kTokLBrace = 265,
    kTokRBrace = 266,
    kTokLParen = 267,
    kTokRParen = 268,
    kTokSemicolon = 269,
    kTokComma = 270,
    kTokAssign = 271,
    kTokNot = 272,
    kTokSin = 273,
    kTokCos = 274,
    kTokTan = 275,
    kTokAsin = 276,
    kTokAcos = 277,
    kTokAtan = 278,
    kTokSinh = 279,
    kTokCosh = 280,
    kTokTanh = 281,
    kTokExp = 282,
    kTokLn = 283,
    kTokLog = 284,
    kTokLog10 = 285,
    kTokPow = 286,
    kTokSqrt = 287,
    kTokAbs = 288,
    kTokMax = 289,
    kTokMin = 290,
    kTokPlus = 291,
    kTokMinus = 292,
    kTokOr = 293,
    kTokMul = 294,
    kTokDiv = 295,
    kTokEq = 296,
    kTokNe = 297,
    kTokGt = 298,
    kTokGe = 299,
    kTokLt = 300,
    kTokLe = 301,
    kTokAnd = 302,
};

inline constexpr int kNamePoolSize = 200;
inline constexpr int kMaxNames = 99;
inline constexpr int kMaxNameLength = 16;
inline constexpr int kLineTextSize = 80;

// The distinct names of a program, packed into a 200-byte pool. A name's index is also the
// index of its variable slot.
class IdentifierTable {
public:
    IdentifierTable() { Reset(); }
    void Reset();

    // Index of `name`, entering it first when it is new. Errors (full pool, a 100th name) are
    // counted in `log`; a 100th name gets index 99.
    int Intern(std::string_view name, CompileLog& log);
    // True when `name` could be entered without any error.
    bool HasRoomFor(std::string_view name) const;

    int Count() const { return m_count; }
    // The name of index `index`; "" for an index without a stored name.
    const char* Name(int index) const;

private:
    // Index of `name`, or -1 when it is not in the table.
    int Find(std::string_view name) const;

    char m_pool[kNamePoolSize];
    int m_poolUsed;
    int m_start[kMaxNames + 1];
    int m_count;
};

// Token value set by the lexer for the token it returns.
struct TokenValue {
    double number = 0.0;  // kTokNumber, kTokPi
    int ident = 0;        // kTokIdent, kTokZ
};

class Lexer {
public:
    Lexer(IdentifierTable& names, CompileLog& log) : m_names(names), m_log(log) { Reset(""); }

    // Starts reading `source`; a zero or 0xFF byte ends it.
    void Reset(const char* source);
    // The next token code (kTokEnd at the end of the text or after an invalid character).
    int Next(TokenValue* value);
    // The rest of the line from the start of the last token (at most 79 bytes).
    const char* CurrentLine() const { return m_line; }

private:
    int ReadNumber(TokenValue* value);
    int ReadWord(TokenValue* value);

    IdentifierTable& m_names;
    CompileLog& m_log;
    const unsigned char* m_text = nullptr;
    size_t m_end = 0;  // index of the terminating byte
    size_t m_pos = 0;
    bool m_ended = false;
    char m_line[kLineTextSize];
};

}  // namespace velmor
