// STL readers, ASCII and binary.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/app/ascii_case.h"
#include "core/app/number_text.h"
#include "core/app/progress.h"
#include "core/view3d/large_buffers.h"
#include "core/view3d/model_reader.h"
#include "core/view3d/text_lines.h"

namespace velmor {

namespace {

modelGroup* AddSurfaceGroup(CModel& model) {
    auto group = std::make_unique<modelGroup>();
    group->material = modelMaterial::Surface();
    model.groups.push_back(std::move(group));
    return model.groups.back().get();
}

// Appends the triangle (a, b, c) with its own three vertices as face k into `group`.
void AppendTriangle(CModel& model, modelGroup& group, const Vec3f& a, const Vec3f& b,
                    const Vec3f& c) {
    const int k = static_cast<int>(model.faces.size());
    const int v = static_cast<int>(model.vertices.size());
    model.vertices.push_back(a);
    model.vertices.push_back(b);
    model.vertices.push_back(c);
    model.faceNormals.push_back(FaceNormal(a, b, c));
    modelFace face;
    face.vertex[0] = v;
    face.vertex[1] = v + 1;
    face.vertex[2] = v + 2;
    face.faceNormal = k;
    model.faces.push_back(face);
    group.faces.push_back(k);
}

// A vertex coordinate as the C library reads the token: 0 when it starts with no number,
// infinity or 0 when it is out of range.
float Coordinate(std::string_view token) {
    double value = 0;
    ScanLeadingDouble(token, &value);
    return static_cast<float>(value);
}

float LittleEndianFloat(const unsigned char* bytes) {
    uint32_t raw = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                   static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return std::bit_cast<float>(raw);
}

// Reads exactly n bytes unless the source ends first; the count read.
size_t ReadFully(ByteSource& source, void* buffer, size_t n) {
    size_t done = 0;
    while (done < n) {
        const size_t got = source.Read(static_cast<char*>(buffer) + done, n - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

// The little-endian triangle count at offset 80 of a binary header.
uint32_t TriangleCount(const unsigned char* head) {
    return static_cast<uint32_t>(head[80]) | static_cast<uint32_t>(head[81]) << 8 |
           static_cast<uint32_t>(head[82]) << 16 | static_cast<uint32_t>(head[83]) << 24;
}

// Most entries reserved ahead when the size of a source is unknown; more grow as read.
constexpr size_t kReserveWithoutSize = 1 << 16;

}  // namespace

// The entry points at the end of the file turn an allocation failure into a failed read.

static bool IsStlAsciiUnguarded(ByteSource& source) {
    // Several CAD programs begin a binary header with "solid": a file whose size is exactly that
    // of the count in its header is binary whatever its first word.
    const long long size = source.Size();
    unsigned char head[84];
    if (size >= 84 && ReadFully(source, head, sizeof head) == sizeof head) {
        if (size == 84 + 50 * static_cast<long long>(TriangleCount(head))) {
            source.Rewind();
            return false;
        }
    }
    if (!source.Rewind()) return false;
    LineReader lines(source);
    std::string_view line;
    const bool ascii = lines.Next(&line) && EqualsIgnoringCase(LineTokens(line).Keyword(), "solid");
    lines.Rewind();
    return ascii;
}

static bool ReadStlAsciiUnguarded(ByteSource& source, CModel& out) {
    out.Clear();
    LineReader lines(source);
    std::string_view line;
    long long facetLines = 0;
    while (lines.Next(&line)) {
        if (EqualsIgnoringCase(LineTokens(line).Keyword(), "facet")) ++facetLines;
    }
    if (lines.TooLong()) return false;
    // A cancel pressed while the lines were counted is answered here.
    if (ReportProgress(0, facetLines)) return true;
    if (!lines.Rewind() || facetLines == 0) return false;

    // A complete facet takes at least 36 bytes ("facet", three "vertex" and "endfacet" lines),
    // so the reserve stays in proportion to what the file can hold.
    size_t expected = static_cast<size_t>(facetLines);
    if (source.Size() >= 0) {
        expected = std::min<size_t>(expected, static_cast<size_t>(source.Size()) / 36 + 1);
    }
    ReserveLarge(out.vertices, 3 * expected);
    ReserveLarge(out.faceNormals, expected);
    ReserveLarge(out.faces, expected);

    modelGroup* group = nullptr;
    Vec3f corners[3];
    int cornerCount = 0;
    bool facetOpen = false;
    long long done = 0;
    bool cancelled = false;
    while (lines.Next(&line)) {
        if (ReportProgress(done, facetLines)) {
            cancelled = true;
            break;
        }
        LineTokens tokens(line);
        const std::string_view keyword = tokens.Keyword();
        if (EqualsIgnoringCase(keyword, "solid")) {
            group = AddSurfaceGroup(out);
        } else if (EqualsIgnoringCase(keyword, "facet")) {
            facetOpen = true;  // a facet left without "endfacet" is dropped here
            cornerCount = 0;
        } else if (EqualsIgnoringCase(keyword, "vertex")) {
            if (!facetOpen || cornerCount >= 3) continue;
            Vec3f& v = corners[cornerCount++];
            v.x = Coordinate(tokens.NextToken());
            v.y = Coordinate(tokens.NextToken());
            v.z = Coordinate(tokens.NextToken());
        } else if (EqualsIgnoringCase(keyword, "endfacet")) {
            if (facetOpen && cornerCount == 3) {
                if (!group) group = AddSurfaceGroup(out);  // facets before any "solid" line
                AppendTriangle(out, *group, corners[0], corners[1], corners[2]);
                ++done;
            }
            facetOpen = false;
        }
    }
    if (lines.TooLong()) return false;
    return cancelled || done > 0;
}

static bool ReadStlBinaryUnguarded(ByteSource& source, CModel& out) {
    out.Clear();
    unsigned char head[84];
    if (ReadFully(source, head, sizeof(head)) != sizeof(head)) return false;
    const uint32_t count = TriangleCount(head);
    if (count == 0) return false;

    // Never trust the count beyond the records the file can hold.
    size_t reserve = count;
    const long long size = source.Size();
    if (size >= 84) {
        reserve = std::min<size_t>(reserve, static_cast<size_t>((size - 84) / 50));
    } else {
        reserve = std::min<size_t>(reserve, kReserveWithoutSize);
    }
    modelGroup* group = AddSurfaceGroup(out);
    ReserveLarge(out.vertices, 3 * reserve);
    ReserveLarge(out.faceNormals, reserve);
    ReserveLarge(out.faces, reserve);
    ReserveLarge(group->faces, reserve);
    if (ReportProgress(0, count)) return true;  // cancelled before the first record

    const size_t kRecordsPerRead = std::clamp<size_t>(reserve, 1, 4096);
    std::vector<unsigned char> buffer(50 * kRecordsPerRead);
    uint32_t k = 0;
    bool cancelled = false;
    while (k < count && !cancelled) {
        const size_t want = std::min<size_t>(kRecordsPerRead, count - k);
        const size_t got = ReadFully(source, buffer.data(), 50 * want) / 50;
        for (size_t i = 0; i < got; ++i, ++k) {
            const unsigned char* record = buffer.data() + 50 * i;  // the normal is read past
            Vec3f corner[3];
            for (int c = 0; c < 3; ++c) {
                corner[c].x = LittleEndianFloat(record + 12 + 12 * c);
                corner[c].y = LittleEndianFloat(record + 16 + 12 * c);
                corner[c].z = LittleEndianFloat(record + 20 + 12 * c);
            }
            AppendTriangle(out, *group, corner[0], corner[1], corner[2]);
            if (ReportProgress(static_cast<long long>(k) + 1, count)) {
                cancelled = true;
                break;
            }
        }
        if (got < want) break;  // the file ends before its count
    }
    return !out.faces.empty();
}

bool IsStlAscii(ByteSource& source) {
    try {
        return IsStlAsciiUnguarded(source);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadStlAscii(ByteSource& source, CModel& out) {
    try {
        return ReadStlAsciiUnguarded(source, out);
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
}

bool ReadStlBinary(ByteSource& source, CModel& out) {
    try {
        return ReadStlBinaryUnguarded(source, out);
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
}

}  // namespace velmor
