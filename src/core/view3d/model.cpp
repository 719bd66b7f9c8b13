#include "core/view3d/model.h"

#include <cmath>

#include "core/app/ascii_case.h"

namespace velmor {

modelMaterial modelMaterial::Default() {
    return modelMaterial{};
}

modelMaterial modelMaterial::Surface() {
    modelMaterial m;
    m.ambient[0] = 0.25f;
    m.ambient[1] = 0.20725f;
    m.ambient[2] = 0.20725f;
    m.ambient[3] = 1.0f;
    m.diffuse[0] = 1.0f;
    m.diffuse[1] = 0.829f;
    m.diffuse[2] = 0.829f;
    m.diffuse[3] = 1.0f;
    m.specular[0] = 0.296648f;
    m.specular[1] = 0.296648f;
    m.specular[2] = 0.296648f;
    m.specular[3] = 1.0f;
    m.shininess = 0.088f;
    return m;
}

CModel::~CModel() {
    Clear();
}

void CModel::Swap(CModel& other) noexcept {
    vertices.swap(other.vertices);
    vertexNormals.swap(other.vertexNormals);
    faceNormals.swap(other.faceNormals);
    faces.swap(other.faces);
    groups.swap(other.groups);
}

void CModel::Clear() {
    vertices.clear();
    vertexNormals.clear();
    faceNormals.clear();
    faces.clear();
    groups.clear();
}

void CModel::CopyFrom(const CModel& other) {
    if (&other == this) return;
    Clear();
    vertices = other.vertices;
    vertexNormals = other.vertexNormals;
    faceNormals = other.faceNormals;
    faces = other.faces;
    groups.reserve(other.groups.size());
    for (const auto& group : other.groups) {
        groups.push_back(std::make_unique<modelGroup>(*group));
    }
}

modelGroup* CModel::FindOrAddGroup(const std::string& name) {
    for (auto& group : groups) {
        if (EqualsIgnoringCase(group->name, name)) return group.get();
    }
    auto group = std::make_unique<modelGroup>();
    group->name = name;
    groups.push_back(std::move(group));
    return groups.back().get();
}

int TriangleNormal(const double a[3], const double b[3], const double c[3], double n[3]) {
    const double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
    const double vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
    const double nx = uy * vz - uz * vy;
    const double ny = uz * vx - ux * vz;
    const double nz = ux * vy - uy * vx;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0)) {
        n[0] = n[1] = n[2] = 0.0;
        return -1;
    }
    n[0] = nx / length;
    n[1] = ny / length;
    n[2] = nz / length;
    return 0;
}

Vec3f TriangleNormal(const Vec3f& a, const Vec3f& b, const Vec3f& c) {
    const double da[3] = {a.x, a.y, a.z};
    const double db[3] = {b.x, b.y, b.z};
    const double dc[3] = {c.x, c.y, c.z};
    double n[3];
    TriangleNormal(da, db, dc, n);
    return Vec3f{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
}

Vec3f FaceNormal(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2) {
    const float ux = p1.x - p0.x, uy = p1.y - p0.y, uz = p1.z - p0.z;
    const float vx = p2.x - p1.x, vy = p2.y - p1.y, vz = p2.z - p1.z;
    return Vec3f{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

}  // namespace velmor
