// How a Windows DLL's helper is started, without wine itself: wine stood in for by small shell
// scripts (one that fails as a broken wine does, one that records what it was given and runs the
// Linux helper in its place), wine looked for in the candidates, the prefix, the environment,
// the paths in the Windows form, and the messages a Windows DLL that cannot load gets.
#include "core/host/wine_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/pe_file.h"
#include "core/surface/provider.h"
#include "temp_dir.h"

namespace velmor {
namespace {

// Sets an environment variable for the scope (unset when `value` is null) and restores it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had) m_old = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (m_had)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

void WriteScript(const std::string& path, const std::string& text) {
    test::WriteFile(path, "#!/bin/sh\n" + text);
    ::chmod(path.c_str(), 0755);
}

// The smallest file the loader takes for an x64 DLL: the headers only.
void WriteX64Headers(const std::string& path, std::uint16_t machine = kPeMachineX64) {
    std::string bytes(0x200, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = static_cast<char>(0x80);
    bytes[0x80] = 'P';
    bytes[0x81] = 'E';
    bytes[0x84] = static_cast<char>(machine & 0xFF);
    bytes[0x85] = static_cast<char>(machine >> 8);
    bytes[0x84 + 16] = static_cast<char>(0xF0);
    bytes[0x98] = 0x0B;
    bytes[0x99] = 0x02;
    test::WriteFile(path, bytes);
}

TEST(WineLaunchTest, WindowsPathsAndWineCandidates) {
    EXPECT_EQ(WindowsPathOf("/home/a b/x.dll"), "Z:\\home\\a b\\x.dll");
    EXPECT_EQ(WindowsPathOf("x.dll"),
              WindowsPathOf((std::filesystem::current_path() / "x.dll").string()));
    test::TempDir dir;
    WriteScript(dir.File("wine64"), "exit 0\n");
    test::WriteFile(dir.File("not-executable"), "");
    std::filesystem::create_directory(dir.File("folder"));
    // The first candidate that is an executable file; a name without '/' is looked up on PATH.
    EXPECT_EQ(FindWine({dir.File("missing"), dir.File("not-executable"), dir.File("folder"),
                        dir.File("wine64")}),
              dir.File("wine64"));
    ScopedVariable path("PATH", ("/nonexistent::" + dir.Path()).c_str());
    EXPECT_EQ(FindWine({"no-such-wine", "wine64"}), dir.File("wine64"));
    EXPECT_EQ(FindWine({"no-such-wine", dir.File("missing")}), "");
    EXPECT_EQ(FindWine({}), "");
}

class WineProviderTest : public ::testing::Test {
protected:
    WineProviderTest() {
        WriteX64Headers(dll);
        // The Windows helper is never run by the stand-ins: any file will do.
        test::WriteFile(dir.File("velmor-surface-host.exe"), "MZ");
        settings.limits.timeoutSeconds = 5;
        settings.wine.helperPath = dir.File("velmor-surface-host.exe");
        settings.wine.prefix = dir.File("cache/Velmor/wine");
    }

    LoadOutcome Load(const std::string& wineScript) {
        WriteScript(dir.File("wine"), wineScript);
        settings.wine.wineCandidates = {dir.File("wine")};
        provider.SetLibraryHost(settings);
        return provider.OpenSurfaceDll(dll);
    }

    test::TempDir dir;
    std::string dll = dir.File("surface.so");  // a Windows DLL by its content, whatever its name
    LibraryHostSettings settings;
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

TEST_F(WineProviderTest, DllsThatCannotLoadGetOneMessageAndNoHelper) {
    // No wine: the message says what to install, no helper starts, the built-in surface answers.
    settings.wine.wineCandidates = {dir.File("missing-wine64"), "no-such-wine-on-path"};
    provider.SetLibraryHost(settings);
    LoadOutcome outcome = provider.OpenSurfaceDll(dll);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_FALSE(outcome.fault);
    EXPECT_EQ(outcome.message, kWineMissingText);
    EXPECT_EQ(std::string(kWineMissingText).rfind("A Windows DLL needs wine to load: ", 0), 0u);
    EXPECT_FALSE(provider.LibraryLoaded());
    EXPECT_FALSE(std::filesystem::exists(settings.wine.prefix));

    // A 32-bit or ARM DLL is refused before wine is even looked for, in-process too.
    settings.inProcess = true;
    provider.SetLibraryHost(settings);
    WriteX64Headers(dir.File("x86.dll"), kPeMachineI386);
    WriteX64Headers(dir.File("arm64.dll"), kPeMachineArm64);
    EXPECT_EQ(provider.OpenSurfaceDll(dir.File("x86.dll")).message, kPe32BitText);
    outcome = provider.OpenSurfaceDll(dir.File("arm64.dll"));
    EXPECT_EQ(outcome.message, kPeArmText);
    EXPECT_FALSE(outcome.loaded);
    RecordPair& pair = provider.Final();
    pair.Type() = kRequestName;
    pair.Numb() = 0;
    EXPECT_EQ(provider.CallSurface(pair), 0);
    EXPECT_STREQ(pair.ud.string, "Even Array");
}

TEST_F(WineProviderTest, WineThatFailsToStartIsAFaultWithWinesOwnLines) {
    const LoadOutcome outcome = Load(
        "echo \"wine: '$WINEPREFIX' is not owned by you\" >&2\n"
        "echo 'wine: second line' >&2\n"
        "exit 1\n");
    EXPECT_FALSE(outcome.loaded);
    ASSERT_TRUE(outcome.fault);
    EXPECT_EQ(outcome.fault->kind, LibraryFaultKind::kHost);
    EXPECT_EQ(outcome.fault->Describe(),
              "wine did not start the helper " + settings.wine.helperPath +
                  " (exited with code 1); wine said: wine: '" + settings.wine.prefix +
                  "' is not owned by you; wine: second line in library load");
    EXPECT_FALSE(provider.LibraryLoaded());

    // What stops wine's start before it runs is told the same way.
    std::filesystem::remove_all(settings.wine.prefix);
    test::WriteFile(settings.wine.prefix, "not a folder");
    const LoadOutcome filePrefix = Load("exit 0\n");
    ASSERT_TRUE(filePrefix.fault);
    EXPECT_EQ(filePrefix.fault->detail,
              "cannot make the wine prefix " + settings.wine.prefix + ": Not a directory");
    std::filesystem::remove(settings.wine.prefix);
    settings.wine.helperPath = dir.File("missing.exe");
    EXPECT_EQ(Load("exit 0\n").fault->Describe(),
              "the Windows helper " + dir.File("missing.exe") +
                  " is missing (the Windows build makes it) in library load");
}

TEST_F(WineProviderTest, HelperStartsUnderWineWithItsPrefixEnvironmentAndWindowsPaths) {
    ScopedVariable display("DISPLAY", ":99");
    ScopedVariable debug("WINEDEBUG", "+all");
    // The prefix the environment names, when the settings name none.
    const std::string named = dir.File("env/prefix");
    ScopedVariable prefix(kWinePrefixVariable, named.c_str());
    settings.wine.prefix.clear();
    // The stand-in records what it was given, takes its time as a fresh prefix does (longer
    // than the time limit), then runs the Linux helper with the shared area's Unix path.
    settings.limits.timeoutSeconds = 1;
    const std::string log = dir.File("wine.log");
    const LoadOutcome outcome = Load(
        "{ for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done\n"
        "  echo \"prefix:$WINEPREFIX\"; echo \"overrides:$WINEDLLOVERRIDES\"\n"
        "  echo \"debug:$WINEDEBUG\"; echo \"display:${DISPLAY-unset}\"; } > " +
        log +
        "\n"
        "sleep 1.5\n"
        "area=$(printf '%s' \"$2\" | sed -e 's/^Z://' -e 's/\\\\/\\//g')\n"
        "exec " VELMOR_BIN_DIR "/velmor-surface-host \"$area\"\n");
    const std::string said = test::ReadFile(log);
    EXPECT_NE(said.find("arg:" + settings.wine.helperPath + "\narg:Z:\\"), std::string::npos)
        << said;
    EXPECT_NE(said.find("prefix:" + named + "\n"), std::string::npos) << said;
    EXPECT_NE(said.find("overrides:mscoree=;mshtml=\ndebug:-all\ndisplay:unset\n"),
              std::string::npos)
        << said;
    EXPECT_TRUE(std::filesystem::is_directory(named));
    // The helper started (no time-out while wine started) and was asked for the library by its
    // Windows path, which the Linux helper cannot open.
    EXPECT_FALSE(outcome.loaded);
    EXPECT_FALSE(outcome.fault) << outcome.fault->Describe();
    EXPECT_FALSE(outcome.reason.empty());
}

}  // namespace
}  // namespace velmor
