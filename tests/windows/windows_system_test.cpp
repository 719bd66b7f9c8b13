// The Windows sides of the system files, run under wine: DLLs through the Windows loader (entry
// by name in order, then ordinal 1, only the DLL's own exports, DllMain left to the loader), the
// helper process started from Windows serving requests and naming an exception, paths and texts
// in UTF-16, the settings file in a folder with a non-ASCII name, and the single-instance mutex
// seen from a second process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app/app_paths.h"
#include "core/app/settings_file.h"
#include "core/app/single_instance.h"
#include "core/app/windows_text.h"
#include "core/host/guarded_library.h"
#include "core/host/helper_process.h"
#include "core/surface/dynamic_library.h"
#include "core/surface/surface_entry.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor {
namespace {

// This program's own path, to start it again as a second process.
std::string ThisProgram() {
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Utf8FromWide(path);
}

using test::LibPath;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A text file's lines, without the '\r' the C run-time writes before each line end.
std::string Lines(const std::string& path) {
    std::string text = test::ReadFile(path);
    std::erase(text, '\r');
    return text;
}

TEST(WindowsTextTest, PathsAndTextsCrossToUtf16AndBack) {
    EXPECT_EQ(WindowsPath("/tmp/a b/c.dll"), L"Z:\\tmp\\a b\\c.dll");
    EXPECT_EQ(WindowsPath("C:/x\\y"), L"C:\\x\\y");
    const std::string text = "\xE6\x97\xA5\xE6\x9C\xAC \xC3\xBC \xF0\x9F\x98\x80";  // 日本 ü 😀
    EXPECT_EQ(WideFromUtf8(text).size(), 7u);  // the emoji takes a surrogate pair
    EXPECT_EQ(Utf8FromWide(WideFromUtf8(text)), text);
    EXPECT_EQ(WideFromUtf8(""), L"");
    EXPECT_EQ(Utf8FromWide(WideFromUtf8("a\xFF")), "a\xEF\xBF\xBD");  // not UTF-8: U+FFFD
    EXPECT_TRUE(EndsWith(SystemErrorText(ERROR_FILE_NOT_FOUND), " (error 2)"));
    EXPECT_TRUE(EndsWith(SystemErrorText(0xDEADBEEF), " (error 3735928559)"));
}

TEST(WindowsDynamicLibraryTest, EntriesByNameInOrderThenOrdinalOneOnlyTheDllsOwn) {
    const std::pair<const char*, int> versions[] = {
        {"entry2_only", kRecordVersion1},   {"entry4_only", kRecordVersion3},
        {"entry4_and_5", kRecordVersion3},  {"entry5_only", kRecordVersion4},
        {"ordinal_only", kRecordVersion0},  {"forwarded_entry", kRecordVersion3},
        {"windows_style", kRecordVersion4},
    };
    for (const auto& [name, version] : versions) {
        DynamicLibrary library;
        ASSERT_TRUE(library.Open(LibPath(name))) << name << ": " << library.Error();
        const SurfaceEntry entry = FindSurfaceEntry(library);
        EXPECT_NE(entry.address, nullptr) << name;
        EXPECT_EQ(entry.recordVersion, version) << name;
    }

    // An entry exported by ordinal alone is the library's entry, and it answers.
    DynamicLibrary ordinal;
    ASSERT_TRUE(ordinal.Open(LibPath("ordinal_only")));
    EXPECT_EQ(ordinal.Symbol("OrdinalSurface"), nullptr);  // NONAME: no name to find
    EXPECT_NE(ordinal.SymbolByOrdinal(1), nullptr);
    for (int missing : {0, 2, -1, 0x10000}) EXPECT_EQ(ordinal.SymbolByOrdinal(missing), nullptr);
    RecordPair pair;
    pair.Type() = 3;
    pair.ud.x = 1.5;
    pair.ud.y = -1;
    EXPECT_EQ(CallSurfaceEntry(FindSurfaceEntry(ordinal), &pair.ud, pair.fd), 0);
    EXPECT_EQ(pair.ud.sag1, 2.0);

    // A name forwarded to another DLL resolves there: not the library's own entry.
    DynamicLibrary forwarded;
    ASSERT_TRUE(forwarded.Open(LibPath("forwarded_entry")));
    EXPECT_NE(forwarded.Symbol("UserDefinedSurface"), nullptr);
    EXPECT_EQ(forwarded.OwnSymbol("UserDefinedSurface"), nullptr);
    EXPECT_NE(forwarded.OwnSymbol("UserDefinedSurface4"), nullptr);
}

TEST(WindowsDynamicLibraryTest, DllMainIsTheLoadersAndFailuresSayWhy) {
    test::TempDir dir;
    // The loader calls DllMain once on the load and once on the unload; Velmor adds no call.
    const std::string log = dir.File("dllmain.log");
    _wputenv_s(L"VELMOR_DLLMAIN_LOG", WideFromUtf8(log).c_str());
    {
        DynamicLibrary library;
        ASSERT_TRUE(library.Open(LibPath("windows_style"))) << library.Error();
        EXPECT_EQ(Lines(log), "attach\n");
    }
    EXPECT_EQ(Lines(log), "attach\ndetach\n");

    DynamicLibrary library;
    EXPECT_FALSE(library.Open(LibPath("dllmain_refuses")));
    EXPECT_EQ(library.Error(), "its DllMain answered FALSE to DLL_PROCESS_ATTACH");
    EXPECT_FALSE(library.IsOpen());
    EXPECT_FALSE(library.Open(dir.File("missing.dll")));
    EXPECT_TRUE(EndsWith(library.Error(), " (error 2)")) << library.Error();
    EXPECT_FALSE(library.Open(dir.Path()));
    EXPECT_EQ(library.Error(), "not a regular file");
    test::WriteFile(dir.File("text.dll"), "not a DLL");
    EXPECT_FALSE(library.Open(dir.File("text.dll")));
    EXPECT_FALSE(library.Error().empty());
    EXPECT_FALSE(library.Open(""));
    EXPECT_EQ(library.Error(), "no file name");

    // A name without a folder is the file in the working folder, not one the system searches.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(WindowsPath(VELMOR_LIB_DIR));
    EXPECT_TRUE(library.Open("ordinal_only.dll")) << library.Error();
    std::filesystem::current_path(dir.Path());
    EXPECT_FALSE(library.Open("kernel32.dll"));  // a system DLL, but not in this folder
    std::filesystem::current_path(before);
}

// Collects what the library prints.
struct Output : LibraryOutputSink {
    std::string text;
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag&) override {
        text.append(bytes);
    }
};

TEST(WindowsHelperTest, TheHelperServesRequestsAndNamesTheExceptionThatEndsIt) {
    GuardedLibrary library(std::string(VELMOR_BIN_DIR) + "/velmor-surface-host.exe");
    Output output;
    library.SetOutputSink(&output);
    int version = -1;
    std::string reason;
    ASSERT_TRUE(library.Open(LibPath("output_surface"), &version, &reason)) << reason;
    EXPECT_EQ(version, kRecordVersion0);
    RecordPair pair;
    pair.Type() = 3;
    pair.ud.x = 2;
    pair.ud.y = 1;
    int result = -1;
    ASSERT_EQ(library.Call(pair, &result, &version), LibraryCall::kAnswered);
    EXPECT_EQ(pair.ud.sag1, 1.25);
    // Standard output and error reach the program through the helper's output channel only.
    EXPECT_NE(output.text.find("sag at x=2 y=1 (stdout)"), std::string::npos) << output.text;

    // Batches run in the helper as single calls do.
    BatchPoints& points = library.Points();
    for (std::size_t i = 0; i < 3; ++i) {
        points.type[i] = 3;
        points.fields[i] = kSagPointFields;
        points.flags[i] = kEndsRow;
        points.x[i] = double(i);
        points.y[i] = 0;
    }
    LibraryCall status = LibraryCall::kFailed;
    RecordPair working;
    EXPECT_EQ(library.RunBatch(working, 3, kBatchSameRequest, {}, &status, &version), 3u);
    EXPECT_EQ(status, LibraryCall::kAnswered);
    EXPECT_EQ(library.Answers().value[0][2], 1.0);

    // A crash is an exception the helper names before it ends.
    ASSERT_TRUE(library.Open(LibPath("fault_segv"), &version, &reason)) << reason;
    pair.Type() = 3;
    pair.ud.x = 1.5;
    EXPECT_EQ(library.Call(pair, &result, &version), LibraryCall::kFailed);
    ASSERT_NE(library.Fault(), nullptr);
    EXPECT_EQ(library.Fault()->kind, LibraryFaultKind::kException);
    EXPECT_EQ(library.Fault()->exceptionCode, 0xC0000005u);
    EXPECT_EQ(library.Fault()->Short(), "EXCEPTION_ACCESS_VIOLATION in sag");
    EXPECT_EQ(library.Fault()->x, 1.5);

    // A stack overflow leaves too little stack for the usual handling: it is named all the same.
    ASSERT_TRUE(library.Open(LibPath("fault_stack"), &version, &reason)) << reason;
    EXPECT_EQ(library.Call(pair, &result, &version), LibraryCall::kFailed);
    ASSERT_NE(library.Fault(), nullptr);
    EXPECT_EQ(library.Fault()->Short(), "EXCEPTION_STACK_OVERFLOW in sag");
}

TEST(WindowsAppFilesTest, SettingsRoundTripInAFolderWithANonAsciiName) {
    test::TempDir dir;
    const std::string folder = dir.File("\xE8\xA8\xAD\xE5\xAE\x9A \xC3\xBC");  // 設定 ü
    ASSERT_TRUE(::CreateDirectoryW(WindowsPath(folder).c_str(), nullptr));
    const std::string path = folder + "/Velmor.ini";
    SettingsFile settings(path);
    EXPECT_TRUE(settings.WriteInt("WINDOW", "LEFT", -12));
    EXPECT_TRUE(settings.WriteString("LIBRARY", "PATH", "C:\\\xE6\x97\xA5\\a.dll"));
    EXPECT_TRUE(settings.WriteInt("WINDOW", "LEFT", 40));  // replaced in place
    const SettingsFile again(path);
    EXPECT_EQ(again.GetInt("window", "left", 0), 40);
    EXPECT_EQ(again.GetString("LIBRARY", "PATH", ""), "C:\\\xE6\x97\xA5\\a.dll");
    // One file, no temporary file left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(WindowsPath(folder))) {
        EXPECT_EQ(entry.path().filename().wstring(), L"Velmor.ini");
        ++files;
    }
    EXPECT_EQ(files, 1);
    // A read-only file is refused and kept.
    ASSERT_TRUE(::SetFileAttributesW(WindowsPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(settings.WriteInt("WINDOW", "LEFT", 1));
    EXPECT_EQ(again.GetInt("WINDOW", "LEFT", 0), 40);
    ::SetFileAttributesW(WindowsPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsAppFilesTest, ExecutableFolderAndSettingsPath) {
    const std::string bin = ExecutableDirectory();
    EXPECT_EQ(bin, "Z:" + std::string(VELMOR_BIN_DIR) + "/");
    EXPECT_EQ(ApplicationPaths().settingsPath, bin + "Velmor.ini");
    test::TempDir dir;
    const std::string config = dir.File("AppData");
    EXPECT_EQ(ChooseSettingsPath(dir.Path(), config), dir.Path() + "/Velmor.ini");
    EXPECT_FALSE(std::filesystem::exists(config));
    EXPECT_EQ(ChooseSettingsPath(dir.File("no/such"), config), config + "/Velmor/Velmor.ini");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/Velmor"));
}

// Runs this program as `--single-instance-probe DIR`: its exit code says whether it got the lock.
int ProbeSingleInstance(const std::string& directory) {
    HelperProcess probe;
    std::string error;
    if (!probe.Start(ThisProgram(), {"--single-instance-probe", directory}, 0, &error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    const HelperEnd end = probe.Reap(20000);
    return end.known ? end.exitCode : -1;
}

TEST(WindowsSingleInstanceTest, ASecondProcessIsRefusedOnlyForTheSameFolder) {
    test::TempDir dir;
    const std::string first = dir.File("a"), second = dir.File("b");
    EXPECT_EQ(ProbeSingleInstance(first), 0);  // nobody holds it: taken, and freed on exit
    ASSERT_TRUE(AcquireSingleInstance(first));
    EXPECT_TRUE(AcquireSingleInstance(first));  // a second call of the holder answers true
    EXPECT_EQ(ProbeSingleInstance(first), 1);
    EXPECT_EQ(ProbeSingleInstance(first + "/"), 1);  // the same folder however spelled
    EXPECT_EQ(ProbeSingleInstance(second), 0);
    EXPECT_EQ(SingleInstanceLockPath(first), first + "/UniqueName_Velmor");
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

// velmor-cli.exe run to its end: exit status, standard output and standard error.
CliRun RunCli(const std::vector<std::string>& arguments) {
    CliRun run;
    HelperProcess cli;
    std::string error;
    if (!cli.Start(std::string(VELMOR_BIN_DIR) + "/velmor-cli.exe", arguments, 0, &error)) {
        ADD_FAILURE() << error;
        return run;
    }
    for (int tick = 0; tick < 600; ++tick) {
        const HelperProcess::Events events = cli.Wait(50, &run.err);
        char bytes[4096];
        long got = 0;
        while ((got = cli.ReadAnswer(bytes, sizeof bytes)) > 0) run.out.append(bytes, got);
        if (got < 0 || events.answerClosed) break;
    }
    const HelperEnd end = cli.Reap(5000);
    cli.ReadOutput(&run.err);
    run.status = end.known ? end.exitCode : -1;
    return run;
}

TEST(WindowsCliTest, TheCommandLineRunsDllsThroughTheHelperAndLeavesViewsOut) {
    // A DLL in a folder with a non-ASCII name: the arguments arrive whole.
    test::TempDir dir;
    const std::string folder = dir.File("\xE6\x97\xA5\xE6\x9C\xAC");  // 日本
    ASSERT_TRUE(::CreateDirectoryW(WindowsPath(folder).c_str(), nullptr));
    const std::string copy = folder + "/ordinal_only.dll";
    ASSERT_TRUE(
        ::CopyFileW(WindowsPath(LibPath("ordinal_only")).c_str(), WindowsPath(copy).c_str(), TRUE));
    CliRun run = RunCli({"--lib", copy, "sag", "1", "2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "x\t1\ny\t2\nvalid\t1\nsag\t4\n");  // "\n" line ends, as on Linux

    run = RunCli({"--json", "--lib", LibPath("fault_segv"), "sag", "2", "1"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("\"exception\":\"EXCEPTION_ACCESS_VIOLATION\""), std::string::npos)
        << run.out;

    run = RunCli({"views", dir.File("views.png")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "velmor-cli: views is not part of this build of velmor-cli (it draws with Qt's "
              "QtGui)\n");
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--single-instance-probe") == 0) {
        return velmor::AcquireSingleInstance(argv[2]) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
