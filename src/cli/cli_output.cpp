#include "cli/cli_output.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/app/number_text.h"

namespace velmor::cli {

std::string FormatDouble(double value) {
    return FormatGeneral(value, 17);
}

Json FaultJson(const LibraryFault& fault) {
    auto number = [](double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); };
    Json object = Json::object();
    object["kind"] = fault.KindText();
    const bool signal = fault.kind == LibraryFaultKind::kSignal;
    object["signal"] = signal ? Json(fault.signalName) : Json(nullptr);
    if (signal) {
        object["code"] = fault.signal;
    } else if (fault.kind == LibraryFaultKind::kExit) {
        object["code"] = fault.code;
    } else if (fault.kind == LibraryFaultKind::kException) {
        object["code"] = fault.exceptionCode;
        object["exception"] = ExceptionName(fault.exceptionCode);
    } else {
        object["code"] = nullptr;
    }
    if (fault.kind == LibraryFaultKind::kTimeout) object["limit_seconds"] = fault.limitSeconds;
    if (fault.kind == LibraryFaultKind::kRecordOverrun) {
        object["record"] = FaultRecordName(fault.record);
        object["offset"] = fault.offset;
        object["access"] = FaultAccessName(fault.access);
    }
    if (fault.kind == LibraryFaultKind::kHost || fault.kind == LibraryFaultKind::kConnection) {
        object["detail"] = fault.detail;
    }
    object["request"] = fault.type;
    object["numb"] = fault.numb;
    object["request_name"] = fault.requestName;
    const double inputs[] = {fault.x, fault.y, fault.z, fault.l, fault.m, fault.n};
    const char* names[] = {"x", "y", "z", "l", "m", "n"};
    // Inputs the library overwrote are none.
    for (int i = 0; i < 6; ++i) {
        object[names[i]] = fault.inputsKnown ? number(inputs[i]) : Json(nullptr);
    }
    object["message"] = fault.Describe();
    return object;
}

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

[[noreturn]] void ThrowOutputError(int error) {
    throw OutputError(std::string("standard output: ") +
                      (error != 0 ? std::strerror(error) : "a write failed"));
}

}  // namespace

void PrintOut(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) ThrowOutputError(errno);
}

void CloseStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0) ThrowOutputError(errno);
    // A write that failed without our noticing (output of a surface library, say).
    if (std::ferror(stdout)) ThrowOutputError(0);
    if (std::fclose(stdout) != 0) ThrowOutputError(errno);
}

Output::Output(bool json, const std::string& command) : m_json(json) {
    if (m_json) m_object["command"] = command;
}

void Output::Number(const std::string& name, double value) {
    if (m_json) {
        // JSON has no infinities or not-a-number: those become null.
        m_object[name] = std::isfinite(value) ? Json(value) : Json(nullptr);
    } else {
        PrintOut(name + "\t" + FormatDouble(value) + "\n");
    }
}

void Output::Integer(const std::string& name, long long value) {
    if (m_json) {
        m_object[name] = value;
    } else {
        PrintOut(name + "\t" + std::to_string(value) + "\n");
    }
}

void Output::Flag(const std::string& name, bool value) {
    if (m_json) {
        m_object[name] = value;
    } else {
        PrintOut(name + (value ? "\t1\n" : "\t0\n"));
    }
}

void Output::Text(const std::string& name, std::string_view value) {
    if (m_json) {
        m_object[name] = std::string(value);
    } else {
        PrintOut(name + "\t" + EscapeControls(value) + "\n");
    }
}

void Output::Raw(std::string_view text) {
    PrintOut(text);
}

void Output::Finish() {
    if (m_json) {
        // Bytes that are no UTF-8 (a path, say) are replaced rather than failing the dump.
        const std::string text = m_object.dump(-1, ' ', false, Json::error_handler_t::replace);
        PrintOut(text + "\n");
    }
}

}  // namespace velmor::cli
