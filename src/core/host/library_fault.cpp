#include "core/host/library_fault.h"

#include <charconv>

#include "core/host/host_protocol.h"

namespace velmor {

std::string ShortestNumberText(double value) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

const char* LibraryFault::KindText() const {
    switch (kind) {
        case LibraryFaultKind::kSignal:
            return "signal";
        case LibraryFaultKind::kExit:
            return "exit";
        case LibraryFaultKind::kTimeout:
            return "timeout";
        case LibraryFaultKind::kStopped:
            return "stopped";
        case LibraryFaultKind::kHost:
            return "host";
        default:
            return "none";
    }
}

std::string LibraryFault::What() const {
    switch (kind) {
        case LibraryFaultKind::kSignal:
            return signalMeaning.empty() ? signalName : signalName + " (" + signalMeaning + ")";
        case LibraryFaultKind::kExit:
            return "exited with code " + std::to_string(code);
        case LibraryFaultKind::kTimeout:
            return "did not answer within " + ShortestNumberText(limitSeconds) + " s";
        case LibraryFaultKind::kStopped:
            return "stopped by the user";
        case LibraryFaultKind::kHost:
            return detail;
        default:
            return "no fault";
    }
}

std::string LibraryFault::Describe() const {
    const double inputs[] = {x, y, z, l, m, n};
    const char* names[] = {"x", "y", "z", "l", "m", "n"};
    // A load has no request records: it runs the library's constructors.
    if (type == kLoadRequestType) return What() + " in " + requestName;
    std::string text = What() + " in " + requestName + " (type " + std::to_string(type) +
                       ", numb " + std::to_string(numb) + ") at ";
    for (int i = 0; i < 6; ++i) {
        if (i > 0) text += ", ";
        text += std::string(names[i]) + " " + ShortestNumberText(inputs[i]);
    }
    return text;
}

std::string LibraryFault::Short() const {
    std::string what;
    switch (kind) {
        case LibraryFaultKind::kSignal:
            what = signalName;
            break;
        case LibraryFaultKind::kExit:
            what = "exit " + std::to_string(code);
            break;
        case LibraryFaultKind::kTimeout:
            what = "timeout";
            break;
        case LibraryFaultKind::kStopped:
            what = "stopped";
            break;
        default:
            what = "fault";
            break;
    }
    return what + " in " + requestName;
}

}  // namespace velmor
