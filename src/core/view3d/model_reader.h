// Readers of triangle models for the 3D window: STL (ASCII and binary) and Wavefront OBJ with
// its MTL material files. Every reader works on a ByteSource, so tests and fuzzers can feed
// bytes; the path-taking entry points open the file on top of that.
//
// Text formats are read line by line: a line runs to its line feed, however long, up to 64 MiB
// (a longer line fails the read), ends at its first zero byte, and its keyword is the first
// token, tokens being separated by comma, blank, carriage return, line feed and tab.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/view3d/model.h"

namespace velmor {

// Failure texts of the "Open ..." command.
inline constexpr char kModelExtensionUnsupported[] = "File Extension ... Unsupported.";
inline constexpr char kReadStlAsciiFailed[] = "Reading STL(ASCII) File ... Failed.";
inline constexpr char kReadStlBinaryFailed[] = "Reading STL(BIN) File ... Failed.";
inline constexpr char kReadObjFailed[] = "Reading OBJ File... Failed.";

// The bytes of one file, read from the start and readable again after Rewind.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to n bytes into buffer; the count read, 0 at the end (or on a read error).
    virtual size_t Read(void* buffer, size_t n) = 0;
    virtual bool Rewind() = 0;
    // Bytes in the whole source, or -1 when unknown.
    virtual long long Size() const = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    size_t Read(void* buffer, size_t n) override;
    bool Rewind() override;
    long long Size() const override { return static_cast<long long>(m_bytes.size()); }

private:
    std::string_view m_bytes;
    size_t m_position = 0;
};

// A regular file opened for reading (devices, pipes and directories are refused).
class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // False with the system's reason in *reason when the file cannot be opened.
    bool Open(const std::string& path, std::string* reason = nullptr);
    size_t Read(void* buffer, size_t n) override;
    bool Rewind() override;
    long long Size() const override { return m_size; }

private:
    int m_fd = -1;
    long long m_size = -1;
};

// Gives the source of a material file named by an OBJ material-library record, or nullptr when
// it cannot be opened.
using MtlOpener = std::function<std::unique_ptr<ByteSource>(const std::string& name)>;

// True when the first token of the first line is "solid" (letter case ignored), unless the
// source's size is exactly 84 + 50 x the count at offset 80: such a file is binary whatever
// its header says (several CAD programs begin binary headers with "solid"). Rewinds.
bool IsStlAscii(ByteSource& source);
bool IsStlAscii(const std::string& path);

// ASCII STL: three unshared vertices and one face per facet, face normals (p1 - p0) x (p2 - p1),
// one group (surface material) per "solid" line holding that solid's facets. A facet without
// three vertices and its "endfacet" is dropped; a fourth vertex line is ignored. Fails when the
// file has no "facet" line or no complete facet. ReportProgress(0, facets) once the lines are
// counted, then (facets done, facets) before every line; a cancel, also one answered at the
// first report, keeps the facets read so far (and counts as a success).
bool ReadStlAscii(ByteSource& source, CModel& out);
bool ReadStlAscii(const std::string& path, CModel& out, std::string* reason = nullptr);

// Binary STL: one group (surface material), the records the file really holds (never more than
// its count). Fails without a complete header, with count 0, or without any complete record.
// ReportProgress(0, count), then (k + 1, count) after every record; a cancel keeps the records
// read so far (and counts as a success).
bool ReadStlBinary(ByteSource& source, CModel& out);
bool ReadStlBinary(const std::string& path, CModel& out, std::string* reason = nullptr);

// Wavefront OBJ: v, vn, f (plain, v/t, v/t/n and v//n tokens, fans beyond three; relative
// indices resolved; faces naming missing vertices or normals dropped), g (groups by name, letter
// case ignored, plus "(NoName)"), usemtl, mtllib through `openMtl`. Fails on a v-keyword other
// than v, vn and vt.
bool ReadObj(ByteSource& source, const MtlOpener& openMtl, CModel& out);
// Material files are looked up beside the OBJ file.
bool ReadObj(const std::string& path, CModel& out, std::string* reason = nullptr);

// MTL: newmtl appends a default material, Ka/Kd/Ks set colours of the last one, N* sets its
// shininess as value / 1000 * 128. `materials` must hold at least one material. False when a
// line is too long, which fails the OBJ file naming it.
bool ReadMtl(ByteSource& source, std::vector<modelMaterial>& materials);

enum class ModelFileType { kStl, kObj, kUnsupported };

// By the extension of the file name (".stl" or ".obj", letter case ignored).
ModelFileType ModelFileTypeOf(const std::string& path);

// The reading half of "Open ...": reads the file by its extension into `out` (cleared first).
// Returns 0, or -1 with the command's failure text in *message (followed by a line with the
// path and the system's reason when the file could not be opened). On failure `out` holds
// nothing usable and the window keeps its model.
int ReadModelFile(const std::string& path, CModel& out, std::string* message);

}  // namespace velmor
