// Wavefront OBJ reader and its MTL material files.
#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>

#include "core/app/ascii_case.h"
#include "core/app/number_text.h"
#include "core/app/progress.h"
#include "core/view3d/model_reader.h"
#include "core/view3d/text_lines.h"

namespace velmor {

namespace {

constexpr char kNoName[] = "(NoName)";

std::string NameOrNoName(std::string_view rest) {
    return rest.empty() ? std::string(kNoName) : std::string(rest);
}

// "%d" at the start of `text`: optional white space and sign, then digits. Advances `text`
// past what it read. False when there is no number; a number that does not fit an int reads
// as LLONG_MAX, an index that names nothing.
bool ScanInt(std::string_view& text, long long* value) {
    int number = 0;
    size_t used = 0;
    const NumberScan scan = ScanLeadingInt(text, &number, &used);
    if (scan == NumberScan::kNoNumber) return false;
    text.remove_prefix(used);
    *value = scan == NumberScan::kOutOfRange ? LLONG_MAX : number;
    return true;
}

bool ScanLiteral(std::string_view& text, std::string_view literal) {
    if (text.substr(0, literal.size()) != literal) return false;
    text.remove_prefix(literal.size());
    return true;
}

// Token forms of a face record, decided by its first vertex token.
enum class FaceForm { kVertex, kVertexTexture, kVertexTextureNormal, kVertexNormal };

FaceForm DecideForm(std::string_view first) {
    if (first.find("//") != std::string_view::npos) return FaceForm::kVertexNormal;
    long long a, b, c;
    std::string_view t = first;
    if (ScanInt(t, &a) && ScanLiteral(t, "/") && ScanInt(t, &b)) {
        if (ScanLiteral(t, "/") && ScanInt(t, &c)) return FaceForm::kVertexTextureNormal;
        return FaceForm::kVertexTexture;
    }
    return FaceForm::kVertex;
}

// Reads one vertex token in the line's form: the vertex index and, when the form carries one
// and the token has it, the normal index (kMissing otherwise). File indices, unresolved.
constexpr long long kMissing = 0;

void ScanCorner(std::string_view token, FaceForm form, long long* vertex, long long* normal) {
    *vertex = kMissing;
    *normal = kMissing;
    long long v = 0, t = 0, n = 0;
    if (!ScanInt(token, &v)) return;
    *vertex = v;
    switch (form) {
        case FaceForm::kVertexNormal:
            if (ScanLiteral(token, "//") && ScanInt(token, &n)) *normal = n;
            break;
        case FaceForm::kVertexTextureNormal:
            if (ScanLiteral(token, "/") && ScanInt(token, &t) && ScanLiteral(token, "/") &&
                ScanInt(token, &n)) {
                *normal = n;
            }
            break;
        default:
            break;
    }
}

// 0-based index of a file index: positive ones count from 1, negative ones back from the last
// element read so far. -2 when the index can name nothing (0, or before the first element).
constexpr int kNoElement = -2;

int ResolveIndex(long long fileIndex, size_t countSoFar) {
    if (fileIndex > 0 && fileIndex <= INT_MAX) return static_cast<int>(fileIndex - 1);
    if (fileIndex < 0 && -fileIndex <= static_cast<long long>(countSoFar)) {
        return static_cast<int>(static_cast<long long>(countSoFar) + fileIndex);
    }
    return kNoElement;
}

// Groups and materials by name without regard to ASCII case, as FindOrAddGroup and the material
// look-up compare, without a linear search per line (a file may hold very many of them).
class GroupIndex {
public:
    explicit GroupIndex(CModel& model) : m_model(model) {
        for (auto& group : model.groups) m_byName.emplace(AsciiLowerCase(group->name), group.get());
    }
    modelGroup* FindOrAdd(const std::string& name) {
        const auto [it, added] = m_byName.emplace(AsciiLowerCase(name), nullptr);
        if (added) it->second = m_model.FindOrAddGroup(name);
        return it->second;
    }

private:
    CModel& m_model;
    std::unordered_map<std::string, modelGroup*> m_byName;
};

class MaterialIndex {
public:
    explicit MaterialIndex(const std::vector<modelMaterial>& materials) : m_materials(materials) {
        for (size_t i = 0; i < materials.size(); ++i) {
            m_byName.emplace(AsciiLowerCase(materials[i].name), i);  // the first of a name wins
        }
    }
    // The material of that name, or the first one, "(NoName)", when there is none.
    const modelMaterial& Named(std::string_view name) const {
        const auto it = m_byName.find(AsciiLowerCase(name));
        return m_materials[it == m_byName.end() ? 0 : it->second];
    }

private:
    const std::vector<modelMaterial>& m_materials;
    std::unordered_map<std::string, size_t> m_byName;
};

// Drops the faces that name vertices or normals the model does not have, keeping the order of
// the rest, and renumbers the groups' face lists.
void DropBrokenFaces(CModel& model) {
    const int vertexCount = static_cast<int>(model.vertices.size());
    const int normalCount = static_cast<int>(model.vertexNormals.size());
    std::vector<int> newIndex(model.faces.size(), -1);
    size_t kept = 0;
    for (size_t i = 0; i < model.faces.size(); ++i) {
        const modelFace& face = model.faces[i];
        bool usable = true;
        for (int c = 0; c < 3; ++c) {
            if (face.vertex[c] < 0 || face.vertex[c] >= vertexCount) usable = false;
            const int n = face.vertexNormal[c];
            if (n != -1 && (n < 0 || n >= normalCount)) usable = false;
        }
        if (!usable) continue;
        newIndex[i] = static_cast<int>(kept);
        model.faces[kept++] = face;
    }
    if (kept == model.faces.size()) return;
    model.faces.resize(kept);
    for (auto& group : model.groups) {
        size_t out = 0;
        for (const int f : group->faces) {
            if (newIndex[f] >= 0) group->faces[out++] = newIndex[f];
        }
        group->faces.resize(out);
    }
}

}  // namespace

// The entry points at the end of the file turn an allocation failure into a failed read.

static bool ReadMtlUnguarded(ByteSource& source, std::vector<modelMaterial>& materials) {
    if (materials.empty()) {
        materials.push_back(modelMaterial::Default());
        materials.back().name = kNoName;
    }
    LineReader lines(source);
    std::string_view line;
    while (lines.Next(&line)) {
        LineTokens tokens(line);
        const std::string_view keyword = tokens.Keyword();
        if (keyword.empty()) continue;
        modelMaterial& last = materials.back();
        switch (keyword[0]) {
            case 'K': {
                float* colour = nullptr;
                const char kind = keyword.size() > 1 ? keyword[1] : '\0';
                if (kind == 'a') colour = last.ambient;
                if (kind == 'd') colour = last.diffuse;
                if (kind == 's') colour = last.specular;
                if (colour) ScanNumbers(tokens.Rest(), colour, 3);  // alpha stays
                break;
            }
            case 'N': {
                // The file's exponent range 0 .. 1000 becomes the lighting range 0 .. 128; the
                // number is read as the C library reads it.
                double exponent = 0;
                ScanLeadingDouble(tokens.NextToken(), &exponent);
                last.shininess = static_cast<float>(exponent / 1000.0 * 128.0);
                break;
            }
            case 'n': {
                modelMaterial material = modelMaterial::Default();
                material.name = NameOrNoName(tokens.Rest());
                material.fromMaterialFile = true;
                materials.push_back(std::move(material));
                break;
            }
            default:
                break;
        }
    }
    return !lines.TooLong();
}

static bool ReadObjUnguarded(ByteSource& source, const MtlOpener& openMtl, CModel& out) {
    out.Clear();
    GroupIndex groups(out);
    groups.FindOrAdd(kNoName);
    std::vector<modelMaterial> materials(1, modelMaterial::Default());
    materials[0].name = kNoName;

    // First pass: count the face lines, make the groups, read the material files.
    LineReader lines(source);
    std::string_view line;
    long long faceLines = 0;
    while (lines.Next(&line)) {
        LineTokens tokens(line);
        const std::string_view keyword = tokens.Keyword();
        if (keyword.empty()) continue;
        if (keyword[0] == 'f') {
            ++faceLines;
        } else if (keyword[0] == 'g') {
            groups.FindOrAdd(NameOrNoName(tokens.Rest()));
        } else if (keyword[0] == 'm') {
            const std::string name(tokens.Rest());
            if (name.empty() || !openMtl) continue;
            // A material file that cannot be opened is skipped; one that cannot be read (a
            // line beyond the limit) fails the model.
            std::unique_ptr<ByteSource> mtl = openMtl(name);
            if (mtl && !ReadMtl(*mtl, materials)) return false;
        }
    }
    if (lines.TooLong() || !lines.Rewind()) return false;

    // Second pass: vertices, normals, faces, group and material changes.
    const MaterialIndex materialIndex(materials);
    modelGroup* current = groups.FindOrAdd(kNoName);
    ReportProgress(0, faceLines);
    long long faceLinesDone = 0;
    std::vector<long long> vertexTokens, normalTokens;
    std::vector<int> vertexIndex, normalIndex;
    while (lines.Next(&line)) {
        ReportProgress(faceLinesDone, faceLines);  // a cancel only closes the window
        LineTokens tokens(line);
        const std::string_view keyword = tokens.Keyword();
        if (keyword.empty()) continue;
        switch (keyword[0]) {
            case 'f': {
                vertexTokens.clear();
                normalTokens.clear();
                FaceForm form = FaceForm::kVertex;
                for (std::string_view token = tokens.NextToken(); !token.empty();
                     token = tokens.NextToken()) {
                    if (vertexTokens.empty()) form = DecideForm(token);
                    long long v, n;
                    ScanCorner(token, form, &v, &n);
                    vertexTokens.push_back(v);
                    normalTokens.push_back(n);
                }
                // Corners resolved now: a relative index counts back from what was read so far.
                const size_t corners = vertexTokens.size();
                vertexIndex.resize(corners);
                normalIndex.resize(corners);
                for (size_t c = 0; c < corners; ++c) {
                    vertexIndex[c] = ResolveIndex(vertexTokens[c], out.vertices.size());
                    normalIndex[c] = normalTokens[c] == kMissing
                                         ? -1
                                         : ResolveIndex(normalTokens[c], out.vertexNormals.size());
                }
                // The first three corners make a face, every further one a face of the fan
                // around the first corner.
                for (size_t c = 2; c < corners; ++c) {
                    const size_t pick[3] = {0, c - 1, c};
                    modelFace face;
                    for (int i = 0; i < 3; ++i) {
                        face.vertex[i] = vertexIndex[pick[i]];
                        face.vertexNormal[i] = normalIndex[pick[i]];
                    }
                    current->faces.push_back(static_cast<int>(out.faces.size()));
                    out.faces.push_back(face);
                }
                ++faceLinesDone;
                break;
            }
            case 'g': {
                modelGroup* next = groups.FindOrAdd(NameOrNoName(tokens.Rest()));
                if (next != current) next->material = current->material;
                current = next;
                break;
            }
            case 'u':
                current->material = materialIndex.Named(tokens.Rest());
                break;
            case 'v':
                if (keyword.size() == 1) {
                    float xyz[3] = {0, 0, 0};
                    ScanNumbers(tokens.Rest(), xyz, 3);
                    out.vertices.push_back(Vec3f{xyz[0], xyz[1], xyz[2]});
                } else if (keyword[1] == 'n') {
                    float xyz[3] = {0, 0, 0};
                    ScanNumbers(tokens.Rest(), xyz, 3);
                    out.vertexNormals.push_back(Vec3f{xyz[0], xyz[1], xyz[2]});
                } else if (keyword[1] != 't') {
                    return false;  // a vertex record this reader does not know
                }
                break;
            default:
                break;
        }
    }
    if (lines.TooLong()) return false;

    DropBrokenFaces(out);
    out.faceNormals.resize(out.faces.size());
    for (size_t i = 0; i < out.faces.size(); ++i) {
        modelFace& face = out.faces[i];
        out.faceNormals[i] = FaceNormal(out.vertices[face.vertex[0]], out.vertices[face.vertex[1]],
                                        out.vertices[face.vertex[2]]);
        face.faceNormal = static_cast<int>(i);
    }
    return true;
}

bool ReadMtl(ByteSource& source, std::vector<modelMaterial>& materials) {
    try {
        return ReadMtlUnguarded(source, materials);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadObj(ByteSource& source, const MtlOpener& openMtl, CModel& out) {
    try {
        return ReadObjUnguarded(source, openMtl, out);
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
}

}  // namespace velmor
