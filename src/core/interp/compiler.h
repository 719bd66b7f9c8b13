// Compile operation of the surface script: runs the parser over a source text, turns each
// finished expression tree into stack-machine instructions, numbers and resolves the jump
// labels, and writes the listing of the code.
#pragma once

#include <string>

#include "core/interp/lexer.h"
#include "core/interp/message_text.h"
#include "core/interp/opcodes.h"

namespace velmor {

inline constexpr int kNoNode = -1;

// A node of an expression tree in the node area.
struct ExprNode {
    int32_t kind;   // SubCode of an operator or function, or a LeafKind
    int32_t ident;  // kLeafVariable: identifier index
    double value;   // kLeafNumber: the number; kLeafPi: pi
    int32_t left;   // first operand, kNoNode for leaves
    int32_t right;  // second operand, kNoNode for leaves and one-operand kinds
};

class Compiler {
public:
    Compiler(IdentifierTable& names, Lexer& lexer, CompileLog& log)
        : m_names(names), m_lexer(lexer), m_log(log) {}

    // Resets the lexer, the identifier table, the log, the node area, the code area and the
    // labels; parses; on any error empties the code area, otherwise resolves the labels.
    void Compile(const char* source);

    const Instruction* Code() const { return m_code; }
    int InstructionCount() const { return m_count; }
    void DiscardInstructions() { m_count = 0; }

    // ---- called by the parser's actions ----

    // A new node; kNoNode (and "nodearea overflow") when the node area is full.
    int NewNode(int kind, int left, int right);
    int NewLeaf(int kind, int ident, double value);
    void ClearNodes() { m_nodeCount = 0; }

    // Emits the code of a tree in post-order.
    void GenerateTree(int node);
    // The only writer of the code area: "codearea overflow" when it is full.
    void Emit(int op, int operand, double number = 0.0);
    // The next label number; -1 (and "lbltable overflow") when all 100 are taken.
    int NewLabel();

    Lexer& TheLexer() { return m_lexer; }
    CompileLog& Log() { return m_log; }

private:
    void ResolveLabels();

    IdentifierTable& m_names;
    Lexer& m_lexer;
    CompileLog& m_log;

    ExprNode m_nodes[kNodeAreaSize];
    int m_nodeCount = 0;
    Instruction m_code[kCodeAreaSize];
    int m_count = 0;
    int m_labelCount = 0;
    int m_labelAddress[kLabelTableSize];
};

// The parser (grammar.y): pulls tokens from the compiler's lexer and calls its actions.
// Returns 0 when the text was accepted; the compile looks only at the error count.
int ParseScript(Compiler* compiler);

// The intermediate-code listing: a header row and one row per instruction, CR LF line ends.
void MakeListing(const Instruction* code, int count, const IdentifierTable& names,
                 std::string* listing);

}  // namespace velmor
