// Reading a model file for the 3D window ("Open ..."): the reader by the file's extension and
// contents, under the "Loading ..." progress window.
#pragma once

#include <QString>

class QWidget;

namespace velmor {

class CModel;

// Fills the empty `model` from `path`. On failure returns false with the text to show in
// `message` ("File Extension ... Unsupported." or the failed reader's message); `model` may
// then hold a partial result and must not be used.
bool LoadModelFile(QWidget* owner, const QString& path, CModel& model, QString& message);

}  // namespace velmor
