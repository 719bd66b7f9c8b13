// The views command: the main window's four views drawn off-screen for the current records,
// as the window shows them after "Update 2D", into one PNG image.
#include <QtWidgets/qdrawutil.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/cli_commands.h"
#include "core/app/cp932.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "ui/app/plot_views.h"
#include "ui/app/velmor_state.h"
#include "ui/plots/plot_surface.h"
#include "ui/plots/repaint.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/velmor_plot_views.h"

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

// "Update 2D" reads the "UD FD Initial" tables back into the initial pair: every field goes
// through the text the tables show, so doubles keep six decimals as they do in the window.
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

    // The main window's state as it starts, with the "n1" / "n2" fields of the command line.
    VelmorState state;
    state.n1 = host.settings.n1;
    state.n2 = host.settings.n2;
    state.interpreterMode = host.provider.InterpreterMode() ? 1 : 0;
    state.gradientIndex = host.provider.GradientIndex() ? 1 : 0;

    // "Update 2D": the tables are read back, the ray is traced, the surface map built anew and
    // the views repainted.
    ReadTablesBack(host);
    const TraceOutcome trace = host.provider.TraceRay(host.settings);
    const PlotState plot = MakePlotState(state, host.provider);
    ProviderPlotSurface surface(host.provider);
    CSurfaceMap map;
    map.Build(plot, surface, nullptr);

    const PlotAreas areas = ComputePlotAreas(QRect(0, 0, side, side));
    const PlotSizes sizes{areas.plan.size(), areas.xz.size(), areas.yz.size(), areas.fourth.size()};
    const RepaintResult result = RepaintViews(plot, surface, map, sizes, nullptr);

    ThrowIfFaulted(host);  // no image of views the library stopped answering for

    QImage image(side, side, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        const QPalette palette = QGuiApplication::palette();
        painter.fillRect(image.rect(), palette.window());
        qDrawShadePanel(&painter, areas.frame, palette, true, 1);
        PaintViews(painter, result, areas.plan, areas.xz, areas.yz, areas.fourth);
    }
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
