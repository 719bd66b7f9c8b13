// Helpers shared by the 3D core tests: a temporary directory per test, whole-file reads and
// writes, samplers computing known formulas, and progress reporters that record or cancel.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/progress.h"
#include "surface/sampler.h"
#include "view3d/model.h"

namespace velmor::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmor_view3d_XXXXXX");
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// z = f(x, y); points where `fails` answers true are failed samples.
class FormulaSampler : public Sampler {
public:
    explicit FormulaSampler(std::function<double(double, double)> f,
                            std::function<bool(double, double)> fails = nullptr)
        : m_f(std::move(f)), m_fails(std::move(fails)) {}
    bool Sag(double x, double y, double* z) override {
        ++calls;
        if (m_fails && m_fails(x, y)) {
            *z = 12345.0;  // a failed sample's value must not be used
            return false;
        }
        *z = m_f(x, y);
        return true;
    }
    bool Index(double, double, double, IndexSample*) override { return false; }
    long long calls = 0;

private:
    std::function<double(double, double)> m_f;
    std::function<bool(double, double)> m_fails;
};

inline double Bowl(double x, double y) {
    return 0.01 * (x * x + y * y) + 0.02 * x - 0.03 * y;
}

// Records every progress call; asks to cancel at call number `cancelAt` (1-based, 0 never).
class RecordingReporter : public ProgressReporter {
public:
    explicit RecordingReporter(long long cancelAt = 0) : m_cancelAt(cancelAt) {}
    bool Report(long long i, long long n) override {
        calls.emplace_back(i, n);
        return m_cancelAt > 0 && static_cast<long long>(calls.size()) == m_cancelAt;
    }
    std::vector<std::pair<long long, long long>> calls;

private:
    long long m_cancelAt;
};

// Installs a reporter for the life of the object.
class ScopedReporter {
public:
    explicit ScopedReporter(ProgressReporter* reporter)
        : m_previous(SetProgressReporter(reporter)) {}
    ~ScopedReporter() { SetProgressReporter(m_previous); }

private:
    ProgressReporter* m_previous;
};

// Every index of the model names an element that exists.
inline void ExpectConsistent(const CModel& model) {
    const int vertices = static_cast<int>(model.vertices.size());
    const int normals = static_cast<int>(model.vertexNormals.size());
    const int faceNormals = static_cast<int>(model.faceNormals.size());
    const int faces = static_cast<int>(model.faces.size());
    for (const modelFace& face : model.faces) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_GE(face.vertex[c], 0);
            ASSERT_LT(face.vertex[c], vertices);
            ASSERT_GE(face.vertexNormal[c], -1);
            ASSERT_LT(face.vertexNormal[c], normals);
        }
        ASSERT_GE(face.faceNormal, 0);
        ASSERT_LT(face.faceNormal, faceNormals);
    }
    for (const auto& group : model.groups) {
        ASSERT_NE(group, nullptr);
        for (const int f : group->faces) {
            ASSERT_GE(f, 0);
            ASSERT_LT(f, faces);
        }
    }
}

}  // namespace velmor::testing
