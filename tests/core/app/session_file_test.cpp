// The session file: its text read back as written, what the reader refuses whole and what it
// names and leaves out, the library found beside a session that travelled; and the kinds of
// file the command line opens.
#include "core/app/session_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/app/file_kind.h"
#include "core/app/regular_file.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor::test {
namespace {

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(SessionFileTest, WrittenSessionReadsBackAsItWasWritten) {
    TempDir dir;
    Session session;
    session.source = SessionSource::kScript;
    session.libraryPath = "/opt/lens/microlens_array5.so";
    session.scriptPath = "/home/ann/lens script.txt";
    session.recordVersion = 4;
    // A text with '=' and blanks at its ends stays as it is.
    session.rows = {{"param[3]", "0.250000"}, {"string[20]", " a=b "}, {"glass[0]", "N-BK7"}};
    session.analysis = {
        {kKeyXMin, "-2"}, {kKeyStep2DX, "0.05"}, {kKeyMeshPattern, "3"}, {kKeyRayTrace, "0"}};
    std::string reason;
    ASSERT_TRUE(WriteSessionFile(dir.File("s.ini"), session, &reason)) << reason;
    EXPECT_EQ(ReadFile(dir.File("s.ini")),
              "[SESSION]\nVERSION=1\nSOURCE=script\nLIBRARY=/opt/lens/microlens_array5.so\n"
              "SCRIPT=/home/ann/lens script.txt\n\n[RECORDS]\nRECORD_VERSION=4\n"
              "param[3]=0.250000\nstring[20]= a=b \nglass[0]=N-BK7\n\n[ANALYSIS]\nX_MIN=-2\n"
              "DELTA_2D_X=0.05\nMESH_PATTERN=3\nRAY_TRACE=0\n");

    Session read;
    ASSERT_TRUE(ReadSessionFile(dir.File("s.ini"), &read, &reason)) << reason;
    EXPECT_EQ(read.source, SessionSource::kScript);
    EXPECT_EQ(read.libraryPath, session.libraryPath);
    EXPECT_EQ(read.scriptPath, session.scriptPath);
    EXPECT_EQ(read.recordVersion, 4);
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[1].value, " a=b ");
    ASSERT_EQ(read.analysis.size(), 4u);
    EXPECT_EQ(read.analysis[2].key, kKeyMeshPattern);
    EXPECT_TRUE(read.problems.empty());

    // The settings file's syntax: keys without regard to case, CR LF, a byte-order mark.
    Write(dir.File("h.ini"),
          "\xEF\xBB\xBF[session]\r\nversion=1\r\nsource=Library\r\n[Analysis]\r\nx_max = 7.5\r\n");
    ASSERT_TRUE(ReadSessionFile(dir.File("h.ini"), &read, &reason)) << reason;
    EXPECT_EQ(read.source, SessionSource::kLibrary);
    ASSERT_EQ(read.analysis.size(), 1u);
    EXPECT_EQ(read.analysis[0].key, kKeyXMax);
    EXPECT_EQ(read.analysis[0].value, "7.5");

    // A text that would break its line is not written, and the file stays as it was.
    session.rows.push_back({"comment[0]", "two\nlines"});
    EXPECT_FALSE(WriteSessionFile(dir.File("s.ini"), session, &reason));
    EXPECT_NE(reason.find("comment[0]"), std::string::npos) << reason;
    EXPECT_NE(ReadFile(dir.File("s.ini")).find("glass[0]=N-BK7\n"), std::string::npos);
}

TEST(SessionFileTest, FilesThatAreNoSessionAreRefusedWithOneLine) {
    TempDir dir;
    Write(dir.File("plain.ini"), "[WINDOW_MAIN]\nVISIBLE=1\n");
    Write(dir.File("later.ini"), "[SESSION]\nVERSION=2\nSOURCE=builtin\n");
    Write(dir.File("noversion.ini"), "[SESSION]\nSOURCE=builtin\n");
    Write(dir.File("binary.ini"), std::string("[SESSION]\nVERSION=1\n\0\x01\x02", 23));
    Write(dir.File("latin1.ini"), "[SESSION]\nVERSION=1\nSCRIPT=/home/j\xF6rg/s.txt\n");
    {
        // 17 MiB of comment lines after a valid head.
        std::string big = "[SESSION]\nVERSION=1\n";
        big += std::string(17u << 20, ';');
        Write(dir.File("big.ini"), big);
    }
    ASSERT_EQ(::mkfifo(dir.File("fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("folder.ini"));

    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"plain.ini", "no [SESSION] section"},
        {"later.ini", "a session of a later Velmor (VERSION=2"},
        {"noversion.ini", "has no VERSION"},
        {"binary.ini", "not a text file"},
        {"latin1.ini", "not a text file"},
        {"big.ini", "larger than 16 MiB"},
        {"fifo.ini", "not a regular file"},
        {"folder.ini", "not a regular file"},
        {"missing.ini", "cannot be read"},
    };
    for (const auto& c : cases) {
        Session session;
        session.scriptPath = "kept";
        std::string refusal;
        EXPECT_FALSE(ReadSessionFile(dir.File(c.file), &session, &refusal)) << c.file;
        EXPECT_NE(refusal.find(c.says), std::string::npos) << c.file << ": " << refusal;
        EXPECT_EQ(refusal.rfind(c.file, 0), 0u) << "names the file: " << refusal;
        EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
        EXPECT_EQ(session.scriptPath, "kept") << c.file;
    }
}

TEST(SessionFileTest, UnknownKeysAndValuesThatDoNotReadAreNamedAndLeftOut) {
    Session session;
    std::string refusal;
    ASSERT_TRUE(
        ParseSession("STRAY=1\n[SESSION]\nVERSION=1\nSOURCE=plugin\nCOLOUR=red\n"
                     "[RECORDS]\nRECORD_VERSION=x\nparam[1]=2\n[ANALYSIS]\nX_MIN=abc\n"
                     "X_MAX=1e999\nCURSOR=2\nMESH_PATTERN=4\nZOOM=3\nY_MIN= -3.5 \n"
                     "[VIEWS]\nA=1\n",
                     "odd.ini", &session, &refusal))
        << refusal;
    for (const char* part : {"STRAY=1: outside any section", "SOURCE=plugin: unknown source",
                             "COLOUR=red: unknown key", "RECORD_VERSION=x: not a record version",
                             "X_MIN=abc: not a number", "X_MAX=1e999: not a number",
                             "CURSOR=2: not 0 or 1", "MESH_PATTERN=4: not 0, 1, 2 or 3",
                             "ZOOM=3: unknown key in [ANALYSIS]", "[VIEWS]: unknown section"})
        EXPECT_TRUE(Contains(session.problems, part)) << part;
    EXPECT_EQ(session.problems.size(), 10u);
    EXPECT_EQ(session.source, SessionSource::kBuiltIn);
    EXPECT_FALSE(session.recordVersion);
    ASSERT_EQ(session.rows.size(), 1u);
    ASSERT_EQ(session.analysis.size(), 1u);
    EXPECT_EQ(session.analysis[0].value, "-3.5");
}

TEST(SessionFileTest, AFileTheSessionNamesIsFoundBesideItWhenItMoved) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("old"));
    std::filesystem::create_directories(dir.File("new"));
    Write(dir.File("old/lib.so"), "x");
    const std::string session = dir.File("new/s.ini");
    EXPECT_EQ(ResolveSessionPath(dir.File("old/lib.so"), session), dir.File("old/lib.so"));
    EXPECT_EQ(ResolveSessionPath(dir.File("gone/lib.so"), session), "");
    Write(dir.File("new/lib.so"), "x");
    EXPECT_EQ(ResolveSessionPath(dir.File("gone/lib.so"), session), dir.File("new/lib.so"));
    // A relative path is taken from the session's folder.
    EXPECT_EQ(ResolveSessionPath("../old/lib.so", session), dir.File("old/lib.so"));
    EXPECT_EQ(ResolveSessionPath("", session), "");
    EXPECT_EQ(FileNameOf("/a/b/lens.ini"), "lens.ini");
}

TEST(FileKindTest, EachKindIsKnownByContentOrName) {
    TempDir dir;
    std::string reason;
    EXPECT_EQ(KindOfFile(LibPath("even_asphere"), &reason), FileKind::kLibrary);
    // By content whatever the name; a text named .so is still offered to the loader.
    std::filesystem::copy_file(LibPath("even_asphere"), dir.File("surface.bin"));
    EXPECT_EQ(KindOfFile(dir.File("surface.bin"), &reason), FileKind::kLibrary);
    Write(dir.File("mz.txt"), std::string("MZ") + std::string(200, '\0'));
    EXPECT_EQ(KindOfFile(dir.File("mz.txt"), &reason), FileKind::kLibrary);
    Write(dir.File("broken.DLL"), "not yet built");
    EXPECT_EQ(KindOfFile(dir.File("broken.DLL"), &reason), FileKind::kLibrary);
    Write(dir.File("lens.INI"), "[SESSION]\n");
    EXPECT_EQ(KindOfFile(dir.File("lens.INI"), &reason), FileKind::kSession);
    Write(dir.File("m.stl"), std::string(84, '\0'));
    EXPECT_EQ(KindOfFile(dir.File("m.stl"), &reason), FileKind::kModel);
    Write(dir.File("m.obj"), "v 0 0 0\n");
    EXPECT_EQ(KindOfFile(dir.File("m.obj"), &reason), FileKind::kModel);
    Write(dir.File("surface"), "z = x*x;\n");
    EXPECT_EQ(KindOfFile(dir.File("surface"), &reason), FileKind::kScript);
    Write(dir.File("data.bin"), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(KindOfFile(dir.File("data.bin"), &reason), FileKind::kRefused);
    EXPECT_NE(reason.find("neither"), std::string::npos);
    EXPECT_EQ(KindOfFile(dir.File("missing.so"), &reason), FileKind::kRefused);
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(KindOfFile(dir.File("pipe"), &reason), FileKind::kRefused);
    EXPECT_EQ(reason, kNotRegularFile);
}

}  // namespace
}  // namespace velmor::test
