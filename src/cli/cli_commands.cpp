#include "cli/cli_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/app/cp932.h"
#include "core/app/regular_file.h"
#include "core/app/sample_loop.h"
#include "core/interp/compile_report.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "core/view3d/mesh_builder.h"
#include "core/view3d/model_reader.h"
#include "core/view3d/stl_writer.h"

namespace velmor::cli {

namespace {

void ExpectArguments(const Arguments& args, std::size_t count, const char* usage) {
    if (args.size() != count) throw CliError(std::string("usage: ") + usage);
}

const char* SourceName(SurfaceSource source) {
    switch (source) {
        case SurfaceSource::kLibrary:
            return "library";
        case SurfaceSource::kScript:
            return "script";
        default:
            return "built-in";
    }
}

// The USER_DATA `string` as the tables show it.
std::string StringText(const USER_DATA& ud) {
    for (const RecordRow& row : UserDataRows()) {
        if (row.kind == RowKind::kChars) return FieldToText(row, &ud);
    }
    return {};
}

// One text question (request `type`, element `numb`) on a fresh copy of the initial pair, so
// that no question sees another's answer. Returns the surface's result code.
int AskText(CliHost& host, RecordPair& pair, int type, int numb, std::string* text) {
    CopyRecordPair(pair, host.provider.Initial());
    pair.Type() = type;
    pair.Numb() = numb;
    std::memset(pair.ud.string, 0, sizeof pair.ud.string);
    const int result = host.provider.CallSurface(pair);
    ThrowIfFaulted(host);
    *text = result == 0 ? StringText(pair.ud) : std::string();
    return result;
}

// Number of catalogue rows named "<array>[k]" in the version's FIXED_DATA.
int ArrayLength(int recordVersion, const std::string& array) {
    int count = 0;
    for (const RecordRow& row : FixedDataRows(recordVersion)) {
        if (row.name.compare(0, array.size() + 1, array + "[") == 0) ++count;
    }
    return count;
}

// The element names request `type` gives for `array` (param or xdata), the named ones only.
void ElementNames(CliHost& host, RecordPair& pair, int type, const std::string& array,
                  Output& out) {
    Json names = Json::object();
    const int length = ArrayLength(host.provider.RecordVersion(), array);
    for (int k = 0; k < length; ++k) {
        std::string name;
        if (AskText(host, pair, type, k, &name) != 0 || name.empty()) continue;
        const std::string row = array + "[" + std::to_string(k) + "]";
        if (out.IsJson()) {
            names[row] = name;
        } else {
            out.Text(row, name);
        }
    }
    if (out.IsJson()) out.Object()[array] = names;
}

// Every row of a record in its table text form.
void RecordRows(const std::vector<RecordRow>& rows, const void* record, const char* key,
                Output& out) {
    Json object = Json::object();
    for (const RecordRow& row : rows) {
        const std::string text = FieldToText(row, record);
        if (out.IsJson()) {
            object[row.name] = text;
        } else {
            out.Text(row.name, text);
        }
    }
    if (out.IsJson()) out.Object()[key] = object;
}

void PrintEngineText(const std::string& cp932, Output& out) {
    std::string utf8;
    Cp932ToUtf8(cp932, &utf8);
    if (out.IsJson()) {
        out.Object()["text"] = utf8;
    } else {
        out.Raw(utf8);
    }
}

// A message of several lines on one line.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

// The value after an option word, or CliError.
const std::string& OptionValue(const Arguments& args, std::size_t i, const char* option) {
    if (i >= args.size()) throw CliError(std::string(option) + " needs a value");
    return args[i];
}

}  // namespace

void CheckOutputFile(const std::string& path) {
    std::string reason;
    if (!CheckOutputTarget(path, &reason)) throw CliError(path + ": " + reason);
}

int RunInfo(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 0, "info");
    out.Text("source", SourceName(host.source));
    if (host.source != SurfaceSource::kBuiltIn) out.Text("path", host.sourcePath);
    out.Integer("record_version", host.provider.RecordVersion());
    if (host.provider.InterpreterMode()) {
        // A script answers no questions: it only computes z from x and y.
        out.Integer("instructions", host.engine.InstructionCount());
        out.Flag("gradient_index", false);
        return 0;
    }
    auto pair = std::make_unique<RecordPair>();
    std::string name;
    const int result = AskText(host, *pair, kRequestName, 0, &name);
    out.Integer("name_result", result);
    out.Text("name", name);
    out.Flag("gradient_index", host.provider.GradientIndex());
    ElementNames(host, *pair, kRequestParamName, "param", out);
    ElementNames(host, *pair, kRequestXdataName, "xdata", out);
    return 0;
}

int RunCall(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 0, "call");
    if (host.provider.InterpreterMode()) {
        throw CliError("call: \"Call DLL\" does nothing in interpreter mode (--script)");
    }
    // "Call DLL": a fresh copy of the initial pair goes with whatever request it holds.
    RecordPair& pair = host.provider.Final();
    CopyRecordPair(pair, host.provider.Initial());
    const int result = host.provider.CallSurface(pair);
    ThrowIfFaulted(host);
    const int version = host.provider.RecordVersion();
    out.Integer("return", result);
    out.Integer("record_version", version);
    RecordRows(UserDataRows(), &pair.ud, "user_data", out);
    RecordRows(FixedDataRows(version), pair.fd, "fixed_data", out);
    return result == 0 ? 0 : 1;
}

namespace {

// The end plane of a gradient-index medium without thic: the display z maximum "Reset Zoom"
// gives for the analysis ranges (z's fixed [-10, 10] included).
double DisplayZMax(const ScriptTraceSettings& settings) {
    return std::max({10.0, settings.xmax, settings.ymax});
}

// The ray's path through a gradient-index medium: its end, and with `points` one line
// X<TAB>Y<TAB>Z<TAB>N per point (the start and each step; "medium_path" in JSON).
void PrintMediumPath(const MediumPath& path, bool wavelengthZero, bool points, Output& out) {
    out.Integer("medium_steps", path.steps);
    const std::pair<const char*, double> values[] = {
        {"medium_x", path.x}, {"medium_y", path.y}, {"medium_z", path.z},    {"medium_l", path.l},
        {"medium_m", path.m}, {"medium_n", path.n}, {"medium_opl", path.opl}};
    for (const auto& [name, value] : values) out.Number(name, value);
    out.Text("medium_end", MediumEndName(path.end));
    if (path.end != MediumEnd::kPlane)
        out.Text("medium_message", MediumEndText(path, wavelengthZero));
    if (!points) return;
    if (out.IsJson()) {
        Json array = Json::array();
        for (const MediumPoint& p : path.points) {
            Json point = Json::array();
            for (double v : {p.x, p.y, p.z, p.n})
                point.push_back(std::isfinite(v) ? Json(v) : Json(nullptr));
            array.push_back(std::move(point));
        }
        out.Object()["medium_path"] = std::move(array);
        return;
    }
    std::string lines;
    for (const MediumPoint& p : path.points) {
        lines += FormatDouble(p.x) + "\t" + FormatDouble(p.y) + "\t" + FormatDouble(p.z) + "\t" +
                 FormatDouble(p.n) + "\n";
        if (lines.size() > 65536) {
            PrintOut(lines);
            lines.clear();
        }
    }
    PrintOut(lines);
}

}  // namespace

int RunTrace(CliHost& host, const Arguments& args, Output& out) {
    bool points = false;
    for (const std::string& word : args) {
        if (word != "--path") {
            throw CliError("trace: unexpected argument \"" + word + "\"; usage: trace [--path]");
        }
        points = true;
    }
    MediumTraceOptions medium;
    medium.displayZMax = DisplayZMax(host.settings);
    const TraceOutcome outcome = host.provider.TraceRay(host.settings, medium);
    ThrowIfFaulted(host);
    const USER_DATA& ud = host.provider.Final().ud;
    out.Integer("return", outcome.result);
    out.Text("status", outcome.statusText);
    const struct {
        const char* name;
        double value;
    } fields[] = {{"x", ud.x}, {"y", ud.y},   {"z", ud.z},   {"l", ud.l},   {"m", ud.m},
                  {"n", ud.n}, {"ln", ud.ln}, {"mn", ud.mn}, {"nn", ud.nn}, {"path", ud.path}};
    for (const auto& field : fields) out.Number(field.name, field.value);
    const MediumPath* path = host.provider.LastMediumPath();
    if (path == nullptr) return outcome.traced ? 0 : 1;
    const MediumRecords records =
        ReadMediumRecords(host.provider.Initial(), host.provider.RecordVersion());
    PrintMediumPath(*path, records.wavelength == 0, points, out);
    // A path that request 6 broke off, or none for want of a step, is a failure of the surface.
    return path->end == MediumEnd::kIndexFailed || path->end == MediumEnd::kStepLength ? 1 : 0;
}

int RunSag(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 2, "sag X Y");
    const double x = ParseNumber(args[0], "sag X");
    const double y = ParseNumber(args[1], "sag Y");
    host.provider.RefreshWorkingPair();
    double sag = 0;
    const bool valid = host.provider.SurfaceSampler().Sag(x, y, &sag);
    ThrowIfFaulted(host);
    out.Number("x", x);
    out.Number("y", y);
    out.Flag("valid", valid);
    // A sag the surface gave that is no finite number is shown as given ("nan", "inf"; null in
    // JSON): the sample failed for its value.
    if (valid || !FiniteSag(sag)) out.Number("sag", sag);
    return valid ? 0 : 1;
}

int RunIndex(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 3, "index X Y Z");
    const double x = ParseNumber(args[0], "index X");
    const double y = ParseNumber(args[1], "index Y");
    const double z = ParseNumber(args[2], "index Z");
    host.provider.RefreshWorkingPair();
    IndexSample sample;
    const bool valid = host.provider.SurfaceSampler().Index(x, y, z, &sample);
    ThrowIfFaulted(host);
    out.Number("x", x);
    out.Number("y", y);
    out.Number("z", z);
    out.Flag("valid", valid);
    if (valid || !FiniteIndex(sample)) {
        out.Number("index", sample.index);
        out.Number("dndx", sample.dndx);
        out.Number("dndy", sample.dndy);
        out.Number("dndz", sample.dndz);
    }
    return valid ? 0 : 1;
}

int RunSagGrid(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 6, "sag-grid XMIN XMAX YMIN YMAX DX DY");
    const double xmin = ParseNumber(args[0], "sag-grid XMIN");
    const double xmax = ParseNumber(args[1], "sag-grid XMAX");
    const double ymin = ParseNumber(args[2], "sag-grid YMIN");
    const double ymax = ParseNumber(args[3], "sag-grid YMAX");
    CheckRange(xmin, xmax, "sag-grid XMIN XMAX", true);
    CheckRange(ymin, ymax, "sag-grid YMIN YMAX", true);
    const double dx = ParseStep(args[4], "sag-grid DX");
    const double dy = ParseStep(args[5], "sag-grid DY");

    host.provider.RefreshWorkingPair();
    Sampler& sampler = host.provider.SurfaceSampler();
    Json samples = Json::array();
    long long points = 0, failed = 0;
    // Every row has the same x values; the rows go to the surface in passes of whole rows.
    std::vector<double> row;
    ForEachSample(xmin, xmax, dx, [&](double x) { row.push_back(x); });
    std::vector<double> xs, ys, sags;
    std::unique_ptr<bool[]> valid;
    auto samplePass = [&] {
        const std::size_t n = xs.size();
        sags.assign(n, 0.0);
        // Every flag has a value before the pass (false), and only the points the pass sampled
        // count as sampled: one that stops short leaves the rest failed, never unread memory.
        valid = std::make_unique<bool[]>(n > 0 ? n : 1);
        const std::size_t done =
            sampler.SagBatch(n, xs.data(), ys.data(), sags.data(), valid.get());
        ThrowIfFaulted(host);
        for (std::size_t i = done; i < n; ++i) valid[i] = false;
        for (std::size_t i = 0; i < n; ++i) {
            ++points;
            if (!valid[i]) ++failed;
            if (out.IsJson()) {
                samples.push_back(Json::array(
                    {xs[i], ys[i],
                     valid[i] && std::isfinite(sags[i]) ? Json(sags[i]) : Json(nullptr)}));
            } else {
                PrintOut(FormatDouble(xs[i]) + "\t" + FormatDouble(ys[i]) + "\t" +
                         (valid[i] ? FormatDouble(sags[i]) : std::string("-")) + "\n");
            }
        }
        xs.clear();
        ys.clear();
    };
    ForEachSample(ymin, ymax, dy, [&](double y) {
        if (!xs.empty() && xs.size() + row.size() > kSamplePassPoints) samplePass();
        xs.insert(xs.end(), row.begin(), row.end());
        ys.insert(ys.end(), row.size(), y);
    });
    if (!xs.empty()) samplePass();
    if (out.IsJson()) {
        out.Integer("points", points);
        out.Integer("failed", failed);
        out.Object()["samples"] = std::move(samples);
    }
    return 0;
}

int RunCompile(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 1, "compile FILE");
    const std::string source = ReadScriptSource(args[0]);
    const std::string report = CompileReport(host.engine, source.c_str());
    const bool usable = !source.empty() && host.engine.CompileErrorCount() == 0 &&
                        host.engine.InstructionCount() > 0;
    PrintEngineText(report, out);
    if (out.IsJson()) {
        out.Integer("compile_errors", source.empty() ? 0 : host.engine.CompileErrorCount());
        out.Integer("instructions", source.empty() ? 0 : host.engine.InstructionCount());
    }
    return usable ? 0 : 1;
}

int RunListing(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 1, "listing FILE");
    const std::string source = ReadScriptSource(args[0]);
    // The listing belongs to this file: an empty file must not list older code.
    if (source.empty())
        host.engine.DiscardInstructions();
    else
        CompileReport(host.engine, source.c_str());
    const int instructions = host.engine.InstructionCount();
    PrintEngineText(ListingReport(host.engine), out);
    if (out.IsJson()) out.Integer("instructions", instructions);
    return instructions > 0 ? 0 : 1;
}

int RunStl(CliHost& host, const Arguments& args, Output& out) {
    constexpr const char* kUsage =
        "stl OUT (--ascii|--binary) [--range XMIN XMAX YMIN YMAX] [--step DX DY] "
        "[--pattern 0..3] [--failed-at-zero]";
    if (args.empty()) throw CliError(std::string("usage: ") + kUsage);
    std::string path;
    int format = 0;     // 1 ASCII, 2 binary
    MeshParams params;  // the program's initial ranges and 3D steps, pattern 0
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--ascii" || word == "--binary") {
            const int chosen = word == "--ascii" ? 1 : 2;
            if (format != 0 && format != chosen)
                throw CliError("stl: --ascii and --binary exclude each other");
            format = chosen;
        } else if (word == "--range") {
            params.xmin = ParseNumber(OptionValue(args, ++i, "--range"), "--range XMIN");
            params.xmax = ParseNumber(OptionValue(args, ++i, "--range"), "--range XMAX");
            params.ymin = ParseNumber(OptionValue(args, ++i, "--range"), "--range YMIN");
            params.ymax = ParseNumber(OptionValue(args, ++i, "--range"), "--range YMAX");
            CheckRange(params.xmin, params.xmax, "--range XMIN XMAX", true);
            CheckRange(params.ymin, params.ymax, "--range YMIN YMAX", true);
        } else if (word == "--step") {
            params.dx = ParseStep(OptionValue(args, ++i, "--step"), "--step DX");
            params.dy = ParseStep(OptionValue(args, ++i, "--step"), "--step DY");
        } else if (word == "--pattern") {
            params.pattern = ParseInteger(OptionValue(args, ++i, "--pattern"), "--pattern", 0, 3);
        } else if (word == "--failed-at-zero") {
            params.failedAtZero = true;
        } else if (path.empty() && !(word.size() > 1 && word[0] == '-' && word[1] == '-')) {
            path = word;
        } else {
            throw CliError("stl: unexpected argument \"" + word + "\"; usage: " + kUsage);
        }
    }
    if (path.empty()) throw CliError(std::string("stl: no output file; usage: ") + kUsage);
    if (format == 0) throw CliError("stl: choose --ascii or --binary");
    CheckOutputFile(path);

    // The mesh samples the working pair as the last repaint left it: refreshed from the
    // initial pair.
    host.provider.RefreshWorkingPair();
    CModel model;
    std::string message;
    int count = 0;
    MeshSamples samples;
    if (BuildSurfaceMesh(params, host.provider.SurfaceSampler(), model, &message, &count,
                         &samples) != 0) {
        throw CliError("stl: the mesh's sample store cannot be allocated");
    }
    ThrowIfFaulted(host);  // no file from a mesh the library stopped answering for
    const std::string samplesText = MeshSamplesText(samples, params.failedAtZero);
    if (MeshHasNoSample(samples, params.failedAtZero)) {
        // No surface to write: no file, and the reason.
        out.Integer("samples", samples.taken);
        out.Integer("samples_failed", samples.failed);
        out.Text("samples_message", samplesText);
        return 1;
    }
    std::string writeMessage;
    const int written = format == 1 ? WriteStlAscii(path, model, &writeMessage)
                                    : WriteStlBinary(path, model, &writeMessage);
    if (written == kStlWriteFailed) {
        throw CliError(writeMessage.empty() ? path + ": cannot be written" : OneLine(writeMessage));
    }
    out.Text("file", path);
    out.Text("format", format == 1 ? "ascii" : "binary");
    out.Integer("pattern", params.pattern);
    out.Integer("triangles", count);
    out.Number("dx", params.dx);
    out.Number("dy", params.dy);
    out.Flag("steps_enlarged", !message.empty());
    if (!message.empty()) out.Text("message", message);
    out.Integer("samples", samples.taken);
    out.Integer("samples_failed", samples.failed);
    if (!samplesText.empty()) out.Text("samples_message", samplesText);
    return 0;
}

int RunLoad(CliHost& host, const Arguments& args, Output& out) {
    ExpectArguments(args, 1, "load FILE");
    const std::string& path = args[0];
    CModel model;
    std::string message;
    if (ReadModelFile(path, model, &message) != 0) {
        // The reader's failure text, with the file and the system's reason when it has them.
        const bool namesFile = message.find('\n') != std::string::npos;
        throw CliError(namesFile ? OneLine(message) : path + ": " + message);
    }
    const char* format = "obj";
    if (ModelFileTypeOf(path) == ModelFileType::kStl) {
        format = IsStlAscii(path) ? "stl-ascii" : "stl-binary";
    }
    // Materials that differ in any part count once each.
    std::vector<const modelMaterial*> materials;
    auto same = [](const modelMaterial& a, const modelMaterial& b) {
        return a.name == b.name && a.shininess == b.shininess &&
               std::equal(a.ambient, a.ambient + 4, b.ambient) &&
               std::equal(a.diffuse, a.diffuse + 4, b.diffuse) &&
               std::equal(a.specular, a.specular + 4, b.specular);
    };
    for (const auto& group : model.groups) {
        bool known = false;
        for (const modelMaterial* m : materials) known = known || same(*m, group->material);
        if (!known) materials.push_back(&group->material);
    }
    out.Text("format", format);
    out.Integer("vertices", static_cast<long long>(model.vertices.size()));
    out.Integer("vertex_normals", static_cast<long long>(model.vertexNormals.size()));
    out.Integer("face_normals", static_cast<long long>(model.faceNormals.size()));
    out.Integer("faces", static_cast<long long>(model.faces.size()));
    out.Integer("groups", static_cast<long long>(model.groups.size()));
    out.Integer("materials", static_cast<long long>(materials.size()));
    Json groups = Json::array();
    for (std::size_t i = 0; i < model.groups.size(); ++i) {
        const modelGroup& group = *model.groups[i];
        if (out.IsJson()) {
            groups.push_back({{"name", group.name},
                              {"faces", group.faces.size()},
                              {"material", group.material.name}});
        } else {
            const std::string key = "group[" + std::to_string(i) + "]";
            out.Text(key, group.name);
            out.Integer(key + ".faces", static_cast<long long>(group.faces.size()));
            out.Text(key + ".material", group.material.name);
        }
    }
    if (out.IsJson()) out.Object()["group_list"] = std::move(groups);
    return 0;
}

CommandFunction FindCommand(const std::string& name) {
    static const struct {
        const char* name;
        CommandFunction function;
    } kCommands[] = {
        {"info", RunInfo},
        {"call", RunCall},
        {"trace", RunTrace},
        {"sag", RunSag},
        {"index", RunIndex},
        {"sag-grid", RunSagGrid},
        {"compile", RunCompile},
        {"listing", RunListing},
        {"stl", RunStl},
        {"load", RunLoad},
        {"views", RunViews},
        {"check", RunCheck},
        {"store-session", RunStoreSession},
        {"compare", RunCompare},
        {"snapshot", RunSnapshot},
    };
    for (const auto& command : kCommands) {
        if (name == command.name) return command.function;
    }
    return nullptr;
}

}  // namespace velmor::cli
