// The views command: the main window's plot client (its four views in their frame) drawn
// off-screen for the current records by the "Update 2D" the window runs, into one PNG image.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_commands.h"
#include "core/app/cp932.h"
#include "core/app/regular_file.h"
#include "core/app/sample_step.h"
#include "core/app/session_file.h"
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

// The `names.size()` numbers after the option word at *i ("--range XMIN", ...); *i moves to
// the last of them. Throws CliError.
std::vector<double> OptionNumbers(const Arguments& args, std::size_t* i,
                                  std::initializer_list<const char*> names) {
    const std::string& option = args[*i];
    if (args.size() - *i - 1 < names.size()) {
        throw CliError(option + " needs " + std::to_string(names.size()) + " values");
    }
    std::vector<double> numbers;
    for (const char* name : names) numbers.push_back(ParseNumber(args[++*i], name));
    return numbers;
}

// The fields and the view settings of --session, as the window shows them after "Load INI
// ...": the analysis ranges and steps, every display range given whole, the cursor point and
// the check boxes.
void SessionFields(const std::vector<SessionEntry>& analysis, ViewFields* fields,
                   PlotSettings* start) {
    std::map<std::string, double> number;
    for (const SessionEntry& entry : analysis) {
        double value = 0;
        if (ReadAnalysisNumber(entry.value, &value)) number[entry.key] = value;
    }
    auto pair = [&number](const char* min, const char* max) -> std::optional<ValueRange> {
        if (!number.count(min) || !number.count(max)) return std::nullopt;
        return ValueRange{number[min], number[max]};
    };
    if (auto range = pair(kKeyXMin, kKeyXMax)) fields->analysisX = *range;
    if (auto range = pair(kKeyYMin, kKeyYMax)) fields->analysisY = *range;
    if (number.count(kKeyStep2DX)) fields->stepX = LimitSampleStep(number[kKeyStep2DX]);
    if (number.count(kKeyStep2DY)) fields->stepY = LimitSampleStep(number[kKeyStep2DY]);
    fields->displayX = pair(kKeyDisplayXMin, kKeyDisplayXMax);
    fields->displayY = pair(kKeyDisplayYMin, kKeyDisplayYMax);
    fields->displayZ = pair(kKeyDisplayZMin, kKeyDisplayZMax);
    fields->displayN = pair(kKeyDisplayNMin, kKeyDisplayNMax);
    fields->displayR = pair(kKeyDisplayRMin, kKeyDisplayRMax);
    if (number.count(kKeyCursorX)) start->cursorX = number[kKeyCursorX];
    if (number.count(kKeyCursorY)) start->cursorY = number[kKeyCursorY];
    if (number.count(kKeyCursorZ)) start->cursorZ = number[kKeyCursorZ];
    for (const auto& [key, flag] : {std::pair{kKeyRayTrace, &PlotSettings::rayTrace},
                                    {kKeyCursor, &PlotSettings::cursor},
                                    {kKeyVerbose, &PlotSettings::verbose}}) {
        if (number.count(key)) start->*flag = number[key] != 0;
    }
}

}  // namespace

int RunViews(CliHost& host, const Arguments& args, Output& out) {
    constexpr const char* kUsage =
        "views OUT.png [--size PIXELS] [--range XMIN XMAX YMIN YMAX] [--step DX DY] "
        "[--display XMIN XMAX YMIN YMAX] [--display-z ZMIN ZMAX] [--display-n NMIN NMAX]";
    std::string path;
    int side = kDefaultImageSide;
    // The main window's fields as it starts, with the "n1" / "n2" fields of the command line.
    ViewFields fields;
    // --session's fields are the defaults the options change.
    PlotSettings start;
    SessionFields(host.analysis, &fields, &start);
    fields.n1 = host.settings.n1;
    fields.n2 = host.settings.n2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--size") {
            if (++i >= args.size()) throw CliError("--size needs a value");
            side = ParseInteger(args[i], "--size", kMinImageSide, kMaxImageSide);
        } else if (word == "--range") {
            const auto v = OptionNumbers(
                args, &i, {"--range XMIN", "--range XMAX", "--range YMIN", "--range YMAX"});
            CheckRange(v[0], v[1], "--range XMIN XMAX", true);
            CheckRange(v[2], v[3], "--range YMIN YMAX", true);
            fields.analysisX = {v[0], v[1]};
            fields.analysisY = {v[2], v[3]};
        } else if (word == "--step") {
            if (args.size() - i - 1 < 2) throw CliError("--step needs 2 values");
            fields.stepX = ParseStep(args[++i], "--step DX");
            fields.stepY = ParseStep(args[++i], "--step DY");
        } else if (word == "--display") {
            const auto v = OptionNumbers(
                args, &i, {"--display XMIN", "--display XMAX", "--display YMIN", "--display YMAX"});
            CheckRange(v[0], v[1], "--display XMIN XMAX", false);
            CheckRange(v[2], v[3], "--display YMIN YMAX", false);
            fields.displayX = ValueRange{v[0], v[1]};
            fields.displayY = ValueRange{v[2], v[3]};
        } else if (word == "--display-z") {
            const auto v = OptionNumbers(args, &i, {"--display-z ZMIN", "--display-z ZMAX"});
            CheckRange(v[0], v[1], "--display-z ZMIN ZMAX", false);
            fields.displayZ = ValueRange{v[0], v[1]};
        } else if (word == "--display-n") {
            const auto v = OptionNumbers(args, &i, {"--display-n NMIN", "--display-n NMAX"});
            CheckRange(v[0], v[1], "--display-n NMIN NMAX", false);
            fields.displayN = ValueRange{v[0], v[1]};
        } else if (path.empty() && word.rfind("--", 0) != 0) {
            path = word;
        } else {
            throw CliError("views: unexpected argument \"" + word + "\"; usage: " + kUsage);
        }
    }
    if (path.empty()) throw CliError(std::string("usage: ") + kUsage);
    CheckOutputFile(path);

    const std::unique_ptr<QGuiApplication> qt = StartQt();

    // The surface's mode flags as the main window has them.
    start.interpreterMode = host.provider.InterpreterMode();
    start.gradientIndex = host.provider.GradientIndex();
    const ViewsImage views =
        UpdateViewsImage(host.provider, SettingsFromFields(fields, start), side);
    ThrowIfFaulted(host);  // no image of views the library stopped answering for
    const QImage& image = views.image;
    const TraceOutcome& trace = views.update.trace;
    const RepaintResult& result = views.update.views;
    QByteArray png;
    QBuffer buffer(&png);
    std::string reason = "the PNG image cannot be made";
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") ||
        !ReplaceFileContents(path, std::string_view(png.constData(), png.size()), &reason)) {
        throw CliError(path + ": the PNG image cannot be written: " + reason);
    }

    out.Text("file", path);
    out.Integer("width", image.width());
    out.Integer("height", image.height());
    out.Integer("trace_return", trace.result);
    out.Text("status", !result.showNoRay               ? trace.statusText
                       : result.mediumStatus.isEmpty() ? std::string(kRayStatusNoRay)
                                                       : result.mediumStatus.toStdString());
    out.Text("cursor", result.cursorReadout.toStdString());
    if (!result.errorSummary.empty()) {
        std::string summary;
        Cp932ToUtf8(result.errorSummary, &summary);
        out.Text("run_errors", summary);
    }
    return 0;
}

}  // namespace velmor::cli
