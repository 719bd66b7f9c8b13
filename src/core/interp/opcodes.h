// The stack-machine instruction set of the surface script, its limits, and the names the
// listing prints. Each name table is indexed by the code it names: keep rows side by side.
#pragma once

#include <cstdint>

namespace velmor {

// Limits of the engine's fixed tables.
inline constexpr int kCodeAreaSize = 1000;     // instructions per program
inline constexpr int kLabelTableSize = 100;    // labels per program
inline constexpr int kNodeAreaSize = 100;      // expression nodes per assignment or condition
inline constexpr int kVariableSlots = 100;     // one per identifier index (0..99)
inline constexpr int kValueStackSize = 200;    // doubles on the run-time stack
inline constexpr int kMessageTextSize = 2048;  // each message text, terminator included

inline constexpr double kPi = 3.141592653589793;

// Op codes. ORDER OP: kOpNames follows this enum row by row.
enum OpCode : int32_t {
    kOpPop = 1,         // POP        ident index  top -> variable, mark it assigned, pop
    kOpPushIdent = 2,   // PUSH_IDNT  ident index  push the variable (0 and a fault when unassigned)
    kOpPushNum = 3,     // PUSH_NUM   number       push the instruction's number
    kOpPushPi = 4,      // PUSH_NUM   -            push pi
    kOpPushX = 5,       // PUSH_IDNT  -            push the input x
    kOpPushY = 6,       // PUSH_IDNT  -            push the input y
    kOpCal = 7,         // CAL        sub-code     apply an operator or function (SubCode)
    kOpLabel = 8,       // LBL        label        jump target, no effect
    kOpJump = 9,        // JMP        LBL index    continue after the target
    kOpJumpFalse = 10,  // JPF        LBL index    pop; when it is 0 continue after the target
};
inline constexpr int kOpCodeCount = 11;
inline constexpr const char* kOpNames[kOpCodeCount] = {
    "",           // 0 (unused)
    "POP",        // kOpPop
    "PUSH_IDNT",  // kOpPushIdent
    "PUSH_NUM",   // kOpPushNum
    "PUSH_NUM",   // kOpPushPi
    "PUSH_IDNT",  // kOpPushX
    "PUSH_IDNT",  // kOpPushY
    "CAL",        // kOpCal
    "LBL",        // kOpLabel
    "JMP",        // kOpJump
    "JPF",        // kOpJumpFalse
};

// Sub-codes of CAL, also the kinds of operator and function nodes of an expression tree.
// ORDER SUB: kSubCodeNames follows this enum row by row.
enum SubCode : int32_t {
    kSubAdd = 1,     // a + b
    kSubSub = 2,     // a - b
    kSubMul = 3,     // a * b
    kSubDiv = 4,     // a / b          b == 0: division fault, b taken as 1e-15
    kSubNeg = 5,     // - a
    kSubEq = 6,      // a == b         comparisons give 1.0 or 0.0 (IEEE)
    kSubNe = 7,      // a != b
    kSubGt = 8,      // a > b
    kSubGe = 9,      // a >= b
    kSubLt = 10,     // a < b
    kSubLe = 11,     // a <= b
    kSubAnd = 12,    // a && b
    kSubOr = 13,     // a || b
    kSubNot = 14,    // ! a
    kSubSin = 15,    // sin(a)
    kSubCos = 16,    // cos(a)
    kSubTan = 17,    // tan(a)
    kSubAsin = 18,   // asin(a)
    kSubAcos = 19,   // acos(a)
    kSubAtan = 20,   // atan(a)
    kSubSinh = 21,   // sinh(a)
    kSubCosh = 22,   // cosh(a)
    kSubTanh = 23,   // tanh(a)
    kSubExp = 24,    // exp(a)
    kSubLn = 25,     // ln(a)          a not above 0: ln fault
    kSubLog = 26,    // log(a)         natural logarithm; a not above 0: log fault
    kSubLog10 = 27,  // log10(a)       a not above 0: log10 fault
    kSubPow = 28,    // pow(a, b)
    kSubSqrt = 29,   // sqrt(a)        a below 0: square-root fault
    kSubAbs = 30,    // abs(a)
    kSubMax = 31,    // max(a, b)      a if a > b, else b
    kSubMin = 32,    // min(a, b)      a if b > a, else b
};
inline constexpr int kSubCodeCount = 33;
inline constexpr const char* kSubCodeNames[kSubCodeCount] = {
    "",                 // 0 (unused)
    "+",                // kSubAdd
    "- (subtraction)",  // kSubSub
    "*",                // kSubMul
    "/",                // kSubDiv
    "- (minus sign)",   // kSubNeg
    "==",               // kSubEq
    "!=",               // kSubNe
    ">",                // kSubGt
    ">=",               // kSubGe
    "<",                // kSubLt
    "<=",               // kSubLe
    "&&",               // kSubAnd
    "||",               // kSubOr
    "!",                // kSubNot
    "SIN",              // kSubSin
    "COS",              // kSubCos
    "TAN",              // kSubTan
    "ASIN",             // kSubAsin
    "ACOS",             // kSubAcos
    "ATAN",             // kSubAtan
    "SINH",             // kSubSinh
    "COSH",             // kSubCosh
    "TANH",             // kSubTanh
    "EXP",              // kSubExp
    "LN",               // kSubLn
    "LOG",              // kSubLog
    "LOG10",            // kSubLog10
    "POW",              // kSubPow
    "SQRT",             // kSubSqrt
    "ABS",              // kSubAbs
    "MAX",              // kSubMax
    "MIN",              // kSubMin
};

// Leaf kinds of expression nodes (operator nodes use the sub-codes above).
enum LeafKind : int32_t {
    kLeafVariable = 100,
    kLeafNumber = 101,
    kLeafPi = 102,
    kLeafX = 103,
    kLeafY = 104,
};

// One instruction of the code area.
struct Instruction {
    int32_t op;       // OpCode
    int32_t operand;  // identifier index, sub-code, label number or LBL index, by op code
    double number;    // the constant of kOpPushNum
};

}  // namespace velmor
