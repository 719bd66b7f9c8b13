// Shared by the model reader fuzz targets: every model a reader accepts must name only elements
// that exist; anything else aborts so libFuzzer keeps the input.
#pragma once

#include <cstdlib>

#include "core/view3d/model.h"

namespace velmor {

inline void CheckModel(const CModel& model) {
    const auto within = [](int index, size_t size) {
        return index >= 0 && static_cast<size_t>(index) < size;
    };
    for (const modelFace& face : model.faces) {
        for (int c = 0; c < 3; ++c) {
            if (!within(face.vertex[c], model.vertices.size())) std::abort();
            if (face.vertexNormal[c] != -1 &&
                !within(face.vertexNormal[c], model.vertexNormals.size())) {
                std::abort();
            }
        }
        if (!within(face.faceNormal, model.faceNormals.size())) std::abort();
    }
    for (const auto& group : model.groups) {
        if (!group) std::abort();
        for (const int f : group->faces) {
            if (!within(f, model.faces.size())) std::abort();
        }
    }
}

}  // namespace velmor
