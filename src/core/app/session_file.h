// The session file: what brings a working session back (the surface's source, the initial
// record rows the user changed, the main window's fields). A private-profile text in the
// settings file's syntax, UTF-8, written whole through a replacing write:
//
//   [SESSION]   VERSION=1, SOURCE=builtin|library|script, LIBRARY=<path>, SCRIPT=<path>
//   [RECORDS]   RECORD_VERSION=<0..4>, then one "name=text" line per row in the record tables'
//               names and text form (param[3]=0.250000)
//   [ANALYSIS]  the main window's fields, check boxes, mesh pattern and cursor point
//
// The window and velmor-cli read, write and resolve sessions here; the rows are applied by
// core/surface/session_records.h and the fields by each face.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

inline constexpr int kSessionFileVersion = 1;
// A session is a short text; anything larger is no session of ours.
inline constexpr long long kSessionFileLimit = 16LL * 1024 * 1024;

// Sections and keys. [SESSION] is also the section of the settings file's REOPEN_LAST.
inline constexpr const char* kSectionSession = "SESSION";
inline constexpr const char* kSectionRecords = "RECORDS";
inline constexpr const char* kSectionAnalysis = "ANALYSIS";
inline constexpr const char* kKeySessionVersion = "VERSION";
inline constexpr const char* kKeySource = "SOURCE";
inline constexpr const char* kKeyLibrary = "LIBRARY";
inline constexpr const char* kKeyScript = "SCRIPT";
inline constexpr const char* kKeyRecordVersion = "RECORD_VERSION";

// [ANALYSIS] keys: the fields, then what has no field of its own.
inline constexpr const char* kKeyXMin = "X_MIN";
inline constexpr const char* kKeyXMax = "X_MAX";
inline constexpr const char* kKeyYMin = "Y_MIN";
inline constexpr const char* kKeyYMax = "Y_MAX";
inline constexpr const char* kKeyStep2DX = "DELTA_2D_X";
inline constexpr const char* kKeyStep2DY = "DELTA_2D_Y";
inline constexpr const char* kKeyStep3DX = "DELTA_3D_X";
inline constexpr const char* kKeyStep3DY = "DELTA_3D_Y";
inline constexpr const char* kKeyDisplayXMin = "DISPLAY_X_MIN";
inline constexpr const char* kKeyDisplayXMax = "DISPLAY_X_MAX";
inline constexpr const char* kKeyDisplayYMin = "DISPLAY_Y_MIN";
inline constexpr const char* kKeyDisplayYMax = "DISPLAY_Y_MAX";
inline constexpr const char* kKeyDisplayZMin = "DISPLAY_Z_MIN";
inline constexpr const char* kKeyDisplayZMax = "DISPLAY_Z_MAX";
inline constexpr const char* kKeyDisplayNMin = "DISPLAY_N_MIN";
inline constexpr const char* kKeyDisplayNMax = "DISPLAY_N_MAX";
inline constexpr const char* kKeyN1 = "N1";
inline constexpr const char* kKeyN2 = "N2";
inline constexpr const char* kKeyDisplayRMin = "DISPLAY_R_MIN";  // the ray view's r axis
inline constexpr const char* kKeyDisplayRMax = "DISPLAY_R_MAX";
inline constexpr const char* kKeyCursorX = "CURSOR_X";
inline constexpr const char* kKeyCursorY = "CURSOR_Y";
inline constexpr const char* kKeyCursorZ = "CURSOR_Z";
inline constexpr const char* kKeyMeshPattern = "MESH_PATTERN";
inline constexpr const char* kKeyRayTrace = "RAY_TRACE";
inline constexpr const char* kKeyCursor = "CURSOR";
inline constexpr const char* kKeyVerbose = "VERBOSE";
inline constexpr const char* kKeyUseInterpreter = "USE_INTERPRETER";

// How an [ANALYSIS] value reads.
enum class AnalysisValue {
    kNumber,   // a finite decimal number, the whole text
    kSwitch,   // 0 or 1
    kPattern,  // 0 to 3
};
struct AnalysisKey {
    const char* key;
    AnalysisValue kind;
};
// Every [ANALYSIS] key, in the order they are written.
const std::vector<AnalysisKey>& AnalysisKeys();
const AnalysisKey* FindAnalysisKey(std::string_view key);

enum class SessionSource { kBuiltIn, kLibrary, kScript };
const char* SessionSourceName(SessionSource source);  // "builtin", "library", "script"

struct SessionEntry {
    std::string key;
    std::string value;
};

struct Session {
    SessionSource source = SessionSource::kBuiltIn;
    // The library (also under a script: the records are its), absolute; empty for none.
    std::string libraryPath;
    // The script file (also when the script does not answer: it opens in the Interpreter).
    std::string scriptPath;
    std::optional<int> recordVersion;    // RECORD_VERSION
    std::vector<SessionEntry> rows;      // [RECORDS] rows in file order
    std::vector<SessionEntry> analysis;  // [ANALYSIS] values in file order, each read
    // What reading found and left out, one text each: unknown sections and keys, values that do
    // not read. The rest of the file is taken.
    std::vector<std::string> problems;
};

// Reads the session at `path`. False, with one line in *refusal and *session untouched, for a
// file that cannot be read, is not a regular file, is over kSessionFileLimit, holds bytes that
// are no UTF-8 text (a binary file), has no [SESSION] section or a VERSION above 1.
bool ReadSessionFile(const std::string& path, Session* session, std::string* refusal);
// The same for the file's bytes (`name` only for the messages).
bool ParseSession(std::string_view bytes, const std::string& name, Session* session,
                  std::string* refusal);

// The file's text: [SESSION], [RECORDS] (RECORD_VERSION first) and [ANALYSIS] in the entries'
// order. False with the reason when a value cannot be written on one line (a row text holding a
// line break): nothing is written then.
bool SessionText(const Session& session, std::string* text, std::string* reason);
// Writes the session through a replacing write. False with the reason; the target is then as
// it was.
bool WriteSessionFile(const std::string& path, const Session& session, std::string* reason);

// A file a session names: `path` when it exists; else, for a session that travelled, the file
// of the same name beside the session file; empty when neither exists.
std::string ResolveSessionPath(const std::string& path, const std::string& sessionPath);

// `path` made absolute against the current directory (kept as it is when that cannot be read).
std::string AbsoluteFilePath(const std::string& path);
// The file name of a path: what follows its last '/' (or '\').
std::string FileNameOf(const std::string& path);

// An [ANALYSIS] number: the whole text a finite decimal number (blanks around it allowed).
bool ReadAnalysisNumber(std::string_view text, double* value);
// A number as written into a session: the shortest text that reads back to the same double.
std::string AnalysisNumberText(double value);

}  // namespace velmor
