// The names of the signals that end a helper, alike on every system for the C standard's own.
#include "core/host/helper_process.h"

#include <csignal>
#include <iterator>

namespace velmor {

namespace {

struct SignalText {
    int signal;
    const char* name;
    const char* meaning;
};

constexpr SignalText kStandardSignals[] = {
    {SIGSEGV, "SIGSEGV", "segmentation fault: invalid memory access"},
    {SIGILL, "SIGILL", "illegal instruction"},
    {SIGFPE, "SIGFPE", "arithmetic trap"},
    {SIGABRT, "SIGABRT",
     "abort() or a failed assertion or heap corruption detected by the C library"},
};

const SignalText* StandardSignal(int signal) {
    for (const SignalText& text : kStandardSignals) {
        if (text.signal == signal) return &text;
    }
    return nullptr;
}

}  // namespace

std::string SignalName(int signal) {
    const SignalText* text = StandardSignal(signal);
    return text != nullptr ? text->name : SystemSignalName(signal);
}

std::string SignalMeaning(int signal) {
    const SignalText* text = StandardSignal(signal);
    return text != nullptr ? text->meaning : SystemSignalMeaning(signal);
}

}  // namespace velmor
