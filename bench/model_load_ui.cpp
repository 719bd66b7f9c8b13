// The 3D window's File "Open ..." against the reader alone, on large files this program writes
// itself: an ASCII STL and a binary STL of about 200 MB each and an OBJ of about 100 MB with a
// material file. The window's load runs from the command until the model is set, with the
// "Loading ..." progress window reporting and its Cancel button live; the first paint is not
// part of it. The reader alone is what `velmor-cli load` does: ReadModelFile into a model of
// its own. Goal: the window within 1.5 times the reader for each format.
//
// Runs on the offscreen platform unless told otherwise (under xvfb-run with
// QT_QPA_PLATFORM=xcb the windows are real X windows). The fastest iteration of each counts;
// wall and CPU time of this process are both printed, since the machine may be shared.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/view3d/model.h"
#include "core/view3d/model_reader.h"
#include "core/view3d/stl_writer.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

// Answers every open-file dialog with the path set last; shows no message box (a failed load
// is reported by the benchmark).
class FixedPathUi : public MessageUi {
public:
    MessageAnswer Message(QWidget*, const QString& text, MessageIcon, MessageButtons) override {
        lastMessage = text;
        return MessageAnswer::Ok;
    }
    std::optional<QString> OpenFileName(QWidget*, const FileDialogRequest&) override {
        return path;
    }
    std::optional<QString> SaveFileName(QWidget*, const FileDialogRequest&) override {
        return std::nullopt;
    }
    QString path;
    QString lastMessage;
};

struct Inputs {
    std::filesystem::path dir;
    std::map<std::string, std::string> files;  // format -> path
    std::map<std::string, std::size_t> faces;  // format -> faces the reader gives
};

Inputs& Shared() {
    static Inputs inputs;
    return inputs;
}

// A wavy sheet of n x n cells, two triangles each, laid out as a surface mesh.
void MakeSheet(int n, CModel& model) {
    model.Clear();
    auto group = std::make_unique<modelGroup>();
    group->material = modelMaterial::Surface();
    const float step = 20.0f / n;
    const auto p = [&](int i, int j) {
        const float x = -10 + i * step, y = -10 + j * step;
        return Vec3f{x, y, 0.3f * std::sin(x) * std::cos(y)};
    };
    const std::size_t triangles = 2 * std::size_t(n) * n;
    model.vertices.reserve(3 * triangles);
    model.faceNormals.reserve(triangles);
    model.faces.reserve(triangles);
    group->faces.reserve(triangles);
    const auto add = [&](const Vec3f& a, const Vec3f& b, const Vec3f& c) {
        const int k = static_cast<int>(model.faces.size());
        model.vertices.insert(model.vertices.end(), {a, b, c});
        model.faceNormals.push_back(TriangleNormal(a, b, c));
        modelFace face;
        for (int v = 0; v < 3; ++v) face.vertex[v] = 3 * k + v;
        face.faceNormal = k;
        model.faces.push_back(face);
        group->faces.push_back(k);
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            add(p(i, j), p(i + 1, j), p(i + 1, j + 1));
            add(p(i, j), p(i + 1, j + 1), p(i, j + 1));
        }
    model.groups.push_back(std::move(group));
}

// The same kind of sheet as an OBJ file with shared vertices, vertex normals, two groups and
// their materials from a material file.
void WriteObj(const std::filesystem::path& path, int n) {
    std::FILE* mtl = std::fopen((path.parent_path() / "sheet.mtl").c_str(), "w");
    std::fputs("newmtl Red\nKa 0.2 0 0\nKd 0.8 0 0\nnewmtl Green\nKa 0 0.2 0\nKd 0 0.8 0\n", mtl);
    std::fclose(mtl);
    std::FILE* obj = std::fopen(path.c_str(), "w");
    std::fputs("mtllib sheet.mtl\n", obj);
    const float step = 20.0f / n;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = -10 + i * step, y = -10 + j * step;
            std::fprintf(obj, "v %.6f %.6f %.6f\n", x, y, 0.3f * std::sin(x) * std::cos(y));
        }
    std::fputs("vn 0 0 1\n", obj);
    for (int j = 0; j < n; ++j) {
        if (j == 0) std::fputs("g Front\nusemtl Red\n", obj);
        if (j == n / 2) std::fputs("g Back\nusemtl Green\n", obj);
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            std::fprintf(obj, "f %d//1 %d//1 %d//1\nf %d//1 %d//1 %d//1\n", a, b, c, a, c, d);
        }
    }
    std::fclose(obj);
}

void Prepare() {
    Inputs& in = Shared();
    char pattern[] = "/tmp/velmor_bench_load_XXXXXX";
    in.dir = mkdtemp(pattern);
    in.files["stl-ascii"] = (in.dir / "sheet_ascii.stl").string();
    in.files["stl-binary"] = (in.dir / "sheet_binary.stl").string();
    in.files["obj"] = (in.dir / "sheet.obj").string();
    CModel sheet;
    MakeSheet(640, sheet);  // 819,200 facets: about 200 MB of ASCII STL
    WriteStlAscii(in.files["stl-ascii"], sheet, nullptr);
    MakeSheet(1414, sheet);  // 3,998,792 records: 200 MB
    WriteStlBinary(in.files["stl-binary"], sheet, nullptr);
    WriteObj(in.files["obj"], 1000);  // 1,002,001 vertices, 2,000,000 faces
    for (const auto& [format, path] : in.files) {
        CModel model;
        std::string message;
        if (ReadModelFile(path, model, &message) != 0)
            std::fprintf(stderr, "%s: %s\n", path.c_str(), message.c_str());
        in.faces[format] = model.faces.size();
    }
}

double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct Times {
    double wall = -1, cpu = -1;
};

std::map<std::string, Times>& Best() {
    static std::map<std::string, Times> best;
    return best;
}

// Times one run of `work` into the benchmark and the fastest-of table.
template <typename Work>
void TimeRun(benchmark::State& state, const std::string& name, Work work) {
    const auto wall0 = Clock::now();
    const double cpu0 = CpuNow();
    work();
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = CpuNow() - cpu0;
    state.SetIterationTime(wall);
    Times& best = Best()[name];
    if (best.wall < 0 || wall < best.wall) best.wall = wall;
    if (best.cpu < 0 || cpu < best.cpu) best.cpu = cpu;
}

// What `velmor-cli load` does with the file.
void BM_Reader(benchmark::State& state, const std::string& format) {
    const std::string& path = Shared().files[format];
    for (auto _ : state) {
        CModel model;
        std::string message;
        int result = 0;
        TimeRun(state, "reader " + format, [&] { result = ReadModelFile(path, model, &message); });
        if (result != 0 || model.faces.size() != Shared().faces[format])
            state.SkipWithError("the reader did not read the file");
    }
}

// File "Open ..." of a shown 3D window, the open-file dialog answered with the file.
void BM_Window(benchmark::State& state, const std::string& format) {
    FixedPathUi ui;
    MessageUi* previous = SetMessageUi(&ui);
    ui.path = QString::fromStdString(Shared().files[format]);
    CDialog3D dialog;
    dialog.show();
    QApplication::processEvents();
    for (auto _ : state) {
        TimeRun(state, "window " + format, [&] { dialog.RunCommand(kCmdOpen); });
        if (dialog.Model().faces.size() != Shared().faces[format]) {
            state.SkipWithError(
                ("the window did not load the file: " + ui.lastMessage.toStdString()).c_str());
        }
        state.PauseTiming();
        dialog.RunCommand(kCmdClearModel);
        QApplication::processEvents();
        state.ResumeTiming();
    }
    SetMessageUi(previous);
}

void Register() {
    for (const char* format : {"stl-ascii", "stl-binary", "obj"}) {
        benchmark::RegisterBenchmark((std::string("reader/") + format).c_str(), BM_Reader,
                                     std::string(format))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark((std::string("window/") + format).c_str(), BM_Window,
                                     std::string(format))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
}

void PrintSummary() {
    const Inputs& in = Shared();
    std::printf(
        "\n== File \"Open ...\" of the 3D window against the reader alone (fastest run) ==\n");
    for (const char* format : {"stl-ascii", "stl-binary", "obj"}) {
        const auto& best = Best();
        const auto reader = best.find(std::string("reader ") + format);
        const auto window = best.find(std::string("window ") + format);
        if (reader == best.end() || window == best.end()) continue;
        const double ratio = window->second.wall / reader->second.wall;
        std::printf(
            "%-10s %6.1f MB %9zu faces  reader wall %6.3f s cpu %6.3f s   window wall %6.3f s "
            "cpu %6.3f s   window/reader wall %.2f cpu %.2f  (goal <= 1.5: %s)\n",
            format, std::filesystem::file_size(in.files.at(format)) / 1e6, in.faces.at(format),
            reader->second.wall, reader->second.cpu, window->second.wall, window->second.cpu, ratio,
            window->second.cpu / reader->second.cpu, ratio <= 1.5 ? "met" : "MISSED");
    }
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velmor::InstallProgressWindowReporter();
    benchmark::Initialize(&argc, argv);
    velmor::Prepare();
    velmor::Register();
    benchmark::RunSpecifiedBenchmarks();
    velmor::PrintSummary();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(velmor::Shared().dir, ignored);
    return 0;
}
