// The script source as the Interpreter window handles it: the example program, the insert
// list, the conversions between the edit box's text and the code page 932 bytes the engine
// compiles and the source files hold, and reading and writing those files.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/interp/compile_report.h"

namespace velmor {

// The most bytes of source text handed to the compiler.
inline constexpr std::size_t kSourceByteLimit = kCompileSourceByteLimit;

// A source file larger than this is no script; it is refused instead of being loaded.
inline constexpr qint64 kSourceFileByteLimit = 1 << 20;

// The example program the window starts with, lines ending with '\n' as in the edit box.
QString DefaultSourceText();

// One entry of the insert list: the text shown and the text inserted into the source.
struct InsertEntry {
    const char* shown;
    const char* inserted;  // nullptr: nothing (the first entry)
};
inline constexpr int kInsertEntryCount = 42;
extern const std::array<InsertEntry, kInsertEntryCount> kInsertEntries;

// Edit-box text ('\n' line ends) in the CR LF form of the compiler and the files.
QString ToCrLf(const QString& text);
// File or message text with CR LF, LF or lone CR line ends, in the '\n' form of the edit box.
QString ToEditLineEnds(const QString& text);

// The source as compiler input: CR LF line ends, code page 932, at most `maxBytes` bytes,
// cut before a character that would not fit whole. A character code page 932 lacks becomes
// '?', which the compiler then reports where it matters (outside comments).
struct CompilerSource {
    std::string bytes;
    bool cut = false;       // the text was longer than maxBytes
    bool replaced = false;  // some character had no code page 932 form
};
CompilerSource SourceForCompiler(const QString& editText, std::size_t maxBytes);

// The whole source as file bytes: CR LF line ends, code page 932. False when a character has
// no code page 932 form; `badLine` (1-based) then names the first line holding one.
bool SourceForFile(const QString& editText, std::string* bytes, int* badLine);

// Code page 932 bytes (engine messages, file contents) as text for an edit box. Bytes that
// form no character become U+FFFD and make `clean` false.
QString TextFromCp932(std::string_view bytes, bool* clean = nullptr);

// Reads a whole file. False with the system's description of the failure in `error`.
bool ReadWholeFile(const QString& path, std::string* bytes, QString* error);

enum class WriteResult { Written, CannotCreate, CannotWrite };
// Creates or replaces the file and writes the bytes, without a terminator. The file is replaced
// only once every byte is on disk; a target that is no regular file cannot be created.
WriteResult WriteWholeFile(const QString& path, std::string_view bytes, QString* error);

}  // namespace velmor
