// Helpers shared by the 3D core tests: a sampler of a known formula, a progress reporter that
// records or cancels, and a check that every index of a model names something.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/app/progress.h"
#include "core/surface/sampler.h"
#include "core/view3d/model.h"
#include "temp_dir.h"

namespace velmor::test {

// z = f(x, y); points where `fails` answers true are failed samples.
class FormulaSampler : public Sampler {
public:
    explicit FormulaSampler(std::function<double(double, double)> f,
                            std::function<bool(double, double)> fails = nullptr)
        : m_f(std::move(f)), m_fails(std::move(fails)) {}
    bool Sag(double x, double y, double* z) override {
        ++calls;
        const bool failed = m_fails && m_fails(x, y);
        *z = failed ? 12345.0 : m_f(x, y);  // a failed sample's value must not be used
        return !failed;
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

// Records every progress call and asks to cancel at call number `cancelAt` (1-based, 0 never);
// installed for its own lifetime.
class RecordingReporter : public ProgressReporter {
public:
    explicit RecordingReporter(long long cancelAt = 0)
        : m_cancelAt(cancelAt), m_previous(SetProgressReporter(this)) {}
    ~RecordingReporter() override { SetProgressReporter(m_previous); }
    bool Report(long long i, long long n) override {
        calls.emplace_back(i, n);
        return m_cancelAt > 0 && static_cast<long long>(calls.size()) == m_cancelAt;
    }
    std::vector<std::pair<long long, long long>> calls;

private:
    long long m_cancelAt;
    ProgressReporter* m_previous;
};

// Every index of the model names an element that exists.
inline void ExpectConsistent(const CModel& model) {
    auto in = [](int i, int low, size_t size) { return i >= low && i < static_cast<int>(size); };
    for (const modelFace& f : model.faces) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_TRUE(in(f.vertex[c], 0, model.vertices.size()));
            ASSERT_TRUE(in(f.vertexNormal[c], -1, model.vertexNormals.size()));
        }
        ASSERT_TRUE(in(f.faceNormal, 0, model.faceNormals.size()));
    }
    for (const auto& group : model.groups) {
        for (const int f : group->faces) ASSERT_TRUE(in(f, 0, model.faces.size()));
    }
}

}  // namespace velmor::test
