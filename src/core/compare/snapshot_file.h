// The snapshot file: one surface's answers (SurfaceAnswers) as a JSON document, for a later
// comparison ("velmor-cli snapshot", then "velmor-cli compare FILE" in a library's CI).
//
//   {
//     "format": "velmor-snapshot",  "version": 1,
//     "kind": "library" | "script" | "built-in",  "source": the library's or script's path,
//     "ranges": {"xmin", "xmax", "ymin", "ymax", "dx", "dy"},
//     "records": null (a script) | {"record_version", "gradient_index", "name_result", "name",
//                 "element_names": [[element, name], ...], "safe_data": [[row, value], ...],
//                 "changed_rows": [[row, value], ...]},
//     "sag": {"x": [...], "y": [...], "ok": "0110..." (one digit per point),
//             "values": [...] (point (i, j) at j * len(x) + i; null where the point failed)},
//     "rays": null | {"direction": [l, m, n],
//                     "answers": [[result, x, y, z, l, m, n, ln, mn, nn, path], ...]},
//     "index": null | {"points": [[x, y, z], ...], "answers": [[ok, index, dndx, dndy, dndz],
//                      ...]},
//     "ray": null | {"start": [x, y, z, l, m, n], "answer": [result, x, ..., path]},
//     "nonfinite": {JSON pointer: "7ff8000000000000", ...}
//   }
//
// Numbers are written as the shortest text that reads back to the same double, and read back
// with a correctly rounded reader, so every number returns bit for bit whatever the locale. JSON
// has no infinity or not-a-number: such a value is written as null, and "nonfinite" names its
// place (a JSON pointer, "/sag/values/17") with its 64 bits in hexadecimal. Row values are the
// texts RowValueText writes. A reader refuses a file of another format or version, and any
// part missing, of the wrong type or of the wrong size, naming it.
#pragma once

#include <string>
#include <string_view>

#include "core/compare/surface_answers.h"

namespace velmor {

inline constexpr const char* kSnapshotFormat = "velmor-snapshot";
inline constexpr int kSnapshotVersion = 1;
// A snapshot file larger than this is refused unread.
inline constexpr long long kSnapshotFileLimit = 1LL << 30;

std::string SnapshotText(const SurfaceAnswers& answers);
// Writes the snapshot, replacing `path` only once it is written whole. False with the reason.
bool WriteSnapshotFile(const std::string& path, const SurfaceAnswers& answers, std::string* reason);

// Reads a snapshot. False with what is wrong ("not JSON: ...", "\"sag\": missing", ...).
bool ReadSnapshotText(std::string_view text, SurfaceAnswers* answers, std::string* reason);
bool ReadSnapshotFile(const std::string& path, SurfaceAnswers* answers, std::string* reason);

// Whether the start of a file (its first bytes) looks like a snapshot: a JSON object that
// names its format early on.
bool LooksLikeSnapshot(std::string_view start);

}  // namespace velmor
