#include "core/interp/compile_report.h"

#include "core/app/cp932.h"
#include "core/interp/message_text.h"
#include "core/interp/script_engine.h"

namespace velmor {

std::string CompileReport(CScriptEngine& engine, const char* source) {
    if (source == nullptr || source[0] == '\0') return kCompileSourceEmpty;

    engine.Compile(source);
    std::string output;
    if (engine.CompileErrorCount() > 0) {
        output = kCompileParserError;
        output += engine.CompileMessageText();  // read before any run clears it
        output += "\r\n";
    } else {
        output = kCompileParserNoError;
    }

    // A test run at x = 0, y = 0 shows the faults a script meets at once.
    if (engine.InstructionCount() > 0) {
        engine.SetInputs(0.0, 0.0);
        engine.Run(true);
        // The note about z joins the run message text and is cut with it at its size.
        MessageText run;
        run.Append(engine.RunMessageText());
        if (!engine.ZAssigned(nullptr)) AppendUninitializedNote(run, "z");
        if (!run.Empty()) {
            output = kCompileExecuteError;
            output += run.Text();
            output += "\r\n";
        }
    }
    return output;
}

std::string ListingReport(CScriptEngine& engine) {
    if (engine.InstructionCount() <= 0) return kListingNone;
    engine.MakeListing();
    std::string text = engine.ListingText();
    text += "\r\n";
    return text;
}

std::string CompilerInputFromFile(std::string_view fileBytes, std::size_t maxBytes, bool* cut) {
    // As text first, so that bytes forming no character are caught where the window catches
    // them: they come out as U+FFFD, which code page 932 lacks and the window compiles as '?'.
    std::string utf8;
    Cp932ToUtf8(fileBytes, &utf8);
    std::string text;
    text.reserve(utf8.size() + utf8.size() / 16);
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
            text += "\r\n";
        } else if (c == '\n') {
            text += "\r\n";
        } else if (std::string_view(utf8).substr(i, kReplacement.size()) == kReplacement) {
            text += '?';
            i += kReplacement.size() - 1;
        } else {
            text += c;
        }
    }
    std::string bytes;
    if (!Utf8ToCp932(text, &bytes)) {
        // Every character came from code page 932, so this cannot fail; keep the ASCII.
        bytes.clear();
        for (char c : text) bytes += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    const std::size_t keep = Cp932FitLength(bytes, maxBytes);
    if (cut != nullptr) *cut = keep < bytes.size();
    bytes.resize(keep);
    return bytes;
}

}  // namespace velmor
