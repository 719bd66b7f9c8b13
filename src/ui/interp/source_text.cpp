#include "ui/interp/source_text.h"

#include <QFile>

#include "core/app/cp932.h"
#include "core/app/regular_file.h"
#include "core/interp/default_script.h"

namespace velmor {

namespace {

// One code point as code page 932 bytes appended to `out`; false when it has no such form.
bool AppendCodePoint(char32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
        return true;
    }
    const QByteArray utf8 = QString::fromUcs4(&codePoint, 1).toUtf8();
    std::string bytes;
    if (!Utf8ToCp932(std::string_view(utf8.constData(), std::size_t(utf8.size())), &bytes))
        return false;
    out->append(bytes);
    return true;
}

}  // namespace

QString DefaultSourceText() {
    return ToEditLineEnds(QString::fromLatin1(kDefaultScript));
}

const std::array<InsertEntry, kInsertEntryCount> kInsertEntries = {{
    {"( predefined token )", nullptr},
    {"x", "x"},
    {"y", "y"},
    {"z", "z"},
    {"=", "="},
    {"+", "+"},
    {"-", "-"},
    {"*", "*"},
    {"/", "/"},
    {"==", "=="},
    {"!=", "!="},
    {">", ">"},
    {">=", ">="},
    {"<", "<"},
    {"<=", "<="},
    {"&& (AND)", "&&"},
    {"|| (OR)", "||"},
    {"! (NOT)", "!"},
    {"if( )", "if( )"},
    {"else", "else"},
    {"pi ( = 3.14...)", "pi"},
    {"PI ( = 3.14...)", "PI"},
    {"sqrt( )", "sqrt( )"},
    {"pow( , )", "pow( , )"},
    {"exp( )", "exp( )"},
    {"ln( ) (natural log)", "ln( )"},
    {"log( ) (natural log)", "log( )"},
    {"log10( ) (common log)", "log10( )"},
    {"max( , )", "max( , )"},
    {"min( , )", "min( , )"},
    {"abs( )", "abs( )"},
    {"sin( )", "sin( )"},
    {"cos( )", "cos( )"},
    {"tan( )", "tan( )"},
    {"asin( ) ( arc sin )", "asin( )"},
    {"acos( ) ( arc cos )", "acos( )"},
    {"atan( ) ( arc tan )", "atan( )"},
    {"sinh( )", "sinh( )"},
    {"cosh( )", "cosh( )"},
    {"tanh( )", "tanh( )"},
    {"; ( statement terminator )", ";"},
    {"// ( comment )", "//"},
}};

QString ToCrLf(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return out;
}

QString ToEditLineEnds(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

CompilerSource SourceForCompiler(const QString& editText, std::size_t maxBytes) {
    CompilerSource source;
    const QString text = ToCrLf(editText);
    const QByteArray utf8 = text.toUtf8();
    if (!Utf8ToCp932(std::string_view(utf8.constData(), std::size_t(utf8.size())), &source.bytes)) {
        // Character by character, '?' for the ones without a code page 932 form, and no
        // further than the limit needs.
        source.bytes.clear();
        for (char32_t codePoint : text.toUcs4()) {
            if (source.bytes.size() > maxBytes) break;
            if (!AppendCodePoint(codePoint, &source.bytes)) {
                source.bytes.push_back('?');
                source.replaced = true;
            }
        }
    }
    if (source.bytes.size() > maxBytes) {
        source.bytes.resize(Cp932FitLength(source.bytes, maxBytes));
        source.cut = true;
    }
    return source;
}

bool SourceForFile(const QString& editText, std::string* bytes, int* badLine) {
    const QString text = ToCrLf(editText);
    const QByteArray utf8 = text.toUtf8();
    if (Utf8ToCp932(std::string_view(utf8.constData(), std::size_t(utf8.size())), bytes)) {
        if (badLine) *badLine = 0;
        return true;
    }
    bytes->clear();
    int line = 1;
    std::string scratch;
    for (char32_t codePoint : text.toUcs4()) {
        if (codePoint == U'\n') ++line;
        scratch.clear();
        if (!AppendCodePoint(codePoint, &scratch)) break;
    }
    if (badLine) *badLine = line;
    return false;
}

QString TextFromCp932(std::string_view bytes, bool* clean) {
    std::string utf8;
    const bool ok = Cp932ToUtf8(bytes, &utf8);
    if (clean) *clean = ok;
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

bool ReadWholeFile(const QString& path, std::string* bytes, QString* error) {
    // A pipe or device picked in the dialog is refused without waiting on it.
    std::string reason;
    if (ReadWholeFile(QFile::encodeName(path).toStdString(), kSourceFileByteLimit, bytes,
                      &reason) != 0) {
        *error = QString::fromLocal8Bit(reason.c_str());
        return false;
    }
    return true;
}

WriteResult WriteWholeFile(const QString& path, std::string_view bytes, QString* error) {
    ReplacingFile file;
    std::string reason;
    if (!file.Open(QFile::encodeName(path).toStdString(), &reason)) {
        *error = QString::fromLocal8Bit(reason.c_str());
        return WriteResult::CannotCreate;
    }
    file.Write(bytes);
    if (!file.Commit(&reason)) {
        *error = QString::fromLocal8Bit(reason.c_str());
        return WriteResult::CannotWrite;
    }
    return WriteResult::Written;
}

}  // namespace velmor
