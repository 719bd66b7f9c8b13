#include "core/view3d/stl_writer.h"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "core/app/progress.h"
#include "core/app/regular_file.h"

namespace velmor {

namespace {

// Decimal digits of "%f" written from the exact binary value of a float: value * 10^6 =
// m * 5^6 * 2^(e + 6) is a whole number (or a binary fraction) that fits 64 bits for every
// float below about 8.8e12, rounded half to even as printf rounds.
bool FixedDigits(float value, uint64_t* scaled) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint32_t biased = (bits >> 23) & 0xFF;
    const uint64_t fraction = bits & 0x7FFFFF;
    if (biased == 0xFF) return false;  // infinity, not a number
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000);
    const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
    const uint64_t product = m * 15625;  // below 2^38
    const int shift = e + 6;
    if (shift >= 0) {
        if (shift > 25) return false;
        *scaled = product << shift;
        return true;
    }
    const int s = -shift;
    if (s >= 40) {
        *scaled = 0;  // below 0.5 millionths
        return true;
    }
    uint64_t q = product >> s;
    const uint64_t rest = product & ((uint64_t{1} << s) - 1);
    const uint64_t half = uint64_t{1} << (s - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
    *scaled = q;
    return true;
}

template <typename T>
void PutLittleEndian(unsigned char* out, T value) {
    auto raw = std::bit_cast<std::array<unsigned char, sizeof(T)>>(value);
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < sizeof(T); ++i) out[i] = raw[sizeof(T) - 1 - i];
    } else {
        std::memcpy(out, raw.data(), sizeof(T));
    }
}

// A face's normal and corners; values a face does not name (a model not made by the builder or
// the STL readers) are written as zeros rather than read from outside the lists.
void FaceValues(const CModel& model, const modelFace& face, Vec3f out[4]) {
    out[0] = Vec3f{};
    if (face.faceNormal >= 0 && static_cast<size_t>(face.faceNormal) < model.faceNormals.size()) {
        out[0] = model.faceNormals[face.faceNormal];
    }
    for (int i = 0; i < 3; ++i) {
        out[i + 1] = Vec3f{};
        const int v = face.vertex[i];
        if (v >= 0 && static_cast<size_t>(v) < model.vertices.size())
            out[i + 1] = model.vertices[v];
    }
}

std::string FailureText(const char* what, const std::string& path, const std::string& reason) {
    return std::string(what) + "\n" + path + ": " + reason;
}

// The file written through one large buffer into a replacing write: the target changes only
// when every byte has reached the disk.
class BufferedFile {
public:
    bool Open(const std::string& path, std::string* reason) { return m_file.Open(path, reason); }

    // Room for at least `n` more bytes.
    char* Reserve(size_t n) {
        if (m_buffer.size() - m_used < n) Flush();
        if (m_buffer.size() < n) m_buffer.resize(n);
        return m_buffer.data() + m_used;
    }
    void Commit(size_t n) { m_used += n; }
    void Put(const char* text, size_t n) {
        std::memcpy(Reserve(n), text, n);
        Commit(n);
    }

    void Flush() {
        if (m_used == 0) return;
        m_file.Write(std::string_view(m_buffer.data(), m_used));
        m_used = 0;
    }

    // Overwrites bytes already written.
    void PatchAt(long long offset, const void* bytes, size_t n) {
        Flush();
        m_file.WriteAt(offset, std::string_view(static_cast<const char*>(bytes), n));
    }

    // Flushes and puts the file in place of the target; false with the reason of the first
    // failure of the whole write.
    bool Close(std::string* reason) {
        Flush();
        return m_file.Commit(reason);
    }

private:
    ReplacingFile m_file;
    std::vector<char> m_buffer = std::vector<char>(1 << 20);
    size_t m_used = 0;
};

// Longest number: sign, 39 digits of the largest float, point, six decimals.
constexpr size_t kMaxNumberText = 47;
// Seven lines of one facet: four with three numbers, 20 characters of text each at most, and
// the three fixed lines.
constexpr size_t kMaxFacetText = 4 * (20 + 3 * (kMaxNumberText + 1)) + 64;

char* PutText(char* out, const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

char* PutTriple(char* out, const char* prefix, const Vec3f& v) {
    out = PutText(out, prefix);
    out = FormatFixed6(v.x, out);
    *out++ = ' ';
    out = FormatFixed6(v.y, out);
    *out++ = ' ';
    out = FormatFixed6(v.z, out);
    *out++ = '\n';
    return out;
}

// The file name of a path: everything after its last '/' or '\'.
std::string FileNameOfPath(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

char* FormatFixed6(float value, char* out) {
    uint64_t scaled = 0;
    if (!FixedDigits(value, &scaled)) {
        return std::to_chars(out, out + 64, static_cast<double>(value), std::chars_format::fixed, 6)
            .ptr;
    }
    if (std::signbit(value)) *out++ = '-';
    out = std::to_chars(out, out + 24, scaled / 1000000).ptr;
    *out++ = '.';
    uint64_t decimals = scaled % 1000000;
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + decimals % 10);
        decimals /= 10;
    }
    return out + 6;
}

namespace {

// What both formats do around their bytes: the file opened, `body` writing into it (answering
// kStlWritten, or kStlCancelled for a file cut short but valid), the file put in place of the
// target. A failure, an allocation failure too, is a failed write whose message is `failedText`
// with the path and the reason.
template <class Body>
int WriteStlFile(const std::string& path, const char* failedText, std::string* message, Body body) {
    if (message) message->clear();
    std::string reason;
    try {
        BufferedFile file;
        if (file.Open(path, &reason)) {
            const int result = body(file);
            if (file.Close(&reason)) return result;
        }
    } catch (const std::bad_alloc&) {
        reason = std::strerror(ENOMEM);
    }
    if (message) *message = FailureText(failedText, path, reason);
    return kStlWriteFailed;
}

}  // namespace

int WriteStlAscii(const std::string& path, const CModel& model, std::string* message) {
    return WriteStlFile(path, kWriteStlAsciiFailed, message, [&](BufferedFile& file) {
        const std::string name = FileNameOfPath(path);
        file.Put("solid ", 6);
        file.Put(name.data(), name.size());
        file.Put("\n", 1);

        int result = kStlWritten;
        const long long count = static_cast<long long>(model.faces.size());
        for (long long k = 0; k < count; ++k) {
            if (ReportProgress(k, count)) {
                result = kStlCancelled;
                break;
            }
            Vec3f values[4];
            FaceValues(model, model.faces[k], values);
            char* start = file.Reserve(kMaxFacetText);
            char* out = PutTriple(start, "    facet normal ", values[0]);
            out = PutText(out, "        outer loop\n");
            for (int i = 1; i <= 3; ++i) out = PutTriple(out, "            vertex ", values[i]);
            out = PutText(out, "        endloop\n    endfacet\n");
            file.Commit(static_cast<size_t>(out - start));
        }
        file.Put("endsolid\n", 9);
        return result;
    });
}

int WriteStlBinary(const std::string& path, const CModel& model, std::string* message) {
    return WriteStlFile(path, kWriteStlBinaryFailed, message, [&](BufferedFile& file) {
        char header[84];
        std::memset(header, ' ', 80);
        std::memcpy(header, kStlBinaryHeaderText, sizeof(kStlBinaryHeaderText));  // with its zero
        const size_t faceCount = model.faces.size();
        const uint32_t count =
            faceCount > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(faceCount);
        PutLittleEndian(reinterpret_cast<unsigned char*>(header + 80), count);
        file.Put(header, 84);

        int result = kStlWritten;
        uint32_t written = 0;
        for (; written < count; ++written) {
            if (ReportProgress(written, count)) {
                result = kStlCancelled;
                break;
            }
            Vec3f values[4];
            FaceValues(model, model.faces[written], values);
            auto* record = reinterpret_cast<unsigned char*>(file.Reserve(50));
            for (int i = 0; i < 4; ++i) {
                PutLittleEndian(record + 12 * i, values[i].x);
                PutLittleEndian(record + 12 * i + 4, values[i].y);
                PutLittleEndian(record + 12 * i + 8, values[i].z);
            }
            record[48] = record[49] = 0;
            file.Commit(50);
        }
        if (result == kStlCancelled) {
            // The count names the records really in the file, so the file stays valid.
            unsigned char bytes[4];
            PutLittleEndian(bytes, written);
            file.PatchAt(80, bytes, 4);
        }
        return result;
    });
}

}  // namespace velmor
