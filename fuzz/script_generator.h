// Generator of surface scripts that compile: assignments, if / else nested a few deep, every
// operator and function, conditions and divisors that depend on x and y, and variables assigned
// in one branch only, so that over a grid of points the branches split and the faults (division
// by zero, logarithms and roots of negatives, unassigned variables) fall on some points only.
// Each choice comes from a `Choices` object: a seeded sequence for the differential tests of
// the executors (tests/core/interp), or the fuzzer's bytes (script_fuzz.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor::fuzz {

// Choices from a 64-bit seed (splitmix64).
class SeededChoices {
public:
    explicit SeededChoices(std::uint64_t seed) : m_state(seed) {}
    // A number in [0, bound).
    unsigned Next(unsigned bound) {
        m_state += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return bound == 0 ? 0 : static_cast<unsigned>(z % bound);
    }

private:
    std::uint64_t m_state;
};

// Choices read from bytes, one byte per choice; 0 once they run out.
class ByteChoices {
public:
    ByteChoices(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    unsigned Next(unsigned bound) {
        const unsigned byte = m_at < m_size ? m_data[m_at++] : 0u;
        return bound == 0 ? 0 : byte % bound;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

template <class Choices>
class ScriptGenerator {
public:
    explicit ScriptGenerator(Choices& choices) : m_choices(choices) {}

    std::string Program() {
        m_text.clear();
        for (int& state : m_assigned) state = kNever;
        const unsigned statements = 2 + m_choices.Next(8);
        for (unsigned i = 0; i < statements; ++i) Statement(0);
        // Most programs end by assigning z; some leave it to the branches, or never assign it.
        if (m_choices.Next(8) != 0) {
            m_text += "z = ";
            Expression(3);
            m_text += ";\n";
        }
        return m_text;
    }

private:
    static constexpr const char* kNames[] = {"a", "b", "c", "d", "z"};
    static constexpr unsigned kNameCount = 5;
    static constexpr const char* kNumbers[] = {"0",    "1",   "2",     "0.5", "3.25",
                                               "1e-3", "100", "1e300", "0.0", "7"};
    static constexpr unsigned kNumberCount = 10;
    static constexpr const char* kBinary[] = {
        " + ", " - ", " * ", " / ", " == ", " != ", " > ", " >= ", " < ", " <= ", " && ", " || "};
    static constexpr unsigned kBinaryCount = 12;
    static constexpr const char* kUnary[] = {"sin",  "cos",  "tan",   "asin", "acos",
                                             "atan", "sinh", "cosh",  "tanh", "exp",
                                             "ln",   "log",  "log10", "sqrt", "abs"};
    static constexpr unsigned kUnaryCount = 15;
    static constexpr const char* kTwo[] = {"pow", "max", "min"};
    static constexpr unsigned kTwoCount = 3;

    // `branch`: inside an if, so an assignment may not happen at every point.
    void Statement(int nesting, bool branch = false) {
        const unsigned kind = m_choices.Next(nesting < 3 ? 10 : 6);
        if (kind < 6) {
            const unsigned name = m_choices.Next(kNameCount);
            m_text += kNames[name];
            m_text += " = ";
            Expression(3);
            m_text += ";\n";
            int& state = m_assigned[name];
            state = branch ? (state == kNever ? kSometimes : state) : kAlways;
            return;
        }
        if (kind == 6) {  // a block of statements
            m_text += "{\n";
            const unsigned count = 1 + m_choices.Next(3);
            for (unsigned i = 0; i < count; ++i) Statement(nesting + 1, branch);
            m_text += "}\n";
            return;
        }
        m_text += "if (";
        Condition();
        m_text += ") ";
        Statement(nesting + 1, true);
        if (m_choices.Next(2) == 0) {
            m_text += "else ";
            Statement(nesting + 1, true);
        }
    }

    // Mostly a comparison of something that varies over the grid.
    void Condition() {
        if (m_choices.Next(4) == 0) {
            Expression(2);
            return;
        }
        Expression(1);
        m_text += kBinary[4 + m_choices.Next(6)];
        Expression(1);
    }

    void Expression(int depth) {
        const unsigned kind = m_choices.Next(depth > 0 ? 9 : 3);
        switch (kind) {
            case 0:
                Leaf();
                return;
            case 1:
                Leaf();
                return;
            case 2:
                Leaf();
                return;
            case 3:
            case 4:
            case 5:
                m_text += "(";
                Expression(depth - 1);
                m_text += kBinary[m_choices.Next(kBinaryCount)];
                Expression(depth - 1);
                m_text += ")";
                return;
            case 6:
                m_text += kUnary[m_choices.Next(kUnaryCount)];
                m_text += "(";
                Expression(depth - 1);
                m_text += ")";
                return;
            case 7:
                m_text += kTwo[m_choices.Next(kTwoCount)];
                m_text += "(";
                Expression(depth - 1);
                m_text += ", ";
                Expression(depth - 1);
                m_text += ")";
                return;
            default:
                m_text += m_choices.Next(2) == 0 ? "-" : "!";
                Expression(depth - 1);
                return;
        }
    }

    void Leaf() {
        switch (m_choices.Next(6)) {
            case 0:
                m_text += "x";
                return;
            case 1:
                m_text += "y";
                return;
            case 2:
                m_text += m_choices.Next(4) == 0 ? "pi" : kNumbers[m_choices.Next(kNumberCount)];
                return;
            default:
                Variable();
                return;
        }
    }

    // Mostly a variable assigned at every point so far, sometimes one assigned in a branch
    // only, rarely any name at all; x when there is none of the kind chosen.
    void Variable() {
        const unsigned roll = m_choices.Next(20);
        const int wanted = roll < 14 ? kAlways : roll < 19 ? kSometimes : kNever;
        unsigned candidates[kNameCount];
        unsigned count = 0;
        for (unsigned i = 0; i < kNameCount; ++i) {
            if (wanted == kNever || m_assigned[i] == wanted) candidates[count++] = i;
        }
        m_text += count == 0 ? "x" : kNames[candidates[m_choices.Next(count)]];
    }

    enum { kNever, kSometimes, kAlways };

    Choices& m_choices;
    std::string m_text;
    int m_assigned[kNameCount] = {};  // per name: kNever, kSometimes or kAlways
};

template <class Choices>
std::string GenerateScript(Choices& choices) {
    return ScriptGenerator<Choices>(choices).Program();
}

}  // namespace velmor::fuzz
