// STL export of a CModel: the ASCII format line for line and the binary format with the
// "STL Velmor" header. Both write every face in order: the face's normal (entry faceNormal of
// the face-normal list) and the three vertices it names.
#pragma once

#include <string>

#include "core/view3d/model.h"

namespace velmor {

inline constexpr char kStlBinaryHeaderText[] = "STL Velmor";

// Failure texts of the export commands.
inline constexpr char kWriteStlAsciiFailed[] = "Writing STL(ASCII) File ... Failed.";
inline constexpr char kWriteStlBinaryFailed[] = "Writing STL(BIN) File ... Failed.";

// Outcome of a write.
enum StlWriteResult {
    kStlWritten = 0,    // every face written
    kStlCancelled = 1,  // ReportProgress asked to stop; the file is complete and valid up to there
    kStlWriteFailed = -1  // the file could not be created or written; *message says why
};

// Both writers replace the target only once the whole file is on disk (a failed write leaves
// it as it was) and refuse a target that is no regular file (a device, a pipe, a directory).

// ASCII STL: "solid <file name>" (the name without its directory), seven lines per face with
// six-decimal numbers ('.' always), "endsolid" (also after a cancel). ReportProgress(k, count)
// before every face.
int WriteStlAscii(const std::string& path, const CModel& model, std::string* message);

// Binary STL: 80-byte header ("STL Velmor", a zero byte, blanks), the little-endian 32-bit
// count, one 50-byte record per face. After a cancel the count at offset 80 is rewritten to the
// records in the file.
int WriteStlBinary(const std::string& path, const CModel& model, std::string* message);

// Writes `value` widened to double as "%f" writes it in the "C" locale (six decimals, '.'),
// whatever the process locale. `out` needs room for 64 characters; returns the end.
char* FormatFixed6(float value, char* out);

}  // namespace velmor
