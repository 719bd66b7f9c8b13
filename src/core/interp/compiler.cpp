#include "core/interp/compiler.h"

#include <cstdio>

#include "core/app/number_text.h"

namespace velmor {

namespace {

// printf's "%G" (six significant digits): the listing writes its numbers so, exponent letter,
// "INF" and "NAN" in upper case, unlike the lower case the rest of the program uses.
std::string FormatG(double value) {
    std::string text = FormatGeneral(value, 6);
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

void Compiler::Compile(const char* source) {
    m_lexer.Reset(source);
    m_log.Clear();
    m_names.Reset();
    m_nodeCount = 0;
    m_count = 0;
    m_labelCount = 0;

    ParseScript(this);

    if (m_log.errorCount > 0) {
        m_count = 0;  // nothing of a failed program survives
    } else {
        ResolveLabels();
    }
}

int Compiler::NewNode(int kind, int left, int right) {
    if (m_nodeCount >= kNodeAreaSize) {
        m_log.Error("nodearea overflow");
        return kNoNode;
    }
    m_nodes[m_nodeCount] = ExprNode{kind, 0, 0.0, left, right};
    return m_nodeCount++;
}

int Compiler::NewLeaf(int kind, int ident, double value) {
    int node = NewNode(kind, kNoNode, kNoNode);
    if (node != kNoNode) {
        m_nodes[node].ident = ident;
        m_nodes[node].value = value;
    }
    return node;
}

void Compiler::GenerateTree(int node) {
    // Operands are always created before their operator, so the recursion goes strictly
    // downwards and is at most kNodeAreaSize deep.
    if (node < 0 || node >= m_nodeCount) return;
    const ExprNode& n = m_nodes[node];
    if (n.left < node) GenerateTree(n.left);
    if (n.right < node) GenerateTree(n.right);
    switch (n.kind) {
        case kLeafVariable:
            Emit(kOpPushIdent, n.ident);
            break;
        case kLeafNumber:
            Emit(kOpPushNum, 0, n.value);
            break;
        case kLeafPi:
            Emit(kOpPushPi, 0);
            break;
        case kLeafX:
            Emit(kOpPushX, 0);
            break;
        case kLeafY:
            Emit(kOpPushY, 0);
            break;
        default:
            Emit(kOpCal, n.kind);
            break;
    }
}

void Compiler::Emit(int op, int operand, double number) {
    if (m_count >= kCodeAreaSize) {
        m_log.Error("codearea overflow");
        return;
    }
    m_code[m_count++] = Instruction{op, operand, number};
}

int Compiler::NewLabel() {
    if (m_labelCount >= kLabelTableSize) {
        m_log.Error("lbltable overflow");
        return -1;
    }
    return m_labelCount++;
}

void Compiler::ResolveLabels() {
    // A good compile emits exactly one LBL for every label it took, after every jump to it.
    for (int i = 0; i < kLabelTableSize; ++i) m_labelAddress[i] = 0;
    for (int i = 0; i < m_count; ++i) {
        int label = m_code[i].operand;
        if (m_code[i].op == kOpLabel && label >= 0 && label < m_labelCount) {
            m_labelAddress[label] = i;
        }
    }
    for (int i = 0; i < m_count; ++i) {
        Instruction& in = m_code[i];
        if (in.op != kOpJump && in.op != kOpJumpFalse) continue;
        in.operand = in.operand >= 0 && in.operand < m_labelCount ? m_labelAddress[in.operand] : i;
    }
}

void MakeListing(const Instruction* code, int count, const IdentifierTable& names,
                 std::string* listing) {
    char row[128];
    std::snprintf(row, sizeof(row), "%4s  %-10s %-10s %s\r\n", "LINE", "OP_CODE", "SUB_CODE",
                  "REF");
    *listing = row;
    for (int i = 0; i < count; ++i) {
        const Instruction& in = code[i];
        std::string number;
        const char* ref = "";
        switch (in.op) {
            case kOpPop:
            case kOpPushIdent:
                ref = names.Name(in.operand);
                break;
            case kOpPushNum:
                ref = (number = FormatG(in.number)).c_str();
                break;
            case kOpPushPi:
                ref = "3.14 ...";
                break;
            case kOpPushX:
                ref = "x";
                break;
            case kOpPushY:
                ref = "y";
                break;
            case kOpCal:
                if (in.operand > 0 && in.operand < kSubCodeCount) ref = kSubCodeNames[in.operand];
                break;
            default:  // LBL, JMP, JPF
                ref = (number = std::to_string(in.operand)).c_str();
                break;
        }
        const char* opName = in.op > 0 && in.op < kOpCodeCount ? kOpNames[in.op] : "";
        std::snprintf(row, sizeof(row), "%4d  %-10s %s\r\n", i, opName, ref);
        *listing += row;
    }
}

}  // namespace velmor
