// Filling the version-3 "UD FD Initial" FIXED_DATA table (5734 rows) and reading it back,
// against the bare text conversions of the same fields (native) and against a QTableWidget
// holding one item object per cell (peer). Runs on the offscreen platform unless told
// otherwise; every fill is followed by a repaint of the window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "ui/grid/data_grid.h"
#include "ui/surface/record_tables_dialog.h"

namespace velmor {
namespace {

constexpr int kVersion = 3;

// A version-3 pair with numbers in every double field that six decimals show exactly, so
// that reading the table back gives the very same bytes.
const RecordPair& SampleRecords() {
    static const std::unique_ptr<RecordPair> pair = [] {
        auto p = std::make_unique<RecordPair>();
        int i = 0;
        for (const RecordRow& row : FixedDataRows(kVersion)) {
            if (row.kind == RowKind::kDouble) {
                double value = (i++ % 977) * 0.125 - 3.5;
                std::memcpy(p->fd + row.offset, &value, sizeof value);
            }
        }
        p->Type() = 3;
        return p;
    }();
    return *pair;
}

struct Window {
    QTemporaryDir dir;
    std::unique_ptr<CDialogUdFdInitial> dialog;
    Window() {
        dialog = std::make_unique<CDialogUdFdInitial>(
            SettingsFile(dir.filePath("Velmor.ini").toStdString()));
        dialog->RebuildFixedDataRows(kVersion);
        dialog->show();
        QApplication::processEvents();
    }
};

// Made on first use, destroyed before the application object.
std::unique_ptr<Window> g_window;

Window& TheWindow() {
    if (!g_window) g_window = std::make_unique<Window>();
    return *g_window;
}

void BM_NativeFormat(benchmark::State& state) {
    const auto& rows = FixedDataRows(kVersion);
    std::vector<std::string> texts(rows.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            texts[i] = FieldToText(rows[i], SampleRecords().fd);
        benchmark::DoNotOptimize(texts.data());
    }
}

void BM_TableFill(benchmark::State& state) {
    Window& window = TheWindow();
    for (auto _ : state) {
        window.dialog->ShowFixedData(SampleRecords().fd, kVersion);
        QApplication::processEvents();
    }
}

void BM_TableRebuildAndFill(benchmark::State& state) {
    Window& window = TheWindow();
    for (auto _ : state) {
        window.dialog->RebuildFixedDataRows(kVersion);
        window.dialog->ShowFixedData(SampleRecords().fd, kVersion);
        QApplication::processEvents();
    }
}

void BM_PeerItemTableFill(benchmark::State& state) {
    const auto& rows = FixedDataRows(kVersion);
    QTableWidget table(int(rows.size()), 3);
    for (int r = 0; r < int(rows.size()); ++r) {
        table.setItem(r, 0, new QTableWidgetItem(QString::fromLatin1(rows[r].typeText)));
        table.setItem(r, 1, new QTableWidgetItem(QString::fromStdString(rows[r].name)));
        table.setItem(r, 2, new QTableWidgetItem());
    }
    table.show();
    QApplication::processEvents();
    for (auto _ : state) {
        for (int r = 0; r < int(rows.size()); ++r)
            table.item(r, 2)->setText(
                QString::fromStdString(FieldToText(rows[r], SampleRecords().fd)));
        QApplication::processEvents();
    }
}

void BM_NativeParse(benchmark::State& state) {
    const auto& rows = FixedDataRows(kVersion);
    std::vector<std::string> texts;
    for (const RecordRow& row : rows) texts.push_back(FieldToText(row, SampleRecords().fd));
    auto record = std::make_unique<RecordPair>();
    std::string rewrite;
    for (auto _ : state) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            TextToField(rows[i], record->fd, texts[i], &rewrite);
        benchmark::DoNotOptimize(record->fd);
    }
}

void BM_TableRead(benchmark::State& state) {
    Window& window = TheWindow();
    window.dialog->ShowFixedData(SampleRecords().fd, kVersion);
    auto record = std::make_unique<RecordPair>();
    for (auto _ : state) {
        int failed = window.dialog->ReadFixedData(record->fd, kVersion);
        benchmark::DoNotOptimize(failed);
    }
    for (std::size_t i = 0; i < sizeof(FIXED_DATA4); ++i)
        if (record->fd[i] != SampleRecords().fd[i]) {
            std::fprintf(stderr, "first difference at byte %zu\n", i);
            state.SkipWithError("the table did not read back the records shown");
            break;
        }
}

BENCHMARK(BM_NativeFormat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableRebuildAndFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerItemTableFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableRead)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;  // CPU time per iteration, in ms
};

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    velmor::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    velmor::g_window.reset();
    auto& t = reporter.times;
    auto ratio = [&](const char* a, const char* b) {
        if (t.count(a) && t.count(b) && t[b] > 0)
            std::printf("  %-24s / %-22s = %6.2f\n", a, b, t[a] / t[b]);
    };
    std::printf("\n5734-row FIXED_DATA4 table, CPU time per operation (limit 50 ms each):\n");
    for (const char* name : {"BM_TableFill", "BM_TableRebuildAndFill", "BM_TableRead"})
        if (t.count(name)) std::printf("  %-24s %8.2f ms\n", name, t[name]);
    std::printf("Ratios:\n");
    ratio("BM_TableFill", "BM_NativeFormat");
    ratio("BM_TableFill", "BM_PeerItemTableFill");
    ratio("BM_TableRebuildAndFill", "BM_NativeFormat");
    ratio("BM_TableRead", "BM_NativeParse");
    benchmark::Shutdown();
    return 0;
}
