#include "ui/app/library_check_input.h"

#include <QFile>
#include <QFileInfo>

#include "core/app/progress.h"

namespace velmor {

CheckRequest MakeCheckRequest(const PlotSettings& settings, CSurfaceProvider& provider,
                              LibraryWaitHook* waitHook, LibraryOutputSink* outputSink) {
    const LibraryHostSettings& host = provider.LibraryHost();
    CheckRequest request;
    CheckInput& input = request.input;
    QString& subject = request.subject;
    if (settings.interpreterMode) {
        input.source = CheckSource::kScript;
        subject = QStringLiteral("The script (interpreter mode)");
    } else if (provider.LibraryLoaded()) {
        input.source = CheckSource::kLibrary;
        input.libraryPath = provider.LibraryPath();
        subject = QFileInfo(QFile::decodeName(input.libraryPath.c_str())).fileName();
    } else {
        input.source = CheckSource::kBuiltIn;
        subject = QStringLiteral("The built-in surface \"Even Array\"");
    }
    input.helperPath = host.helperPath;
    input.wine = host.wine;
    input.limits = host.limits;
    input.waitHook = waitHook;
    input.outputSink = outputSink;
    input.engine = &provider.Engine();
    input.initial = &provider.Initial();
    input.recordVersion = provider.RecordVersion();
    input.xmin = settings.analysisX.min;
    input.xmax = settings.analysisX.max;
    input.ymin = settings.analysisY.min;
    input.ymax = settings.analysisY.max;
    input.displayZMax = settings.displayZ.max;  // the medium's rays end there unless thic > 0
    input.progress = [](int done, int total, const std::string&) {
        return ReportProgress(done, total);
    };
    auto number = [](double value) { return QString::fromStdString(ShortestNumberText(value)); };
    subject +=
        QStringLiteral(" over x %1 .. %2, y %3 .. %4")
            .arg(number(input.xmin), number(input.xmax), number(input.ymin), number(input.ymax));
    return request;
}

}  // namespace velmor
