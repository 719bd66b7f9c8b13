// The triangle model: built by the surface mesh builder and the STL/OBJ readers, written by
// the STL writers, drawn by the 3D window.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velmor {

struct Vec3f {
    float x = 0, y = 0, z = 0;
};

// Seven indices; a new face has all of them -1.
struct modelFace {
    int vertex[3] = {-1, -1, -1};        // into the vertex list, in winding order
    int vertexNormal[3] = {-1, -1, -1};  // into the vertex-normal list, -1: none
    int faceNormal = -1;                 // into the face-normal list
};

struct modelMaterial {
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float shininess = 0.0f;
    std::string name;
    // Made by a material record of an MTL file (and given to a group by a material-use
    // record): the 3D window draws such a group in these colours rather than its fixed one.
    bool fromMaterialFile = false;

    static modelMaterial Default();
    static modelMaterial Surface();  // built surface meshes and STL imports
};

struct modelGroup {
    std::string name;
    std::vector<int> faces;  // indices into the face list, in drawing order
    modelMaterial material = modelMaterial::Default();
};

class CModel {
public:
    CModel() = default;
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    void Clear();
    void CopyFrom(const CModel& other);  // deep: the two models share nothing
    // Exchanges the five lists with `other` (nothing is copied).
    void Swap(CModel& other) noexcept;
    // The first group whose name equals `name` without regard to ASCII case; a new group with
    // the default material appended when there is none.
    modelGroup* FindOrAddGroup(const std::string& name);

    std::vector<Vec3f> vertices;
    std::vector<Vec3f> vertexNormals;
    std::vector<Vec3f> faceNormals;
    std::vector<modelFace> faces;
    std::vector<std::unique_ptr<modelGroup>> groups;
};

// Unit normal of the triangle (a, b, c) by the right-hand rule; (0, 0, 0) when degenerate.
Vec3f TriangleNormal(const Vec3f& a, const Vec3f& b, const Vec3f& c);

// The same in double precision: n = (b - a) x (c - a) / |(b - a) x (c - a)|. Returns 0, or -1
// with n = (0, 0, 0) when the length is not greater than 0.
int TriangleNormal(const double a[3], const double b[3], const double c[3], double n[3]);

// Face normal as the readers compute it: (p1 - p0) x (p2 - p1), not scaled to unit length.
Vec3f FaceNormal(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2);

}  // namespace velmor
