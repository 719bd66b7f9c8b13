// The views command: the main window's plot client (its four views in their frame) drawn
// off-screen for the current records by the "Update 2D" the window runs, into one PNG image.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/cli_commands.h"
#include "core/app/cp932.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/update_2d.h"

namespace velmor::cli {

namespace {

constexpr int kDefaultImageSide = 800;
constexpr int kMinImageSide = 64;
constexpr int kMaxImageSide = 8192;

// Qt's own notes about its environment (no runtime directory, font fallbacks) say nothing
// about the surface and would mix into the one-line messages scripts read: only its critical
// messages reach stderr.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "velmor-cli: Qt: %s\n", message.toLocal8Bit().constData());
    }
}

// Qt for drawing only: no display, so the offscreen platform unless the caller chose one.
std::unique_ptr<QGuiApplication> StartQt() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(QtMessages);
    static int argc = 1;
    static char name[] = "velmor-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

// The caller's part of "Update 2D": the "UD FD Initial" tables read back into the initial
// pair. Every field goes through the text the tables show, so doubles keep six decimals as
// they do in the window.
void ReadTablesBack(CliHost& host) {
    RecordPair& initial = host.provider.Initial();
    std::string rewrite;
    for (const RecordRow& row : UserDataRows()) {
        TextToField(row, &initial.ud, FieldToText(row, &initial.ud), &rewrite);
    }
    for (const RecordRow& row : FixedDataRows(host.provider.RecordVersion())) {
        TextToField(row, initial.fd, FieldToText(row, initial.fd), &rewrite);
    }
}

}  // namespace

int RunViews(CliHost& host, const Arguments& args, Output& out) {
    constexpr const char* kUsage = "views OUT.png [--size PIXELS]";
    std::string path;
    int side = kDefaultImageSide;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--size") {
            if (++i >= args.size()) throw CliError("--size needs a value");
            side = ParseInteger(args[i], "--size", kMinImageSide, kMaxImageSide);
        } else if (path.empty() && args[i].rfind("--", 0) != 0) {
            path = args[i];
        } else {
            throw CliError("views: unexpected argument \"" + args[i] + "\"; usage: " + kUsage);
        }
    }
    if (path.empty()) throw CliError(std::string("usage: ") + kUsage);

    const std::unique_ptr<QGuiApplication> qt = StartQt();

    // The main window's settings as it starts, with the "n1" / "n2" fields of the command line
    // and the surface's mode flags.
    PlotSettings settings;
    settings.fieldN1 = host.settings.n1;
    settings.fieldN2 = host.settings.n2;
    settings.interpreterMode = host.provider.InterpreterMode();
    settings.gradientIndex = host.provider.GradientIndex();

    ReadTablesBack(host);
    ProviderPlotSurface surface(host.provider);
    CSurfaceMap map;
    const QRect client(0, 0, side, side);
    const PlotClientLayout layout{client, QGuiApplication::palette(), ComputePlotAreas(client)};
    QImage image(side, side, QImage::Format_RGB32);
    Update2DResult update;
    {
        QPainter painter(&image);
        update = Update2D(painter, layout, settings, {host.provider, surface, map, nullptr});
    }
    ThrowIfFaulted(host);  // no image of views the library stopped answering for

    const TraceOutcome& trace = update.trace;
    const RepaintResult& result = update.views;
    if (!image.save(QString::fromStdString(path), "PNG")) {
        throw CliError(path + ": the PNG image cannot be written");
    }

    out.Text("file", path);
    out.Integer("width", image.width());
    out.Integer("height", image.height());
    out.Integer("trace_return", trace.result);
    out.Text("status", result.showNoRay ? kRayStatusNoRay : trace.statusText);
    out.Text("cursor", result.cursorReadout.toStdString());
    if (!result.errorSummary.empty()) {
        std::string summary;
        Cp932ToUtf8(result.errorSummary, &summary);
        out.Text("run_errors", summary);
    }
    return 0;
}

}  // namespace velmor::cli
