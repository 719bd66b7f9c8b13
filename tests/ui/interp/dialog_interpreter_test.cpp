// The Interpreter window on the offscreen platform: compile outputs, insert list, Open and Save
// with real files, the byte limit, code page 932 files, unsaved work, keys and the splitter.
#include "ui/interp/dialog_interpreter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextCursor>
#include <filesystem>
#include <string>

#include "core/interp/script_engine.h"
#include "hang_guard.h"
#include "scripted_message_ui.h"
#include "temp_dir.h"
#include "ui/interp/source_text.h"
#include "ui/interp/tab_edit.h"

namespace velmor {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class InterpreterWindowTest : public ::testing::Test {
protected:
    void SetSource(const QString& text) { window.SourceBox()->setPlainText(text); }
    QString Path(const char* name) const { return QString::fromStdString(dir.File(name)); }

    CScriptedMessageUi messages;
    CScriptEngine engine;
    CDialogInerpreter window{engine};
    TempDir dir;
};

TEST_F(InterpreterWindowTest, CompileOutputFormsListingAndAnEmptySource) {
    EXPECT_FALSE(window.ListingButton()->isEnabled());  // the example starts uncompiled
    EXPECT_FALSE(window.SourceModified());
    QSignalSpy changed(&window, &CDialogInerpreter::CompiledStateChanged);
    window.CompileAction()->trigger();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
    EXPECT_TRUE(window.ListingButton()->isEnabled());
    EXPECT_EQ(changed.count(), 1);
    QTest::mouseClick(window.ListingButton(), Qt::LeftButton);
    const QStringList lines = window.OutputText().split('\n');
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines[1].split(' ', Qt::SkipEmptyParts), QStringList({"0", "PUSH_NUM", "0.25"}));
    EXPECT_EQ(lines[2].split(' ', Qt::SkipEmptyParts), QStringList({"1", "POP", "c"}));

    // An empty source keeps the compiled script.
    const int count = engine.InstructionCount();
    SetSource("");
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- source : empty --\n");
    EXPECT_EQ(engine.InstructionCount(), count);
    EXPECT_TRUE(window.ListingEnabled());
    EXPECT_EQ(changed.count(), 1);

    // Never assigns z: the test run reports it, the compile itself is good.
    SetSource("a = 1;\n");
    QTest::mouseClick(window.CompileButton(), Qt::LeftButton);
    EXPECT_EQ(window.OutputText(),
              "-- EXCUTE with(x=0.0, y=0.0) : error --\nz: uninitialized. (assume 0.0)\n\n");
    EXPECT_TRUE(window.ListingEnabled());

    // Dividing by x faults at x = 0 only; the script is kept and gives values elsewhere.
    SetSource("z = 1 / x;\n");
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- EXCUTE with(x=0.0, y=0.0) : error --\nDivided 0\n\n");
    EXPECT_TRUE(window.HasCompiledScript());
    double z = 0.0;
    engine.SetInputs(2.0, 0.0);
    engine.Run(false);
    ASSERT_TRUE(engine.ResultOfPoint(&z));
    EXPECT_DOUBLE_EQ(z, 0.5);

    // A syntax error: the parser line, the messages, and no script.
    changed.clear();
    SetSource("z = ;\n");
    window.Compile();
    EXPECT_TRUE(window.OutputText().startsWith("-- PARSER : error --\n["));
    EXPECT_FALSE(window.HasCompiledScript());
    EXPECT_FALSE(window.ListingEnabled());
    EXPECT_EQ(changed.count(), 1);
    window.DumpIntermediateCode();
    EXPECT_EQ(window.OutputText(), "-- intermediate code : none --\n");
}

TEST_F(InterpreterWindowTest, OpeningDiscardsTheScriptEvenForTheSameText) {
    const QString path = Path("same.txt");
    WriteFile(path.toStdString(), ToCrLf(window.SourceText()).toStdString());
    window.Compile();
    ASSERT_TRUE(window.HasCompiledScript());
    const QString before = window.SourceText();

    QSignalSpy changed(&window, &CDialogInerpreter::CompiledStateChanged);
    messages.QueuePath(path);
    window.OpenAction()->trigger();
    EXPECT_TRUE(messages.Shown().empty());
    EXPECT_EQ(window.SourceText(), before);
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_FALSE(window.ListingEnabled());
    EXPECT_EQ(changed.count(), 1);

    // LF and lone CR files give the same lines as CR LF ones.
    WriteFile(dir.File("lf.txt"), "a = 1;\nz = a;\rb = 2;\r\n");
    messages.QueuePath(Path("lf.txt"));
    window.OpenSource();
    EXPECT_EQ(window.SourceText(), "a = 1;\nz = a;\nb = 2;\n");
    EXPECT_FALSE(window.SourceModified());
}

TEST_F(InterpreterWindowTest, InsertReplacesTheSelectionAndSelectsIt) {
    SetSource("z = a + b;\n");
    QTextCursor cursor = window.SourceBox()->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(7, QTextCursor::KeepAnchor);  // the "+"
    window.SourceBox()->setTextCursor(cursor);

    window.InsertList()->setCurrentIndex(15);  // "&& (AND)"
    EXPECT_EQ(window.SourceText(), "z = a && b;\n");
    EXPECT_EQ(window.SourceBox()->textCursor().selectedText(), "&&");
    EXPECT_EQ(window.InsertList()->currentIndex(), 0);

    // The first entry inserts nothing; without a selection the text goes in at the cursor.
    cursor.setPosition(0);
    window.SourceBox()->setTextCursor(cursor);
    window.InsertElement(0);
    window.InsertList()->setCurrentIndex(41);  // "// ( comment )"
    EXPECT_EQ(window.SourceText(), "//z = a && b;\n");
}

TEST_F(InterpreterWindowTest, FilesThatCannotBeUsedChangeNothing) {
    window.Compile();
    SetSource("z = 2;\n");
    const int count = engine.InstructionCount();

    // Open a missing file. The unsaved text is not to be saved first.
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(Path("missing.txt"));
    window.OpenSource();
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.LastText(), "Couldn't open source file: No such file or directory");
    EXPECT_EQ(window.SourceText(), "z = 2;\n");
    EXPECT_EQ(engine.InstructionCount(), count);
    EXPECT_TRUE(window.ListingEnabled());

    // A file far too large for a script is refused the same way.
    WriteFile(dir.File("huge.txt"), std::string(std::size_t(kSourceFileByteLimit) + 1, 'a'));
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(Path("huge.txt"));
    window.OpenSource();
    EXPECT_EQ(messages.LastText(), "Couldn't open source file: File too large");
    EXPECT_EQ(window.SourceText(), "z = 2;\n");

    // Save into a directory that does not exist (the question whether to create the file
    // first).
    messages.Clear();
    messages.QueuePath(Path("no/such/dir/source.txt"));
    EXPECT_FALSE(window.SaveSource());
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.LastText(), "Couldn't open destination file: No such file or directory");
    EXPECT_TRUE(window.SourceModified());
    EXPECT_FALSE(std::filesystem::exists(dir.File("no")));

    // A character code page 932 cannot store: nothing written, the line is named.
    messages.Clear();
    SetSource("z = 1;\n// \xF0\x9F\x98\x80\n");
    EXPECT_FALSE(window.SaveSource());
    EXPECT_TRUE(messages.FileDialogs().empty());
    EXPECT_EQ(messages.LastText(),
              "Couldn't save the source: line 2 holds a character that code page 932 cannot "
              "store.");
}

// A named pipe, a device or a directory picked in the dialogs is refused at once: the window
// never waits for the other end of a pipe, and the source stays unsaved.
TEST_F(InterpreterWindowTest, FilesThatAreNoRegularFilesAreRefused) {
    ASSERT_TRUE(test::MakeFifo(dir.File("pipe.txt")));
    const test::HangGuard guard("opening a named pipe");
    SetSource("z = 2;\n");
    for (const QString& path : {Path("pipe.txt"), Path("")}) {
        messages.Clear();
        messages.QueueAnswer(MessageAnswer::No);
        messages.QueuePath(path);
        window.OpenSource();
        EXPECT_EQ(messages.LastText(), "Couldn't open source file: not a regular file");
        EXPECT_EQ(window.SourceText(), "z = 2;\n");
    }
    for (const QString& path : {Path("pipe.txt"), QStringLiteral("/dev/null"), Path("")}) {
        messages.Clear();
        messages.QueuePath(path);
        EXPECT_FALSE(window.SaveSource());
        EXPECT_EQ(messages.LastText(), "Couldn't open destination file: not a regular file");
        EXPECT_TRUE(window.SourceModified());
    }
    // A link is followed to its file, which keeps its permissions.
    WriteFile(dir.File("real.txt"), "z = 1;\r\n");
    ASSERT_EQ(::chmod(dir.File("real.txt").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.txt", dir.File("link.txt").c_str()), 0);
    messages.QueuePath(Path("link.txt"));
    EXPECT_TRUE(window.SaveSource());
    EXPECT_EQ(ReadFile(dir.File("real.txt")), "z = 2;\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.txt")));
    EXPECT_EQ(std::filesystem::status(dir.File("real.txt")).permissions(),
              std::filesystem::perms(0640));
}

TEST_F(InterpreterWindowTest, LongSourceIsCutOnAWholeCharacter) {
    // "z = 1;//" is 8 bytes, each "あ" 2: the 8189th byte is the first half of a character.
    QString text = QStringLiteral("z = 1;//") + QString(5000, QChar(0x3042));
    CompilerSource source = SourceForCompiler(text, kSourceByteLimit);
    EXPECT_TRUE(source.cut);
    EXPECT_EQ(source.bytes.size(), 8188u);
    EXPECT_EQ(source.bytes.substr(8186), "\x82\xA0");

    // An error beyond the limit is never seen; one just inside it is.
    const std::string comment = "z = 1;\r\n//" + std::string(8189 - 10 - 2, 'a') + "\r\n";
    ASSERT_EQ(comment.size(), 8189u);
    SetSource(QString::fromStdString(comment).replace("\r\n", "\n") + "@");
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
    EXPECT_FALSE(window.statusBar()->currentMessage().isEmpty());
    SetSource(QString::fromStdString(comment.substr(0, comment.size() - 3)).replace("\r\n", "\n") +
              "\n@");
    window.Compile();
    EXPECT_TRUE(window.OutputText().startsWith("-- PARSER : error --\n"));

    // Saving writes the whole text: a file is never cut short.
    SetSource(QString::fromStdString(std::string(9000, 'a')));
    messages.QueuePath(Path("long.txt"));
    ASSERT_TRUE(window.SaveSource());
    EXPECT_EQ(ReadFile(dir.File("long.txt")).size(), 9000u);
}

TEST_F(InterpreterWindowTest, CodePage932CommentRoundTrips) {
    const QString text = QStringLiteral("// 曲率 テスト\nz = 1;\t// ｶﾅ\n");
    SetSource(text);
    const QString path = Path("cp932.txt");
    messages.QueuePath(path);
    window.SaveAction()->trigger();
    ASSERT_EQ(messages.Shown().size(), 1u);  // whether to create the file: Yes
    EXPECT_EQ(ReadFile(path.toStdString()),
              "// \x8B\xC8\x97\xA6 \x83\x65\x83\x58\x83\x67\r\nz = 1;\t// \xB6\xC5\r\n");
    EXPECT_FALSE(window.SourceModified());

    SetSource("z = 0;\n");
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(path);
    window.OpenSource();
    EXPECT_EQ(window.SourceText(), text);
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
}

// Save asks before creating a file that does not exist: No opens the dialog again with the
// name kept; a file that exists is not asked about.
TEST_F(InterpreterWindowTest, SaveAsksBeforeCreatingANewFile) {
    const QString path = Path("new.txt");
    messages.QueuePath(path);
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(path);
    messages.QueueAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(window.SaveSource());
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.Shown()[0].text.toStdString(),
              path.toStdString() + "\nThis file does not exist.\nCreate the file?");
    EXPECT_EQ(messages.Shown()[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.Shown()[0].buttons, MessageButtons::YesNo);
    ASSERT_EQ(messages.FileDialogs().size(), 2u);
    EXPECT_EQ(messages.FileDialogs()[0].request.defaultName, "source.txt");
    EXPECT_EQ(messages.FileDialogs()[1].request.defaultName, path);
    EXPECT_EQ(messages.FileDialogs()[1].request.title, "Save Interpreter Source.");
    EXPECT_TRUE(QFile::exists(path));

    messages.Clear();
    messages.QueuePath(path);
    EXPECT_TRUE(window.SaveSource());
    EXPECT_TRUE(messages.Shown().empty()) << messages.LastText().toStdString();
}

TEST_F(InterpreterWindowTest, AsksBeforeUnsavedSourceIsLost) {
    // Untouched example: nothing to ask.
    EXPECT_TRUE(window.ConfirmDiscardUnsavedSource());
    EXPECT_TRUE(messages.Shown().empty());

    QTest::keyClicks(window.SourceBox(), "w = 1;");
    ASSERT_TRUE(window.SourceModified());
    messages.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(window.ConfirmDiscardUnsavedSource());
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.Shown()[0].buttons, MessageButtons::YesNoCancel);

    // Yes saves; a cancelled save dialog keeps the program running.
    messages.QueueAnswer(MessageAnswer::Yes);
    messages.QueuePath(std::nullopt);
    EXPECT_FALSE(window.ConfirmDiscardUnsavedSource());
    messages.QueueAnswer(MessageAnswer::Yes);
    messages.QueuePath(Path("kept.txt"));
    EXPECT_TRUE(window.ConfirmDiscardUnsavedSource());
    EXPECT_EQ(QString::fromStdString(ReadFile(dir.File("kept.txt"))), ToCrLf(window.SourceText()));
    EXPECT_FALSE(window.SourceModified());

    // Opening another file over changed text asks first; Cancel opens nothing.
    QTest::keyClicks(window.SourceBox(), "q");
    messages.Clear();
    messages.QueueAnswer(MessageAnswer::Cancel);
    window.OpenSource();
    EXPECT_EQ(messages.Shown().size(), 1u);
    EXPECT_TRUE(messages.FileDialogs().empty());
    EXPECT_TRUE(window.SourceModified());

    // Editing back to the saved text is no change.
    QTest::keyClick(window.SourceBox(), Qt::Key_Backspace);
    EXPECT_FALSE(window.SourceModified());
}

TEST_F(InterpreterWindowTest, EscapeAndHideOnlyHide) {
    window.Compile();
    SetSource("z = 3;\n");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SourceBox()->setFocus();
    QTest::keyClick(window.SourceBox(), Qt::Key_Escape);  // the source box keeps it
    EXPECT_TRUE(window.isVisible());
    window.OutputBox()->setFocus();
    QTest::keyClick(window.OutputBox(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    window.show();
    QTest::mouseClick(window.HideButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.SourceText(), "z = 3;\n");
    EXPECT_TRUE(window.HasCompiledScript());
}

TEST_F(InterpreterWindowTest, SplitterDragsBetweenLimits) {
    window.resize(640, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CTabEdit* source = window.SourceBox();
    CTabEdit* output = window.OutputBox();
    const int total = output->geometry().bottom() + 1 - source->y();
    EXPECT_EQ(source->height(), int(total * 0.8));
    QWidget* gap = window.SplitterGap();
    auto drag = [&](int clientY) {
        QWidget* client = window.centralWidget();
        const QPoint global = client->mapToGlobal(QPoint(gap->x() + 10, clientY));
        const QPoint local = gap->mapFromGlobal(global);
        QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(gap, &move);
    };
    const QPoint inGap(10, 3);
    QTest::mousePress(gap, Qt::LeftButton, Qt::NoModifier, inGap);
    drag(-500);  // far above the window: the source box keeps 36 pixels
    EXPECT_EQ(source->height(), 36);
    drag(5000);  // far below: the output box keeps 36 pixels less the gap
    EXPECT_EQ(source->height(), total - 36);
    QTest::mouseRelease(gap, Qt::LeftButton, Qt::NoModifier, gap->mapFromGlobal(QCursor::pos()));
    const double ratio = double(total - 36) / total;
    EXPECT_DOUBLE_EQ(window.SplitRatio(), ratio);

    // The ratio holds when the window is resized.
    window.resize(800, 700);
    QApplication::processEvents();
    const int newTotal = output->geometry().bottom() + 1 - source->y();
    EXPECT_EQ(source->height(), int(newTotal * ratio + 1e-9));
}

}  // namespace
}  // namespace velmor
