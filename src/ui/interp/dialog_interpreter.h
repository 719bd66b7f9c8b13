// The "Interpreter" window: the user writes, opens, saves and compiles the surface script
// here, inserts language elements from a list, looks at the intermediate code, and reads the
// messages of the compiler and of the executor in the output box. A modeless top-level
// window; hiding it keeps the source, the output and the compiled script.
#pragma once

#include <QMainWindow>
#include <QString>
#include <string_view>

#include "ui/common/command_table.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmor {

class CScriptEngine;
class CTabEdit;

class CDialogInerpreter : public QMainWindow {
    Q_OBJECT
public:
    // The window compiles into and lists from `engine`, which must outlive it.
    explicit CDialogInerpreter(CScriptEngine& engine, QWidget* parent = nullptr);
    ~CDialogInerpreter() override;

    // Places the boxes, labels and buttons for the current size (after the window was moved
    // or resized from outside).
    void ApplyLayout();

    // The output box: replaced by the commands here and by the main window after a repaint
    // with script errors. Any line ends are accepted.
    void SetOutputText(const QString& text);
    // The same for code page 932 text with CR LF, as the engine's message texts are.
    void SetOutputBytes(std::string_view cp932);
    QString OutputText() const;

    // The source box text, lines ending with '\n'.
    QString SourceText() const;

    // True while the engine holds a compiled script with at least one instruction.
    bool HasCompiledScript() const;
    // True while the "intermediate code" button and "Dump Intermediate Code" are enabled.
    bool ListingEnabled() const;

    // True when the source text differs from what was last opened or saved (the example the
    // window starts with counts as saved).
    bool SourceModified() const;
    // Before the source text is lost (the program closing): when it was modified, asks
    // whether to save it. False when the user cancelled, or chose to save and the save did
    // not happen; the caller must then keep the program running.
    bool ConfirmDiscardUnsavedSource();

    // The file the source was last opened from or saved to; empty while it came from none.
    QString SourcePath() const { return m_sourcePath; }
    // Opens a source file without a dialog, as "Open ..." does once a file is chosen (the
    // caller has offered unsaved text for saving). False with the reason in `error`: nothing
    // changed then.
    bool OpenSourceFile(const QString& path, QString* error);

    // The share of the source box in the height of both boxes.
    double SplitRatio() const { return m_splitRatio; }

    // While a long loop of any window runs, Open, Save and Compile (menu and button) are
    // disabled: each would start work under the loop (a file dialog, a test run).
    void SetLongLoopRunning(bool running);

    // The commands, as the buttons and menu items run them.
    void Compile();
    void DumpIntermediateCode();
    void OpenSource();
    bool SaveSource();  // true when the file was written
    void InsertElement(int index);

    // The controls, for the window's tests.
    CTabEdit* SourceBox() const { return m_source; }
    CTabEdit* OutputBox() const { return m_output; }
    QPushButton* CompileButton() const { return m_compileButton; }
    QPushButton* ListingButton() const { return m_listingButton; }
    QPushButton* HideButton() const { return m_hideButton; }
    QComboBox* InsertList() const { return m_insertList; }
    QAction* OpenAction() const { return m_openAction; }
    QAction* SaveAction() const { return m_saveAction; }
    QAction* CompileAction() const { return m_compileAction; }
    QWidget* SplitterGap() const { return m_gap; }

signals:
    // After every compile that reached the compiler and after a file was opened (which
    // discards the compiled script): whether a script with instructions now exists.
    void CompiledStateChanged(bool hasInstructions);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static const CommandRow<CDialogInerpreter> kCommands[];

    void RunCommand(int id);
    void BuildMenus();
    void BuildControls();
    void SetListingEnabled(bool enabled);
    void LayOutBoxes();
    void ShowStatus(const QString& text);

    CScriptEngine& m_engine;
    double m_splitRatio = 0.8;
    QString m_savedText;   // the text last opened or saved
    QString m_sourcePath;  // where it was opened from or saved to

    QWidget* m_client = nullptr;
    CTabEdit* m_source = nullptr;
    CTabEdit* m_output = nullptr;
    QLabel* m_sourceLabel = nullptr;
    QLabel* m_outputLabel = nullptr;
    QLabel* m_insertLabel = nullptr;
    QPushButton* m_compileButton = nullptr;
    QPushButton* m_listingButton = nullptr;
    QPushButton* m_hideButton = nullptr;
    QComboBox* m_insertList = nullptr;
    QWidget* m_gap = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_compileAction = nullptr;
    QAction* m_dumpAction = nullptr;
    CommandActions m_menuItems;
};

}  // namespace velmor
