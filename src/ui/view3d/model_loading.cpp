#include "view3d/model_loading.h"

#include <QFile>
#include <string>

#include "view3d/model.h"
#include "view3d/model_reader.h"

namespace velmor {

bool LoadModelFile(QWidget* owner, const QString& path, CModel& model, QString& message) {
    const std::string localPath = QFile::encodeName(path).toStdString();
    if (ModelFileTypeOf(localPath) == ModelFileType::kUnsupported) {
        message = QString::fromLatin1(kModelExtensionUnsupported);
        return false;
    }
    std::string text;
    const int result = ReadModelFile(localPath, model, &text);
    if (result == 0) return true;
    message = QString::fromLocal8Bit(text);
    return false;
}

}  // namespace velmor
