#include "ui/interp/dialog_interpreter.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTextCursor>
#include <algorithm>
#include <string>

#include "core/interp/compile_report.h"
#include "core/interp/script_engine.h"
#include "ui/common/command_table.h"
#include "ui/common/message_ui.h"
#include "ui/common/splitter_bar.h"
#include "ui/interp/source_text.h"
#include "ui/interp/tab_edit.h"

namespace velmor {

namespace {

constexpr int kMinWidth = 430;
constexpr int kMinHeight = 320;
constexpr int kStartWidth = 640;
constexpr int kStartHeight = 560;

constexpr int kMargin = 8;      // between the controls and the window edges
constexpr int kLabelGap = 6;    // between a label and its box
constexpr int kRowHeight = 26;  // the row of buttons along the bottom
constexpr int kRowGap = 8;      // between controls of that row
constexpr int kMinButtonWidth = 72;
constexpr int kMaxListWidth = 240;
constexpr int kMinListWidth = 80;

constexpr char kOpenTitle[] = "Open Interpreter Source.";
constexpr char kOpenFilter[] = "Source Files (*.txt)|*.txt|TEXT Files (*.*)|*.*||";
constexpr char kSaveTitle[] = "Save Interpreter Source.";
constexpr char kSaveFilter[] = "TEXT Files (*.txt)|*.txt||";
constexpr char kDefaultExtension[] = "txt";
constexpr char kDefaultName[] = "source.txt";
constexpr char kCannotOpenSource[] = "Couldn't open source file: ";
constexpr char kCannotOpenDestination[] = "Couldn't open destination file: ";
constexpr char kCannotWriteDestination[] = "Couldn't write destination file: ";

// Ids of the window's commands in its command table.
enum InterpreterCommand : int { kOpen = 1, kSave, kCompile, kDumpCode, kHide };

int ButtonWidth(const QPushButton* button) {
    return std::max(kMinButtonWidth, button->fontMetrics().horizontalAdvance(button->text()) + 24);
}

}  // namespace

CDialogInerpreter::CDialogInerpreter(CScriptEngine& engine, QWidget* parent)
    : QMainWindow(parent), m_engine(engine) {
    setWindowTitle(QStringLiteral("Interpreter"));
    setMinimumSize(kMinWidth, kMinHeight);
    BuildMenus();
    BuildControls();
    statusBar();

    // The example is shown, not compiled; it counts as saved.
    m_source->setPlainText(DefaultSourceText());
    m_savedText = m_source->toPlainText();
    SetListingEnabled(false);

    resize(kStartWidth, kStartHeight);
    m_source->setFocus();
}

CDialogInerpreter::~CDialogInerpreter() = default;

// The window's commands: menu items and buttons (the window places the buttons).
const CommandRow<CDialogInerpreter> CDialogInerpreter::kCommands[] = {
    {kOpen, "File", "Open ...", kItemPlain, 0, nullptr,
     [](CDialogInerpreter& w) { w.OpenSource(); }, nullptr, "Ctrl+O"},
    {kSave, "File", "Save ...", kItemPlain, 0, nullptr,
     [](CDialogInerpreter& w) { w.SaveSource(); }, nullptr, "Ctrl+S"},
    {kCompile, "Execution", "Compile", kItemPlain, 1, "Compile",
     [](CDialogInerpreter& w) { w.Compile(); }},
    {kDumpCode, "Execution", "Dump Intermediate Code", kItemPlain, 2, "intermediate code",
     [](CDialogInerpreter& w) { w.DumpIntermediateCode(); }},
    {kHide, nullptr, nullptr, kItemPlain, 3, "Hide", [](CDialogInerpreter& w) { w.hide(); }},
};

void CDialogInerpreter::RunCommand(int id) {
    RunCommandRow(*this, kCommands, id, m_menuItems);
}

void CDialogInerpreter::BuildMenus() {
    m_menuItems =
        BuildCommandMenus(menuBar(), *this, kCommands, [this](int id) { RunCommand(id); });
    m_openAction = m_menuItems[kOpen];
    m_saveAction = m_menuItems[kSave];
    m_compileAction = m_menuItems[kCompile];
    m_dumpAction = m_menuItems[kDumpCode];
}

void CDialogInerpreter::BuildControls() {
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    m_sourceLabel = new QLabel(QStringLiteral("source"), m_client);
    m_outputLabel = new QLabel(QStringLiteral("output"), m_client);
    m_source = new CTabEdit(m_client);
    m_output = new CTabEdit(m_client);
    m_gap = new CSplitterBar(m_client, m_source, m_output, [this](int upper, int total) {
        m_splitRatio = double(upper) / double(total);
        LayOutBoxes();
    });

    CommandButtons buttons =
        BuildCommandButtons(m_client, *this, kCommands, [this](int id) { RunCommand(id); });
    for (const auto& [id, button] : buttons)
        button->setAutoDefault(true);  // Return presses the button that has the focus
    m_compileButton = buttons[kCompile];
    m_listingButton = buttons[kDumpCode];
    m_hideButton = buttons[kHide];

    m_insertLabel = new QLabel(QStringLiteral("insert"), m_client);
    m_insertList = new QComboBox(m_client);
    m_insertList->setFont(CTabEdit::EditFont());
    for (const InsertEntry& entry : kInsertEntries)
        m_insertList->addItem(QString::fromLatin1(entry.shown));
    m_insertList->setCurrentIndex(0);
    connect(m_insertList, &QComboBox::currentIndexChanged, this,
            [this](int index) { InsertElement(index); });

    setTabOrder(m_source, m_output);
    setTabOrder(m_output, m_compileButton);
    setTabOrder(m_compileButton, m_listingButton);
    setTabOrder(m_listingButton, m_insertList);
    setTabOrder(m_insertList, m_hideButton);
}

void CDialogInerpreter::ApplyLayout() {
    LayOutBoxes();
}

bool CDialogInerpreter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) LayOutBoxes();
    return QMainWindow::eventFilter(watched, event);
}

void CDialogInerpreter::LayOutBoxes() {
    const int width = m_client->width();
    const int height = m_client->height();

    // The frame of the two boxes stretches with the window; the labels sit left of it.
    const QFontMetrics labelMetrics = m_sourceLabel->fontMetrics();
    const int labelWidth = std::max(labelMetrics.horizontalAdvance(m_sourceLabel->text()),
                                    labelMetrics.horizontalAdvance(m_outputLabel->text()));
    const int left = kMargin + labelWidth + kLabelGap;
    const int right = std::max(left + 1, width - kMargin);
    const int top = kMargin;
    const int rowTop = height - kMargin - kRowHeight;
    const int bottom = std::max(top + CSplitterBar::kThickness + 2, rowTop - kMargin);
    const int total = bottom - top;

    // A tiny allowance keeps a height set by the splitter from losing a pixel to rounding.
    int sourceHeight = static_cast<int>(total * m_splitRatio + 1e-9);
    sourceHeight = std::clamp(sourceHeight, 0, total - CSplitterBar::kThickness);
    const int outputTop = top + sourceHeight + CSplitterBar::kThickness;
    m_source->setGeometry(left, top, right - left, sourceHeight);
    m_gap->setGeometry(left, top + sourceHeight, right - left, CSplitterBar::kThickness);
    m_output->setGeometry(left, outputTop, right - left, bottom - outputTop);
    const int labelHeight = labelMetrics.height();
    m_sourceLabel->setGeometry(kMargin, top, labelWidth, labelHeight);
    m_outputLabel->setGeometry(kMargin, outputTop, labelWidth, labelHeight);

    // The row along the bottom: buttons and the insert list from the left, "Hide" right.
    int x = kMargin;
    for (QPushButton* button : {m_compileButton, m_listingButton}) {
        const int w = ButtonWidth(button);
        button->setGeometry(x, rowTop, w, kRowHeight);
        x += w + kRowGap;
    }
    const int hideWidth = ButtonWidth(m_hideButton);
    const int hideLeft = width - kMargin - hideWidth;
    m_hideButton->setGeometry(hideLeft, rowTop, hideWidth, kRowHeight);
    const int insertWidth = m_insertLabel->fontMetrics().horizontalAdvance(m_insertLabel->text());
    m_insertLabel->setGeometry(x, rowTop, insertWidth, kRowHeight);
    x += insertWidth + kLabelGap;
    const int listWidth = std::clamp(hideLeft - kRowGap - x, kMinListWidth, kMaxListWidth);
    m_insertList->setGeometry(x, rowTop, listWidth, kRowHeight);
}

void CDialogInerpreter::keyPressEvent(QKeyEvent* event) {
    // Keys no control took: Escape and Return hide the window, except Escape in the source
    // box (Return never arrives from there, it breaks the line).
    const int key = event->key();
    const bool hideKey = key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (hideKey && plain) {
        if (focusWidget() != m_source) hide();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CDialogInerpreter::SetLongLoopRunning(bool running) {
    for (QAction* action : {m_openAction, m_saveAction, m_compileAction})
        action->setEnabled(!running);
    m_compileButton->setEnabled(!running);
}

void CDialogInerpreter::SetListingEnabled(bool enabled) {
    m_listingButton->setEnabled(enabled);
    m_dumpAction->setEnabled(enabled);
}

bool CDialogInerpreter::ListingEnabled() const {
    return m_listingButton->isEnabled();
}

bool CDialogInerpreter::HasCompiledScript() const {
    return m_engine.InstructionCount() > 0;
}

void CDialogInerpreter::SetOutputText(const QString& text) {
    m_output->setPlainText(ToEditLineEnds(text));
}

void CDialogInerpreter::SetOutputBytes(std::string_view cp932) {
    SetOutputText(TextFromCp932(cp932));
}

QString CDialogInerpreter::OutputText() const {
    return m_output->toPlainText();
}

QString CDialogInerpreter::SourceText() const {
    return m_source->toPlainText();
}

void CDialogInerpreter::ShowStatus(const QString& text) {
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

void CDialogInerpreter::Compile() {
    const CompilerSource source = SourceForCompiler(SourceText(), kSourceByteLimit);
    QString note;
    if (source.cut)
        note = QStringLiteral("Only the first %1 bytes of the source were compiled.")
                   .arg(kSourceByteLimit);
    if (source.replaced)
        note += QStringLiteral(" Characters code page 932 lacks were compiled as '?'.");
    ShowStatus(note.trimmed());

    // An empty source (the compiler reads up to the first zero byte) compiles nothing: the
    // script compiled before stays in force. The test run at x = 0, y = 0 is a pass of its own:
    // an Escape pressed before it (closing a menu) does not abort it.
    m_engine.BeginEscapePass();
    const std::string output = CompileReport(m_engine, source.bytes.c_str());
    if (source.bytes.c_str()[0] == '\0') {
        SetOutputBytes(output);
        return;
    }

    const bool hasCode = m_engine.InstructionCount() > 0;
    SetListingEnabled(hasCode && m_engine.CompileErrorCount() == 0);
    SetOutputBytes(output);
    emit CompiledStateChanged(hasCode);
}

void CDialogInerpreter::DumpIntermediateCode() {
    SetOutputBytes(ListingReport(m_engine));
}

void CDialogInerpreter::InsertElement(int index) {
    if (index > 0 && index < kInsertEntryCount) {
        const QString text = QString::fromLatin1(kInsertEntries[std::size_t(index)].inserted);
        QTextCursor cursor = m_source->textCursor();
        const int start = cursor.selectionStart();
        cursor.insertText(text);
        cursor.setPosition(start);
        cursor.setPosition(start + int(text.size()), QTextCursor::KeepAnchor);
        m_source->setTextCursor(cursor);
        m_source->ensureCursorVisible();
    }
    const QSignalBlocker blocker(m_insertList);
    m_insertList->setCurrentIndex(0);
}

bool CDialogInerpreter::SourceModified() const {
    return SourceText() != m_savedText;
}

bool CDialogInerpreter::ConfirmDiscardUnsavedSource() {
    if (!SourceModified()) return true;
    const MessageAnswer answer = ShowMessage(
        this,
        QStringLiteral("The Interpreter source has changed since it was last opened or saved.\n"
                       "Save it ?"),
        MessageIcon::Question, MessageButtons::YesNoCancel);
    switch (answer) {
        case MessageAnswer::Yes:
        case MessageAnswer::Ok:
            return SaveSource();
        case MessageAnswer::No:
            return true;
        case MessageAnswer::Cancel:
            break;
    }
    return false;
}

void CDialogInerpreter::OpenSource() {
    // Opening replaces the source text: it must not take unsaved work with it.
    if (!ConfirmDiscardUnsavedSource()) return;

    FileDialogRequest request;
    request.title = QString::fromLatin1(kOpenTitle);
    request.filter = QString::fromLatin1(kOpenFilter);
    request.defaultExtension = QString::fromLatin1(kDefaultExtension);
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path) return;

    QString error;
    if (!OpenSourceFile(*path, &error))
        ShowMessage(this, QString::fromLatin1(kCannotOpenSource) + error, MessageIcon::Stop);
}

bool CDialogInerpreter::OpenSourceFile(const QString& path, QString* error) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error)) return false;
    bool clean = true;
    m_source->setPlainText(ToEditLineEnds(TextFromCp932(bytes, &clean)));
    m_savedText = m_source->toPlainText();
    m_sourcePath = path;

    // A new source: the compiled script goes, even when the text is the same as before.
    m_engine.DiscardInstructions();
    SetListingEnabled(false);
    m_output->clear();
    ShowStatus(clean ? path : path + QStringLiteral(" : some bytes are no code page 932 text"));
    emit CompiledStateChanged(false);
    return true;
}

bool CDialogInerpreter::SaveSource() {
    std::string bytes;
    int badLine = 0;
    if (!SourceForFile(SourceText(), &bytes, &badLine)) {
        ShowMessage(this,
                    QStringLiteral("Couldn't save the source: line %1 holds a character that "
                                   "code page 932 cannot store.")
                        .arg(badLine),
                    MessageIcon::Stop);
        return false;
    }

    FileDialogRequest request;
    request.title = QString::fromLatin1(kSaveTitle);
    request.filter = QString::fromLatin1(kSaveFilter);
    request.defaultExtension = QString::fromLatin1(kDefaultExtension);
    request.defaultName = QString::fromLatin1(kDefaultName);
    const std::optional<QString> path = SaveFileNameAskingToCreate(this, request);
    if (!path) return false;

    QString error;
    switch (WriteWholeFile(*path, bytes, &error)) {
        case WriteResult::CannotCreate:
            ShowMessage(this, QString::fromLatin1(kCannotOpenDestination) + error,
                        MessageIcon::Stop);
            return false;
        case WriteResult::CannotWrite:
            ShowMessage(this, QString::fromLatin1(kCannotWriteDestination) + error,
                        MessageIcon::Stop);
            return false;
        case WriteResult::Written:
            break;
    }
    m_savedText = SourceText();
    m_sourcePath = *path;
    ShowStatus(*path);
    return true;
}

}  // namespace velmor
