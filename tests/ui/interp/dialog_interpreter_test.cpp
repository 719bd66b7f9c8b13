// The Interpreter window on the offscreen platform: compile outputs, listing controls, insert
// list, Open and Save with real files, the byte limit, code page 932 files, unsaved work, keys
// and the splitter.
#include "interp/dialog_interpreter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextCursor>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../../core/app/temp_dir.h"
#include "app/app_paths.h"
#include "app/scripted_message_ui.h"
#include "interp/script_engine.h"
#include "interp/source_text.h"
#include "interp/tab_edit.h"

namespace velmor {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

QStringList OutputLines(const CDialogInerpreter& window) {
    return window.OutputText().split('\n');
}

class InterpreterWindowTest : public ::testing::Test {
protected:
    void SetSource(const QString& text) { window.SourceBox()->setPlainText(text); }
    QString Path(const char* name) const { return QString::fromStdString(dir.File(name)); }

    CScriptedMessageUi messages;
    CScriptEngine engine;
    CDialogInerpreter window{engine};
    TempDir dir;
};

TEST_F(InterpreterWindowTest, StartsWithTheExampleUncompiled) {
    EXPECT_EQ(ToCrLf(window.SourceText()).toStdString(),
              "//program ex. <Even Asphere>\r\n"
              "c = 0.25;\t//curvature\r\n"
              "k = 0.0;\t//conic constant\r\n"
              "a1 = 0.0;\r\na2 = 0.0;\r\na3 = 0.0;\r\na4 = 0.0;\r\n"
              "rr = x*x + y*y;\r\n"
              "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
              "A = max(0.0, A);\r\n"
              "z = c*rr / (1.0 + sqrt(A));\r\n"
              "z = z + a1*rr;\r\n"
              "z = z + a2*rr*rr;\r\n"
              "z = z + a3*rr*rr*rr;\r\n"
              "z = z + a4*rr*rr*rr*rr;\r\n"
              "z = min(z, 2.0);\t//limitation\r\n");
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_FALSE(window.HasCompiledScript());
    EXPECT_FALSE(window.ListingButton()->isEnabled());
    EXPECT_FALSE(window.DumpAction()->isEnabled());
    EXPECT_FALSE(window.SourceModified());
    EXPECT_EQ(window.InsertList()->count(), 42);
    EXPECT_EQ(window.InsertList()->currentIndex(), 0);
    EXPECT_EQ(window.InsertList()->itemText(0), "( predefined token )");
    EXPECT_EQ(window.InsertList()->itemText(41), "// ( comment )");
    EXPECT_DOUBLE_EQ(window.SplitRatio(), 0.8);
    EXPECT_EQ(window.minimumSize(), QSize(430, 320));
    EXPECT_EQ(window.windowTitle(), "Interpreter");

    QStringList menus;
    for (QAction* menu : window.menuBar()->actions()) menus << menu->text();
    EXPECT_EQ(menus, QStringList({"File", "Execution"}));
    EXPECT_EQ(window.OpenAction()->text(), "Open ...");
    EXPECT_EQ(window.SaveAction()->text(), "Save ...");
    EXPECT_EQ(window.CompileAction()->text(), "Compile");
    EXPECT_EQ(window.DumpAction()->text(), "Dump Intermediate Code");
    QStringList labels;
    for (QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
    labels.sort();
    EXPECT_EQ(labels, QStringList({"insert", "output", "source"}));
}

TEST_F(InterpreterWindowTest, ExampleCompilesAndListsFromTheMenu) {
    QSignalSpy changed(&window, &CDialogInerpreter::CompiledStateChanged);
    window.CompileAction()->trigger();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
    EXPECT_TRUE(window.HasCompiledScript());
    EXPECT_TRUE(window.ListingButton()->isEnabled());
    EXPECT_TRUE(window.DumpAction()->isEnabled());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());

    QTest::mouseClick(window.ListingButton(), Qt::LeftButton);
    const QStringList lines = OutputLines(window);
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines[0].split(' ', Qt::SkipEmptyParts),
              QStringList({"LINE", "OP_CODE", "SUB_CODE", "REF"}));
    EXPECT_EQ(lines[1].split(' ', Qt::SkipEmptyParts), QStringList({"0", "PUSH_NUM", "0.25"}));
    EXPECT_EQ(lines[2].split(' ', Qt::SkipEmptyParts), QStringList({"1", "POP", "c"}));
    EXPECT_TRUE(window.OutputText().endsWith("\n\n"));
}

TEST_F(InterpreterWindowTest, CompileOutputForms) {
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
    EXPECT_TRUE(window.ListingEnabled());
    EXPECT_TRUE(window.HasCompiledScript());
    double z = 0.0;
    engine.SetInputs(2.0, 0.0);
    engine.Run(false);
    ASSERT_TRUE(engine.ResultOfPoint(&z));
    EXPECT_DOUBLE_EQ(z, 0.5);

    // A syntax error: the parser line, the messages, and no script.
    QSignalSpy changed(&window, &CDialogInerpreter::CompiledStateChanged);
    SetSource("z = ;\n");
    window.Compile();
    const QStringList lines = OutputLines(window);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "-- PARSER : error --");
    EXPECT_TRUE(lines[1].startsWith('[')) << lines[1].toStdString();
    EXPECT_TRUE(window.OutputText().endsWith("\n\n"));
    EXPECT_FALSE(window.HasCompiledScript());
    EXPECT_FALSE(window.ListingEnabled());
    EXPECT_FALSE(window.DumpAction()->isEnabled());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_FALSE(changed.at(0).at(0).toBool());
    window.DumpIntermediateCode();
    EXPECT_EQ(window.OutputText(), "-- intermediate code : none --\n");

    // Comments only: no error, nothing to list.
    SetSource("// nothing\n");
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
    EXPECT_FALSE(window.ListingEnabled());
}

TEST_F(InterpreterWindowTest, EmptySourceKeepsTheCompiledScript) {
    window.Compile();
    const int count = engine.InstructionCount();
    ASSERT_GT(count, 0);
    QSignalSpy changed(&window, &CDialogInerpreter::CompiledStateChanged);
    SetSource("");
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- source : empty --\n");
    EXPECT_EQ(engine.InstructionCount(), count);
    EXPECT_TRUE(window.ListingEnabled());
    EXPECT_TRUE(window.DumpAction()->isEnabled());
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(InterpreterWindowTest, OpeningDiscardsTheScriptEvenForTheSameText) {
    const QString path = Path("same.txt");
    WriteText(path.toStdString(), ToCrLf(window.SourceText()).toStdString());
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
    EXPECT_FALSE(window.DumpAction()->isEnabled());
    EXPECT_EQ(window.OutputText(), "");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_FALSE(changed.at(0).at(0).toBool());

    ASSERT_EQ(messages.FileDialogs().size(), 1u);
    const ShownFileDialog& dialog = messages.FileDialogs()[0];
    EXPECT_FALSE(dialog.save);
    EXPECT_EQ(dialog.request.title, "Open Interpreter Source.");
    EXPECT_EQ(dialog.request.filter, "Source Files (*.txt)|*.txt|TEXT Files (*.*)|*.*||");
    EXPECT_EQ(dialog.request.defaultExtension, "txt");
    EXPECT_EQ(dialog.request.initialDir,
              QString::fromStdString(ApplicationPaths().executableDirectory));

    // LF and lone CR files give the same lines as CR LF ones.
    WriteText(dir.File("lf.txt"), "a = 1;\nz = a;\rb = 2;\r\n");
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

    // Typing over the selection continues after the inserted text's place.
    window.InsertList()->setCurrentIndex(25);  // "ln( ) (natural log)"
    EXPECT_EQ(window.SourceText(), "z = a ln( ) b;\n");
    EXPECT_EQ(window.SourceBox()->textCursor().selectedText(), "ln( )");

    // The first entry inserts nothing; without a selection the text goes in at the cursor.
    cursor = window.SourceBox()->textCursor();
    cursor.setPosition(0);
    window.SourceBox()->setTextCursor(cursor);
    window.InsertElement(0);
    EXPECT_EQ(window.SourceText(), "z = a ln( ) b;\n");
    window.InsertList()->setCurrentIndex(41);  // "// ( comment )"
    EXPECT_EQ(window.SourceText(), "//z = a ln( ) b;\n");
    EXPECT_EQ(window.InsertList()->currentIndex(), 0);
}

TEST_F(InterpreterWindowTest, InsertTextsOfEveryEntry) {
    QStringList inserted;
    for (int i = 1; i < kInsertEntryCount; ++i) {
        SetSource("");
        window.InsertElement(i);
        inserted << window.SourceText();
    }
    EXPECT_EQ(inserted.join(' '),
              "x y z = + - * / == != > >= < <= && || ! if( ) else pi PI sqrt( ) pow( , ) "
              "exp( ) ln( ) log( ) log10( ) max( , ) min( , ) abs( ) sin( ) cos( ) tan( ) "
              "asin( ) acos( ) atan( ) sinh( ) cosh( ) tanh( ) ; //");
}

TEST_F(InterpreterWindowTest, FilesThatCannotBeUsedChangeNothing) {
    window.Compile();
    SetSource("z = 2;\n");
    window.OutputBox()->setPlainText("kept");
    const int count = engine.InstructionCount();

    // Open: a missing file, then a directory. The unsaved text is not to be saved first.
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(Path("missing.txt"));
    window.OpenSource();
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.LastText(), "Couldn't open source file: No such file or directory");
    EXPECT_EQ(messages.Shown().back().icon, MessageIcon::Stop);
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(QString::fromStdString(dir.Path()));
    window.OpenSource();
    EXPECT_EQ(messages.LastText(), "Couldn't open source file: Is a directory");
    EXPECT_EQ(window.SourceText(), "z = 2;\n");
    EXPECT_EQ(window.OutputText(), "kept");
    EXPECT_EQ(engine.InstructionCount(), count);
    EXPECT_TRUE(window.ListingEnabled());

    // A file far too large for a script is refused the same way.
    WriteText(dir.File("huge.txt"), std::string(std::size_t(kSourceFileByteLimit) + 1, 'a'));
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(Path("huge.txt"));
    window.OpenSource();
    EXPECT_EQ(messages.LastText(), "Couldn't open source file: File too large");
    EXPECT_EQ(window.SourceText(), "z = 2;\n");

    // Save into a directory that does not exist.
    messages.Clear();
    messages.QueuePath(Path("no/such/dir/source.txt"));
    EXPECT_FALSE(window.SaveSource());
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.LastText(), "Couldn't open destination file: No such file or directory");
    EXPECT_EQ(messages.Shown().back().icon, MessageIcon::Stop);
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
    EXPECT_TRUE(window.ListingEnabled());
    EXPECT_FALSE(window.statusBar()->currentMessage().isEmpty());
    SetSource(QString::fromStdString(comment.substr(0, comment.size() - 3)).replace("\r\n", "\n") +
              "\n@");
    window.Compile();
    EXPECT_TRUE(window.OutputText().startsWith("-- PARSER : error --\n"));
    EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());

    // The same cut when characters without a code page 932 form come first.
    text = QStringLiteral("z = 1;//\U0001F600") + QString(5000, QChar(0x3042));
    source = SourceForCompiler(text, kSourceByteLimit);
    EXPECT_TRUE(source.cut);
    EXPECT_TRUE(source.replaced);
    EXPECT_EQ(source.bytes.substr(0, 9), "z = 1;//?");
    EXPECT_LE(source.bytes.size(), kSourceByteLimit);
    EXPECT_EQ(source.bytes.size() % 2, 1u);  // 9 single bytes, then whole double-byte ones

    // Saving writes the whole text: a file is never cut short.
    SetSource(QString::fromStdString(std::string(9000, 'a')));
    messages.QueuePath(Path("long.txt"));
    ASSERT_TRUE(window.SaveSource());
    EXPECT_EQ(ReadText(dir.File("long.txt")).size(), 9000u);
}

TEST_F(InterpreterWindowTest, CodePage932CommentRoundTrips) {
    const QString text = QStringLiteral("// 曲率 テスト\nz = 1;\t// ｶﾅ\n");
    SetSource(text);
    const QString path = Path("cp932.txt");
    messages.QueuePath(path);
    window.SaveAction()->trigger();
    ASSERT_TRUE(messages.Shown().empty()) << messages.LastText().toStdString();
    EXPECT_EQ(ReadText(path.toStdString()),
              "// \x8B\xC8\x97\xA6 \x83\x65\x83\x58\x83\x67\r\nz = 1;\t// \xB6\xC5\r\n");
    EXPECT_FALSE(window.SourceModified());
    ASSERT_EQ(messages.FileDialogs().size(), 1u);
    const FileDialogRequest& request = messages.FileDialogs()[0].request;
    EXPECT_TRUE(messages.FileDialogs()[0].save);
    EXPECT_EQ(request.title, "Save Interpreter Source.");
    EXPECT_EQ(request.filter, "TEXT Files (*.txt)|*.txt||");
    EXPECT_EQ(request.defaultExtension, "txt");
    EXPECT_EQ(request.defaultName, "source.txt");
    EXPECT_EQ(request.initialDir, QString::fromStdString(ApplicationPaths().executableDirectory));

    SetSource("z = 0;\n");
    messages.QueueAnswer(MessageAnswer::No);
    messages.QueuePath(path);
    window.OpenSource();
    EXPECT_EQ(window.SourceText(), text);
    window.Compile();
    EXPECT_EQ(window.OutputText(), "-- PARSER : no error --\n");
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
    EXPECT_EQ(messages.Shown()[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.Shown()[0].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(messages.Shown()[0].text.contains("Save it ?"));

    messages.QueueAnswer(MessageAnswer::No);
    EXPECT_TRUE(window.ConfirmDiscardUnsavedSource());

    // Yes saves; a cancelled save dialog keeps the program running.
    messages.QueueAnswer(MessageAnswer::Yes);
    messages.QueuePath(std::nullopt);
    EXPECT_FALSE(window.ConfirmDiscardUnsavedSource());
    messages.QueueAnswer(MessageAnswer::Yes);
    messages.QueuePath(Path("kept.txt"));
    EXPECT_TRUE(window.ConfirmDiscardUnsavedSource());
    EXPECT_EQ(QString::fromStdString(ReadText(dir.File("kept.txt"))), ToCrLf(window.SourceText()));
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

TEST_F(InterpreterWindowTest, TabEditBoxes) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CTabEdit* source = window.SourceBox();
    source->setFocus();
    SetSource("");
    QTest::keyClick(source, Qt::Key_Tab);
    QTest::keyClick(source, Qt::Key_A);
    EXPECT_EQ(window.SourceText(), "\ta");
    EXPECT_EQ(QApplication::focusWidget(), source);
    QTest::keyClick(source, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window.SourceText(), "\ta");
    QTest::keyClick(source, Qt::Key_Return);
    EXPECT_EQ(window.SourceText(), "\ta\n");

    for (CTabEdit* box : {window.SourceBox(), window.OutputBox()}) {
        EXPECT_TRUE(box->font().fixedPitch());
        EXPECT_TRUE(QFontInfo(box->font()).fixedPitch());
        EXPECT_EQ(box->font().pixelSize(), 16);
        EXPECT_DOUBLE_EQ(box->tabStopDistance(), 24.0);
        EXPECT_DOUBLE_EQ(box->document()->documentMargin(), 4.0);
    }
    EXPECT_EQ(window.InsertList()->font().pixelSize(), 16);
}

TEST_F(InterpreterWindowTest, EscapeReturnAndHideOnlyHide) {
    window.Compile();
    SetSource("z = 3;\n");
    window.OutputBox()->setPlainText("out");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Escape in the source box does not hide.
    window.SourceBox()->setFocus();
    QTest::keyClick(window.SourceBox(), Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());

    window.OutputBox()->setFocus();
    QTest::keyClick(window.OutputBox(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());

    window.show();
    window.InsertList()->setFocus();
    QTest::keyClick(window.InsertList(), Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());

    window.show();
    QTest::mouseClick(window.HideButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());

    EXPECT_EQ(window.SourceText(), "z = 3;\n");
    EXPECT_EQ(window.OutputText(), "out");
    EXPECT_TRUE(window.HasCompiledScript());
    EXPECT_TRUE(window.ListingEnabled());
}

TEST_F(InterpreterWindowTest, SplitterDragsBetweenLimits) {
    window.resize(640, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CTabEdit* source = window.SourceBox();
    CTabEdit* output = window.OutputBox();
    const int total = output->geometry().bottom() + 1 - source->y();
    EXPECT_EQ(source->height(), int(total * 0.8));
    EXPECT_EQ(output->y(), source->geometry().bottom() + 1 + 6);

    QWidget* gap = window.SplitterGap();
    EXPECT_EQ(gap->cursor().shape(), Qt::SplitVCursor);
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
    EXPECT_EQ(output->geometry().bottom() + 1 - source->y(), total);
    drag(5000);  // far below: the output box keeps 36 pixels less the gap
    EXPECT_EQ(source->height(), total - 36);
    drag(source->y() + 100 + 3);
    EXPECT_EQ(source->height(), 100);
    QTest::mouseRelease(gap, Qt::LeftButton, Qt::NoModifier, gap->mapFromGlobal(QCursor::pos()));
    EXPECT_DOUBLE_EQ(window.SplitRatio(), 100.0 / total);

    // The ratio holds when the window is resized.
    window.resize(800, 700);
    QApplication::processEvents();
    const int newTotal = output->geometry().bottom() + 1 - source->y();
    EXPECT_GT(newTotal, total);
    EXPECT_EQ(source->height(), int(newTotal * (100.0 / total) + 1e-9));
    EXPECT_EQ(window.HideButton()->geometry().right(), window.centralWidget()->width() - 1 - 8);
}

TEST_F(InterpreterWindowTest, OutputSetterTakesAnyLineEnds) {
    InterpreterWindow& asSecondary = window;  // as the main window holds it
    EXPECT_EQ(asSecondary.Widget(), &window);
    asSecondary.SetOutputText("a\r\nb\rc\n");
    EXPECT_EQ(window.OutputText(), "a\nb\nc\n");
    window.SetOutputBytes("(execution error)  \x83\x65\r\n");
    EXPECT_EQ(window.OutputText(), QStringLiteral("(execution error)  テ\n"));
}

// Writes a picture of the window when VELMOR_SCREENSHOT names a file.
TEST_F(InterpreterWindowTest, Screenshot) {
    const char* target = std::getenv("VELMOR_SCREENSHOT");
    if (target == nullptr) GTEST_SKIP() << "VELMOR_SCREENSHOT not set";
    window.resize(640, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SetSource(window.SourceText() + "z = z / x;\t// divides by 0 at x = 0\n");
    window.Compile();
    QTextCursor cursor = window.SourceBox()->textCursor();
    cursor.setPosition(0);
    window.SourceBox()->setTextCursor(cursor);
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(target)));
}

}  // namespace
}  // namespace velmor
